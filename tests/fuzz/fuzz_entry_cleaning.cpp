// The repair of joined file paths and the cleaning of an entry before its lookup, on any text.
#include "addresses/FixDoubleBackslashes.h"
#include "fuzz/FuzzInput.h"
#include "lookup/EntryCleaning.h"

namespace {

// The repair stated run by run: a leading run becomes `run` separators, any later run of n becomes
// (n + 1) / 2 of them (pairs halved once, left to right), and nothing else changes.
QString expectedRepair(const QString& path, QChar separator, int run)
{
    QString out;
    for (qsizetype i = 0; i < path.size();) {
        if (path[i] != separator) {
            out += path[i++];
            continue;
        }
        qsizetype n = 0;
        while (i + n < path.size() && path[i + n] == separator)
            ++n;
        out += QString(i == 0 ? run : (n + 1) / 2, separator);
        i += n;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t choice = in.byte();
    const QString text = in.text(choice & 1);

    FUZZ_CHECK(addresses::FixDoubleBackslashes(text) == expectedRepair(text, u'\\', 2));
    FUZZ_CHECK(addresses::fixJoinedPath(text) == expectedRepair(text, u'/', 1));
    const QChar separator = (choice & 2) ? QChar(u'/') : QChar(u'\\');
    const int run = 1 + (choice >> 2) % 3;
    FUZZ_CHECK(addresses::fixDoubledSeparators(text, separator, run) == expectedRepair(text, separator, run));

    const lookup::CleanedEntry cleaned = lookup::cleanEntry(text);
    FUZZ_CHECK(cleaned.normalised.size() <= text.size());
    const QString schemeless = lookup::removeSchemes(text);
    FUZZ_CHECK(cleaned.wwwEntry ==
               lookup::hasWwwPrefix(schemeless.endsWith(u'/') ? schemeless.chopped(1) : schemeless));
    // Cleaning only removes: what is left is a piece of the text without its schemes.
    FUZZ_CHECK(schemeless.contains(cleaned.normalised));
    return 0;
}

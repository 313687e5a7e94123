#include "lookup/EntryCleaning.h"

using namespace Qt::StringLiterals;

namespace lookup {

QString removeSchemes(const QString& text)
{
    // Every scheme ends in "://": a text without a colon has none (most entries of a long list).
    if (!text.contains(u':'))
        return text;
    QString result = text;
    result.remove(u"https://"_s, Qt::CaseInsensitive);
    result.remove(u"http://"_s, Qt::CaseInsensitive);
    result.remove(u"ftp://"_s, Qt::CaseInsensitive);
    return result;
}

bool hasWwwPrefix(const QString& text)
{
    return text.size() >= 4 && QStringView(text).left(4).compare(u"www.", Qt::CaseInsensitive) == 0;
}

CleanedEntry cleanEntry(const QString& entry)
{
    CleanedEntry cleaned;
    cleaned.normalised = removeSchemes(entry);
    if (cleaned.normalised.endsWith(u'/'))
        cleaned.normalised.chop(1);
    if (hasWwwPrefix(cleaned.normalised)) {
        cleaned.normalised.remove(0, 4);
        cleaned.wwwEntry = true;
    }
    return cleaned;
}

} // namespace lookup

// Arbitrary record text under either line rule on either site.
#include "fuzz/FuzzInput.h"
#include "lookup/WhoisScan.h"
#include "lookup/WhoisSite.h"

#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t choice = in.byte();
    const lookup::WhoisSite& site = (choice & 1) ? lookup::secondWhoisSite() : lookup::firstWhoisSite();
    const lookup::LineRule rule = (choice & 2) ? lookup::LineRule::Registrant : lookup::LineRule::CountryLine;
    const QString text = in.text(choice & 4);

    QStringList codes;
    lookup::ScanWhoisText(site, text, rule, [&](const QString& code) { codes.append(code); });

    const bool oneCodeOnly = rule == lookup::LineRule::Registrant || !site.everyCountryLine;
    FUZZ_CHECK(!oneCodeOnly || codes.size() <= 1);
    // Every code comes from one line and is trimmed of blanks.
    qsizetype lines = text.isEmpty() ? 0 : text.count(u"\r\n") + 1;
    FUZZ_CHECK(codes.size() <= lines);
    for (const QString& code : codes) {
        FUZZ_CHECK(!code.contains(u"\r\n"));
        FUZZ_CHECK(!code.startsWith(u' ') && !code.endsWith(u' '));
        FUZZ_CHECK(text.contains(code));
        if (rule == lookup::LineRule::Registrant)
            FUZZ_CHECK(code.size() == 2);
    }
    // A text without any "country:" gives nothing under the country-line rule.
    if (rule == lookup::LineRule::CountryLine && !text.contains(u"country:", Qt::CaseInsensitive))
        FUZZ_CHECK(codes.isEmpty());
    return 0;
}

#pragma once

#include "lookup/WhoisSite.h"

#include <QString>

#include <functional>

namespace lookup {

enum class LineRule {
    Registrant, // a 2-character line after a line with the site's registrant marker
    CountryLine // the text after the first ":" of a line holding "country:"
};

// A www entry names a web site, whose record names a registrant; other entries are network records.
inline LineRule lineRuleFor(bool wwwEntry)
{
    return wwwEntry ? LineRule::Registrant : LineRule::CountryLine;
}

// Blanks (character 32 only) removed at both ends.
QString trimBlanks(QStringView text);

// Scans the record text line by line (lines end at CR LF) and hands every accepted code to
// applyCountryCode at once, before the next line is looked at: one code on the first site and under
// the registrant rule, every matching line on the second site under the country-line rule.
void ScanWhoisText(const WhoisSite& site, const QString& recordText, LineRule rule,
                   const std::function<void(const QString& code)>& applyCountryCode);

} // namespace lookup

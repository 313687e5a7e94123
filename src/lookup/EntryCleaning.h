#pragma once

#include <QString>

namespace lookup {

// An entry as the WHOIS sites expect it, and whether it named a web site ("www."), which chooses the
// registrant rule over the country-line rule.
struct CleanedEntry
{
    QString normalised;
    bool wwwEntry = false;
};

// Removes every "https://", then every "http://", then every "ftp://", anywhere and in any case.
QString removeSchemes(const QString& text);
// True when the first four characters are "www." in any case (a shorter text never is).
bool hasWwwPrefix(const QString& text);

// The whole cleaning: schemes, one trailing "/", one leading "www.".
CleanedEntry cleanEntry(const QString& entry);

} // namespace lookup

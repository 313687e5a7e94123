#pragma once

#include "lookup/EntryCleaning.h"

#include <QString>
#include <QStringList>

namespace sources {

// One entry as the sources see it: what the user gave and its cleaned form.
struct Query
{
    QString entry;               // the list line as given
    lookup::CleanedEntry cleaned; // schemes, one trailing "/" and one leading "www." removed
};

// What one source (or the chain of them) says about an entry. A plain value: sources never write rows.
struct Answer
{
    // A source accepted a code. The WHOIS sites may accept an empty one, which the window shows as a
    // completed row without a code; a chain of sources moves on past an empty code.
    bool found = false;
    QString code;       // the two-letter code as the source gave it
    QString source;     // "site1", "site2", "offline", "rdap"; empty when no source found a code
    QString network;    // the address block or registered domain the answer covers, when known
    QString handle;     // the registry object's handle, when the source has one
    bool cached = false; // answered without asking anyone this time
    QStringList notes;  // why there is no code, or what went wrong on the way (for standard error)

    bool hasCode() const { return found && !code.isEmpty(); }
};

} // namespace sources

#pragma once

#include "sources/WideAddress.h"

#include <QString>

namespace sources {

// What an answer about an entry may cover beyond the entry itself: every address of the block a record
// names, or every name of one registration (mail.example.co.uk and example.co.uk are one).
struct Coverage
{
    enum class Kind {
        Exact,   // only this very entry: neither an address nor a name under a public suffix
        Address, // an IPv4 or IPv6 address
        Domain   // a host name; `domain` is its registered domain, in lower case
    };
    Kind kind = Kind::Exact;
    WideAddress address;
    QString domain;

    // For a cleaned entry.
    static Coverage of(const QString& entry);

    // The registered domain of a host name by the Public Suffix List (libpsl, with the newest of its
    // built-in list and the system's), in lower case without a final dot; empty when the name is a
    // public suffix itself, has one label, or is no host name at all.
    static QString registeredDomain(const QString& name);
};

// The `network` of an answer that a record gave about an entry: the block the record names that holds
// the address, or the registered domain of a name; empty when neither is known.
QString coveredNetwork(const QString& entry, QStringView recordText);

} // namespace sources

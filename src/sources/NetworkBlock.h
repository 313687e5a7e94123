#pragma once

#include "sources/WideAddress.h"

#include <QString>

#include <optional>

namespace sources {

// A block of addresses from `first` to `last`, both included, of one family.
struct NetworkBlock
{
    WideAddress first;
    WideAddress last;

    bool operator==(const NetworkBlock&) const = default;

    bool contains(WideAddress address) const { return first <= address && address <= last; }

    // The prefix length (over 128 bits) of the smallest prefix that holds the whole block.
    int coverLength() const { return WideAddress::commonPrefix(first, last); }
    // The number of addresses less one, as a pair that orders like the size.
    std::pair<quint64, quint64> span() const;

    // "192.0.2.0/24" when the block is one prefix, else "192.0.2.0 - 192.0.2.99".
    QString text() const;
    // Reads what text() writes, a range "a - b" (blanks optional) or one prefix "a/len" (host bits
    // ignored; an IPv4 prefix may leave out its trailing zero parts, "200.160/12", as some registries
    // write it).
    static std::optional<NetworkBlock> parse(QStringView text);

    // The smallest of the blocks that a WHOIS record names and that holds the address: "inetnum:" and
    // "inet6num:" (a range or a prefix), "NetRange:", "CIDR:" (one or more prefixes, comma-separated),
    // "route:" and "route6:". Blocks that do not hold the address are passed over.
    static std::optional<NetworkBlock> fromRecord(QStringView recordText, WideAddress address);
};

} // namespace sources

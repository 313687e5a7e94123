#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace sources {

// An IPv4 or IPv6 address as numbers. Read straight from the entry's characters: QHostAddress would cost
// allocations per entry, and the offline table answers a million entries a second.
struct IpAddress
{
    bool v6 = false;
    uint32_t v4 = 0;   // the IPv4 address (when !v6)
    uint64_t high = 0; // the IPv6 address's first 64 bits
    uint64_t low = 0;  // and its last 64 bits

    // "a.b.c.d": four decimal numbers from 0 to 255 without leading zeros (which some readers take as
    // octal, so "010.1.1.1" is no address rather than a guess). IPv6 as RFC 4291 writes it: one to eight
    // groups of one to four hex digits, at most one "::", an IPv4 address in place of the last two
    // groups; also in brackets, as in a URL. Blanks around the address are allowed; nothing else (no
    // port, prefix length or zone).
    static std::optional<IpAddress> parse(QStringView text);

    // The IPv4 address that an IPv6 one stands for, where the IPv6 form is only a wrapping of it:
    // IPv4-mapped (::ffff:a.b.c.d) and the NAT64 well-known prefix (64:ff9b::a.b.c.d) are that IPv4 host.
    std::optional<uint32_t> wrappedIpv4() const;
    // The IPv4 address of a 6to4 address (2002:aabb:ccdd::/48, RFC 3056): the site's own IPv4 address.
    std::optional<uint32_t> sixToFourIpv4() const;
};

QString ipv4Text(uint32_t address);
// RFC 5952's form: lower case, no leading zeros, the longest run of two or more zero groups as "::".
QString ipv6Text(uint64_t high, uint64_t low);

} // namespace sources

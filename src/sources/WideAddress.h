#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <compare>
#include <optional>

namespace sources {

// An IPv4 or IPv6 address as one 128-bit number. IPv4 addresses are held in their IPv4-mapped form
// (::ffff:a.b.c.d), so that both families order, mask and compare alike and one index serves both.
struct WideAddress
{
    quint64 high = 0;
    quint64 low = 0;

    static constexpr int Bits = 128;
    // Where the IPv4 addresses sit: the prefix length of ::ffff:0:0/96.
    static constexpr int V4Offset = 96;

    // NOLINTNEXTLINE(modernize-use-nullptr): clang-tidy 14 takes the defaulted comparison's 0 for a pointer
    auto operator<=>(const WideAddress&) const = default;

    bool isV4() const { return high == 0 && (low >> 32) == 0xffffu; }
    static WideAddress fromV4(quint32 v4) { return {0, (quint64(0xffffu) << 32) | v4}; }

    // The address that sources::IpAddress reads (either family's text); nullopt for anything else.
    static std::optional<WideAddress> parse(QStringView text);
    // The dotted quad for IPv4, else the IPv6 text in its shortest form (RFC 5952).
    QString toString() const;

    // The first `length` bits kept, the others cleared; and the others set.
    WideAddress masked(int length) const;
    WideAddress withHostBitsSet(int length) const;
    // The address after and before this one (wrapping around at the ends of the space).
    WideAddress next() const { return {low == ~quint64(0) ? high + 1 : high, low + 1}; }
    WideAddress previous() const { return {low == 0 ? high - 1 : high, low - 1}; }
    // Bits that lead alike in both (128 when equal).
    static int commonPrefix(WideAddress a, WideAddress b);

    // Big-endian bytes: their order as bytes is the order of the addresses.
    std::array<unsigned char, 16> bytes() const;
    static WideAddress fromBytes(const unsigned char* bytes);
};

} // namespace sources

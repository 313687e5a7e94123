#include "sources/WideAddress.h"

#include "sources/IpAddress.h"

#include <bit>

namespace sources {

namespace {

// The mask of the first `bits` bits (0 to 64) of a 64-bit half.
quint64 leading(int bits)
{
    return bits <= 0 ? 0 : bits >= 64 ? ~quint64(0) : ~quint64(0) << (64 - bits);
}

} // namespace

std::optional<WideAddress> WideAddress::parse(QStringView text)
{
    const std::optional<IpAddress> address = IpAddress::parse(text);
    if (!address)
        return std::nullopt;
    return address->v6 ? WideAddress{address->high, address->low} : fromV4(address->v4);
}

QString WideAddress::toString() const
{
    return isV4() ? ipv4Text(quint32(low)) : ipv6Text(high, low);
}

WideAddress WideAddress::masked(int length) const
{
    return {high & leading(length), low & leading(length - 64)};
}

WideAddress WideAddress::withHostBitsSet(int length) const
{
    return {high | ~leading(length), low | ~leading(length - 64)};
}

int WideAddress::commonPrefix(WideAddress a, WideAddress b)
{
    if (a.high != b.high)
        return std::countl_zero(a.high ^ b.high);
    if (a.low != b.low)
        return 64 + std::countl_zero(a.low ^ b.low);
    return Bits;
}

std::array<unsigned char, 16> WideAddress::bytes() const
{
    std::array<unsigned char, 16> out{};
    for (int i = 0; i < 8; ++i) {
        out[size_t(i)] = static_cast<unsigned char>(high >> (56 - 8 * i));
        out[size_t(i) + 8] = static_cast<unsigned char>(low >> (56 - 8 * i));
    }
    return out;
}

WideAddress WideAddress::fromBytes(const unsigned char* bytes)
{
    WideAddress a;
    for (int i = 0; i < 8; ++i) {
        a.high = (a.high << 8) | bytes[i];
        a.low = (a.low << 8) | bytes[8 + i];
    }
    return a;
}

} // namespace sources

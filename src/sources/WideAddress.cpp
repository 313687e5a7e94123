#include "sources/WideAddress.h"

#include <arpa/inet.h>

#include <bit>

using namespace Qt::StringLiterals;

namespace sources {

namespace {

// The mask of the first `bits` bits (0 to 64) of a 64-bit half.
quint64 leading(int bits)
{
    return bits <= 0 ? 0 : bits >= 64 ? ~quint64(0) : ~quint64(0) << (64 - bits);
}

std::optional<quint32> parseV4(QStringView text)
{
    quint32 value = 0;
    int parts = 0;
    qsizetype i = 0;
    while (parts < 4) {
        int digits = 0;
        quint32 part = 0;
        while (i < text.size() && text[i] >= u'0' && text[i] <= u'9' && digits < 3) {
            part = part * 10 + quint32(text[i].unicode() - u'0');
            ++digits;
            ++i;
        }
        if (digits == 0 || part > 255)
            return std::nullopt;
        value = (value << 8) | part;
        if (++parts < 4) {
            if (i >= text.size() || text[i] != u'.')
                return std::nullopt;
            ++i;
        }
    }
    if (i != text.size())
        return std::nullopt;
    return value;
}

} // namespace

std::optional<WideAddress> WideAddress::parse(QStringView text)
{
    if (text.isEmpty() || text.size() > 45)
        return std::nullopt;
    if (!text.contains(u':')) {
        const std::optional<quint32> v4 = parseV4(text);
        if (!v4)
            return std::nullopt;
        return fromV4(*v4);
    }
    char latin1[46];
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x80)
            return std::nullopt;
        latin1[i] = char(c);
    }
    latin1[text.size()] = '\0';
    unsigned char bytes[16];
    if (::inet_pton(AF_INET6, latin1, bytes) != 1)
        return std::nullopt;
    return fromBytes(bytes);
}

QString WideAddress::toString() const
{
    if (isV4()) {
        const auto v4 = quint32(low);
        return u"%1.%2.%3.%4"_s.arg(v4 >> 24).arg((v4 >> 16) & 0xff).arg((v4 >> 8) & 0xff).arg(v4 & 0xff);
    }
    const std::array<unsigned char, 16> raw = bytes();
    char text[INET6_ADDRSTRLEN];
    if (!::inet_ntop(AF_INET6, raw.data(), text, sizeof text))
        return {};
    return QString::fromLatin1(text);
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

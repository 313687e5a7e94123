#include "sources/IpAddress.h"

namespace sources {

namespace {

int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t';
}

// Four dotted decimal numbers filling the whole of `text`.
std::optional<uint32_t> parseIpv4(const char16_t* p, const char16_t* end)
{
    uint32_t address = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (p == end || *p != u'.')
                return std::nullopt;
            ++p;
        }
        const char16_t* first = p;
        uint32_t value = 0;
        while (p != end && *p >= u'0' && *p <= u'9' && p - first < 3)
            value = value * 10 + uint32_t(*p++ - u'0');
        if (p == first || value > 255 || (*first == u'0' && p - first > 1))
            return std::nullopt;
        address = address << 8 | value;
    }
    if (p != end)
        return std::nullopt;
    return address;
}

std::optional<IpAddress> parseIpv6(const char16_t* p, const char16_t* end)
{
    uint16_t groups[8] = {};
    int count = 0;
    int gap = -1; // where "::" stands, as a number of groups before it
    if (end - p >= 2 && p[0] == u':' && p[1] == u':') {
        gap = 0;
        p += 2;
    }
    while (p != end) {
        const char16_t* first = p;
        uint32_t value = 0;
        int digit;
        while (p != end && (digit = hexValue(*p)) >= 0 && p - first < 4) {
            value = value << 4 | uint32_t(digit);
            ++p;
        }
        if (p != end && *p == u'.') {
            // An IPv4 address as the last 32 bits.
            if (count > 6)
                return std::nullopt;
            const std::optional<uint32_t> v4 = parseIpv4(first, end);
            if (!v4)
                return std::nullopt;
            groups[count++] = uint16_t(*v4 >> 16);
            groups[count++] = uint16_t(*v4);
            p = end;
            break;
        }
        if (p == first || count == 8)
            return std::nullopt;
        groups[count++] = uint16_t(value);
        if (p == end)
            break;
        if (*p != u':' || ++p == end)
            return std::nullopt;
        if (*p == u':') {
            if (gap >= 0)
                return std::nullopt;
            gap = count;
            ++p;
        }
    }
    if (gap < 0 ? count != 8 : count > 7)
        return std::nullopt;
    IpAddress address;
    address.v6 = true;
    uint16_t full[8] = {};
    const int tail = gap < 0 ? 0 : count - gap;
    for (int i = 0; i < count - tail; ++i)
        full[i] = groups[i];
    for (int i = 0; i < tail; ++i)
        full[8 - tail + i] = groups[count - tail + i];
    for (int i = 0; i < 4; ++i) {
        address.high = address.high << 16 | full[i];
        address.low = address.low << 16 | full[4 + i];
    }
    return address;
}

} // namespace

std::optional<IpAddress> IpAddress::parse(QStringView text)
{
    const char16_t* p = text.utf16();
    const char16_t* end = p + text.size();
    while (p != end && isBlank(*p))
        ++p;
    while (end != p && isBlank(end[-1]))
        --end;
    if (end - p >= 2 && *p == u'[' && end[-1] == u']')
        return parseIpv6(p + 1, end - 1);
    // The longest IPv6 text is 45 characters; anything longer is no address, however it goes on.
    if (p == end || end - p > 45)
        return std::nullopt;
    for (const char16_t* c = p; c != end; ++c)
        if (*c == u':')
            return parseIpv6(p, end);
    const std::optional<uint32_t> v4 = parseIpv4(p, end);
    if (!v4)
        return std::nullopt;
    IpAddress address;
    address.v4 = *v4;
    return address;
}

std::optional<uint32_t> IpAddress::wrappedIpv4() const
{
    if (!v6 || low >> 32 != (high == 0 ? 0xffffu : 0u))
        return std::nullopt;
    if (high == 0 || high == 0x0064ff9b00000000u)
        return uint32_t(low);
    return std::nullopt;
}

std::optional<uint32_t> IpAddress::sixToFourIpv4() const
{
    if (!v6 || high >> 48 != 0x2002)
        return std::nullopt;
    return uint32_t(high >> 16);
}

QString ipv4Text(uint32_t address)
{
    char16_t text[16];
    int n = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const uint32_t part = (address >> shift) & 0xff;
        if (part >= 100)
            text[n++] = char16_t(u'0' + part / 100);
        if (part >= 10)
            text[n++] = char16_t(u'0' + part / 10 % 10);
        text[n++] = char16_t(u'0' + part % 10);
        if (shift > 0)
            text[n++] = u'.';
    }
    return QString(reinterpret_cast<const QChar*>(text), n);
}

QString ipv6Text(uint64_t high, uint64_t low)
{
    uint16_t groups[8];
    for (int i = 0; i < 4; ++i) {
        groups[i] = uint16_t(high >> (48 - 16 * i));
        groups[4 + i] = uint16_t(low >> (48 - 16 * i));
    }
    int bestAt = -1;
    int bestLength = 1; // a single zero group is written as "0"
    for (int i = 0; i < 8;) {
        int j = i;
        while (j < 8 && groups[j] == 0)
            ++j;
        if (j - i > bestLength) {
            bestAt = i;
            bestLength = j - i;
        }
        i = j == i ? i + 1 : j;
    }
    static const char16_t digits[] = u"0123456789abcdef";
    char16_t text[40];
    int n = 0;
    for (int i = 0; i < 8; ++i) {
        if (i == bestAt) {
            text[n++] = u':';
            if (i == 0)
                text[n++] = u':';
            i += bestLength - 1;
            continue;
        }
        bool started = false;
        for (int shift = 12; shift >= 0; shift -= 4) {
            const int digit = (groups[i] >> shift) & 0xf;
            if (digit != 0 || started || shift == 0) {
                text[n++] = digits[digit];
                started = true;
            }
        }
        if (i < 7)
            text[n++] = u':';
    }
    return QString(reinterpret_cast<const QChar*>(text), n);
}

} // namespace sources

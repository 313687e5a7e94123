// Any text as an address for the offline table: what is read as an address is written back in its usual
// form and read again as the same address, and nothing but hex digits, colons, dots, brackets and blanks
// is ever taken for one.
#include "fuzz/FuzzInput.h"
#include "sources/IpAddress.h"

// Choice byte: bit 0 takes the text as raw UTF-16.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    const QString text = input.text(input.byte() & 1);
    const std::optional<sources::IpAddress> address = sources::IpAddress::parse(text);
    if (!address)
        return 0;
    for (const QChar c : text)
        FUZZ_CHECK(QStringView(u"0123456789abcdefABCDEF:.[] \t").contains(c));
    const QString written =
        address->v6 ? sources::ipv6Text(address->high, address->low) : sources::ipv4Text(address->v4);
    FUZZ_CHECK(written.size() <= (address->v6 ? 39 : 15));
    const std::optional<sources::IpAddress> again = sources::IpAddress::parse(written);
    FUZZ_CHECK(again && again->v6 == address->v6 && again->v4 == address->v4 && again->high == address->high &&
               again->low == address->low);
    return 0;
}

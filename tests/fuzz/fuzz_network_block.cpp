// Any record text and any address: the block a record names for the address, and the entry's coverage.
#include "fuzz/FuzzInput.h"
#include "sources/Coverage.h"
#include "sources/NetworkBlock.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t choice = in.byte();
    QByteArray raw = in.bytes(16);
    raw.resize(16, '\0');
    sources::WideAddress address =
        sources::WideAddress::fromBytes(reinterpret_cast<const unsigned char*>(raw.constData()));
    if (choice & 2)
        address = sources::WideAddress::fromV4(quint32(address.low)); // most records are of IPv4 blocks
    const QString text = in.text(choice & 1);

    // The block holds the address and reads back from its own text, which every answer carries.
    if (const std::optional<sources::NetworkBlock> block = sources::NetworkBlock::fromRecord(text, address)) {
        FUZZ_CHECK(block->contains(address));
        FUZZ_CHECK(block->first <= block->last);
        const std::optional<sources::NetworkBlock> again = sources::NetworkBlock::parse(block->text());
        FUZZ_CHECK(again && *again == *block);
    }
    // An address's text reads back as the same address.
    const std::optional<sources::WideAddress> parsed = sources::WideAddress::parse(address.toString());
    FUZZ_CHECK(parsed && *parsed == address);

    // The text as an entry: an address, a registration or the entry itself, never a mix.
    const sources::Coverage coverage = sources::Coverage::of(text);
    FUZZ_CHECK(coverage.kind == sources::Coverage::Kind::Domain || coverage.domain.isEmpty());
    if (coverage.kind == sources::Coverage::Kind::Domain)
        FUZZ_CHECK(text.toLower().endsWith(coverage.domain) || text.toLower().chopped(1).endsWith(coverage.domain));
    return 0;
}

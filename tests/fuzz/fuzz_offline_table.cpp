// Any bytes as the offline country table's file: opening it either refuses with a reason or gives a
// table in which every lookup lands in the range that holds the address, with a code of two capitals or
// none, and never reads outside the file (AddressSanitizer watches in make test's sanitizer build).
#include "core/Failure.h"
#include "fuzz/FuzzInput.h"
#include "sources/OfflineTable.h"

#include <QFile>

#include <unistd.h>
#include <zlib.h>

namespace {

bool validCode(uint16_t code)
{
    const auto letter = [](unsigned c) { return c >= 'A' && c <= 'Z'; };
    return code == 0 || (letter(code & 0xff) && letter(code >> 8));
}

bool holds6(const sources::OfflineTable::Hit6& hit, uint64_t high, uint64_t low)
{
    const bool fromFirst = hit.firstHigh < high || (hit.firstHigh == high && hit.firstLow <= low);
    const bool toLast = high < hit.lastHigh || (high == hit.lastHigh && low <= hit.lastLow);
    return fromFirst && toLast && validCode(hit.code);
}

} // namespace

// Choice byte: bit 0 makes the checksum match the bytes, so that the checks behind it are reached.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    const bool reseal = input.byte() & 1;
    QByteArray bytes = input.rest();
    if (reseal && bytes.size() >= 68) {
        const auto* b = reinterpret_cast<const Bytef*>(bytes.constData());
        const uLong crc = crc32_z(crc32_z(0, b, 64), b + 68, size_t(bytes.size()) - 68);
        for (int i = 0; i < 4; ++i)
            bytes[64 + i] = char(crc >> (8 * i));
    }
    static const QString path = QStringLiteral("/tmp/fuzz_offline_table-%1.tbl").arg(::getpid());
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
    file.close();
    try {
        const sources::OfflineTable table(path);
        // Every entry holds its own first and last address (a few of each family, and the last ones).
        for (uint32_t i = 0; i < table.entries4(); i = i < 64 ? i + 1 : i * 2 + 1) {
            const auto entry = table.entry4(i);
            FUZZ_CHECK(entry.first <= entry.last && validCode(entry.code));
            FUZZ_CHECK(table.find(entry.first).first == entry.first && table.find(entry.last).first == entry.first);
        }
        for (uint32_t i = 0; i < table.entries6(); i = i < 64 ? i + 1 : i * 2 + 1) {
            const auto entry = table.entry6(i);
            FUZZ_CHECK(holds6(entry, entry.firstHigh, entry.firstLow) && holds6(entry, entry.lastHigh, entry.lastLow));
            FUZZ_CHECK(table.find(entry.lastHigh, entry.lastLow).firstLow == entry.firstLow);
        }
        // Addresses made of the file's own bytes.
        for (qsizetype at = 0; at + 16 <= bytes.size() && at < 4096; at += 13) {
            uint64_t high, low;
            std::memcpy(&high, bytes.constData() + at, 8);
            std::memcpy(&low, bytes.constData() + at + 8, 8);
            const auto hit4 = table.find(uint32_t(high));
            FUZZ_CHECK(hit4.first <= uint32_t(high) && uint32_t(high) <= hit4.last && validCode(hit4.code));
            FUZZ_CHECK(holds6(table.find(high, low), high, low));
        }
    } catch (const core::Failure& failure) {
        FUZZ_CHECK(failure.description().startsWith(path + u' '));
    }
    QFile::remove(path);
    return 0;
}

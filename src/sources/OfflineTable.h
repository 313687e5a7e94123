#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace sources {

// The offline country table: every IPv4 and IPv6 address mapped to the two-letter code that the regional
// registries record for its block, built by scripts/offline-table.py from a pinned npm package. The file
// is memory-mapped and searched in place; opening it checks it whole, so a lookup trusts what it reads.
//
// The file (little-endian; arrays at 16-byte aligned offsets):
//   0   8  magic "TLRNCTRY"
//   8   4  format version (1)                 12  4  header size (256)
//   16  8  file size                          24  4  IPv4 entries         28  4  IPv6 entries
//   32  8  offset of the IPv4 starts (u32 each, ascending, the first 0)
//   40  8  offset of the IPv4 codes (u16 each)
//   48  8  offset of the IPv6 starts (two u64 each: high, low; ascending, the first ::)
//   56  8  offset of the IPv6 codes (u16 each)
//   64  4  CRC-32 (zlib's) of the whole file except these four bytes
//   68  4  zero
//   72  64 package name      136 32 data version      168 16 data date (text, NUL-padded)
//   184 4  the package's IPv4 rows            188 4  its IPv6 rows        192 64 zero
// Entry i covers the addresses from its start to the next entry's start (the last one to the end of the
// family's space). A code holds the two ASCII capitals in its low and high byte; 0 means that no
// registry block holds those addresses.
class OfflineTable
{
public:
    static constexpr int FormatVersion = 1;

    // Maps and checks the file; throws core::Failure saying what is wrong with it (missing, not a table,
    // another format, truncated, corrupt).
    explicit OfflineTable(const QString& path);
    ~OfflineTable();
    OfflineTable(const OfflineTable&) = delete;
    OfflineTable& operator=(const OfflineTable&) = delete;

    struct Hit4
    {
        uint16_t code; // 0: no block holds the address
        uint32_t first;
        uint32_t last;
    };
    struct Hit6
    {
        uint16_t code;
        uint64_t firstHigh, firstLow;
        uint64_t lastHigh, lastLow;
    };
    Hit4 find(uint32_t address) const;
    Hit6 find(uint64_t high, uint64_t low) const;

    // Entry i of each family, as find() gives it.
    Hit4 entry4(uint32_t index) const;
    Hit6 entry6(uint32_t index) const;

    const QString& path() const { return m_path; }
    QString packageName() const;
    QString dataVersion() const;
    QString dataDate() const;
    uint32_t packageRows4() const;
    uint32_t packageRows6() const;
    uint32_t entries4() const { return m_v4Count; }
    uint32_t entries6() const { return m_v6Count; }
    qint64 fileSize() const { return qint64(m_size); }

    // A code as its two letters.
    static QString codeText(uint16_t code);

private:
    size_t index4(uint32_t address) const;
    size_t index6(uint64_t high, uint64_t low) const;
    void buildIndexes();
    QString headerText(size_t offset, size_t size) const;

    QString m_path;
    const unsigned char* m_data = nullptr;
    size_t m_size = 0;
    uint32_t m_v4Count = 0;
    uint32_t m_v6Count = 0;
    const uint32_t* m_v4Starts = nullptr;
    const uint16_t* m_v4Codes = nullptr;
    const uint64_t* m_v6Starts = nullptr; // high, low, high, low, ...
    const uint16_t* m_v6Codes = nullptr;
    // For each value of the first 16 bits, the entry that holds the first address with them: a search
    // then only looks between two neighbours of this index, a few entries in most places.
    std::vector<uint32_t> m_v4Index;
    std::vector<uint32_t> m_v6Index;
};

} // namespace sources

#include "sources/OfflineTable.h"

#include "core/Failure.h"

#include <QFile>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

using namespace Qt::StringLiterals;

namespace sources {

namespace {

constexpr char Magic[8] = {'T', 'L', 'R', 'N', 'C', 'T', 'R', 'Y'};
constexpr size_t HeaderSize = 256;
constexpr size_t ChecksumAt = 64;

template <typename T> T readAt(const unsigned char* data, size_t offset)
{
    T value;
    std::memcpy(&value, data + offset, sizeof value);
    return value;
}

bool validCode(uint16_t code)
{
    const auto letter = [](unsigned c) { return c >= 'A' && c <= 'Z'; };
    return code == 0 || (letter(code & 0xff) && letter(code >> 8));
}

} // namespace

OfflineTable::OfflineTable(const QString& path) : m_path(path)
{
    const auto fail = [&](const QString& why) { throw core::Failure(path + u' ' + why); };
    if constexpr (std::endian::native != std::endian::little)
        fail(u"cannot be read on this machine: the table is stored little-endian"_s);

    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            fail(u"not found"_s);
        fail(u"cannot be read: "_s + QString::fromLocal8Bit(std::strerror(errno)));
    }
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        fail(u"is not a file"_s);
    }
    m_size = size_t(status.st_size);
    if (m_size > 0) {
        void* mapped = ::mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (mapped == MAP_FAILED) {
            const int error = errno;
            ::close(fd);
            m_size = 0;
            fail(u"cannot be mapped: "_s + QString::fromLocal8Bit(std::strerror(error)));
        }
        m_data = static_cast<const unsigned char*>(mapped);
    }
    ::close(fd);
    try {
        if (m_size < sizeof Magic || std::memcmp(m_data, Magic, sizeof Magic) != 0)
            fail(u"is not an offline country table"_s);
        if (m_size < HeaderSize)
            fail(u"is truncated: %1 bytes, less than its header"_s.arg(m_size));
        const auto format = readAt<uint32_t>(m_data, 8);
        if (format != FormatVersion)
            fail(u"has table format %1; this program reads format %2 (build the table again)"_s.arg(format).arg(
                FormatVersion));
        const auto declared = readAt<uint64_t>(m_data, 16);
        if (m_size < declared)
            fail(u"is truncated: %1 of %2 bytes"_s.arg(m_size).arg(declared));
        if (m_size != declared || readAt<uint32_t>(m_data, 12) != HeaderSize)
            fail(u"is corrupt: its header does not describe it"_s);
        const uLong crc = crc32_z(crc32_z(0, m_data, ChecksumAt), m_data + ChecksumAt + 4, m_size - ChecksumAt - 4);
        if (crc != readAt<uint32_t>(m_data, ChecksumAt))
            fail(u"is corrupt: its checksum does not match its contents"_s);

        m_v4Count = readAt<uint32_t>(m_data, 24);
        m_v6Count = readAt<uint32_t>(m_data, 28);
        // Each array inside the file, after the header, aligned.
        const auto array = [&](size_t at, size_t count, size_t width) -> const void* {
            const auto offset = readAt<uint64_t>(m_data, at);
            if (count == 0 || offset < HeaderSize || offset % 16 != 0 || offset > m_size ||
                (m_size - offset) / width < count)
                fail(u"is corrupt: an array lies outside the file"_s);
            return m_data + offset;
        };
        m_v4Starts = static_cast<const uint32_t*>(array(32, m_v4Count, 4));
        m_v4Codes = static_cast<const uint16_t*>(array(40, m_v4Count, 2));
        m_v6Starts = static_cast<const uint64_t*>(array(48, m_v6Count, 16));
        m_v6Codes = static_cast<const uint16_t*>(array(56, m_v6Count, 2));
        buildIndexes();
    } catch (...) {
        if (m_data)
            ::munmap(const_cast<unsigned char*>(m_data), m_size);
        throw;
    }
}

OfflineTable::~OfflineTable()
{
    if (m_data)
        ::munmap(const_cast<unsigned char*>(m_data), m_size);
}

void OfflineTable::buildIndexes()
{
    const auto corrupt = [&](const QString& why) { throw core::Failure(m_path + u" is corrupt: "_s + why); };
    if (m_v4Starts[0] != 0 || m_v6Starts[0] != 0 || m_v6Starts[1] != 0)
        corrupt(u"its ranges do not start at the first address"_s);
    for (uint32_t i = 0; i < m_v4Count; ++i)
        if ((i > 0 && m_v4Starts[i] <= m_v4Starts[i - 1]) || !validCode(m_v4Codes[i]))
            corrupt(u"IPv4 entry %1 is out of order or has no valid code"_s.arg(i));
    for (uint32_t i = 0; i < m_v6Count; ++i) {
        const uint64_t* here = m_v6Starts + 2 * size_t(i);
        if ((i > 0 && (here[0] < here[-2] || (here[0] == here[-2] && here[1] <= here[-1]))) || !validCode(m_v6Codes[i]))
            corrupt(u"IPv6 entry %1 is out of order or has no valid code"_s.arg(i));
    }

    m_v4Index.resize(65537);
    m_v6Index.resize(65537);
    uint32_t i4 = 0;
    uint32_t i6 = 0;
    for (uint32_t prefix = 0; prefix < 65536; ++prefix) {
        const uint32_t key4 = prefix << 16;
        while (i4 + 1 < m_v4Count && m_v4Starts[i4 + 1] <= key4)
            ++i4;
        m_v4Index[prefix] = i4;
        const uint64_t key6 = uint64_t(prefix) << 48;
        // The first address with the prefix has a zero low half: a start with the key's high half and
        // a non-zero low half lies beyond it.
        while (i6 + 1 < m_v6Count && m_v6Starts[2 * size_t(i6 + 1)] <= key6 &&
               (m_v6Starts[2 * size_t(i6 + 1)] < key6 || m_v6Starts[2 * size_t(i6 + 1) + 1] == 0))
            ++i6;
        m_v6Index[prefix] = i6;
    }
    m_v4Index[65536] = m_v4Count - 1;
    m_v6Index[65536] = m_v6Count - 1;
}

size_t OfflineTable::index4(uint32_t address) const
{
    const uint32_t prefix = address >> 16;
    // The entry is between the ones that hold the first address of this prefix and of the next.
    const uint32_t* first = m_v4Starts + m_v4Index[prefix] + 1;
    const uint32_t* last = m_v4Starts + m_v4Index[prefix + 1] + 1;
    return size_t(std::upper_bound(first, last, address) - m_v4Starts) - 1;
}

size_t OfflineTable::index6(uint64_t high, uint64_t low) const
{
    const size_t prefix = size_t(high >> 48);
    size_t first = size_t(m_v6Index[prefix]) + 1;
    size_t count = m_v6Index[prefix + 1] - m_v6Index[prefix];
    // The first entry that starts beyond the address, then the one before it.
    while (count > 0) {
        const size_t step = count / 2;
        const uint64_t* start = m_v6Starts + 2 * (first + step);
        if (start[0] < high || (start[0] == high && start[1] <= low)) {
            first += step + 1;
            count -= step + 1;
        } else {
            count = step;
        }
    }
    return first - 1;
}

OfflineTable::Hit4 OfflineTable::find(uint32_t address) const
{
    return entry4(uint32_t(index4(address)));
}

OfflineTable::Hit6 OfflineTable::find(uint64_t high, uint64_t low) const
{
    return entry6(uint32_t(index6(high, low)));
}

OfflineTable::Hit4 OfflineTable::entry4(uint32_t i) const
{
    return {m_v4Codes[i], m_v4Starts[i], i + 1 < m_v4Count ? m_v4Starts[i + 1] - 1 : UINT32_MAX};
}

OfflineTable::Hit6 OfflineTable::entry6(uint32_t index) const
{
    const size_t i = index;
    Hit6 hit{m_v6Codes[i], m_v6Starts[2 * i], m_v6Starts[2 * i + 1], UINT64_MAX, UINT64_MAX};
    if (i + 1 < m_v6Count) {
        const uint64_t nextHigh = m_v6Starts[2 * i + 2];
        const uint64_t nextLow = m_v6Starts[2 * i + 3];
        hit.lastHigh = nextLow == 0 ? nextHigh - 1 : nextHigh;
        hit.lastLow = nextLow - 1;
    }
    return hit;
}

QString OfflineTable::headerText(size_t offset, size_t size) const
{
    const char* text = reinterpret_cast<const char*>(m_data + offset);
    return QString::fromUtf8(text, qsizetype(strnlen(text, size)));
}

QString OfflineTable::packageName() const
{
    return headerText(72, 64);
}

QString OfflineTable::dataVersion() const
{
    return headerText(136, 32);
}

QString OfflineTable::dataDate() const
{
    return headerText(168, 16);
}

uint32_t OfflineTable::packageRows4() const
{
    return readAt<uint32_t>(m_data, 184);
}

uint32_t OfflineTable::packageRows6() const
{
    return readAt<uint32_t>(m_data, 188);
}

QString OfflineTable::codeText(uint16_t code)
{
    const QChar letters[2] = {QChar(code & 0xff), QChar(code >> 8)};
    return QString(letters, 2);
}

} // namespace sources

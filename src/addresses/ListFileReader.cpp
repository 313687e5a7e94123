#include "addresses/ListFileReader.h"

#include "core/Failure.h"

#include <QFileInfo>

#include <cstring>

using namespace Qt::StringLiterals;

namespace addresses {

namespace {

// The descriptions the classic file functions give, which users and support staff know.
const QString AccessError = u"Path/File access error"_s;
const QString PermissionDenied = u"Permission denied"_s;
const QString DeviceError = u"Device I/O error"_s;

// Bytes at the end of data that begin a UTF-8 sequence without all of its continuation bytes.
qsizetype incompleteTail(const QByteArray& data)
{
    const qsizetype size = data.size();
    for (qsizetype i = size - 1; i >= 0 && i >= size - 3; --i) {
        const auto byte = uchar(data[i]);
        if ((byte & 0xC0) == 0x80)
            continue;
        if (byte < 0xC0)
            return 0;
        const qsizetype length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
        return size - i < length ? size - i : 0;
    }
    return 0;
}

QStringDecoder systemDecoder()
{
    // A byte-order mark is not special in a list file: it stays a character of the first entry.
    return QStringDecoder(QStringConverter::System,
                          QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
}

} // namespace

ListFileReader::ListFileReader(const QString& path, qsizetype chunkBytes, qsizetype batchEntries)
    : m_file(std::make_unique<QFile>(path)), m_device(m_file.get()), m_chunkBytes(std::max<qsizetype>(chunkBytes, 1)),
      m_batchEntries(std::max<qsizetype>(batchEntries, 1)), m_decoder(systemDecoder())
{
    if (m_file->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return;
    const QFileInfo info(path);
    if (!info.isDir() && (m_file->error() == QFileDevice::PermissionsError || !info.isReadable()))
        throw core::Failure(PermissionDenied);
    throw core::Failure(AccessError);
}

ListFileReader::ListFileReader(QIODevice& device, qsizetype chunkBytes, qsizetype batchEntries)
    : m_device(&device), m_chunkBytes(std::max<qsizetype>(chunkBytes, 1)),
      m_batchEntries(std::max<qsizetype>(batchEntries, 1)), m_decoder(systemDecoder())
{
}

ListFileReader::~ListFileReader() = default;

QStringList ListFileReader::next()
{
    QStringList entries;
    if (m_atEnd)
        return entries;
    if (m_used == m_text.size() && !m_deviceEnded)
        readChunk();
    m_used += m_splitter.feed(QStringView(m_text).sliced(m_used), entries, m_batchEntries);
    if (m_used == m_text.size() && m_deviceEnded) {
        m_splitter.finish(entries);
        m_atEnd = true;
    }
    return entries;
}

void ListFileReader::readChunk()
{
    const qsizetype carried = m_carry.size();
    m_bytes.resize(carried + m_chunkBytes);
    std::memcpy(m_bytes.data(), m_carry.constData(), size_t(carried));
    const qint64 got = m_device->read(m_bytes.data() + carried, m_chunkBytes);
    if (got < 0) {
        m_atEnd = true;
        m_text.clear();
        m_used = 0;
        throw core::Failure(DeviceError);
    }
    m_bytes.resize(carried + got);
    // At the end of the file a cut-off character is decoded as it stands, as invalid bytes.
    const qsizetype keep = got == 0 ? 0 : incompleteTail(m_bytes);
    m_carry = m_bytes.right(keep);
    m_text = m_decoder.decode(QByteArrayView(m_bytes).first(m_bytes.size() - keep));
    m_deviceEnded = got == 0;
    m_used = 0;
}

QStringList ListFileReader::readAll(const QString& path)
{
    ListFileReader reader(path);
    QStringList entries;
    while (!reader.atEnd())
        entries.append(reader.next());
    return entries;
}

} // namespace addresses

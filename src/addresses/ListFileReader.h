#pragma once

#include "addresses/ListLineSplitter.h"

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

#include <memory>

namespace addresses {

// Reads a list file as entries, one per line by the rules of ListLineSplitter, decoded in the
// locale's encoding (bytes that are not valid there become U+FFFD; a byte-order mark stays a
// character of the first entry).
//
// The file is read in chunks and handed out in batches, so that a caller can append each batch and
// let the window breathe in between, however many lines the file has or however long one line is.
// A character or a CR LF split between two chunks is decoded as if it had come in one piece.
// (Qt's stateful decoder is not used for that: Qt 6.4 drops the byte that follows an invalid
// sequence cut by a chunk boundary, so the reader carries an incomplete trailing sequence over to the
// next chunk itself and decodes each chunk on its own. The locale's encoding is UTF-8 for Qt 6 on
// this platform; for a single-byte encoding the carrying changes nothing.)
class ListFileReader
{
public:
    static constexpr qsizetype DefaultChunkBytes = 1 << 20;
    static constexpr qsizetype DefaultBatchEntries = 16384;

    // Opens the file; throws core::Failure when it cannot be opened for reading.
    explicit ListFileReader(const QString& path, qsizetype chunkBytes = DefaultChunkBytes,
                            qsizetype batchEntries = DefaultBatchEntries);
    // Reads from a device that is already open and that outlives the reader.
    explicit ListFileReader(QIODevice& device, qsizetype chunkBytes = DefaultChunkBytes,
                            qsizetype batchEntries = DefaultBatchEntries);
    ~ListFileReader();

    ListFileReader(const ListFileReader&) = delete;
    ListFileReader& operator=(const ListFileReader&) = delete;

    bool atEnd() const { return m_atEnd; }

    // The next entries in file order: at most one chunk is read per call, so the batch may be empty
    // while a long line is being read. Throws core::Failure when the device fails; the entries of
    // earlier batches are complete and stay valid.
    QStringList next();

    // All entries of a file at once, for callers without a window to keep alive.
    static QStringList readAll(const QString& path);

private:
    void readChunk();

    std::unique_ptr<QFile> m_file;
    QIODevice* m_device;
    qsizetype m_chunkBytes;
    qsizetype m_batchEntries;
    QByteArray m_bytes;
    // The bytes of a character that the last chunk cut off; they start the next decode.
    QByteArray m_carry;
    QStringDecoder m_decoder;
    ListLineSplitter m_splitter;
    QString m_text;
    qsizetype m_used = 0;
    bool m_deviceEnded = false;
    bool m_atEnd = false;
};

} // namespace addresses

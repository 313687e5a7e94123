// Any bytes as a list file, read through the one reader of the import, the drops and the batch tool, in
// small chunks and batches so that every boundary case (a character, a CR LF or a line cut by a chunk)
// comes up.
#include "addresses/ListFileReader.h"
#include "addresses/ListLineSplitter.h"
#include "fuzz/FuzzInput.h"

#include <QBuffer>
#include <QStringDecoder>

namespace {

QStringList readAll(const QByteArray& bytes, qsizetype chunk, qsizetype batch)
{
    QBuffer device;
    device.setData(bytes);
    device.open(QIODevice::ReadOnly);
    addresses::ListFileReader reader(device, chunk, batch);
    QStringList entries;
    // Each call reads at most one chunk or hands out one batch: a reader that stops advancing would spin here.
    const qsizetype bound = bytes.size() / chunk + bytes.size() / batch + 8;
    for (qsizetype calls = 0; !reader.atEnd(); ++calls) {
        FUZZ_CHECK(calls <= bound);
        const QStringList next = reader.next();
        FUZZ_CHECK(next.size() <= batch);
        entries += next;
    }
    return entries;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const qsizetype chunk = 1 + in.byte() % 16;
    const qsizetype batch = 1 + in.byte() % 8;
    const QByteArray bytes = in.rest();

    const QStringList entries = readAll(bytes, chunk, batch);
    // However the file is cut into chunks, the entries are those of the whole text decoded at once (the
    // locale's encoding is UTF-8 here; a byte-order mark stays a character).
    QStringDecoder decoder(QStringDecoder::System,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString whole = decoder.decode(bytes);
    FUZZ_CHECK(entries == addresses::ListLineSplitter::split(whole));
    for (const QString& entry : entries)
        FUZZ_CHECK(!entry.contains(u'\r') && !entry.contains(u'\n'));
    return 0;
}

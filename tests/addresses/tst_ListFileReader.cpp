#include "addresses/FixDoubleBackslashes.h"
#include "addresses/ListFileReader.h"
#include "addresses/ListLineSplitter.h"
#include "core/Failure.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using addresses::ListFileReader;
using addresses::ListLineSplitter;

namespace {

// Serves its bytes, then fails as a disk with a bad sector does.
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(QByteArray good) : m_good(std::move(good)) { open(QIODevice::ReadOnly); }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        if (m_pos >= m_good.size())
            return -1;
        const qint64 n = std::min<qint64>(maxSize, m_good.size() - m_pos);
        std::memcpy(data, m_good.constData() + m_pos, size_t(n));
        m_pos += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }
    bool isSequential() const override { return true; }

private:
    QByteArray m_good;
    qint64 m_pos = 0;
};

QStringList readAll(ListFileReader& reader)
{
    QStringList entries;
    while (!reader.atEnd())
        entries.append(reader.next());
    return entries;
}

QStringList readBytes(const QByteArray& bytes, qsizetype chunk, qsizetype batch)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    ListFileReader reader(buffer, chunk, batch);
    return readAll(reader);
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// The whole file decoded in one piece, as the reader must decode it chunk by chunk.
QString decodeWhole(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

QByteArray numberedLines(int count, const char* prefix)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += prefix + QByteArray::number(i) + "\r\n";
    return bytes;
}

} // namespace

class TestListFileReader : public QObject
{
    Q_OBJECT

private slots:
    void testLineRules_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("CR LF endings") << QByteArray("a\r\nb\r\nc\r\n") << QStringList{u"a"_s, u"b"_s, u"c"_s};
        QTest::newRow("blank line in the middle") << QByteArray("a\r\n\r\nb\r\n") << QStringList{u"a"_s, {}, u"b"_s};
        QTest::newRow("two CR LF at the end") << QByteArray("a\r\nb\r\n\r\n") << QStringList{u"a"_s, u"b"_s, {}};
        QTest::newRow("no break at the end") << QByteArray("a\r\nb") << QStringList{u"a"_s, u"b"_s};
        QTest::newRow("LF endings") << QByteArray("a\nb\n") << QStringList{u"a"_s, u"b"_s, {}};
        QTest::newRow("two LF at the end") << QByteArray("a\n\n") << QStringList{u"a"_s, {}, {}};
        QTest::newRow("LF before CR") << QByteArray("a\n\rb") << QStringList{u"a"_s, {}, u"b"_s};
        QTest::newRow("LF before CR LF") << QByteArray("a\n\r\nb") << QStringList{u"a"_s, {}, u"b"_s};
        QTest::newRow("LF after CR LF") << QByteArray("a\r\n\nb") << QStringList{u"a"_s, {}, u"b"_s};
        QTest::newRow("CR alone") << QByteArray("a\rb\r") << QStringList{u"a"_s, u"b"_s};
        QTest::newRow("two CR") << QByteArray("a\r\rb") << QStringList{u"a"_s, {}, u"b"_s};
        QTest::newRow("empty file") << QByteArray() << QStringList{};
        QTest::newRow("only CR LF") << QByteArray("\r\n") << QStringList{QString()};
        QTest::newRow("only LF") << QByteArray("\n") << QStringList{QString(), QString()};
        QTest::newRow("only CR") << QByteArray("\r") << QStringList{QString()};
        QTest::newRow("blanks around the text") << QByteArray("  a b \t\r\n") << QStringList{u"  a b \t"_s};
        QTest::newRow("duplicates stay") << QByteArray("x\r\nx\r\n") << QStringList{u"x"_s, u"x"_s};
        QTest::newRow("NUL and control bytes") << QByteArray("a\0b\x01\r\n", 6) << QStringList{u"a\u0000b\u0001"_s};
        QTest::newRow("non-ASCII") << QByteArray("caf\xc3\xa9\r\n\xe6\x97\xa5\xf0\x9f\x8c\x8d")
                                   << QStringList{u"café"_s, u"日🌍"_s};
        QTest::newRow("byte-order mark kept") << QByteArray("\xef\xbb\xbf"
                                                            "a\r\n")
                                              << QStringList{u"\ufeffa"_s};
        QTest::newRow("invalid byte") << QByteArray("a\xff"
                                                    "b\r\n")
                                      << QStringList{u"a\ufffdb"_s};
        QTest::newRow("lone continuation bytes") << QByteArray("\x80\x80\r\n") << QStringList{u"\ufffd\ufffd"_s};
        QTest::newRow("character cut by a break")
            << QByteArray("\xc3\r\n\xa9") << QStringList{u"\ufffd"_s, u"\ufffd"_s};
        QTest::newRow("character cut by the end")
            << QByteArray("a\r\nb\xe6\x97") << QStringList{u"a"_s, u"b\ufffd\ufffd"_s};
    }

    // Every case once in one piece and once a byte at a time, so that each CR LF and each character
    // is also split between two chunks.
    void testLineRules()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, entries);
        for (const qsizetype chunk : {qsizetype(1), qsizetype(2), qsizetype(3), ListFileReader::DefaultChunkBytes}) {
            for (const qsizetype batch : {qsizetype(1), ListFileReader::DefaultBatchEntries})
                QCOMPARE(readBytes(bytes, chunk, batch), entries);
        }
        QCOMPARE(ListLineSplitter::split(decodeWhole(bytes)), entries);
    }

    void testChunksDecodeAsOnePiece()
    {
        // Qt's own stateful decoder fails this: it drops the byte after an invalid sequence that a
        // chunk boundary cuts.
        // Random bytes with many breaks: whatever the chunk size, the entries equal those of the whole
        // file decoded at once.
        auto* random = QRandomGenerator::global();
        for (int round = 0; round < 20; ++round) {
            QByteArray bytes(int(random->bounded(1, 3000)), Qt::Uninitialized);
            for (char& b : bytes) {
                const quint32 r = random->bounded(16);
                b = r == 0   ? '\r'
                    : r == 1 ? '\n'
                    : r < 6  ? char(0xC0 + random->bounded(64))
                             : char(random->bounded(256));
            }
            const QStringList whole = ListLineSplitter::split(decodeWhole(bytes));
            const qsizetype chunk = random->bounded(1, 64);
            QCOMPARE(readBytes(bytes, chunk, random->bounded(1, 8)), whole);
        }
    }

    void testEntriesComeInBatches()
    {
        const QByteArray bytes = numberedLines(1000, "e");
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        ListFileReader reader(buffer, ListFileReader::DefaultChunkBytes, 64);
        QStringList all;
        int batches = 0;
        while (!reader.atEnd()) {
            const QStringList batch = reader.next();
            QVERIFY(batch.size() <= 64);
            all.append(batch);
            ++batches;
        }
        QVERIFY(batches >= 1000 / 64);
        QCOMPARE(all.size(), 1000);
        QCOMPARE(all.first(), u"e0"_s);
        QCOMPARE(all.last(), u"e999"_s);
    }

    void testLongLineIsReadChunkByChunk()
    {
        // The caller gets control back after every chunk, also while one line has no end in sight.
        QByteArray line(3 << 20, 'x');
        line[12345] = '\xc3'; // a two-byte character right across a chunk boundary
        line[12346] = '\xa9';
        QBuffer buffer;
        buffer.setData(line);
        buffer.open(QIODevice::ReadOnly);
        ListFileReader reader(buffer, 4096);
        int calls = 0;
        QStringList entries;
        while (!reader.atEnd()) {
            entries.append(reader.next());
            ++calls;
        }
        QVERIFY(calls > (3 << 20) / 4096);
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.first().size(), line.size() - 1);
        QCOMPARE(entries.first(), QString::fromUtf8(line));
    }

    void testReadErrorComesAfterTheEntriesBeforeIt()
    {
        FailingDevice device(numberedLines(100, "ok") + "cut off");
        ListFileReader reader(device, 64, 10);
        QStringList entries;
        QString failure;
        try {
            while (!reader.atEnd())
                entries.append(reader.next());
        } catch (const core::Failure& f) {
            failure = f.description();
        }
        QCOMPARE(failure, u"Device I/O error"_s);
        QCOMPARE(entries.size(), 100);
        QCOMPARE(entries.last(), u"ok99"_s);
        QVERIFY(reader.atEnd());
    }

    void testFilesThatCannotBeRead_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("description");
        QTest::newRow("directory") << QDir::tempPath() << u"Path/File access error"_s;
        // Opens, but the first read fails (nothing is mapped at address 0).
        QTest::newRow("read fails") << u"/proc/self/mem"_s << u"Device I/O error"_s;
    }

    void testFilesThatCannotBeRead()
    {
        QFETCH(QString, path);
        QFETCH(QString, description);
        try {
            ListFileReader reader(path);
            readAll(reader);
            QFAIL("no failure");
        } catch (const core::Failure& f) {
            QCOMPARE(f.description(), description);
        }
    }

    void testFileTruncatedWhileRead()
    {
        QTemporaryDir dir;
        const QByteArray bytes = numberedLines(2000, "t");
        const QString path = writeFile(dir, u"shrinks.txt"_s, bytes);
        ListFileReader reader(path, 256, 8);
        QStringList entries = reader.next();
        QVERIFY(QFile::resize(path, 1000));
        entries.append(readAll(reader));
        // What was read before the cut comes in order; then the file simply ends.
        QVERIFY(entries.size() < 2000);
        const QStringList lines = ListLineSplitter::split(QString::fromLatin1(bytes));
        for (qsizetype i = 0; i + 1 < entries.size(); ++i)
            QCOMPARE(entries[i], lines[i]);
    }

    void testFileGrowingWhileReadIsReadToItsNewEnd()
    {
        QTemporaryDir dir;
        const QString path = writeFile(dir, u"grows.txt"_s, numberedLines(100, "g"));
        ListFileReader reader(path, 64, 4);
        QStringList entries = reader.next();
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        file.write("more\r\n");
        file.close();
        entries.append(readAll(reader));
        QCOMPARE(entries.size(), 101);
        QCOMPARE(entries.last(), u"more"_s);
    }

    void testReadAllNamesWithSpacesAndNonAscii()
    {
        QTemporaryDir dir;
        const QString path = writeFile(dir, u"list with blanks ö日.txt"_s, "1.2.3.4\r\nexample.org\r\n");
        QCOMPARE(ListFileReader::readAll(path), (QStringList{u"1.2.3.4"_s, u"example.org"_s}));
    }

    void testSplitterStopsAtTheBatchLimit()
    {
        ListLineSplitter splitter;
        QStringList entries;
        const QString text = u"a\r\nb\r\nc"_s;
        const qsizetype used = splitter.feed(text, entries, 2);
        QCOMPARE(entries, (QStringList{u"a"_s, u"b"_s}));
        splitter.feed(QStringView(text).sliced(used), entries);
        splitter.finish(entries);
        QCOMPARE(entries, (QStringList{u"a"_s, u"b"_s, u"c"_s}));
    }

    // The classic backslash rule, and the same repair for "/" where a leading run stands for the root.
    void testPathRepair_data()
    {
        QTest::addColumn<bool>("backslashes");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("fixed");
        QTest::newRow("drive root joined") << true << uR"(C:\\a.txt)"_s << uR"(C:\a.txt)"_s;
        QTest::newRow("doubled inside") << true << uR"(C:\\lists\a.txt)"_s << uR"(C:\lists\a.txt)"_s;
        QTest::newRow("share unchanged") << true << uR"(\\host\share\a.txt)"_s << uR"(\\host\share\a.txt)"_s;
        QTest::newRow("three at the start") << true << uR"(\\\host\share\\a.txt)"_s << uR"(\\host\share\a.txt)"_s;
        QTest::newRow("one at the start") << true << uR"(\host\a.txt)"_s << uR"(\\host\a.txt)"_s;
        QTest::newRow("three inside become two") << true << uR"(C:\\\a.txt)"_s << uR"(C:\\a.txt)"_s;
        QTest::newRow("four inside become two") << true << uR"(C:\\\\a.txt)"_s << uR"(C:\\a.txt)"_s;
        QTest::newRow("nothing to fix") << true << uR"(C:\lists\a.txt)"_s << uR"(C:\lists\a.txt)"_s;
        QTest::newRow("only backslashes") << true << uR"(\\\\)"_s << uR"(\\)"_s;
        QTest::newRow("empty") << true << QString() << QString();
        QTest::newRow("slashes untouched") << true << u"C://a.txt"_s << u"C://a.txt"_s;
        QTest::newRow("root folder") << false << u"//a.txt"_s << u"/a.txt"_s;
        QTest::newRow("folder ending in a separator") << false << u"/home/u//a.txt"_s << u"/home/u/a.txt"_s;
        QTest::newRow("plain join") << false << u"/home/u/a.txt"_s << u"/home/u/a.txt"_s;
        QTest::newRow("three at the start, native") << false << u"///srv/x.txt"_s << u"/srv/x.txt"_s;
        QTest::newRow("relative") << false << u"lists//a.txt"_s << u"lists/a.txt"_s;
        QTest::newRow("backslash is a name character") << false << uR"(/home/a\\b.txt)"_s << uR"(/home/a\\b.txt)"_s;
    }

    void testPathRepair()
    {
        QFETCH(bool, backslashes);
        QFETCH(QString, path);
        QFETCH(QString, fixed);
        QCOMPARE(backslashes ? addresses::FixDoubleBackslashes(path) : addresses::fixJoinedPath(path), fixed);
    }
};

QTEST_GUILESS_MAIN(TestListFileReader)
#include "tst_ListFileReader.moc"

// The offline country table: built by the build's own builder from small CSV files, read back through
// the source the batch tool uses; broken files rejected with a clear reason; the real table, when the
// build has it.
#include "core/Failure.h"
#include "sources/OfflineSource.h"
#include "support/OfflineTableFile.h"

#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <zlib.h>

using namespace Qt::StringLiterals;
using namespace sources;

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

quint64 headerField(const QByteArray& table, int offset)
{
    return qFromLittleEndian<quint64>(table.constData() + offset);
}

// What the table's opening says about it, or empty when it opens.
QString openingError(const QString& path)
{
    try {
        OfflineTable table(path);
        return {};
    } catch (const core::Failure& failure) {
        return failure.description();
    }
}

} // namespace

class TestOfflineTable : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    QString m_table;

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        QString error;
        m_table = makeOfflineTable(m_folder.path(), SampleV4Csv, SampleV6Csv, &error);
        QVERIFY2(!m_table.isEmpty(), qPrintable(error));
    }

    void testAnswers_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("code"); // empty: the source fails
        QTest::addColumn<QString>("text"); // the answer's network, or a part of the failure's note
        const QString none = u"no registry block holds "_s;
        const QString notAddress = u"not an IPv4 or IPv6 address"_s;
        const auto row = [](const char* name, const QString& entry, const QString& code, const QString& text) {
            QTest::newRow(name) << entry << code << text;
        };
        row("first address of all", u"0.0.0.0"_s, u"AD"_s, u"0.0.0.0 - 0.0.0.255"_s);
        row("just past a range", u"0.0.1.0"_s, {}, none + u"0.0.1.0 - 0.255.255.255"_s);
        row("just before a range", u"0.255.255.255"_s, {}, none);
        row("first of a range", u"1.0.0.0"_s, u"AU"_s, u"1.0.0.0 - 1.0.0.255"_s);
        row("last of a range", u"1.0.0.255"_s, u"AU"_s, u"1.0.0.0 - 1.0.0.255"_s);
        row("first of the next", u"1.0.1.0"_s, u"CN"_s, u"1.0.1.0 - 1.0.3.255"_s);
        row("last before a gap", u"1.0.3.255"_s, u"CN"_s, u"1.0.1.0 - 1.0.3.255"_s);
        row("first of a gap", u"1.0.4.0"_s, {}, none + u"1.0.4.0 - 4.255.255.255"_s);
        row("before an overlap", u"5.0.0.49"_s, u"SE"_s, u"5.0.0.0 - 5.0.0.49"_s);
        row("overlap: later start wins", u"5.0.0.50"_s, u"NO"_s, u"5.0.0.50 - 5.0.0.200"_s);
        row("after an overlap", u"5.0.0.201"_s, {}, none);
        row("before a block inside", u"193.0.9.255"_s, u"NL"_s, u"193.0.0.0 - 193.0.9.255"_s);
        row("block inside", u"193.0.10.0"_s, u"DE"_s, u"193.0.10.0 - 193.0.10.255"_s);
        row("after a block inside", u"193.0.11.0"_s, u"NL"_s, u"193.0.11.0 - 193.0.23.255"_s);
        row("row written as numbers", u"198.51.100.7"_s, u"IT"_s, u"198.51.100.0 - 198.51.100.255"_s);
        row("last address of all", u"255.255.255.255"_s, u"AQ"_s, u"255.255.255.0 - 255.255.255.255"_s);
        row("cleaned entry", u"http://www.1.0.0.7/"_s, u"AU"_s, u"1.0.0.0 - 1.0.0.255"_s);
        row("blanks around", u" 1.0.0.1\t"_s, u"AU"_s, u"1.0.0.0 - 1.0.0.255"_s);

        const QString jp = u"2001:200:: - 2001:200:ffff:ffff:ffff:ffff:ffff:ffff"_s;
        row("v6 first of a range", u"2001:200::"_s, u"JP"_s, jp);
        row("v6 last of a range", u"2001:200:ffff:ffff:ffff:ffff:ffff:ffff"_s, u"JP"_s, jp);
        row("v6 just before", u"2001:1ff:ffff:ffff:ffff:ffff:ffff:ffff"_s, {}, none);
        row("v6 just after", u"2001:201::"_s, {}, none);
        row("v6 one address, before", u"2a00::"_s, {}, none);
        row("v6 one address", u"2a00::1"_s, u"FR"_s, u"2a00::1 - 2a00::1"_s);
        row("v6 one address, after", u"2a00::2"_s, {}, none + u"2a00::2 - feff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"_s);
        row("v6 in brackets", u"[2001:200::5]"_s, u"JP"_s, jp);
        row("v6 leading zeros", u"2001:0200:0000::0005"_s, u"JP"_s, jp);
        row("v6 last address of all", u"FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF"_s, u"AQ"_s,
            u"ff00:: - ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"_s);
        row("IPv4-mapped", u"::ffff:1.0.0.7"_s, u"AU"_s, u"1.0.0.0 - 1.0.0.255"_s);
        row("IPv4-mapped in hex", u"::ffff:100:7"_s, u"AU"_s, u"1.0.0.0 - 1.0.0.255"_s);
        row("NAT64", u"64:ff9b::808:808"_s, u"US"_s, u"8.8.8.0 - 8.8.8.255"_s);
        row("6to4 without a range of its own", u"2002:808:808::1"_s, u"US"_s, u"8.8.8.0 - 8.8.8.255"_s);
        row("6to4 with a range of its own", u"2002:c100:a00::1"_s, u"SE"_s,
            u"2002:c100:a00:: - 2002:c100:aff:ffff:ffff:ffff:ffff:ffff"_s);
        row("6to4 beside it", u"2002:c100:b00::1"_s, u"NL"_s, u"193.0.11.0 - 193.0.23.255"_s);
        row("IPv4-compatible is IPv6", u"::1.0.0.7"_s, {}, none + u":: - 2001:1ff:ffff:ffff:ffff:ffff:ffff:ffff"_s);

        for (const QString& entry : {u"example.com"_s, u"AS15169"_s, u"1.0.0"_s, u"1.0.0.0.0"_s, u"01.0.0.1"_s,
                                     u"1.0.0.256"_s, u"1.0.0.1:80"_s, u"1.0.0.0/24"_s, u"2001:200::1%eth0"_s,
                                     u"2001:200:::1"_s, u"1:2:3:4:5:6:7:8:9"_s, u"1:2:3:4:5:6:7:8::"_s, u"12345::"_s,
                                     u":1::"_s, u"1::2:"_s, u"::ffff:1.0.0.07"_s, u"1.0.0.1 1.0.0.2"_s, u"[1.0.0.1]"_s})
            QTest::addRow("not an address: %s", qPrintable(entry)) << entry << QString() << notAddress;
    }

    void testAnswers()
    {
        QFETCH(QString, entry);
        QFETCH(QString, code);
        QFETCH(QString, text);
        OfflineSource source(std::make_shared<const OfflineTable>(m_table));
        const std::optional<Answer> answer = source.answerNow(Query{entry, lookup::cleanEntry(entry)});
        QVERIFY(answer);
        QCOMPARE(answer->code, code);
        QCOMPARE(answer->found, !code.isEmpty());
        if (answer->found) {
            QCOMPARE(answer->source, u"offline"_s);
            QCOMPARE(answer->network, text);
            QVERIFY(answer->notes.isEmpty());
        } else {
            QCOMPARE(answer->notes.size(), 1);
            QVERIFY2(answer->notes[0].contains(text), qPrintable(answer->notes[0]));
        }
        QCOMPARE(source.codeOf(lookup::cleanEntry(entry).normalised), code);
    }

    void testBrokenTableIsRejected_data()
    {
        QTest::addColumn<int>("cutTo");     // -1: the whole file
        QTest::addColumn<int>("at");        // a byte to change, -1: none
        QTest::addColumn<int>("flip");      // the bits of it to flip
        QTest::addColumn<bool>("resealed"); // the checksum made to match again, to reach the checks after it
        QTest::addColumn<QString>("message");
        const QByteArray table = readFile(m_table);
        const int size = int(table.size());
        const int v4Starts = int(headerField(table, 32));
        const int v4Codes = int(headerField(table, 40));
        const int v6Starts = int(headerField(table, 48));
        QTest::newRow("empty") << 0 << -1 << 0 << false << u"is not an offline country table"_s;
        QTest::newRow("another magic") << -1 << 0 << 0x01 << false << u"is not an offline country table"_s;
        QTest::newRow("half a header") << 100 << -1 << 0 << false << u"is truncated: 100 bytes, less than its header"_s;
        QTest::newRow("last byte missing")
            << size - 1 << -1 << 0 << false << u"is truncated: %1 of %2 bytes"_s.arg(size - 1).arg(size);
        QTest::newRow("another format") << -1 << 8 << 0x03 << false
                                        << u"has table format 2; this program reads format 1"_s;
        QTest::newRow("a flipped bit in the ranges")
            << -1 << v4Starts + 4 * 3 + 1 << 0x40 << false << u"is corrupt: its checksum does not match"_s;
        QTest::newRow("a flipped bit in the version text")
            << -1 << 140 << 0x01 << false << u"is corrupt: its checksum does not match"_s;
        QTest::newRow("starts out of order")
            << -1 << v4Starts + 4 * 2 + 3 << 0xff << true
            << u"is corrupt: IPv4 entry 3 is out of order"_s; // entry 2 now lies past it
        QTest::newRow("a code that is no letters")
            << -1 << v4Codes + 2 * 1 << 0x70 << true
            << u"is corrupt: IPv4 entry 1 is out of order or has no valid code"_s;
        QTest::newRow("IPv6 starts out of order")
            << -1 << v6Starts + 16 * 1 + 7 << 0xff << true << u"is corrupt: IPv6 entry 2"_s;
        QTest::newRow("an array past the end") << -1 << 59 << 0x01 << true << u"is corrupt: an array lies outside"_s;
        QTest::newRow("a count past the end") << -1 << 27 << 0x01 << true << u"is corrupt: an array lies outside"_s;
    }

    void testBrokenTableIsRejected()
    {
        QFETCH(int, cutTo);
        QFETCH(int, at);
        QFETCH(int, flip);
        QFETCH(bool, resealed);
        QFETCH(QString, message);
        QByteArray bytes = readFile(m_table);
        QVERIFY(openingError(m_table).isEmpty());
        if (cutTo >= 0)
            bytes.truncate(cutTo);
        if (at >= 0)
            bytes[at] = char(bytes[at] ^ flip);
        if (resealed) {
            const auto* data = reinterpret_cast<const Bytef*>(bytes.constData());
            const uLong crc = crc32_z(crc32_z(0, data, 64), data + 68, size_t(bytes.size()) - 68);
            qToLittleEndian<quint32>(quint32(crc), bytes.data() + 64);
        }
        const QString path = m_folder.filePath(u"broken.tbl"_s);
        writeFile(path, bytes);
        const QString error = openingError(path);
        QVERIFY2(error.startsWith(path + u' ') && error.contains(message), qPrintable(error));
    }

    void testMissingTable()
    {
        const QString path = m_folder.filePath(u"nothing-here.tbl"_s);
        QCOMPARE(openingError(path), path + u" not found"_s);
    }

    // The table the build made from the pinned package, when it could fetch it: a few blocks of the
    // registries' own and of public resolvers, whose registration has long been stable.
    void testRealTable_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("code");
        if (!QFileInfo::exists(QStringLiteral(TELLURION_APP_DIR) + u"/offlineCountries.tbl"_s))
            QSKIP("the build has no offline table (scripts/install-deps could not fetch its npm package)");
        QTest::newRow("APNIC/Cloudflare 1.1.1.1") << u"1.1.1.1"_s << u"AU"_s;
        QTest::newRow("Google 8.8.8.8") << u"8.8.8.8"_s << u"US"_s;
        QTest::newRow("RIPE NCC 193.0.0.1") << u"193.0.0.1"_s << u"NL"_s;
        QTest::newRow("M-root 202.12.27.33") << u"202.12.27.33"_s << u"JP"_s;
        QTest::newRow("LACNIC 200.3.14.10") << u"200.3.14.10"_s << u"UY"_s;
        QTest::newRow("RIPE NCC 2001:67c:2e8::1") << u"2001:67c:2e8::1"_s << u"NL"_s;
        QTest::newRow("Google 2001:4860:4860::8888") << u"2001:4860:4860::8888"_s << u"US"_s;
    }

    void testRealTable()
    {
        QFETCH(QString, entry);
        QFETCH(QString, code);
        const auto table =
            std::make_shared<const OfflineTable>(QStringLiteral(TELLURION_APP_DIR) + u"/offlineCountries.tbl"_s);
        QCOMPARE(table->packageName(), u"@ip-location-db/geo-whois-asn-country"_s);
        QCOMPARE(OfflineSource(table).codeOf(entry), code);
    }
};

QTEST_GUILESS_MAIN(TestOfflineTable)
#include "tst_OfflineTable.moc"

// The batch tool with the offline country table, run as a process from an app folder of the test's own
// (the real program and country database beside a table built from the test's ranges), the WHOIS sites
// played by the fake server.
#include "support/CliProcess.h"
#include "support/FakeWhoisServer.h"
#include "support/OfflineTableFile.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString AppDir = QStringLiteral(TELLURION_APP_DIR);

struct Outcome
{
    int exitCode = -1;
    QByteArray out;
    QString err;
};


// An app folder with the programs' files; `table` bytes become its offline table unless empty.
bool makeAppFolder(const QString& folder, const QByteArray& table)
{
    for (const QString& file : {u"tellurion-cli"_s, u"dbCountries.mdb"_s})
        if (!QFile::copy(AppDir + u'/' + file, folder + u'/' + file))
            return false;
    if (table.isEmpty())
        return true;
    QFile out(folder + u"/offlineCountries.tbl"_s);
    return out.open(QIODevice::WriteOnly) && out.write(table) == table.size();
}

} // namespace

class TestCliOffline : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeWhoisServer> m_server;
    QTemporaryDir m_scratch;
    QByteArray m_table;

    QString folder(const char* name) const { return m_scratch.filePath(QString::fromLatin1(name)); }

    Outcome run(const QString& app, const QStringList& args, const QByteArray& input)
    {
        // An empty cache of its own for every run: each asks the sites as the test expects, and nothing
        // is left in the real cache folder.
        QTemporaryDir cacheHome;
        const CliOutcome outcome =
            runCli(app + u"/tellurion-cli"_s, withoutBudget(QStringList{u"-q"_s} + args), input, cacheHome.path());
        return {outcome.exitCode, outcome.out, QString::fromUtf8(outcome.err)};
    }

    void serve(const QString& entry, const QString& code)
    {
        m_server->setResponse(u"www.whois.com"_s, "/whois/" + entry.toUtf8(),
                              FakeWhoisServer::page(FakeWhoisServer::firstSitePage(u"country: "_s + code)));
    }

private slots:
    void initTestCase()
    {
        m_server = std::make_unique<FakeWhoisServer>();
        m_server->becomeProxy();
        QVERIFY(m_scratch.isValid());
        QString error;
        const QString table = makeOfflineTable(m_scratch.path(), SampleV4Csv, SampleV6Csv, &error);
        QVERIFY2(!table.isEmpty(), qPrintable(error));
        QFile file(table);
        QVERIFY(file.open(QIODevice::ReadOnly));
        m_table = file.readAll();
        for (const char* name : {"with", "without", "truncated"})
            QVERIFY(QDir(m_scratch.path()).mkdir(QString::fromLatin1(name)));
        QVERIFY(makeAppFolder(folder("with"), m_table));
        QVERIFY(makeAppFolder(folder("without"), {}));
        QVERIFY(makeAppFolder(folder("truncated"), m_table.left(m_table.size() / 2)));
    }

    void init()
    {
        m_server->clearResponses();
        m_server->clearRequests();
        m_server->setHostDefault({}, FakeWhoisServer::page("<html><body>No match</body></html>", 404));
        serve(u"1.0.0.1"_s, u"DE"_s);   // the table says AU
        serve(u"192.0.2.9"_s, u"FR"_s); // in no range of the table
        serve(u"shop.tld"_s, u"US"_s);  // a name
        // 1.0.1.1: neither site has a code; the table says CN.
    }

    void testSourcesAreAskedInOrder_data()
    {
        QTest::addColumn<QString>("sources");
        QTest::addColumn<QStringList>("rows"); // code/source, or Failed
        QTest::addColumn<int>("requests");
        QTest::newRow("offline") << u"offline"_s
                                 << QStringList{u"AU/offline"_s, u"Failed"_s, u"Failed"_s, u"CN/offline"_s} << 0;
        QTest::newRow("web,offline") << u"web,offline"_s
                                     << QStringList{u"DE/site1"_s, u"FR/site1"_s, u"US/site1"_s, u"CN/offline"_s}
                                     << 5; // both sites for the last
        QTest::newRow("offline,web") << u"offline,web"_s
                                     << QStringList{u"AU/offline"_s, u"FR/site1"_s, u"US/site1"_s, u"CN/offline"_s}
                                     << 2;
    }

    void testSourcesAreAskedInOrder()
    {
        QFETCH(QString, sources);
        QFETCH(QStringList, rows);
        QFETCH(int, requests);
        const Outcome outcome = run(folder("with"), {u"--source"_s, sources, u"-f"_s, u"json"_s},
                                    "1.0.0.1\n192.0.2.9\nshop.tld\n1.0.1.1\n");
        QCOMPARE(outcome.exitCode, rows.contains(u"Failed"_s) ? 1 : 0);
        QStringList got;
        for (const QByteArray& line : outcome.out.split('\n')) {
            if (line.isEmpty())
                continue;
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            got << (o[u"status"_s] == u"Failed"_s ? u"Failed"_s
                                                  : o[u"country_code"_s].toString() + u'/' + o[u"source"_s].toString());
        }
        QCOMPARE(got, rows);
        QCOMPARE(m_server->requests().size(), requests);
        // The table's reasons for the entries it failed stand on standard error.
        if (sources == u"offline"_s) {
            QVERIFY2(outcome.err.contains(u"192.0.2.9: offline table: no registry block holds"_s),
                     qPrintable(outcome.err));
            QVERIFY2(outcome.err.contains(u"shop.tld: offline table: not an IPv4 or IPv6 address"_s),
                     qPrintable(outcome.err));
        }
    }

    void testCrossCheck()
    {
        serve(u"1.0.0.2"_s, u"au"_s);
        serve(u"194.0.0.1"_s, u"UK"_s);   // GB in the table
        serve(u"193.0.0.1"_s, u"EU"_s);   // NL
        serve(u"203.0.113.5"_s, u"AP"_s); // CN
        serve(u"8.8.8.8"_s, u"EU"_s);     // US
        const QByteArray input =
            "1.0.0.1\n1.0.0.2\n194.0.0.1\n193.0.0.1\n203.0.113.5\n8.8.8.8\n192.0.2.9\nshop.tld\n1.0.1.1\n";
        const Outcome json =
            run(folder("with"), {u"--cross-check"_s, u"--source=web,offline"_s, u"-f"_s, u"json"_s}, input);
        QCOMPARE(json.exitCode, 0);
        QStringList got;
        for (const QByteArray& line : json.out.split('\n')) {
            if (line.isEmpty())
                continue;
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            QVERIFY2(o.contains(u"offline_country_code"_s) && o.contains(u"agrees"_s), line.constData());
            got << o[u"offline_country_code"_s].toString() + u' ' +
                       (o[u"agrees"_s].isNull()   ? u"-"_s
                        : o[u"agrees"_s].toBool() ? u"yes"_s
                                                  : u"no"_s);
        }
        QCOMPARE(got, (QStringList{u"AU no"_s, u"AU yes"_s, u"GB yes"_s, u"NL yes"_s, u"CN yes"_s, u"US no"_s, u" -"_s,
                                   u" -"_s, u"CN -"_s}));
        QVERIFY2(json.err.contains(u"cross-check: 2 of 6 entries compared differ from the offline table (2 IP entries "
                                   u"not compared"_s),
                 qPrintable(json.err));

        // CSV gains the two columns.
        const Outcome csv = run(folder("with"), {u"--cross-check"_s}, "1.0.0.1\n");
        QCOMPARE(csv.out,
                 QByteArray("IP Address(es),Status,Country,Country Code,Continent,offline_country_code,agrees\r\n"
                            "1.0.0.1,Completed,Germany,DE,Europe,AU,false\r\n"));
    }

    void testUnusableTableStopsBeforeAnyLookup_data()
    {
        QTest::addColumn<QString>("app");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        const QString missing = u"the offline country table is not installed ("_s;
        QTest::newRow("not installed, --source")
            << folder("without") << QStringList{u"--source"_s, u"web,offline"_s} << missing;
        QTest::newRow("not installed, --cross-check")
            << folder("without") << QStringList{u"--cross-check"_s} << missing;
        QTest::newRow("truncated") << folder("truncated") << QStringList{u"--source"_s, u"offline"_s}
                                   << u"the offline country table cannot be used: "_s + folder("truncated") +
                                          u"/offlineCountries.tbl is truncated: "_s;
    }

    void testUnusableTableStopsBeforeAnyLookup()
    {
        QFETCH(QString, app);
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        const Outcome outcome = run(app, args, "1.0.0.1\nshop.tld\n");
        QCOMPARE(outcome.exitCode, 2);
        QVERIFY2(outcome.err.contains(message), qPrintable(outcome.err));
        QVERIFY(outcome.out.isEmpty());
        QVERIFY(m_server->requests().isEmpty());
    }

    void testVersionNamesTheTable()
    {
        const Outcome with = run(folder("with"), {u"--version"_s}, {});
        QVERIFY2(
            with.out.contains("Offline country table: csv test-1 (data of 2026-01-02), 12 IPv4 and 4 IPv6 ranges.") &&
                with.out.contains("CC BY 4.0 by the Number Resource Organization"),
            with.out.constData());
        const Outcome without = run(folder("without"), {u"--version"_s}, {});
        QVERIFY2(without.out.contains("Offline country table: not installed"), without.out.constData());
    }
};

QTEST_GUILESS_MAIN(TestCliOffline)
#include "tst_CliOffline.moc"

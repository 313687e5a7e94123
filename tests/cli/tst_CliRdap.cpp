// The batch tool with RDAP as a source, run as a process against a fake RDAP service on loopback (and the
// fake WHOIS sites, through http_proxy, when the web source is asked as well).
#include "support/CliProcess.h"
#include "support/FakeWhoisServer.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using Response = FakeWhoisServer::Response;

namespace {

struct Outcome
{
    int exitCode = -1;
    QList<QJsonObject> rows;
    QString err;
};

} // namespace

class TestCliRdap : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeWhoisServer> m_server;
    QTemporaryDir m_folder;
    QString m_bootstrap;
    int m_runs = 0;

    void serve(const QByteArray& path, const QString& file, int status = 200)
    {
        QFile f(QStringLiteral(TELLURION_TEST_DATA) + u"/rdap/"_s + file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        Response r = FakeWhoisServer::page(f.readAll().replace("{BASE}", base()), status);
        r.contentType = "application/rdap+json";
        m_server->setResponse({}, path, r);
    }

    QByteArray base() const { return "http://127.0.0.1:" + QByteArray::number(m_server->port()); }

    // Each run has a cache of its own unless it names one.
    Outcome run(const QStringList& args, const QByteArray& input, QString cache = {})
    {
        if (cache.isEmpty())
            cache = m_folder.filePath(u"cache-%1"_s.arg(++m_runs));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"http_proxy"_s, QString::fromLatin1(m_server->proxyUrl()));
        env.remove(u"no_proxy"_s);
        const CliOutcome done =
            runCli(QStringLiteral(TELLURION_APP_DIR) + u"/tellurion-cli"_s, withoutBudget(args), input, cache, env);
        return {done.exitCode, done.jsonRows(), QString::fromUtf8(done.err)};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        m_server = std::make_unique<FakeWhoisServer>();
        m_bootstrap = m_folder.filePath(u"bootstrap.json"_s);
        QFile file(m_bootstrap);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("{\"version\": \"1.0\", \"services\": [[[\"192.0.2.0/24\", \"198.51.100.0/24\", \"203.0.113.0/24\", "
                   "\"64496-64511\"], [\"" +
                   base() + "/rir/\"]], [[\"test\"], [\"" + base() + "/registry/\"]]]}");
        file.close();
        serve("/rir/ip/192.0.2.1", u"network-country.json"_s);
        serve("/rir/ip/198.51.100.7", u"network-registrant.json"_s);
        serve("/registry/domain/shop.test", u"domain-registry.json"_s);
        serve("/registrar/domain/SHOP.TEST", u"domain-registrar.json"_s);
        serve("/registry/domain/private.test", u"domain-redacted.json"_s);
        serve("/rir/autnum/64500", u"autnum.json"_s);
        serve("/rir/ip/203.0.113.4", u"error-404.json"_s, 404);
        m_server->setResponse(u"www.whois.com"_s, "/whois/203.0.113.4",
                              FakeWhoisServer::page(FakeWhoisServer::firstSitePage(u"country: NL"_s)));
    }

    void testRowsFromRdap()
    {
        const Outcome o = run({u"--source"_s, u"rdap"_s, u"--rdap-bootstrap"_s, m_bootstrap, u"-f"_s, u"json"_s,
                               u"--fields"_s, u"+rdap_handle"_s, u"-j"_s, u"3"_s},
                              "192.0.2.1\n198.51.100.7\nwww.shop.test\nprivate.test\nAS64500\n203.0.113.4\n");
        QCOMPARE(o.exitCode, 1); // two entries fail
        QCOMPARE(o.rows.size(), 6);
        const QStringList expected[] = {
            {u"192.0.2.1"_s, u"Completed"_s, u"DE"_s, u"Germany"_s, u"192.0.2.0/24"_s, u"NET-192-0-2-0-1"_s},
            {u"198.51.100.7"_s, u"Completed"_s, u"CA"_s, u"Canada"_s, u"198.51.100.0/25"_s, u"NET-198-51-100-0-1"_s},
            {u"shop.test"_s, u"Completed"_s, u"AU"_s, u"Australia"_s, u"shop.test"_s, u"2336799_DOMAIN_TEST-VRSN"_s},
            {u"private.test"_s, u"Failed"_s, QString(), QString(), u"private.test"_s, u"D402200000017-TEST"_s},
            {u"AS64500"_s, u"Completed"_s, u"JP"_s, u"Japan"_s, u"AS64496-AS64511"_s, u"AS64496"_s},
            {u"203.0.113.4"_s, u"Failed"_s, QString(), QString(), QString(), QString()},
        };
        for (qsizetype i = 0; i < o.rows.size(); ++i) {
            const QJsonObject& row = o.rows[i];
            const QStringList got{row[u"address"_s].toString(),      row[u"status"_s].toString(),
                                  row[u"country_code"_s].toString(), row[u"country"_s].toString(),
                                  row[u"network"_s].toString(),      row[u"rdap_handle"_s].toString()};
            QCOMPARE(got, expected[i]);
            QCOMPARE(row[u"source"_s].toString(), got[1] == u"Completed"_s ? u"rdap"_s : QString());
        }
        QVERIFY2(o.err.contains(u"private.test: 127.0.0.1: the registrant's country is redacted"_s), qPrintable(o.err));
        QVERIFY2(o.err.contains(u"203.0.113.4: 127.0.0.1: no such object (404)"_s), qPrintable(o.err));
    }

    void testSourceOrder_data()
    {
        QTest::addColumn<QString>("sources");
        QTest::addColumn<QStringList>("codes");
        QTest::addColumn<QStringList>("from");
        // 192.0.2.1 has a code from both; 203.0.113.4 only from the first WHOIS site.
        QTest::newRow("rdap first") << u"rdap,web"_s << QStringList{u"DE"_s, u"NL"_s}
                                    << QStringList{u"rdap"_s, u"site1"_s};
        QTest::newRow("web first") << u"web,rdap"_s << QStringList{u"DE"_s, u"NL"_s}
                                   << QStringList{u"rdap"_s, u"site1"_s};
        QTest::newRow("rdap alone") << u"rdap"_s << QStringList{u"DE"_s, QString()}
                                    << QStringList{u"rdap"_s, QString()};
    }

    void testSourceOrder()
    {
        QFETCH(QString, sources);
        QFETCH(QStringList, codes);
        QFETCH(QStringList, from);
        const Outcome o = run({u"--source"_s, sources, u"--rdap-bootstrap"_s, m_bootstrap, u"-f"_s, u"json"_s},
                              "192.0.2.1\n203.0.113.4\n");
        QCOMPARE(o.rows.size(), 2);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(o.rows[i][u"country_code"_s].toString(), codes[i]);
            QCOMPARE(o.rows[i][u"source"_s].toString(), from[i]);
        }
    }

    // The cache keeps RDAP's answers by the block the network names and by registered domain: a later run
    // answers another address of the block and another name of the registration without asking.
    void testAnswersAreCachedByBlockAndDomain()
    {
        const QString cache = m_folder.filePath(u"shared-cache"_s);
        const QStringList args{u"--source"_s, u"rdap"_s, u"--rdap-bootstrap"_s, m_bootstrap, u"-f"_s, u"json"_s};
        const Outcome first = run(args, "192.0.2.1\nshop.test\n", cache);
        QCOMPARE(first.rows.size(), 2);
        QCOMPARE(first.rows[0][u"cached"_s].toBool(), false);
        m_server->clearRequests();
        const Outcome second = run(args, "192.0.2.200\nmail.shop.test\n", cache);
        QCOMPARE(second.rows.size(), 2);
        for (const QJsonObject& row : second.rows) {
            QCOMPARE(row[u"cached"_s].toBool(), true);
            QCOMPARE(row[u"source"_s].toString(), u"rdap"_s);
        }
        QCOMPARE(second.rows[0][u"country_code"_s].toString(), u"DE"_s);
        QCOMPARE(second.rows[0][u"network"_s].toString(), u"192.0.2.0/24"_s);
        QCOMPARE(second.rows[1][u"country_code"_s].toString(), u"AU"_s);
        QVERIFY(m_server->requests().isEmpty());
    }

    // RFC 7480: a client slows down on 429 and honours Retry-After; and RDAP's requests keep to --rate.
    void testSlowDownAndBudget()
    {
        QFile f(QStringLiteral(TELLURION_TEST_DATA) + u"/rdap/network-country.json"_s);
        QVERIFY(f.open(QIODevice::ReadOnly));
        Response slowDown = FakeWhoisServer::page("{\"errorCode\": 429, \"title\": \"Too Many Requests\"}", 429);
        slowDown.headers.append({QByteArray("Retry-After"), QByteArray("1")});
        m_server->setResponsesInTurn({}, "/rir/ip/203.0.113.5", {slowDown, FakeWhoisServer::page(f.readAll())});
        m_server->clearRequests();
        const Outcome paused =
            run({u"--source"_s, u"rdap"_s, u"--rdap-bootstrap"_s, m_bootstrap, u"-f"_s, u"json"_s}, "203.0.113.5\n");
        QCOMPARE(paused.exitCode, 0);
        QCOMPARE(paused.rows.value(0)[u"country_code"_s].toString(), u"DE"_s);
        QVERIFY2(paused.err.contains(u"127.0.0.1 asked to slow down (HTTP 429); no requests to it for 1 s"_s),
                 qPrintable(paused.err));
        const QList<FakeWhoisServer::Request> asked = m_server->requests();
        QCOMPARE(asked.size(), 2);
        QVERIFY(asked[1].receivedMs - asked[0].receivedMs >= 950);

        m_server->clearRequests();
        const Outcome budget = run({u"--source"_s, u"rdap"_s, u"--rdap-bootstrap"_s, m_bootstrap, u"--rate"_s, u"2"_s,
                                    u"-j"_s, u"8"_s, u"--no-cache"_s},
                                   "192.0.2.1\n192.0.2.1\n192.0.2.1\n192.0.2.1\n192.0.2.1\n");
        QCOMPARE(budget.exitCode, 0);
        QCOMPARE(m_server->requests().size(), 5);
        QVERIFY(m_server->mostRequestsInOneSecond() <= 2);
    }

    void testUnusableBootstrapFile()
    {
        const QString bad = m_folder.filePath(u"bad.json"_s);
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("{\"services\": [[[\"192.0.2.0/24\"], [\"gopher://x/\"]]]}");
        file.close();
        const Outcome o = run({u"--source"_s, u"rdap"_s, u"--rdap-bootstrap"_s, bad}, "192.0.2.1\n");
        QCOMPARE(o.exitCode, 2);
        QVERIFY(o.rows.isEmpty());
        QVERIFY2(o.err.contains(u"cannot use the RDAP bootstrap file "_s + bad), qPrintable(o.err));
    }
};

QTEST_GUILESS_MAIN(TestCliRdap)
#include "tst_CliRdap.moc"

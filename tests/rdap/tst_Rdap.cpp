// RDAP's bootstrap registries (which service answers what), the reading of answers, and the refresh of the
// registries from IANA (here: the fake server on loopback).
#include "lookup/PageLoader.h"
#include "rdap/BootstrapStore.h"
#include "rdap/RdapReader.h"
#include "support/FakeWhoisServer.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using rdap::Bootstrap;
using rdap::Reading;

namespace {

// A fake answer of tests/data/rdap, its links pointing at `base`.
QByteArray dataFile(const QString& name, const QByteArray& base = "https://rdap.test")
{
    QFile file(QStringLiteral(TELLURION_TEST_DATA) + u"/rdap/"_s + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing test data file %s", qPrintable(file.fileName()));
    return file.readAll().replace("{BASE}", base);
}

// JSON written with ` for " (moc cannot read raw string literals).
QByteArray json(const char* text)
{
    return QByteArray(text).replace('`', '"');
}

QByteArray bootstrapFile(const QByteArray& publication, const QByteArray& services)
{
    return json("{`version`: `1.0`, `publication`: `") + publication + json("`, `services`: [") + services + "]}";
}

// Nested prefixes in both orders: the longer one first for IPv4, last for IPv6.
const QByteArray NestedServices =
    json("[[`192.0.2.0/24`, `198.51.100.0/25`], [`http://b.test/rdap/`, `https://b.test/rdap/`]],[[`192.0.0.0/8`], "
         "[`https://a.test/`]],[[`2001:db8::/32`], [`https://c.test/`]],[[`2001:db8:1::/48`], "
         "[`https://d.test`]],[[`64496-64511`, `1-1000`], [`https://e.test/`]],[[`64500`], "
         "[`http://f.test/`]],[[`com`, `co.uk`], [`https://g.test/`]],[[`uk`], [`https://i.test/`]]");

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestRdap : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeWhoisServer> m_server;

private slots:
    void initTestCase()
    {
        m_server = std::make_unique<FakeWhoisServer>();
        qunsetenv("http_proxy");
    }

    void testLongestMatchWins_data()
    {
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("service");
        QTest::newRow("inside the /24 and the /8") << u"192.0.2.1"_s << u"https://b.test/rdap/"_s;
        QTest::newRow("last address of the /25") << u"198.51.100.127"_s << u"https://b.test/rdap/"_s;
        QTest::newRow("first address past the /25") << u"198.51.100.128"_s << QString();
        QTest::newRow("only the /8") << u"192.0.3.1"_s << u"https://a.test/"_s;
        QTest::newRow("no prefix") << u"193.0.0.1"_s << QString();
        QTest::newRow("IPv4 written as IPv6") << u"::ffff:192.0.2.9"_s << u"https://b.test/rdap/"_s;
        QTest::newRow("inside the /48 and the /32") << u"2001:db8:1::5"_s << u"https://d.test/"_s;
        QTest::newRow("only the /32") << u"2001:db8:2::1"_s << u"https://c.test/"_s;
        QTest::newRow("AS in a single-number entry and a range") << u"AS64500"_s << u"http://f.test/"_s;
        QTest::newRow("AS in the range") << u"AS64511"_s << u"https://e.test/"_s;
        QTest::newRow("AS in a second range of the service") << u"AS1"_s << u"https://e.test/"_s;
        QTest::newRow("AS in none") << u"AS64512"_s << QString();
        QTest::newRow("domain under com") << u"www.example.com"_s << u"https://g.test/"_s;
        QTest::newRow("co.uk before uk") << u"a.b.co.uk"_s << u"https://g.test/"_s;
        QTest::newRow("uk alone") << u"x.uk"_s << u"https://i.test/"_s;
        QTest::newRow("letter case and final dot") << u"EXAMPLE.COM."_s << u"https://g.test/"_s;
        QTest::newRow("no such top-level domain") << u"example.org"_s << QString();
        QTest::newRow("not a suffix on a label boundary") << u"example.xcom"_s << QString();
    }

    void testLongestMatchWins()
    {
        QFETCH(QString, question);
        QFETCH(QString, service);
        Bootstrap bootstrap;
        QString error;
        QVERIFY2(bootstrap.add(bootstrapFile("2024-01-01T00:00:00Z", NestedServices), nullptr, &error),
                 qPrintable(error));
        QUrl found;
        if (question.startsWith(u"AS"_s))
            found = bootstrap.serviceForAsn(question.mid(2).toUInt());
        else if (QHostAddress address; address.setAddress(question))
            found = bootstrap.serviceForAddress(address);
        else
            found = bootstrap.serviceForDomain(question);
        QCOMPARE(found.toString(), service);
    }

    void testRefusesABadFileWhole_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("not JSON") << json("{`services`: [[[`10.0.0.0/8`], [`https://x.test/`]]");
        QTest::newRow("cut short") << bootstrapFile("2024-01-01T00:00:00Z", NestedServices).left(200);
        QTest::newRow("no services") << json("{`version`: `1.0`}");
        QTest::newRow("a URL that is not HTTP")
            << bootstrapFile("x", json("[[`10.0.0.0/8`], [`https://x.test/`]], [[`net`], [`ftp://y.test/`]]"));
        QTest::newRow("a prefix too long")
            << bootstrapFile("x", json("[[`10.0.0.0/8`, `10.1.0.0/33`], [`https://x.test/`]]"));
        QTest::newRow("an AS range backwards")
            << bootstrapFile("x", json("[[`10.0.0.0/8`], [`https://x.test/`]], [[`9-3`], [`https://x.test/`]]"));
        QTest::newRow("an entry of no form")
            << bootstrapFile("x", json("[[`10.0.0.0/8`, `ex ample`], [`https://x.test/`]]"));
        QTest::newRow("a service without URLs") << bootstrapFile("x", json("[[`10.0.0.0/8`], []]"));
    }

    void testRefusesABadFileWhole()
    {
        QFETCH(QByteArray, file);
        Bootstrap bootstrap;
        QVERIFY(bootstrap.add(bootstrapFile("2024-01-01T00:00:00Z", json("[[`net`], [`https://kept.test/`]]"))));
        QString error;
        QVERIFY(!bootstrap.add(file, nullptr, &error));
        QVERIFY(!error.isEmpty());
        // Nothing of the refused file is in use, and what was there before still is.
        QVERIFY(!bootstrap.covers(rdap::Registry::Ipv4));
        QCOMPARE(bootstrap.serviceForDomain(u"example.net"_s).toString(), u"https://kept.test/"_s);
    }

    void testShippedSnapshot_data()
    {
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("host");
        QTest::newRow("ARIN's 8/8") << u"8.8.8.8"_s << u"rdap.arin.net"_s;
        QTest::newRow("RIPE's 193/8") << u"193.0.6.139"_s << u"rdap.db.ripe.net"_s;
        QTest::newRow("APNIC's 1/8") << u"1.1.1.1"_s << u"rdap.apnic.net"_s;
        QTest::newRow("LACNIC's 200/8") << u"200.160.2.3"_s << u"rdap.lacnic.net"_s;
        QTest::newRow("AFRINIC's 196/8") << u"196.216.2.1"_s << u"rdap.afrinic.net"_s;
        QTest::newRow("RIPE's 2a00::/12") << u"2a00:1450::1"_s << u"rdap.db.ripe.net"_s;
        QTest::newRow("ARIN's 2600::/12") << u"2600:1f18::1"_s << u"rdap.arin.net"_s;
        QTest::newRow("RIPE's AS3333") << u"AS3333"_s << u"rdap.db.ripe.net"_s;
        QTest::newRow("AFRINIC's AS37100") << u"AS37100"_s << u"rdap.afrinic.net"_s;
        QTest::newRow("APNIC's AS131072") << u"AS131072"_s << u"rdap.apnic.net"_s;
        QTest::newRow("private 10/8") << u"10.0.0.1"_s << QString();
    }

    // The snapshot that is installed with the program: well-known blocks reach their registry over HTTPS.
    void testShippedSnapshot()
    {
        QFETCH(QString, question);
        QFETCH(QString, host);
        lookup::PageLoader loader;
        const rdap::BootstrapStore store(loader, QStringLiteral(TELLURION_SOURCE_DIR) + u"/data/rdap"_s, {});
        const QUrl service = question.startsWith(u"AS"_s) ? store.bootstrap().serviceForAsn(question.mid(2).toUInt())
                                                          : store.bootstrap().serviceForAddress(QHostAddress(question));
        QCOMPARE(service.host(), host);
        if (!host.isEmpty())
            QCOMPARE(service.scheme(), u"https"_s);
    }

    void testReadsAnswers_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("country");
        QTest::addColumn<QString>("countryName");
        QTest::addColumn<QString>("network");
        QTest::addColumn<QString>("handle");
        QTest::addColumn<bool>("redacted");
        QTest::addColumn<QString>("related");
        const int network = int(Reading::Kind::Network);
        const int domain = int(Reading::Kind::Domain);
        QTest::newRow("network's own country before its registrant's label")
            << dataFile(u"network-country.json"_s) << u"192.0.2.1"_s << network << u"DE"_s << QString()
            << u"192.0.2.0/24"_s << u"NET-192-0-2-0-1"_s << false << QString();
        QTest::newRow("no country: the registrant's country name")
            << dataFile(u"network-registrant.json"_s) << u"198.51.100.7"_s << network << QString() << u"Canada"_s
            << u"198.51.100.0/25"_s << u"NET-198-51-100-0-1"_s << false << QString();
        QTest::newRow("no country name: the last line of the label")
            << json("{`objectClassName`: `ip network`, `startAddress`: `192.0.2.0`, `endAddress`: "
                    "`192.0.2.130`,`entities`: [{`roles`: [`registrant`], `vcardArray`: [`vcard`, [[`adr`,{`label`: `1 "
                    "Main St\\nAnytown\\nUnited States`}, `text`, [``, ``, ``, ``, ``, ``, ``]]]]}]}")
            << QString() << network << QString() << u"United States"_s << u"192.0.2.0 - 192.0.2.130"_s << QString()
            << false << QString();
        QTest::newRow("of several prefixes, the one that holds the address")
            << json("{`objectClassName`: `ip network`, `country`: `NL`, `startAddress`: `192.0.2.0`,`endAddress`: "
                    "`192.0.2.191`, `cidr0_cidrs`: [{`v4prefix`: `192.0.2.0`, `length`: 25},{`v4prefix`: "
                    "`192.0.2.128`, `length`: 26}]}")
            << u"192.0.2.150"_s << network << u"NL"_s << QString() << u"192.0.2.128/26"_s << QString() << false
            << QString();
        QTest::newRow("IPv6 range that is one prefix")
            << json("{`objectClassName`: `ip network`, `country`: `SE`, `startAddress`: `2001:db8::`,`endAddress`: "
                    "`2001:db8:ffff:ffff:ffff:ffff:ffff:ffff`}")
            << QString() << network << u"SE"_s << QString() << u"2001:db8::/32"_s << QString() << false << QString();
        QTest::newRow("a country that is not a code is no code")
            << json("{`objectClassName`: `ip network`, `country`: `Germany`}") << QString() << network << QString()
            << QString() << QString() << QString() << false << QString();
        QTest::newRow("thin registry: the registrar's link")
            << dataFile(u"domain-registry.json"_s) << QString() << domain << QString() << QString() << u"shop.test"_s
            << u"2336799_DOMAIN_TEST-VRSN"_s << false << u"https://rdap.test/registrar/domain/SHOP.TEST"_s;
        QTest::newRow("registrar: name and street redacted, country code kept")
            << dataFile(u"domain-registrar.json"_s) << QString() << domain << u"AU"_s << QString() << u"shop.test"_s
            << u"2336799_DOMAIN_TEST-VRSN"_s << false << QString();
        QTest::newRow("RFC 9537: the registrant's country removed")
            << dataFile(u"domain-redacted.json"_s) << QString() << domain << QString() << QString() << u"private.test"_s
            << u"D402200000017-TEST"_s << true << QString();
        QTest::newRow("placeholder where the country would be")
            << json("{`objectClassName`: `domain`, `ldhName`: `x.test`, `entities`: [{`roles`: "
                    "[`registrant`],`vcardArray`: [`vcard`, [[`adr`, {}, `text`, [``, ``, ``, ``, ``, ``, `REDACTED "
                    "FOR PRIVACY`]]]]}]}")
            << QString() << domain << QString() << QString() << u"x.test"_s << QString() << true << QString();
        QTest::newRow("registrant withheld whole: redacted, not thin")
            << json("{`objectClassName`: `domain`, `ldhName`: `y.test`, `links`: [{`rel`: `related`,`href`: "
                    "`https://registrar.test/domain/y.test`, `type`: `application/rdap+json`}],`redacted`: [{`name`: "
                    "{`description`: `Registrant`}, `method`: `removal`,`prePath`: "
                    "`$.entities[?(@.roles[0]=='registrant')]`}]}")
            << QString() << domain << QString() << QString() << u"y.test"_s << QString() << true << QString();
        QTest::newRow("autnum: its country before its registrant's")
            << dataFile(u"autnum.json"_s) << QString() << int(Reading::Kind::Autnum) << u"JP"_s << QString()
            << u"AS64496-AS64511"_s << u"AS64496"_s << false << QString();
    }

    void testReadsAnswers()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, asked);
        QFETCH(int, kind);
        const Reading r = rdap::readAnswer(body, QHostAddress(asked));
        QVERIFY2(r.ok, qPrintable(r.problem));
        QCOMPARE(int(r.kind), kind);
        QTEST(r.country, "country");
        QTEST(r.countryName, "countryName");
        QTEST(r.network, "network");
        QTEST(r.handle, "handle");
        QTEST(r.redacted, "redacted");
        QTEST(r.related.toString(), "related");
    }

    void testRefusesBadAnswers_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("not JSON") << QByteArray("<html><body>Too many requests</body></html>");
        QTest::newRow("cut short") << dataFile(u"network-country.json"_s).left(700);
        QTest::newRow("a list") << json("[{`objectClassName`: `ip network`, `country`: `DE`}]");
        QTest::newRow("nested deeper than any answer") << QByteArray(100000, '[') + QByteArray(100000, ']');
        QTest::newRow("too large") << json("{`country`: `DE`, `x`: `") + QByteArray(rdap::MaxAnswerBytes, 'x') + "\"}";
    }

    void testRefusesBadAnswers()
    {
        QFETCH(QByteArray, body);
        const Reading r = rdap::readAnswer(body);
        QVERIFY(!r.ok);
        QVERIFY(!r.problem.isEmpty());
        QVERIFY(r.country.isEmpty());
    }

    void testErrorAnswer()
    {
        const Reading r = rdap::readAnswer(dataFile(u"error-404.json"_s));
        QVERIFY(r.ok);
        QCOMPARE(r.kind, Reading::Kind::Error);
        QCOMPARE(r.errorCode, 404);
        QCOMPARE(r.errorTitle, u"Not Found"_s);
    }

    // IANA's files fetched into the cache folder: only a complete file of its registry that is at least
    // as new replaces the copy in use; one attempt a day.
    void testRefreshKeepsTheNewestGoodCopy()
    {
        QTemporaryDir shipped;
        QTemporaryDir cache;
        const QByteArray oldIpv4 =
            bootstrapFile("2019-12-27T00:00:00Z", json("[[`192.0.0.0/8`], [`https://old.test/`]]"));
        const QByteArray oldIpv6 =
            bootstrapFile("2019-11-06T00:00:00Z", json("[[`2001:db8::/32`], [`https://old.test/`]]"));
        const QByteArray oldAsn = bootstrapFile("2019-12-27T00:00:00Z", json("[[`1-100`], [`https://old.test/`]]"));
        writeFile(shipped.filePath(u"ipv4.json"_s), oldIpv4);
        writeFile(shipped.filePath(u"ipv6.json"_s), oldIpv6);
        writeFile(shipped.filePath(u"asn.json"_s), oldAsn);

        const QString base = u"http://127.0.0.1:%1/rdap/"_s.arg(m_server->port());
        const auto serve = [&](const char* name, const FakeWhoisServer::Response& response) {
            m_server->setResponse({}, QByteArray("/rdap/") + name, response);
        };
        const QByteArray newIpv4 =
            bootstrapFile("2026-11-30T00:00:00Z", json("[[`192.0.0.0/8`], [`https://new.test/`]]"));
        serve("ipv4.json", FakeWhoisServer::page(newIpv4));
        // Older than the shipped copy.
        serve("ipv6.json", FakeWhoisServer::page(bootstrapFile("2018-01-01T00:00:00Z",
                                                               json("[[`2001:db8::/32`], [`https://older.test/`]]"))));
        // Good JSON, but of the wrong registry.
        serve("asn.json",
              FakeWhoisServer::page(bootstrapFile("2026-11-30T00:00:00Z", json("[[`com`], [`https://new.test/`]]"))));
        // Cut off mid-way.
        serve("dns.json", FakeWhoisServer::closedMidPage(
                              bootstrapFile("2026-11-30T00:00:00Z", json("[[`com`], [`https://new.test/`]]"))));

        lookup::PageLoader loader;
        {
            rdap::BootstrapStore store(loader, shipped.path(), cache.path());
            store.setSourceBase(QUrl(base));
            QVERIFY(!store.covers(rdap::Registry::Dns));
            QSignalSpy refreshed(&store, &rdap::BootstrapStore::refreshed);
            store.refreshIfDue();
            QVERIFY(store.isRefreshing());
            QVERIFY(refreshed.wait(20000));
            QCOMPARE(store.bootstrap().serviceForAddress(QHostAddress(u"192.0.2.1"_s)).host(), u"new.test"_s);
            QCOMPARE(store.bootstrap().serviceForAddress(QHostAddress(u"2001:db8::1"_s)).host(), u"old.test"_s);
            QCOMPARE(store.bootstrap().serviceForAsn(5).host(), u"old.test"_s);
            QVERIFY(!store.covers(rdap::Registry::Dns));
            QCOMPARE(store.refreshNotes().size(), 3);
        }
        QCOMPARE(QDir(cache.path()).entryList({u"*.json"_s}, QDir::Files), QStringList{u"ipv4.json"_s});

        // A later run within the day asks nothing and starts from the fetched copy.
        m_server->clearRequests();
        {
            rdap::BootstrapStore store(loader, shipped.path(), cache.path());
            store.setSourceBase(QUrl(base));
            store.refreshIfDue();
            QVERIFY(!store.isRefreshing());
            QCOMPARE(store.bootstrap().serviceForAddress(QHostAddress(u"192.0.2.1"_s)).host(), u"new.test"_s);
        }
        QVERIFY(m_server->requests().isEmpty());

        // A refresh that brings only broken files keeps every good copy as it was.
        serve("ipv4.json", FakeWhoisServer::page(newIpv4.left(newIpv4.size() - 3)));
        serve("ipv6.json", FakeWhoisServer::page("<html>Service Unavailable</html>", 503));
        serve("asn.json", FakeWhoisServer::page("{}"));
        {
            rdap::BootstrapStore store(loader, shipped.path(), cache.path());
            store.setSourceBase(QUrl(base));
            QSignalSpy refreshed(&store, &rdap::BootstrapStore::refreshed);
            store.refresh();
            QVERIFY(refreshed.wait(20000));
            QCOMPARE(store.refreshNotes().size(), 4);
            QCOMPARE(store.bootstrap().serviceForAddress(QHostAddress(u"192.0.2.1"_s)).host(), u"new.test"_s);
            QCOMPARE(store.bootstrap().serviceForAsn(5).host(), u"old.test"_s);
        }
        QFile kept(cache.filePath(u"ipv4.json"_s));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), newIpv4);
    }
};

QTEST_GUILESS_MAIN(TestRdap)
#include "tst_Rdap.moc"

// RDAP as a source, over real HTTP to a fake RDAP service on loopback whose answers are written after
// RFC 9083's shapes (tests/data/rdap).
#include "lookup/PageLoader.h"
#include "rdap/BootstrapStore.h"
#include "sources/RdapSource.h"
#include "support/FakeWhoisServer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace sources;
using Response = FakeWhoisServer::Response;

namespace {

const QString Database = QStringLiteral(TELLURION_APP_DIR) + u"/dbCountries.mdb"_s;

Query query(const QString& entry)
{
    return Query{entry, lookup::cleanEntry(entry)};
}

Answer answerOf(RdapSource& source, const QString& entry)
{
    std::unique_ptr<SourceRequest> request = source.ask(query(entry));
    if (!QTest::qWaitFor([&] { return request->isFinished(); }, 20000))
        return {};
    return request->answer();
}

} // namespace

class TestRdapSource : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeWhoisServer> m_server;
    QTemporaryDir m_folder;
    QByteArray m_base; // "http://127.0.0.1:<port>"

    QByteArray answer(const QString& name) const
    {
        QFile file(QStringLiteral(TELLURION_TEST_DATA) + u"/rdap/"_s + name);
        if (!file.open(QIODevice::ReadOnly))
            qFatal("missing test data file %s", qPrintable(file.fileName()));
        return file.readAll().replace("{BASE}", m_base);
    }

    void serve(const QByteArray& path, const QString& file, int status = 200)
    {
        Response r = FakeWhoisServer::page(answer(file), status);
        r.contentType = "application/rdap+json";
        m_server->setResponse({}, path, r);
    }

    QString writeBootstrap(const QString& name, const QByteArray& services)
    {
        QFile file(m_folder.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write("{\"version\": \"1.0\", \"publication\": \"2026-12-01T00:00:00Z\", \"services\": [" + services +
                   "]}");
        return file.fileName();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        qunsetenv("http_proxy");
        m_server = std::make_unique<FakeWhoisServer>();
        m_base = "http://127.0.0.1:" + QByteArray::number(m_server->port());
        serve("/rir/ip/192.0.2.1", u"network-country.json"_s);
        serve("/rir/ip/198.51.100.7", u"network-registrant.json"_s);
        serve("/registry/domain/shop.test", u"domain-registry.json"_s);
        serve("/registrar/domain/SHOP.TEST", u"domain-registrar.json"_s);
        serve("/registry/domain/private.test", u"domain-redacted.json"_s);
        serve("/rir/autnum/64500", u"autnum.json"_s);
        serve("/rir/ip/203.0.113.4", u"error-404.json"_s, 404);
        Response slowDown = FakeWhoisServer::page(answer(u"error-404.json"_s).replace("404", "429"), 429);
        slowDown.headers.append({QByteArray("Retry-After"), QByteArray("1")});
        m_server->setResponse({}, "/rir/ip/203.0.113.5", slowDown);
        m_server->setResponse({}, "/rir/ip/203.0.113.6",
                              FakeWhoisServer::redirect(m_base + "/moved/ip/203.0.113.6", 301));
        serve("/moved/ip/203.0.113.6", u"network-country.json"_s);
        m_server->setResponse({}, "/rir/ip/203.0.113.7", FakeWhoisServer::page("<html>Busy</html>"));
    }

    void testQuestions_data()
    {
        QTest::addColumn<QString>("entry"); // as cleaned
        QTest::addColumn<QString>("path");
        QTest::newRow("IPv4") << u"192.0.2.1"_s << u"ip/192.0.2.1"_s;
        QTest::newRow("IPv4 block") << u"192.0.2.0/24"_s << u"ip/192.0.2.0/24"_s;
        QTest::newRow("IPv4 with port and path") << u"192.0.2.1:8080/x?y"_s << u"ip/192.0.2.1"_s;
        QTest::newRow("IPv6 written in full") << u"2001:DB8:0:0:0:0:0:1"_s << u"ip/2001:db8::1"_s;
        QTest::newRow("IPv6 in brackets with port") << u"[2001:db8::1]:443"_s << u"ip/2001:db8::1"_s;
        QTest::newRow("IPv4 inside IPv6") << u"::ffff:192.0.2.1"_s << u"ip/192.0.2.1"_s;
        QTest::newRow("prefix too long") << u"192.0.2.0/33"_s << QString();
        // Short, octal and bare-number forms that some parsers read as IPv4 are no address here.
        QTest::newRow("bare number") << u"1234"_s << QString();
        QTest::newRow("three parts") << u"192.0.2"_s << QString();
        QTest::newRow("leading zero") << u"010.1.1.1"_s << QString();
        QTest::newRow("hex part") << u"0x7f.1"_s << QString();
        QTest::newRow("AS number") << u"AS64500"_s << u"autnum/64500"_s;
        QTest::newRow("AS number past 32 bits") << u"AS4294967296"_s << QString();
        QTest::newRow("name with port and path") << u"Shop.Example:443/cart"_s << u"domain/shop.example"_s;
        QTest::newRow("under its registered domain") << u"mail.shop.example.co.uk"_s << u"domain/example.co.uk"_s;
        QTest::newRow("a public suffix as it is") << u"co.uk"_s << u"domain/co.uk"_s;
        QTest::newRow("international name") << u"bücher.example"_s << u"domain/xn--bcher-kva.example"_s;
        QTest::newRow("final dot") << u"example.com."_s << u"domain/example.com"_s;
        QTest::newRow("one label") << u"localhost"_s << QString();
        QTest::newRow("all-digit top label") << u"1.2.3.4.5"_s << QString();
        QTest::newRow("blank inside") << u"exa mple.com"_s << QString();
    }

    void testQuestions()
    {
        QFETCH(QString, entry);
        QTEST(RdapSource::questionFor(entry).path, "path");
    }

    void testAnswers_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("network");
        QTest::addColumn<QString>("handle");
        QTest::addColumn<QString>("note"); // a part of the note, for a failure
        QTest::addColumn<int>("requests");
        QTest::newRow("network with its country")
            << u"192.0.2.1"_s << u"DE"_s << u"192.0.2.0/24"_s << u"NET-192-0-2-0-1"_s << QString() << 1;
        QTest::newRow("network without: the registrant's country name through dbCountries.mdb")
            << u"198.51.100.7"_s << u"CA"_s << u"198.51.100.0/25"_s << u"NET-198-51-100-0-1"_s << QString() << 1;
        QTest::newRow("thin registry, then its registrar (once)")
            << u"http://www.Mail.Shop.test/"_s << u"AU"_s << u"shop.test"_s << u"2336799_DOMAIN_TEST-VRSN"_s
            << QString() << 2;
        QTest::newRow("redacted registrant: no code")
            << u"private.test"_s << QString() << u"private.test"_s << u"D402200000017-TEST"_s << u"redacted"_s << 1;
        QTest::newRow("AS number") << u"as64500"_s << u"JP"_s << u"AS64496-AS64511"_s << u"AS64496"_s << QString() << 1;
        QTest::newRow("not found") << u"203.0.113.4"_s << QString() << QString() << QString() << u"(404)"_s << 1;
        QTest::newRow("too many requests")
            << u"203.0.113.5"_s << QString() << QString() << QString() << u"(429)"_s << 1;
        QTest::newRow("redirect followed")
            << u"203.0.113.6"_s << u"DE"_s << u"192.0.2.0/24"_s << u"NET-192-0-2-0-1"_s << QString() << 2;
        QTest::newRow("not JSON") << u"203.0.113.7"_s << QString() << QString() << QString() << u"not JSON"_s << 1;
        QTest::newRow("no service for the block")
            << u"10.1.2.3"_s << QString() << QString() << QString() << u"no RDAP service is known for 10.1.2.3"_s << 0;
        QTest::newRow("neither address nor name") << u"hello world"_s << QString() << QString() << QString()
                                                  << u"not an IP address, AS number or domain name"_s << 0;
    }

    void testAnswers()
    {
        QFETCH(QString, entry);
        QFETCH(QString, code);
        QFETCH(QString, note);
        QFETCH(int, requests);
        const QString bootstrap = writeBootstrap(
            u"services.json"_s, "[[\"192.0.2.0/24\", \"198.51.100.0/24\", \"203.0.113.0/24\", \"64496-64511\"], [\"" +
                                    m_base + "/rir/\"]], [[\"test\"], [\"" + m_base + "/registry/\"]]");
        lookup::PageLoader loader;
        RdapSource source(loader, rdap::BootstrapStore::fromFile(bootstrap, loader), Database);
        m_server->clearRequests();
        const Answer a = answerOf(source, entry);
        QCOMPARE(a.source, code.isEmpty() ? QString() : u"rdap"_s);
        QCOMPARE(a.code, code);
        QCOMPARE(a.found, !code.isEmpty());
        QTEST(a.network, "network");
        QTEST(a.handle, "handle");
        if (note.isEmpty())
            QVERIFY2(a.notes.isEmpty(), qPrintable(a.notes.join(u"; "_s)));
        else
            QVERIFY2(a.notes.join(u' ').contains(note), qPrintable(a.notes.join(u"; "_s)));
        const QList<FakeWhoisServer::Request> sent = m_server->requests();
        QCOMPARE(sent.size(), requests);
        for (const FakeWhoisServer::Request& r : sent)
            QCOMPARE(r.accept, QByteArray("application/rdap+json"));
    }

    // With no domain registry at hand, a name waits for IANA's file, fetched at first use, and the
    // registries of the run that follows come from the cache folder.
    void testDomainRegistryFetchedAtFirstUse()
    {
        QTemporaryDir shipped;
        QTemporaryDir cache;
        QFile::copy(writeBootstrap(u"ipv4.json"_s, "[[\"192.0.2.0/24\"], [\"" + m_base + "/rir/\"]]"),
                    shipped.filePath(u"ipv4.json"_s));
        Response dns = FakeWhoisServer::page("{\"version\": \"1.0\", \"publication\": \"2026-12-01T00:00:00Z\", "
                                             "\"services\": [[[\"test\"], [\"" +
                                             m_base + "/registry/\"]]]}");
        dns.delayMs = 200;
        m_server->setResponse({}, "/iana/dns.json", dns);
        lookup::PageLoader loader;
        for (int run = 0; run < 2; ++run) {
            auto store = std::make_unique<rdap::BootstrapStore>(loader, shipped.path(), cache.path());
            store->setSourceBase(QUrl(QString::fromLatin1(m_base + "/iana/")));
            store->refreshIfDue();
            QCOMPARE(store->isRefreshing(), run == 0);
            RdapSource source(loader, std::move(store), Database);
            QCOMPARE(answerOf(source, u"shop.test"_s).code, u"AU"_s);
            QCOMPARE(answerOf(source, u"192.0.2.1"_s).code, u"DE"_s);
        }
    }
};

QTEST_GUILESS_MAIN(TestRdapSource)
#include "tst_RdapSource.moc"

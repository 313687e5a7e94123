#include "lookup/PageAddress.h"
#include "lookup/PageLoader.h"
#include "lookup/RecordText.h"
#include "support/FakeWhoisServer.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace lookup;
Q_DECLARE_METATYPE(QList<FakeWhoisServer::Response>)
Q_DECLARE_METATYPE(QList<qint64>)

namespace {

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort(); // closed again when probe goes
}

QUrl firstSiteUrl(const QByteArray& path)
{
    return QUrl::fromEncoded("http://www.whois.com" + path, QUrl::StrictMode);
}

} // namespace

class TestPageLoader : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeWhoisServer> m_server;

    Page fetch(PageLoader& loader, const QUrl& url)
    {
        const std::unique_ptr<PageRequest> request = loader.load(url);
        [&] { QTRY_VERIFY_WITH_TIMEOUT(request->isComplete(), 20000); }();
        return request->page();
    }

    Page fetch(const QUrl& url)
    {
        PageLoader loader;
        return fetch(loader, url);
    }

private slots:
    void initTestCase() { m_server = std::make_unique<FakeWhoisServer>(); }

    void init()
    {
        // Both sites are reached through the fake server, as through any HTTP proxy.
        m_server->becomeProxy();
        m_server->clearRequests();
        m_server->clearResponses();
    }

    void cleanupTestCase() { m_server.reset(); }

    void testAddressAsTheServerReceivesIt_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QByteArray>("firstLine");
        QTest::addColumn<QByteArray>("secondLine");
        QTest::newRow("blank") << u"a b"_s << QByteArray("GET http://www.whois.com/whois/a%20b HTTP/1.1")
                               << QByteArray("GET http://whois.domaintools.com/a%20b HTTP/1.1");
        QTest::newRow("query and fragment")
            << u"x?y#z"_s << QByteArray("GET http://www.whois.com/whois/x%3Fy%23z HTTP/1.1")
            << QByteArray("GET http://whois.domaintools.com/x%3Fy%23z HTTP/1.1");
        QTest::newRow("climbing") << u"../../admin"_s
                                  << QByteArray("GET http://www.whois.com/whois/..%2F..%2Fadmin HTTP/1.1")
                                  << QByteArray("GET http://whois.domaintools.com/..%2F..%2Fadmin HTTP/1.1");
        QTest::newRow("non-ASCII") << u"bücher.de"_s
                                   << QByteArray("GET http://www.whois.com/whois/b%C3%BCcher.de HTTP/1.1")
                                   << QByteArray("GET http://whois.domaintools.com/b%C3%BCcher.de HTTP/1.1");
        QTest::newRow("path") << u"name.tld/path"_s
                              << QByteArray("GET http://www.whois.com/whois/name.tld/path HTTP/1.1")
                              << QByteArray("GET http://whois.domaintools.com/name.tld/path HTTP/1.1");
        // Qt's client resolves a path that starts "//" to one slash fewer, and the server would see another entry.
        QTest::newRow("leading slashes")
            << u"//x.example/y"_s << QByteArray("GET http://www.whois.com/whois/%2F%2Fx.example/y HTTP/1.1")
            << QByteArray("GET http://whois.domaintools.com/%2F%2Fx.example/y HTTP/1.1");
        QTest::newRow("segment starting with a dot")
            << u"a/.b/c"_s << QByteArray("GET http://www.whois.com/whois/a%2F.b%2Fc HTTP/1.1")
            << QByteArray("GET http://whois.domaintools.com/a%2F.b%2Fc HTTP/1.1");
        QTest::newRow("backslash and percent")
            << u"a\\..\\b%2e"_s << QByteArray("GET http://www.whois.com/whois/a%5C..%5Cb%252e HTTP/1.1")
            << QByteArray("GET http://whois.domaintools.com/a%5C..%5Cb%252e HTTP/1.1");
    }

    void testAddressAsTheServerReceivesIt()
    {
        QFETCH(QString, entry);
        QFETCH(QByteArray, firstLine);
        QFETCH(QByteArray, secondLine);
        fetch(pageAddress(firstWhoisSite(), entry));
        fetch(pageAddress(secondWhoisSite(), entry));
        QCOMPARE(m_server->requestLines(), (QByteArrayList{firstLine, secondLine}));
        const QList<FakeWhoisServer::Request> requests = m_server->requests();
        QCOMPARE(requests.at(0).host, u"www.whois.com"_s);
        QCOMPARE(requests.at(1).host, u"whois.domaintools.com"_s);
    }

    void testEntriesThatAreNoAddressAreRefusedWithoutARequest_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::newRow("dots only") << u".."_s;
        // No server takes a request line that long; a list line of megabytes is not an address.
        QTest::newRow("longer than any address") << QString(PageLoader::MaxAddressBytes, u'a');
    }

    void testEntriesThatAreNoAddressAreRefusedWithoutARequest()
    {
        QFETCH(QString, entry);
        PageLoader loader;
        const auto request = loader.load(pageAddress(firstWhoisSite(), entry));
        QVERIFY(request->isComplete());
        QVERIFY(!request->page().loaded);
        QSignalSpy completed(request.get(), &PageRequest::completed);
        QVERIFY(completed.wait(5000)); // still announced, from the event loop
        QVERIFY(m_server->requestLines().isEmpty());
    }

    void testBrowserLikeUserAgent()
    {
        fetch(firstSiteUrl("/whois/192.0.2.7"));
        QVERIFY(m_server->requests().value(0).userAgent.startsWith("Mozilla/5.0 ("));
    }

    void testPageOfBothLayoutsLoads()
    {
        m_server->setResponse(u"www.whois.com"_s, "/whois/192.0.2.7",
                              FakeWhoisServer::page(FakeWhoisServer::dataFile(u"first-site-network.html"_s)));
        m_server->setResponse(u"whois.domaintools.com"_s, "/example.tld",
                              FakeWhoisServer::page(FakeWhoisServer::dataFile(u"second-site-domain.html"_s)));
        const Page first = fetch(pageAddress(firstWhoisSite(), u"192.0.2.7"_s));
        QVERIFY(first.loaded);
        QCOMPARE(first.httpStatus, 200);
        QVERIFY(recordText(firstWhoisSite(), first).contains(u"\r\ncountry:        DE\r\n"_s));
        const Page second = fetch(pageAddress(secondWhoisSite(), u"example.tld"_s));
        QVERIFY(recordText(secondWhoisSite(), second).endsWith(u"AU\r\nRegistrant Country: AU"_s));
    }

    void testLatin1PageDeclaredByMeta()
    {
        m_server->setResponse({}, "/whois/m%C3%BCnchen.example", [] {
            auto r = FakeWhoisServer::page(FakeWhoisServer::dataFile(u"latin1-meta.html"_s));
            r.contentType = "text/html";
            return r;
        }());
        const Page page = fetch(pageAddress(firstWhoisSite(), u"münchen.example"_s));
        QCOMPARE(recordText(firstWhoisSite(), page),
                 u"Registrant:\r\n  Straßenbahn München AG\r\n  München\r\n  DE\r\ncountry: ÄT"_s);
    }

    void testErrorStatusStillGivesThePage_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("404") << 404;
        QTest::newRow("500") << 500;
        QTest::newRow("503") << 503;
    }

    void testErrorStatusStillGivesThePage()
    {
        QFETCH(int, status);
        m_server->setResponse({}, "/whois/x", FakeWhoisServer::page("<pre>country: SE</pre>", status));
        const Page page = fetch(firstSiteUrl("/whois/x"));
        QVERIFY(page.loaded);
        QCOMPARE(page.httpStatus, status);
        QCOMPARE(recordText(firstWhoisSite(), page), u"country: SE"_s);
    }

    void testRedirectChainIsFollowed()
    {
        m_server->setResponse({}, "/whois/a", FakeWhoisServer::redirect("/whois/b"));
        m_server->setResponse({}, "/whois/b", FakeWhoisServer::redirect("http://whois.domaintools.com/c", 301));
        m_server->setResponse({}, "/c", FakeWhoisServer::redirect("/d", 307));
        m_server->setResponse({}, "/d", FakeWhoisServer::page("<pre>country: NO</pre>"));
        const Page page = fetch(firstSiteUrl("/whois/a"));
        QVERIFY(page.loaded);
        QCOMPARE(recordText(firstWhoisSite(), page), u"country: NO"_s);
        QCOMPARE(m_server->requestLines().size(), 4);
        QCOMPARE(m_server->requestLines().last(), QByteArray("GET http://whois.domaintools.com/d HTTP/1.1"));
    }

    void testRedirectLoopEndsUnloaded()
    {
        m_server->setResponse({}, "/whois/loop", FakeWhoisServer::redirect("/whois/loop"));
        const Page page = fetch(firstSiteUrl("/whois/loop"));
        QVERIFY(!page.loaded);
        QVERIFY(page.body.isEmpty());
        QCOMPARE(m_server->requestLines().size(), PageLoader::MaxRedirects + 1);
    }

    void testRedirectToHttpsIsFollowedThroughTheProxy()
    {
        qputenv("https_proxy", m_server->proxyUrl());
        m_server->setResponse({}, "/whois/secure", FakeWhoisServer::redirect("https://www.whois.com/whois/secure"));
        const Page page = fetch(firstSiteUrl("/whois/secure"));
        qunsetenv("https_proxy");
        QVERIFY(!page.loaded); // our fake proxy refuses the tunnel
        QCOMPARE(m_server->requestLines().value(1), QByteArray("CONNECT www.whois.com:443 HTTP/1.1"));
    }

    void testBoundsEndThePageUnloaded_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("endless body") << 0;
        QTest::newRow("20 MiB body") << 1;
        QTest::newRow("closed mid-page") << 2;
        QTest::newRow("slower than the time bound") << 3;
    }

    void testBoundsEndThePageUnloaded()
    {
        QFETCH(int, kind);
        FakeWhoisServer::Response response;
        switch (kind) {
        case 0:
            response = FakeWhoisServer::endless();
            break;
        case 1:
            response = FakeWhoisServer::huge(qint64(20) * 1024 * 1024);
            break;
        case 2:
            response = FakeWhoisServer::closedMidPage(FakeWhoisServer::firstSitePage(u"country: DE"_s, 20000));
            break;
        case 3:
            response = FakeWhoisServer::page("<pre>country: DE</pre>");
            response.delayMs = 5000;
            break;
        }
        m_server->setResponse({}, "/whois/bad", response);
        PageLoader loader;
        loader.setPageTimeout(500);
        const Page page = fetch(loader, firstSiteUrl("/whois/bad"));
        QVERIFY(!page.loaded);
        QVERIFY(page.body.isEmpty());
        QVERIFY(!page.error.isEmpty());
        QCOMPARE(recordText(firstWhoisSite(), page), QString());
    }

    void testRefusedConnectionCompletesUnloaded()
    {
        qputenv("http_proxy", "http://127.0.0.1:" + QByteArray::number(closedPort()));
        const Page page = fetch(firstSiteUrl("/whois/x"));
        QVERIFY(!page.loaded);
        QVERIFY(!page.error.isEmpty());
    }

    void testNoProxyGoesDirect()
    {
        qputenv("http_proxy", "http://127.0.0.1:" + QByteArray::number(closedPort()));
        qputenv("no_proxy", "127.0.0.1,localhost");
        m_server->setResponse({}, "/whois/direct", FakeWhoisServer::page("<pre>country: FI</pre>"));
        const Page page =
            fetch(QUrl::fromEncoded("http://127.0.0.1:" + QByteArray::number(m_server->port()) + "/whois/direct"));
        QVERIFY(page.loaded);
        QCOMPARE(m_server->requestLines(), QByteArrayList{"GET /whois/direct HTTP/1.1"});
    }

    void testSeveralPagesInFlightWithinTheHostLimit()
    {
        FakeWhoisServer::Response slow = FakeWhoisServer::page("<pre>country: DK</pre>");
        slow.delayMs = 100;
        m_server->setHostDefault(u"www.whois.com"_s, slow);
        PageLoader loader;
        loader.setMaxInFlightPerHost(2);
        std::vector<std::unique_ptr<PageRequest>> requests;
        requests.reserve(6);
        for (int i = 0; i < 6; ++i)
            requests.push_back(loader.load(firstSiteUrl("/whois/n" + QByteArray::number(i))));
        int most = 0;
        auto allDone = [&] {
            most = std::max(most, loader.inFlight());
            return std::all_of(requests.begin(), requests.end(), [](const auto& r) { return r->isComplete(); });
        };
        QTRY_VERIFY_WITH_TIMEOUT(allDone(), 20000);
        QCOMPARE(most, 2);
        for (const auto& r : requests)
            QCOMPARE(recordText(firstWhoisSite(), r->page()), u"country: DK"_s);
        QCOMPARE(m_server->requestLines().size(), 6);
    }

    void testDroppedRequestFreesItsPlace()
    {
        FakeWhoisServer::Response slow = FakeWhoisServer::page("<pre>country: DK</pre>");
        slow.delayMs = 2000;
        m_server->setResponse({}, "/whois/slow", slow);
        m_server->setResponse({}, "/whois/fast", FakeWhoisServer::page("<pre>country: IS</pre>"));
        PageLoader loader;
        loader.setMaxInFlightPerHost(1);
        auto first = loader.load(firstSiteUrl("/whois/slow"));
        auto second = loader.load(firstSiteUrl("/whois/fast"));
        first.reset();
        QTRY_VERIFY_WITH_TIMEOUT(second->isComplete(), 10000);
        QVERIFY(second->page().loaded);
    }

    void testAConnectionClosedUnansweredCostsNoOtherPage_data()
    {
        QTest::addColumn<int>("answersPerConnection");
        QTest::newRow("connections kept alive") << 0;
        QTest::newRow("kept-alive connections dropped between requests") << 1;
    }

    // Forty pages at once, every third a redirect chain, and one page whose server closes the connection
    // without answering; every other page must come back as its own.
    void testAConnectionClosedUnansweredCostsNoOtherPage()
    {
        QFETCH(int, answersPerConnection);
        m_server->setAnswersPerConnection(answersPerConnection);
        constexpr int Pages = 40;
        m_server->setResponse({}, "/whois/p0", FakeWhoisServer::closedUnanswered());
        for (int i = 1; i < Pages; ++i) {
            const QByteArray n = QByteArray::number(i);
            const QByteArray record = FakeWhoisServer::page("<pre>country: " + n + "</pre>").body;
            if (i % 3 == 0) {
                m_server->setResponse({}, "/whois/p" + n, FakeWhoisServer::redirect("/whois/r" + n));
                m_server->setResponse({}, "/whois/r" + n, FakeWhoisServer::redirect("/whois/s" + n));
                m_server->setResponse({}, "/whois/s" + n, FakeWhoisServer::page(record));
            } else {
                m_server->setResponse({}, "/whois/p" + n, FakeWhoisServer::page(record));
            }
        }
        PageLoader loader;
        std::vector<std::unique_ptr<PageRequest>> requests;
        requests.reserve(Pages);
        for (int i = 0; i < Pages; ++i)
            requests.push_back(loader.load(firstSiteUrl("/whois/p" + QByteArray::number(i))));
        QTRY_VERIFY_WITH_TIMEOUT(
            std::all_of(requests.begin(), requests.end(), [](const auto& r) { return r->isComplete(); }), 60000);
        m_server->setAnswersPerConnection(0);
        QVERIFY(!requests[0]->page().loaded);
        for (int i = 1; i < Pages; ++i)
            QCOMPARE(recordText(firstWhoisSite(), requests[size_t(i)]->page()), u"country: %1"_s.arg(i));
    }

    void testFailureBeforeTheAnswerSendsAgain_data()
    {
        QTest::addColumn<QList<FakeWhoisServer::Response>>("responses");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<QString>("record"); // empty: not loaded
        QTest::addColumn<QString>("error");
        const auto closed = FakeWhoisServer::closedUnanswered();
        const auto page = FakeWhoisServer::page("<pre>country: LT</pre>");
        // Qt itself sends a request two to four times on fresh connections before it gives up; three
        // such rounds get past five closes, one does not.
        QTest::newRow("closed unanswered five times, then answered")
            << QList{closed, closed, closed, closed, closed, page} << 20000 << u"country: LT"_s << QString();
        QTest::newRow("closed unanswered every time") << QList{closed} << 20000 << QString() << u"Connection closed"_s;
        // Each send fails at once, but the pauses between them outlast the page's bound.
        QTest::newRow("resends stay within the time bound")
            << QList{closed} << 150 << QString() << u"No page within 0.15 s"_s;
        QTest::newRow("closed mid-page is not sent again")
            << QList{FakeWhoisServer::closedMidPage(FakeWhoisServer::firstSitePage(u"country: DE"_s, 20000)), page}
            << 20000 << QString() << QString();
    }

    void testFailureBeforeTheAnswerSendsAgain()
    {
        QFETCH(QList<FakeWhoisServer::Response>, responses);
        QFETCH(int, timeoutMs);
        QFETCH(QString, record);
        QFETCH(QString, error);
        m_server->setResponsesInTurn({}, "/whois/again", responses);
        PageLoader loader;
        loader.setPageTimeout(timeoutMs);
        const Page page = fetch(loader, firstSiteUrl("/whois/again"));
        QCOMPARE(page.loaded, !record.isEmpty());
        QCOMPARE(recordText(firstWhoisSite(), page), record);
        if (!error.isEmpty())
            QCOMPARE(page.error, error);
        if (record.isEmpty() && error.isEmpty())
            QCOMPARE(m_server->requestLines().size(), 1);
    }

    void testAcceptHeader_data()
    {
        QTest::addColumn<QByteArray>("accept"); // empty: load(url)
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("a browser's by default")
            << QByteArray() << QByteArray("text/html,application/xhtml+xml;q=0.9,*/*;q=0.8");
        QTest::newRow("the caller's") << QByteArray("application/rdap+json") << QByteArray("application/rdap+json");
    }

    void testAcceptHeader()
    {
        QFETCH(QByteArray, accept);
        QFETCH(QByteArray, sent);
        PageLoader loader;
        const std::unique_ptr<PageRequest> request = accept.isEmpty()
                                                         ? loader.load(firstSiteUrl("/whois/a"))
                                                         : loader.load(firstSiteUrl("/whois/a"), LoadOptions{accept});
        QTRY_VERIFY_WITH_TIMEOUT(request->isComplete(), 20000);
        QCOMPARE(m_server->requests().value(0).accept, sent);
    }

    void testRetryAfter_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<qint64>("ms"); // -1: not a Retry-After
        QTest::newRow("seconds") << QByteArray("120") << qint64(120000);
        QTest::newRow("zero, blanks around") << QByteArray(" 0 ") << qint64(0);
        QTest::newRow("HTTP date") << QByteArray("Sun, 06 Nov 1994 08:50:07 GMT") << qint64(30000);
        QTest::newRow("obsolete RFC 850 date") << QByteArray("Sunday, 06-Nov-94 08:51:37 GMT") << qint64(120000);
        QTest::newRow("asctime date") << QByteArray("Sun Nov  6 08:49:38 1994") << qint64(1000);
        QTest::newRow("a date gone by") << QByteArray("Sun, 06 Nov 1994 08:00:00 GMT") << qint64(0);
        QTest::newRow("negative") << QByteArray("-5") << qint64(-1);
        QTest::newRow("a fraction") << QByteArray("1.5") << qint64(-1);
        QTest::newRow("words") << QByteArray("soon") << qint64(-1);
        QTest::newRow("empty") << QByteArray() << qint64(-1);
    }

    void testRetryAfter()
    {
        QFETCH(QByteArray, value);
        QFETCH(qint64, ms);
        const QDateTime now(QDate(1994, 11, 6), QTime(8, 49, 37), Qt::UTC);
        QCOMPARE(PageLoader::retryAfterMs(value, now).value_or(-1), ms);
    }

    void testSlowDownPausesTheHost_data()
    {
        QTest::addColumn<QList<FakeWhoisServer::Response>>("responses");
        QTest::addColumn<QList<qint64>>("least"); // each pause said, at least and at most
        QTest::addColumn<QList<qint64>>("most");
        QTest::addColumn<int>("status"); // of the page in the end
        const auto page = FakeWhoisServer::page("<pre>country: MT</pre>");
        const auto slowDown = [](int status, const QByteArray& retryAfter) {
            auto r = FakeWhoisServer::page("<html><body>Slow down</body></html>", status);
            if (!retryAfter.isEmpty())
                r.headers.append({"Retry-After", retryAfter});
            return r;
        };
        // Pauses for the test: 40 ms first, 2 s at most.
        QTest::newRow("Retry-After in seconds")
            << QList{slowDown(429, "1"), page} << QList<qint64>{1000} << QList<qint64>{1000} << 200;
        QTest::newRow("Retry-After longer than the longest pause")
            << QList{slowDown(503, "3600"), page} << QList<qint64>{2000} << QList<qint64>{2000} << 200;
        QTest::newRow("backoff doubles, with jitter") << QList{slowDown(503, {}), slowDown(429, {}), page}
                                                      << QList<qint64>{40, 80} << QList<qint64>{50, 100} << 200;
        QTest::newRow("asked again three times, then the page as it is")
            << QList{slowDown(429, "0")} << QList<qint64>{0, 0, 0} << QList<qint64>{0, 0, 0} << 429;
    }

    void testSlowDownPausesTheHost()
    {
        QFETCH(QList<FakeWhoisServer::Response>, responses);
        QFETCH(QList<qint64>, least);
        QFETCH(QList<qint64>, most);
        QFETCH(int, status);
        m_server->setResponsesInTurn({}, "/whois/slow", responses);
        PageLoader loader;
        loader.setPauseOnSlowDown(true);
        loader.setSlowDownPauses(40, 2000);
        QList<qint64> pauses;
        connect(&loader, &PageLoader::hostPaused, this, [&](const QString& host, int, qint64 ms) {
            QCOMPARE(host, u"www.whois.com"_s);
            pauses.append(ms);
        });
        const Page page = fetch(loader, firstSiteUrl("/whois/slow"));
        QCOMPARE(page.httpStatus, status);
        QCOMPARE(m_server->requestLines().size(), least.size() + 1);
        QCOMPARE(pauses.size(), least.size());
        for (qsizetype i = 0; i < pauses.size(); ++i)
            QVERIFY2(pauses[i] >= least[i] && pauses[i] <= most[i], qPrintable(QString::number(pauses[i])));
    }

    // Five pages of one host answered "slow down" together pause it once; the other host goes on.
    void testSlowDownPausesOnlyThatHostOnce()
    {
        auto slowDown = FakeWhoisServer::page("<html><body>Slow down</body></html>", 429);
        slowDown.headers.append({"Retry-After", QByteArray("1")});
        PageLoader loader;
        loader.setPauseOnSlowDown(true);
        int paused = 0;
        connect(&loader, &PageLoader::hostPaused, this, [&] { ++paused; });
        std::vector<std::unique_ptr<PageRequest>> slowed;
        for (int i = 0; i < 5; ++i) {
            const QByteArray path = "/whois/s" + QByteArray::number(i);
            m_server->setResponsesInTurn(u"www.whois.com"_s, path,
                                         {slowDown, FakeWhoisServer::page("<pre>country: MT</pre>")});
            slowed.push_back(loader.load(firstSiteUrl(path)));
        }
        QTRY_VERIFY_WITH_TIMEOUT(paused == 1, 20000);
        m_server->setResponse(u"whois.domaintools.com"_s, "/other", FakeWhoisServer::page("<pre>country: GR</pre>"));
        const Page other = fetch(loader, QUrl(u"http://whois.domaintools.com/other"_s));
        QVERIFY(other.loaded);
        QVERIFY(std::none_of(slowed.begin(), slowed.end(), [](const auto& r) { return r->isComplete(); }));
        QTRY_VERIFY_WITH_TIMEOUT(
            std::all_of(slowed.begin(), slowed.end(), [](const auto& r) { return r->isComplete(); }), 20000);
        for (const auto& r : slowed)
            QCOMPARE(recordText(firstWhoisSite(), r->page()), u"country: MT"_s);
        QCOMPARE(paused, 1);
    }
};

QTEST_GUILESS_MAIN(TestPageLoader)
#include "tst_PageLoader.moc"

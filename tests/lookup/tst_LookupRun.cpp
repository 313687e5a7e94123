#include "core/EventPump.h"
#include "shell/MainWindow.h"
#include "support/FakeDialogs.h"
#include "support/FakeWhoisServer.h"

#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;
using shell::MainWindow;
using Response = FakeWhoisServer::Response;
Q_DECLARE_METATYPE(FakeWhoisServer::Response)

namespace {

const QString First = u"www.whois.com"_s;
const QString Second = u"whois.domaintools.com"_s;

Response slow(Response response, int ms)
{
    response.delayMs = ms;
    return response;
}

QStringList row(const core::ResultsModel& results, int r)
{
    QStringList cells;
    for (int c = 0; c < 5; ++c)
        cells.append(results.cell(r, c));
    return cells;
}

} // namespace

class TestLookupRun : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeWhoisServer> m_server;
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<FakeDialogs> m_dialogs;
    std::unique_ptr<MainWindow> m_window;

    MainWindow& window() { return *m_window; }
    core::ResultsModel& results() { return m_window->results(); }

    void start() { m_window->findChild<QPushButton*>(u"PushButton4"_s)->click(); }

    void addEntries(const QStringList& entries)
    {
        for (const QString& e : entries)
            m_window->addressList().append(e);
    }

    // Runs code once the run is waiting for a page.
    void duringWait(int afterMs, std::function<void()> action)
    {
        QTimer::singleShot(afterMs, m_window.get(), std::move(action));
    }

    int doneCount() const { return int(m_dialogs->messages().count(u"Done."_s)); }

private slots:
    void initTestCase()
    {
        m_server = std::make_unique<FakeWhoisServer>();
        // Both WHOIS hosts reach the fake server as they would reach any HTTP proxy.
        m_server->becomeProxy();
    }

    void cleanupTestCase() { m_server.reset(); }

    void init()
    {
        m_server->clearResponses();
        m_server->clearRequests();
        m_server->setResponse(First, "/whois/192.0.2.7",
                              FakeWhoisServer::page(FakeWhoisServer::dataFile(u"first-site-network.html"_s)));
        m_server->setResponse(Second, "/example.tld",
                              FakeWhoisServer::page(FakeWhoisServer::dataFile(u"second-site-domain.html"_s)));
        m_folder = std::make_unique<QTemporaryDir>();
        QVERIFY(QFile::copy(QStringLiteral(TELLURION_APP_DIR) + u"/dbCountries.mdb"_s,
                            m_folder->filePath(u"dbCountries.mdb"_s)));
        m_dialogs = std::make_unique<FakeDialogs>();
        m_window = std::make_unique<MainWindow>(*m_dialogs, m_folder->path());
        QVERIFY(m_window->Form_Load());
    }

    void cleanup()
    {
        m_window.reset();
        m_dialogs.reset();
        m_folder.reset();
    }

    void testThreeEntriesGiveThreeRowsInOrder()
    {
        addEntries({u"http://192.0.2.7/"_s, u"WWW.example.tld"_s, u"nothing.tld"_s});
        start();
        QCOMPARE(results().rowCount(), 3);
        QCOMPARE(row(results(), 0), (QStringList{u"192.0.2.7"_s, u"Completed"_s, u"Germany"_s, u"DE"_s, u"Europe"_s}));
        // Nothing on the first site for it; the second site's registrant rule finds the code.
        QCOMPARE(row(results(), 1),
                 (QStringList{u"example.tld"_s, u"Completed"_s, u"Australia"_s, u"AU"_s, u"Oceania"_s}));
        QCOMPARE(row(results(), 2), (QStringList{u"nothing.tld"_s, u"Failed"_s, QString(), QString(), QString()}));
        QCOMPARE(m_dialogs->messages(), QStringList{u"Done."_s});
        QCOMPARE(m_dialogs->shown.last().title, u"Tellurion"_s);
        QVERIFY(!window().lookupRunning());
        QVERIFY(!window().isBusy());
        QCOMPARE(m_server->requestLines(), (QByteArrayList{
                                               "GET http://www.whois.com/whois/192.0.2.7 HTTP/1.1",
                                               "GET http://www.whois.com/whois/example.tld HTTP/1.1",
                                               "GET http://whois.domaintools.com/example.tld HTTP/1.1",
                                               "GET http://www.whois.com/whois/nothing.tld HTTP/1.1",
                                               "GET http://whois.domaintools.com/nothing.tld HTTP/1.1",
                                           }));
    }

    void testSecondSiteLastCountryLineWins()
    {
        m_server->setResponse(Second, "/198.51.100.1",
                              FakeWhoisServer::page(FakeWhoisServer::secondSitePage(
                                  u"% comment\ncountry: DE\nnetname: X\ncountry: FR"_s)));
        addEntries({u"198.51.100.1"_s});
        start();
        QCOMPARE(row(results(), 0),
                 (QStringList{u"198.51.100.1"_s, u"Completed"_s, u"France"_s, u"FR"_s, u"Europe"_s}));
    }

    void testUnknownCodeStillCompleted()
    {
        m_server->setResponse(First, "/whois/203.0.113.9",
                              FakeWhoisServer::page(FakeWhoisServer::firstSitePage(u"country: Q'Q"_s)));
        addEntries({u"203.0.113.9"_s, u"203.0.113.9"_s});
        start();
        QCOMPARE(row(results(), 0), (QStringList{u"203.0.113.9"_s, u"Completed"_s, QString(), u"Q'Q"_s, QString()}));
        QCOMPARE(row(results(), 1), row(results(), 0));
        QVERIFY(m_dialogs->errorReports().isEmpty());
        QCOMPARE(m_server->requestLines().size(), 2); // the same entry twice is fetched twice
    }

    void testEmptyListKeepsTheTable()
    {
        addEntries({u"192.0.2.7"_s});
        start();
        window().addressList().clear();
        start();
        QCOMPARE(m_dialogs->messages(), (QStringList{u"Done."_s, u"No URL(s) added."_s}));
        QCOMPARE(results().rowCount(), 1);
        QVERIFY(!window().lookupRunning());
        addEntries({u"example.tld"_s}); // a new press works at once
        start();
        QCOMPARE(results().rowCount(), 1);
        QCOMPARE(results().cell(0, 0), u"example.tld"_s);
    }

    void testSecondRunClearsTheFirst()
    {
        addEntries({u"192.0.2.7"_s, u"nothing.tld"_s});
        start();
        QCOMPARE(results().rowCount(), 2);
        window().addressList().removeAt(1);
        start();
        QCOMPARE(results().rowCount(), 1);
        QCOMPARE(results().cell(0, 3), u"DE"_s);
    }

    void testPressDuringAPageWaitDoesNothing()
    {
        m_server->setResponse(
            First, "/whois/192.0.2.7",
            slow(FakeWhoisServer::page(FakeWhoisServer::dataFile(u"first-site-network.html"_s)), 400));
        addEntries({u"192.0.2.7"_s});
        QStringList seen;
        bool busy = false;
        duringWait(150, [&] {
            seen = row(results(), 0);
            busy = window().isBusy();
            start();
            seen.append(QString::number(results().rowCount()));
        });
        start();
        QCOMPARE(seen, (QStringList{u"192.0.2.7"_s, u"Retrieving..."_s, QString(), QString(), QString(), u"1"_s}));
        QVERIFY(busy);
        QCOMPARE(doneCount(), 1);
        QCOMPARE(m_server->requestLines().size(), 1);
        QCOMPARE(results().cell(0, 1), u"Completed"_s);
    }

    void testRowsClearedMidRunAreNotWrittenAgain()
    {
        m_server->setResponse(
            First, "/whois/192.0.2.7",
            slow(FakeWhoisServer::page(FakeWhoisServer::dataFile(u"first-site-network.html"_s)), 300));
        addEntries({u"192.0.2.7"_s, u"example.tld"_s});
        duringWait(100, [&] { results().clear(); });
        start();
        QCOMPARE(results().rowCount(), 1);
        QCOMPARE(row(results(), 0),
                 (QStringList{u"example.tld"_s, u"Completed"_s, u"Australia"_s, u"AU"_s, u"Oceania"_s}));
        QCOMPARE(doneCount(), 1);
    }

    void testEntriesRemovedMidRun_data()
    {
        QTest::addColumn<QList<int>>("remove");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("later entries removed: the run ends") << QList<int>{2, 1} << QStringList{u"192.0.2.7"_s};
        QTest::newRow("current entry removed: positions move up")
            << QList<int>{0} << QStringList{u"192.0.2.7"_s, u"nothing.tld"_s};
    }

    void testEntriesRemovedMidRun()
    {
        QFETCH(QList<int>, remove);
        QFETCH(QStringList, rows);
        m_server->setResponse(
            First, "/whois/192.0.2.7",
            slow(FakeWhoisServer::page(FakeWhoisServer::dataFile(u"first-site-network.html"_s)), 300));
        addEntries({u"192.0.2.7"_s, u"example.tld"_s, u"nothing.tld"_s});
        duringWait(100, [&] {
            for (int r : remove)
                window().addressList().removeAt(r);
        });
        start();
        QStringList entries;
        for (int r = 0; r < results().rowCount(); ++r)
            entries.append(results().cell(r, 0));
        QCOMPARE(entries, rows);
        QCOMPARE(results().cell(0, 3), u"DE"_s);
        QCOMPARE(doneCount(), 1);
        QVERIFY(!window().lookupRunning());
    }

    void testEntriesAddedMidRunAreNotLookedUp()
    {
        m_server->setResponse(
            First, "/whois/192.0.2.7",
            slow(FakeWhoisServer::page(FakeWhoisServer::dataFile(u"first-site-network.html"_s)), 300));
        addEntries({u"192.0.2.7"_s});
        duringWait(100, [&] { addEntries({u"example.tld"_s}); });
        start();
        QCOMPARE(results().rowCount(), 1);
    }

    void testFailedDatabaseLookupIsReportedAndLeavesNoOldNames()
    {
        m_server->setResponse(First, "/whois/198.51.100.2",
                              slow(FakeWhoisServer::page(FakeWhoisServer::firstSitePage(u"country: FR"_s)), 300));
        addEntries({u"192.0.2.7"_s, u"198.51.100.2"_s, u"www.example.tld"_s});
        duringWait(150, [&] {
            // The database breaks while the second entry's page loads.
            QFile db(m_folder->filePath(u"dbCountries.mdb"_s));
            QVERIFY(db.open(QIODevice::WriteOnly | QIODevice::Truncate));
            db.write(QByteArray(2048, 'x'));
        });
        start();
        QCOMPARE(row(results(), 0), (QStringList{u"192.0.2.7"_s, u"Completed"_s, u"Germany"_s, u"DE"_s, u"Europe"_s}));
        QCOMPARE(row(results(), 1), (QStringList{u"198.51.100.2"_s, u"Completed"_s, QString(), u"FR"_s, QString()}));
        QCOMPARE(row(results(), 2), (QStringList{u"example.tld"_s, u"Completed"_s, QString(), u"AU"_s, QString()}));
        const QList<FakeDialogs::Shown> reports = m_dialogs->errorReports();
        QCOMPARE(reports.size(), 2);
        QVERIFY(reports[0].text.contains(u"\r\nin Tellurion2021/08/31.Form1.PushButton4_Click at line 210\r\r"_s));
        QVERIFY(reports[1].text.contains(u"PushButton4_Click at line 262\r\r"_s));
        QCOMPARE(doneCount(), 1);
    }

    void testHostileServerCases_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<Response>("first");
        QTest::addColumn<Response>("second");
        QTest::addColumn<QString>("code"); // empty: "Failed"
        const Response good = FakeWhoisServer::page(FakeWhoisServer::secondSitePage(u"country: SE"_s));
        const Response missing = FakeWhoisServer::page("<html><body>nothing</body></html>", 404);
        QTest::newRow("404 page with a record")
            << u"h1"_s << FakeWhoisServer::page("<pre>country: NL</pre>", 404) << missing << u"NL"_s;
        QTest::newRow("500 page, second site") << u"h2"_s << FakeWhoisServer::page("oops", 500) << good << u"SE"_s;
        QTest::newRow("endless body") << u"h3"_s << FakeWhoisServer::endless() << good << u"SE"_s;
        QTest::newRow("20 MiB body") << u"h4"_s << FakeWhoisServer::huge(qint64(20) * 1024 * 1024) << good << u"SE"_s;
        QTest::newRow("closed mid-page") << u"h5"_s
                                         << FakeWhoisServer::closedMidPage(
                                                FakeWhoisServer::firstSitePage(u"country: DE"_s, 30000))
                                         << good << u"SE"_s;
        QTest::newRow("redirect chain") << u"h6"_s << FakeWhoisServer::redirect("/whois/h6-2") << missing << u"PL"_s;
        QTest::newRow("redirect loop on both")
            << u"h7"_s << FakeWhoisServer::redirect("/whois/h7") << FakeWhoisServer::redirect("/h7") << QString();
        QTest::newRow("latency") << u"h8"_s << slow(FakeWhoisServer::page("<pre>country: CZ</pre>"), 300) << missing
                                 << u"CZ"_s;
        QTest::newRow("closed on both") << u"h9"_s << FakeWhoisServer::closedMidPage("<pre>country: DE</pre>")
                                        << FakeWhoisServer::closedMidPage("<div id=\"whoisRecordContainer\">x</div>")
                                        << QString();
        QTest::newRow("ISO-8859-1 declared by meta") << u"www.m\u00fcnchen.example"_s << [] {
            auto r = FakeWhoisServer::page(FakeWhoisServer::dataFile(u"latin1-meta.html"_s));
            r.contentType = "text/html";
            return r;
        }() << missing << u"DE"_s;
    }

    void testHostileServerCases()
    {
        QFETCH(QString, entry);
        QFETCH(Response, first);
        QFETCH(Response, second);
        QFETCH(QString, code);
        const QString normalised = entry.startsWith(u"www."_s) ? entry.mid(4) : entry;
        const QByteArray path = QUrl::toPercentEncoding(normalised, "/");
        m_server->setResponse(First, "/whois/" + path, first);
        m_server->setResponse(First, "/whois/h6-2", FakeWhoisServer::redirect("http://www.whois.com/whois/h6-3"));
        m_server->setResponse(First, "/whois/h6-3", FakeWhoisServer::page("<pre>country: PL</pre>"));
        m_server->setResponse(Second, "/" + path, second);
        addEntries({entry});
        start();
        QCOMPARE(results().rowCount(), 1);
        QCOMPARE(results().cell(0, 0), normalised);
        QCOMPARE(results().cell(0, 1), code.isEmpty() ? u"Failed"_s : u"Completed"_s);
        QCOMPARE(results().cell(0, 3), code);
        QCOMPARE(m_dialogs->messages(), QStringList{u"Done."_s});
        QVERIFY(!window().lookupRunning());
    }

    // A server that drops connections without answering, then answers: the run sends the request again
    // instead of moving on to the second site.
    void testRequestClosedUnansweredIsSentAgain()
    {
        const Response closed = FakeWhoisServer::closedUnanswered();
        m_server->setResponsesInTurn(First, "/whois/again.tld",
                                     {closed, closed, closed, closed, closed,
                                      FakeWhoisServer::page(FakeWhoisServer::firstSitePage(u"country: LV"_s))});
        m_server->setResponse(Second, "/again.tld",
                              FakeWhoisServer::page(FakeWhoisServer::secondSitePage(u"country: SE"_s)));
        addEntries({u"again.tld"_s});
        start();
        QCOMPARE(row(results(), 0), (QStringList{u"again.tld"_s, u"Completed"_s, u"Latvia"_s, u"LV"_s, u"Europe"_s}));
    }
};

QTEST_MAIN(TestLookupRun)
#include "tst_LookupRun.moc"

// The batch tool as a user runs it: a process reading files or standard input, talking HTTP to the
// fake WHOIS server through http_proxy, writing every format; and beside it the window's own run.
#include "shell/MainWindow.h"
#include "support/FakeDialogs.h"
#include "support/CliProcess.h"
#include "support/FakeWhoisServer.h"
#include "support/WindowOnAppFolder.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <unistd.h>

using namespace Qt::StringLiterals;
using Response = FakeWhoisServer::Response;

namespace {

const QString AppDir = QStringLiteral(TELLURION_APP_DIR);
const QString First = u"www.whois.com"_s;
const QString Second = u"whois.domaintools.com"_s;

using Outcome = CliOutcome;

using Rows = QList<QStringList>;

// RFC 4180, strictly: the tool's CSV must parse back to its cells.
Rows parseCsv(const QByteArray& bytes)
{
    Rows rows;
    const QString text = QString::fromUtf8(bytes);
    QStringList row;
    QString cell;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                cell += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                cell += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            row.append(cell);
            cell.clear();
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            row.append(cell);
            rows.append(row);
            row.clear();
            cell.clear();
            ++i;
        } else {
            cell += c;
        }
    }
    if (!cell.isEmpty() || !row.isEmpty())
        rows.append(row + QStringList{cell}); // an unterminated last record
    return rows;
}

Rows parseJsonLines(const QByteArray& bytes)
{
    Rows rows;
    for (const QByteArray& line : bytes.split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        rows.append({o[u"address"_s].toString(), o[u"status"_s].toString(), o[u"country"_s].toString(),
                     o[u"country_code"_s].toString(), o[u"continent"_s].toString()});
    }
    return rows;
}

Rows parseResultsFile(const QByteArray& bytes)
{
    Rows rows;
    QStringList lines = QString::fromUtf8(bytes).split(u"\r\n"_s);
    if (lines.last().isEmpty())
        lines.removeLast();
    for (qsizetype i = 0; i + 5 < lines.size(); i += 6) {
        rows.append(lines.mid(i, 5));
        if (lines[i + 5] != u"=================="_s)
            return {};
    }
    return rows;
}

Rows parseResultsText(const QByteArray& bytes)
{
    Rows rows;
    for (const QString& line : QString::fromUtf8(bytes).split(u"\r\n"_s, Qt::SkipEmptyParts)) {
        QStringList cells;
        for (QString cell : line.split(u'\t')) {
            while (cell.endsWith(u' '))
                cell.chop(1);
            cells.append(cell);
        }
        rows.append(cells);
    }
    return rows;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeWhoisServer> m_server;

    // Each run has a cache of its own, empty: every run asks as the window does, and nothing is left in
    // the real cache folder.
    // An empty cache of its own for every run; no budget of requests unless the test sets one.
    Outcome runCli(const QStringList& args, const QByteArray& input = {}, const QString& program = {})
    {
        QTemporaryDir cacheHome;
        if (program.isEmpty())
            return ::runCli(AppDir + u"/tellurion-cli"_s, withoutBudget(args), input, cacheHome.path());
        return ::runCli(program, args, input, cacheHome.path());
    }

    void serveCountry(const QString& host, const QString& entry, const QString& record, int delayMs = 0)
    {
        const bool first = host == First;
        Response page = FakeWhoisServer::page(first ? FakeWhoisServer::firstSitePage(record)
                                                    : FakeWhoisServer::secondSitePage(record));
        page.delayMs = delayMs;
        m_server->setResponse(host, (first ? "/whois/" : "/") + entry.toUtf8(), page);
    }

    QString writeList(QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
    {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    }

private slots:
    void initTestCase()
    {
        m_server = std::make_unique<FakeWhoisServer>();
        m_server->becomeProxy();
    }

    void init()
    {
        m_server->clearResponses();
        m_server->clearRequests();
        m_server->setHostDefault(First, FakeWhoisServer::page("<html><body>No match</body></html>", 404));
        m_server->setHostDefault(Second, FakeWhoisServer::page("<html><body>Not found</body></html>", 404));
    }

    void testEveryFormatGivesTheWindowsRows()
    {
        serveCountry(First, u"192.0.2.1"_s, u"% comment\r\ninetnum: 192.0.2.0\r\ncountry:        DE\r\ncountry: FR"_s);
        serveCountry(First, u"shop.tld"_s, u"Registrant:\r\nSome Street\r\n  US  "_s);
        serveCountry(Second, u"192.0.2.2"_s, u"Country: FR\r\nRegistrant Country: US"_s);
        serveCountry(First, u"192.0.2.4"_s, u"country: XX"_s);
        serveCountry(First, u"Name.TLD"_s, u"Registrant:\r\nx\r\nJP"_s);
        serveCountry(First, u"comma"_s, u"country: a,\"b\""_s);
        const QStringList entries{u"192.0.2.1"_s, u"www.shop.tld"_s,         u"192.0.2.2"_s, u"192.0.2.3"_s,
                                  u"192.0.2.4"_s, u"HTTP://WWW.Name.TLD/"_s, u"comma"_s,     u"192.0.2.1"_s};

        // The window's run on the same pages.
        WindowOnAppFolder tellurion(false);
        QVERIFY(tellurion.started);
        shell::MainWindow& window = tellurion.window;
        FakeDialogs& dialogs = tellurion.dialogs;
        for (const QString& e : entries)
            window.addressList().append(e);
        window.findChild<QPushButton*>(u"PushButton4"_s)->click();
        QCOMPARE(dialogs.messages().last(), u"Done."_s);
        Rows expected;
        for (int r = 0; r < window.results().rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < 5; ++c)
                cells.append(window.results().cell(r, c));
            expected.append(cells);
        }
        QCOMPARE(expected.size(), entries.size());
        QCOMPARE(expected[0], (QStringList{u"192.0.2.1"_s, u"Completed"_s, u"Germany"_s, u"DE"_s, u"Europe"_s}));
        QCOMPARE(expected[2][3], u"US"_s);
        QCOMPARE(expected[3][1], u"Failed"_s);

        QTemporaryDir dir;
        const QString list = writeList(dir, u"list.txt"_s, entries.join(u"\r\n"_s).toUtf8());
        for (const QString& jobs : {u"1"_s, u"4"_s}) {
            const Outcome csv = runCli({u"-q"_s, u"-j"_s, jobs, list});
            QCOMPARE(csv.exitCode, 1); // one entry failed
            Rows csvRows = parseCsv(csv.out);
            QCOMPARE(csvRows.takeFirst(),
                     (QStringList{u"IP Address(es)"_s, u"Status"_s, u"Country"_s, u"Country Code"_s, u"Continent"_s}));
            QCOMPARE(csvRows, expected);
        }
        QCOMPARE(parseJsonLines(runCli({u"-q"_s, u"-f"_s, u"json"_s, list}).out), expected);
        QCOMPARE(parseResultsFile(runCli({u"-q"_s, u"-f"_s, u"text"_s, list}).out), expected);
        QCOMPARE(parseResultsText(runCli({u"-q"_s, u"-f"_s, u"table"_s, list}).out), expected);
        // Plain TSV, as cut reads it.
        Rows tsvRows;
        for (const QByteArray& line : runCli({u"-q"_s, u"-f"_s, u"tsv"_s, list}).out.split('\n'))
            if (!line.isEmpty())
                tsvRows.append(QString::fromUtf8(line).split(u'\t'));
        QCOMPARE(tsvRows.takeFirst(),
                 (QStringList{u"IP Address(es)"_s, u"Status"_s, u"Country"_s, u"Country Code"_s, u"Continent"_s}));
        QCOMPARE(tsvRows, expected);
    }

    void testOrderIsKeptWhateverFinishesFirst()
    {
        QStringList entries;
        QRandomGenerator random(7);
        for (int i = 0; i < 48; ++i) {
            const QString entry = u"198.51.100.%1"_s.arg(i);
            entries.append(entry);
            serveCountry(First, entry, u"country: C%1"_s.arg(i), int(random.bounded(150)));
        }
        const Outcome outcome =
            runCli({u"-q"_s, u"--jobs"_s, u"16"_s, u"-f"_s, u"json"_s}, entries.join(u'\r').toUtf8());
        QCOMPARE(outcome.exitCode, 0);
        const Rows rows = parseJsonLines(outcome.out);
        QCOMPARE(rows.size(), entries.size());
        for (int i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows[i][0], entries[i]);
            QCOMPARE(rows[i][3], u"C%1"_s.arg(i));
        }
    }

    // Issue seen with -j 8: a server that closed one entry's connection without answering cost another
    // entry its first-site page, which was never sent.
    void testAConnectionClosedUnansweredCostsNoOtherEntryItsPage()
    {
        QStringList entries{u"hostile.tld"_s};
        m_server->setResponse(First, "/whois/hostile.tld", FakeWhoisServer::closedUnanswered());
        for (int i = 1; i < 48; ++i) {
            const QString entry = u"198.51.100.%1"_s.arg(i);
            entries.append(entry);
            const QByteArray path = "/whois/" + entry.toUtf8();
            m_server->setResponse(First, path, FakeWhoisServer::redirect(path + "-2"));
            m_server->setResponse(First, path + "-2", FakeWhoisServer::redirect(path + "-3"));
            serveCountry(First, entry + u"-3"_s, u"country: C%1"_s.arg(i), i % 5 * 10);
            serveCountry(Second, entry, u"country: WRONG"_s);
        }
        // Without the cache, so that the entries of one network go at once, as they did.
        const Outcome outcome =
            runCli({u"-q"_s, u"--no-cache"_s, u"-j"_s, u"8"_s, u"-f"_s, u"json"_s}, entries.join(u'\n').toUtf8());
        const Rows rows = parseJsonLines(outcome.out);
        QCOMPARE(rows.size(), entries.size());
        QCOMPARE(rows[0][1], u"Failed"_s);
        for (int i = 1; i < rows.size(); ++i)
            QCOMPARE(rows[i][3], u"C%1"_s.arg(i));
    }

    // Counted as the server counts, over any one second by its own clock; each step of a redirect counts.
    void testRateBoundsRequestsPerSecond()
    {
        QStringList entries;
        for (int i = 0; i < 100; ++i) {
            const QString entry = u"192.0.2.%1"_s.arg(i);
            entries.append(entry);
            if (i % 3 == 0) {
                const QByteArray path = "/whois/" + entry.toUtf8();
                m_server->setResponse(First, path, FakeWhoisServer::redirect(path + "-moved"));
                serveCountry(First, entry + u"-moved"_s, u"country: NL"_s);
            } else {
                serveCountry(First, entry, u"country: NL"_s);
            }
        }
        // Without the cache, whose waiting for answers of the same network would slow the start.
        const Outcome outcome =
            runCli({u"-q"_s, u"--no-cache"_s, u"-j"_s, u"16"_s, u"--rate"_s, u"50"_s}, entries.join(u'\n').toUtf8());
        QCOMPARE(outcome.exitCode, 0);
        const int most = m_server->mostRequestsInOneSecond(First);
        QCOMPARE(m_server->requests().size(), 134);
        QVERIFY2(most <= 50, qPrintable(QString::number(most)));
        QVERIFY2(most >= 25, qPrintable(QString::number(most))); // a budget, not a brake
    }

    void testSlowDownPausesTheSiteOnce()
    {
        QStringList entries;
        Response slowDown = FakeWhoisServer::page("<html><body>Too many requests</body></html>", 429);
        slowDown.headers.append({"Retry-After", QByteArray("2")});
        for (int i = 0; i < 6; ++i) {
            entries.append(u"192.0.2.%1"_s.arg(i));
            m_server->setResponsesInTurn(
                First, "/whois/" + entries.last().toUtf8(),
                {slowDown, FakeWhoisServer::page(FakeWhoisServer::firstSitePage(u"country: FI"_s))});
        }
        // Without the cache, which would ask for one of them first and the others after its answer.
        const Outcome outcome =
            runCli({u"-q"_s, u"--no-cache"_s, u"-j"_s, u"6"_s, u"-f"_s, u"json"_s}, entries.join(u'\n').toUtf8());
        QCOMPARE(outcome.exitCode, 0);
        for (const QStringList& row : parseJsonLines(outcome.out))
            QCOMPARE(row[3], u"FI"_s);
        QCOMPARE(outcome.err.count("asked to slow down"), 1);
        QVERIFY2(outcome.err.contains("www.whois.com asked to slow down (HTTP 429); no requests to it for 2 s"),
                 outcome.err.constData());
    }

    void testBlockPagesAreSaidOnce_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<bool>("said");
        QTest::newRow("pages without the record element")
            << QByteArray("<html><head><title>Attention  Required!</title></head><body>captcha</body></html>") << true;
        QTest::newRow("records without a country code")
            << FakeWhoisServer::firstSitePage(u"domain: example.tld\nstatus: reserved"_s) << false;
    }

    void testBlockPagesAreSaidOnce()
    {
        QFETCH(QByteArray, page);
        QFETCH(bool, said);
        m_server->setHostDefault(First, FakeWhoisServer::page(page));
        m_server->setHostDefault(Second, FakeWhoisServer::page(FakeWhoisServer::secondSitePage(u"country: SE"_s)));
        QStringList entries;
        for (int i = 0; i < 45; ++i)
            entries.append(u"site%1.tld"_s.arg(i));
        const Outcome outcome = runCli({u"-q"_s, u"-j"_s, u"4"_s}, entries.join(u'\n').toUtf8());
        QCOMPARE(outcome.exitCode, 0);
        QCOMPARE(outcome.err.count("www.whois.com answered 20 pages in a row without its WHOIS record (page title: "
                                   "\"Attention Required!\"); it may be blocking these lookups"),
                 said ? 1 : 0);
        QVERIFY2(said || !outcome.err.contains("blocking"), outcome.err.constData());
    }

    void testInputsAreReadInOrder_data()
    {
        QTest::addColumn<QByteArray>("a");
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QByteArray>("b");
        QTest::addColumn<int>("skipped");
        QTest::newRow("final line breaks end the last lines") << QByteArray("a1\r\na2") << QByteArray("s1\n")
                                                              << QByteArray("b1\nb2\n") << 0;
        QTest::newRow("empty and blank lines are skipped")
            << QByteArray("\na1\r\n\r\na2\r\n") << QByteArray("s1\n  \t\n\n") << QByteArray("b1\rb2\n\n") << 5;
    }

    void testInputsAreReadInOrder()
    {
        QFETCH(QByteArray, a);
        QFETCH(QByteArray, in);
        QFETCH(QByteArray, b);
        QFETCH(int, skipped);
        m_server->setHostDefault(First, FakeWhoisServer::page(FakeWhoisServer::firstSitePage(u"country: NO"_s)));
        QTemporaryDir dir;
        const Outcome outcome = runCli(
            {u"-q"_s, writeList(dir, u"a list.txt"_s, a), u"-"_s, writeList(dir, u"b.txt"_s, b), u"--sample"_s}, in);
        QCOMPARE(outcome.exitCode, 0);
        Rows rows = parseCsv(outcome.out);
        rows.removeFirst();
        QStringList addresses;
        for (const QStringList& r : rows)
            addresses.append(r[0]);
        QCOMPARE(addresses, (QStringList{u"a1"_s, u"a2"_s, u"s1"_s, u"b1"_s, u"b2"_s, u"64.90.182.55"_s,
                                         u"82.117.234.206"_s, u"109.148.115.34"_s}));
        QCOMPARE(m_server->requests().size(), addresses.size());
        if (skipped > 0)
            QVERIFY2(outcome.err.contains(QByteArray(QByteArray("skipped ") + QByteArray::number(skipped) + " empty or blank lines")),
                     outcome.err.constData());
        else
            QVERIFY2(!outcome.err.contains("skipped"), outcome.err.constData());
    }

    void testEmptyAndBinaryInput()
    {
        const Outcome empty = runCli({u"-q"_s}, QByteArray());
        QCOMPARE(empty.exitCode, 0);
        QCOMPARE(empty.out, QByteArray("IP Address(es),Status,Country,Country Code,Continent\r\n"));

        QByteArray binary(4096, '\0');
        QRandomGenerator random(3);
        for (char& c : binary)
            c = char(random.bounded(256));
        const Outcome odd = runCli({u"-q"_s, u"-f"_s, u"json"_s}, binary);
        QCOMPARE(odd.exitCode, 1);
        for (const QStringList& r : parseJsonLines(odd.out))
            QCOMPARE(r[1], u"Failed"_s);
    }

    void testUnusableInputsAndOutputsStopBeforeAnyLookup_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("missing file") << QStringList{u"/nonexistent/list.txt"_s} << 2
                                      << u"cannot read /nonexistent/list.txt: No such file or directory"_s;
        QTest::newRow("a folder") << QStringList{u"/tmp"_s} << 2 << u"cannot read /tmp: it is a folder"_s;
        QTest::newRow("output in a missing folder")
            << QStringList{u"--sample"_s, u"-o"_s, u"/nonexistent/out.csv"_s} << 2 << u"/nonexistent"_s;
        QTest::newRow("jobs 0") << QStringList{u"--sample"_s, u"--jobs"_s, u"0"_s} << 2 << u"--jobs"_s;
        QTest::newRow("jobs 100000") << QStringList{u"--sample"_s, u"--jobs"_s, u"100000"_s} << 2 << u"--jobs"_s;
    }

    void testUnusableInputsAndOutputsStopBeforeAnyLookup()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, mentions);
        const Outcome outcome = runCli(QStringList{u"-q"_s} + args);
        QCOMPARE(outcome.exitCode, exitCode);
        QVERIFY2(QString::fromUtf8(outcome.err).contains(mentions), outcome.err.constData());
        QVERIFY(outcome.out.isEmpty());
        QVERIFY(m_server->requests().isEmpty());
    }

    void testMissingDatabase()
    {
        QTemporaryDir folder;
        QVERIFY(QFile::copy(AppDir + u"/tellurion-cli"_s, folder.filePath(u"tellurion-cli"_s)));
        const Outcome outcome = runCli({u"--sample"_s}, {}, folder.filePath(u"tellurion-cli"_s));
        QCOMPARE(outcome.exitCode, 3);
        QVERIFY(outcome.err.contains("dbCountries.mdb"));
        QVERIFY(m_server->requests().isEmpty());
    }

    void testInterruptWritesTheFinalRowsInOrder_data()
    {
        QTest::addColumn<bool>("toFile");
        QTest::newRow("standard output") << false;
        QTest::newRow("over an existing file") << true;
    }

    void testInterruptWritesTheFinalRowsInOrder()
    {
        QFETCH(bool, toFile);
        QStringList entries;
        for (int i = 0; i < 40; ++i) {
            entries.append(u"203.0.113.%1"_s.arg(i));
            // Every fifth page is slow, so rows finish out of order before the interruption.
            serveCountry(First, entries.last(), u"country: DE"_s, i % 5 == 0 ? 3000 : 150);
        }
        QTemporaryDir dir;
        const QString target = dir.filePath(u"results.csv"_s);
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("the old results\n");
        old.close();

        QTemporaryDir cacheHome;
        QStringList args{u"-q"_s, u"-j"_s, u"4"_s, u"--rate"_s, u"0"_s};
        if (toFile)
            args << u"-o"_s << target;
        const std::unique_ptr<QProcess> started =
            startCli(AppDir + u"/tellurion-cli"_s, args, entries.join(u"\r\n"_s).toUtf8(), cacheHome.path());
        QProcess& cli = *started;
        QVERIFY(cli.state() == QProcess::Running);
        QVERIFY(cli.waitForBytesWritten(5000));
        QDeadlineTimer wait(20000);
        while (m_server->requests().size() < 12 && !wait.hasExpired())
            QThread::msleep(20);
        ::kill(pid_t(cli.processId()), SIGINT);
        QVERIFY(cli.waitForFinished(10000));
        const QByteArray err = cli.readAllStandardError();
        QVERIFY2(cli.exitCode() == 130, err.constData());
        // The run does not pass for a complete one.
        QVERIFY2(err.contains("interrupted: ") && err.contains(" of 40 entries were not looked up"), err.constData());
        QCOMPARE(err.contains("was not written"), toFile);

        if (toFile) {
            QVERIFY(old.open(QIODevice::ReadOnly));
            QCOMPARE(old.readAll(), QByteArray("the old results\n"));
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{u"results.csv"_s});
            return;
        }
        Rows rows = parseCsv(cli.readAllStandardOutput());
        QVERIFY(!rows.isEmpty());
        rows.removeFirst();
        QVERIFY(!rows.isEmpty());
        QVERIFY(rows.size() < entries.size());
        qsizetype at = 0;
        for (const QStringList& r : rows) {
            QCOMPARE(r.size(), 5);
            QCOMPARE(r[1], u"Completed"_s);
            const qsizetype found = entries.indexOf(r[0], at);
            QVERIFY2(found >= 0, "rows are in input order");
            at = found + 1;
        }
    }

    void testOutputOverAWritableFileInAFolderThatTakesNoNewFile()
    {
        // As an ordinary user: the folder refuses a new name, the file itself may be written.
        if (::geteuid() != 0 || QStandardPaths::findExecutable(u"setpriv"_s).isEmpty())
            QSKIP("needs root and setpriv to run the tool as an ordinary user");
        serveCountry(First, u"192.0.2.1"_s, u"country: DE"_s);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(u"locked"_s));
        const QString target = dir.filePath(u"locked/results.csv"_s);
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("the old results\n");
        old.close();
        QVERIFY(old.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther |
                                   QFileDevice::WriteOther));
        QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ExeOwner | QFileDevice::ExeOther));
        QVERIFY(QFile::setPermissions(dir.filePath(u"locked"_s), QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                                   QFileDevice::ReadOther | QFileDevice::ExeOther));
        const Outcome outcome = runCli({u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s,
                                        AppDir + u"/tellurion-cli"_s, u"-q"_s, u"-o"_s, target},
                                       "192.0.2.1\n", QStandardPaths::findExecutable(u"setpriv"_s));
        QFile::setPermissions(dir.filePath(u"locked"_s), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                           QFileDevice::ExeOwner);
        QVERIFY2(outcome.exitCode == 0, outcome.err.constData());
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("IP Address(es),Status,Country,Country Code,Continent\r\n"
                                           "192.0.2.1,Completed,Germany,DE,Europe\r\n"));
    }

    void testSummaryCountsLargestFirst()
    {
        serveCountry(First, u"192.0.2.1"_s, u"country: FR"_s);
        serveCountry(First, u"192.0.2.2"_s, u"country: DE"_s);
        serveCountry(First, u"192.0.2.3"_s, u"country: de"_s);
        serveCountry(First, u"192.0.2.4"_s, u"country: JP"_s);
        const Outcome outcome =
            runCli({u"-q"_s, u"--summary"_s}, "192.0.2.1\n192.0.2.2\n192.0.2.3\n192.0.2.4\n192.0.2.5\n");
        QCOMPARE(outcome.exitCode, 1);
        QStringList lines;
        for (const QString& line : QString::fromUtf8(outcome.err).split(u'\n', Qt::SkipEmptyParts))
            lines.append(line.simplified());
        QCOMPARE(lines, (QStringList{u"Entries per country:"_s, u"2 Germany (DE)"_s, u"1 France (FR)"_s,
                                     u"1 Japan (JP)"_s, u"Entries per continent:"_s, u"3 Europe"_s, u"1 Asia"_s,
                                     u"1 failed"_s, u"5 entries in all"_s}));
    }

    void testLongLineIsOneEntry()
    {
        const QByteArray line(qsizetype(2) * 1024 * 1024, 'x');
        const Outcome outcome = runCli({u"-q"_s, u"-f"_s, u"json"_s}, line);
        QCOMPARE(outcome.exitCode, 1);
        const Rows rows = parseJsonLines(outcome.out);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0][0].size(), line.size());
        QCOMPARE(rows[0][1], u"Failed"_s);
    }
};

QTEST_MAIN(TestCli)
#include "tst_Cli.moc"

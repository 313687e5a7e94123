// The batch tool's cache as a user meets it: runs of the real tellurion-cli against the fake WHOIS server,
// each with its own XDG_CACHE_HOME, the cache file read and aged through SQLite between runs.
#include "support/CliProcess.h"
#include "support/FakeWhoisServer.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;
using Response = FakeWhoisServer::Response;

namespace {

const QString Cli = QStringLiteral(TELLURION_APP_DIR) + u"/tellurion-cli"_s;
const QString First = u"www.whois.com"_s;
const QString Second = u"whois.domaintools.com"_s;
constexpr qint64 Minute = qint64(60) * 1000;
constexpr qint64 Hour = 60 * Minute;
constexpr qint64 Day = 24 * Hour;

struct Outcome
{
    int exitCode = -1;
    QList<QJsonObject> rows;
    QByteArray out;
    QByteArray err;

    QStringList column(const QString& key) const
    {
        QStringList values;
        for (const QJsonObject& row : rows)
            values.append(row[key].isBool() ? (row[key].toBool() ? u"true"_s : u"false"_s) : row[key].toString());
        return values;
    }
};

std::unique_ptr<QProcess> startRun(const QString& cacheHome, const QStringList& args, const QStringList& entries)
{
    return startCli(Cli, withoutBudget(QStringList{u"-q"_s, u"-f"_s, u"json"_s} + args),
                    entries.join(u'\n').toUtf8() + '\n', cacheHome);
}

Outcome finish(QProcess& cli)
{
    const CliOutcome done = finishCli(cli);
    return {done.exitCode, done.jsonRows(), done.out, done.err};
}

Outcome runCli(const QString& cacheHome, const QStringList& args, const QStringList& entries)
{
    return finish(*startRun(cacheHome, args, entries));
}

// Makes every stored answer older, as if the runs before had been that long ago.
bool age(const QString& cacheHome, qint64 ms)
{
    bool done = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"age"_s);
        db.setDatabaseName(cacheHome + u"/tellurion/answers.sqlite"_s);
        if (db.open()) {
            QSqlQuery query(db);
            done = query.exec(u"UPDATE blocks SET stored_at = stored_at - %1"_s.arg(ms)) &&
                   query.exec(u"UPDATE keyed SET stored_at = stored_at - %1"_s.arg(ms));
        }
    }
    QSqlDatabase::removeDatabase(u"age"_s);
    return done;
}

// A read-only file system of our own (needs root), as a cache folder that cannot be written.
class ReadOnlyMount
{
public:
    explicit ReadOnlyMount(const QString& path) : m_path(path)
    {
        QDir().mkpath(path);
        m_mounted = ::geteuid() == 0 &&
                    QProcess::execute(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=1m"_s, u"tmpfs"_s, path}) == 0;
    }
    ~ReadOnlyMount()
    {
        if (m_mounted)
            QProcess::execute(u"umount"_s, {m_path});
    }
    bool makeReadOnly() { return m_mounted && QProcess::execute(u"mount"_s, {u"-o"_s, u"remount,ro"_s, m_path}) == 0; }

private:
    QString m_path;
    bool m_mounted = false;
};

} // namespace

class TestCliCache : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeWhoisServer> m_server;

    // Every address of 192.0.2.0/24 gets `code` from the first site, after `delayMs`.
    void serveBlock(const QString& code, int delayMs = 0, const QString& block = u"192.0.2.0 - 192.0.2.255"_s)
    {
        const QString inetnum = block.isEmpty() ? QString() : u"inetnum:        "_s + block + u"\n"_s;
        Response page = FakeWhoisServer::page(FakeWhoisServer::firstSitePage(inetnum + u"country:        "_s + code));
        page.delayMs = delayMs;
        m_server->setHostDefault(First, page);
    }

    int requestsFor(const QString& host) const
    {
        int count = 0;
        for (const FakeWhoisServer::Request& r : m_server->requests())
            count += r.host == host;
        return count;
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
        m_server->setHostDefault(Second, FakeWhoisServer::page("<html><body>Not found</body></html>", 404));
    }

    void testTheNextRunAsksNobody()
    {
        QTemporaryDir home;
        serveBlock(u"DE"_s);
        m_server->setResponse(First, "/whois/mail.example.co.uk",
                              FakeWhoisServer::page(FakeWhoisServer::firstSitePage(u"country: GB"_s)));
        const QStringList entries{u"192.0.2.1"_s, u"mail.example.co.uk"_s};
        const Outcome first = runCli(home.path(), {u"-j"_s, u"1"_s}, entries);
        QCOMPARE(first.exitCode, 0);
        QCOMPARE(first.column(u"country_code"_s), (QStringList{u"DE"_s, u"GB"_s}));
        QCOMPARE(first.column(u"network"_s), (QStringList{u"192.0.2.0/24"_s, u"example.co.uk"_s}));
        QCOMPARE(first.column(u"cached"_s), (QStringList{u"false"_s, u"false"_s}));
        QVERIFY(QFile::exists(home.filePath(u"tellurion/answers.sqlite"_s)));

        m_server->clearRequests();
        const QStringList more{u"192.0.2.250"_s, u"example.co.uk"_s, u"192.0.2.1"_s};
        const Outcome second = runCli(home.path(), {}, more);
        QCOMPARE(second.exitCode, 0);
        QCOMPARE(m_server->requests().size(), 0);
        QCOMPARE(second.column(u"country_code"_s), (QStringList{u"DE"_s, u"GB"_s, u"DE"_s}));
        QCOMPARE(second.column(u"country"_s), (QStringList{u"Germany"_s, u"United Kingdom"_s, u"Germany"_s}));
        QCOMPARE(second.column(u"source"_s), (QStringList{u"site1"_s, u"site1"_s, u"site1"_s}));
        QCOMPARE(second.column(u"cached"_s), (QStringList{u"true"_s, u"true"_s, u"true"_s}));

        // CSV shows the same through --fields.
        QProcess csv;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_CACHE_HOME"_s, home.path());
        csv.setProcessEnvironment(environment);
        csv.start(Cli, {u"-q"_s, u"--rate"_s, u"0"_s, u"--fields"_s, u"+cached,+network"_s});
        csv.write("192.0.2.9\n");
        csv.closeWriteChannel();
        QVERIFY(csv.waitForFinished(60000));
        QCOMPARE(csv.readAllStandardOutput().split('\n').value(1),
                 QByteArray("192.0.2.9,Completed,Germany,DE,Europe,true,192.0.2.0/24\r"));

        // --no-cache asks again, and keeps nothing.
        m_server->setResponse(First, "/whois/example.co.uk",
                              FakeWhoisServer::page(FakeWhoisServer::firstSitePage(u"country: GB"_s)));
        QTemporaryDir other;
        const Outcome uncached = runCli(other.path(), {u"--no-cache"_s}, more);
        QCOMPARE(uncached.column(u"country_code"_s), second.column(u"country_code"_s));
        QCOMPARE(uncached.column(u"cached"_s), (QStringList{u"false"_s, u"false"_s, u"false"_s}));
        QCOMPARE(m_server->requests().size(), 3);
        QVERIFY(!QFile::exists(other.filePath(u"tellurion"_s)));
    }

    void testFreshness_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<qint64>("ageMs"); // of the stored answers
        QTest::addColumn<QString>("code"); // the stored answer DE, or the new one FR
        QTest::addColumn<int>("requests");
        QTest::newRow("6 days old") << QStringList{} << 6 * Day << u"DE"_s << 0;
        QTest::newRow("8 days old") << QStringList{} << 8 * Day << u"FR"_s << 1;
        QTest::newRow("8 days old, --max-age 10") << QStringList{u"--max-age"_s, u"10"_s} << 8 * Day << u"DE"_s << 0;
        QTest::newRow("13 hours old, --max-age 0.5") << QStringList{u"--max-age=0.5"_s} << 13 * Hour << u"FR"_s << 1;
        QTest::newRow("--max-age 0: nothing stored counts")
            << QStringList{u"--max-age"_s, u"0"_s} << Minute << u"FR"_s << 3;
        // Asked again once: the new answer then serves the rest of the block in the same run.
        QTest::newRow("--refresh") << QStringList{u"--refresh"_s} << Minute << u"FR"_s << 1;
    }

    void testFreshness()
    {
        QFETCH(QStringList, args);
        QFETCH(qint64, ageMs);
        QFETCH(QString, code);
        QFETCH(int, requests);
        QTemporaryDir home;
        serveBlock(u"DE"_s);
        QCOMPARE(runCli(home.path(), {}, {u"192.0.2.1"_s}).column(u"country_code"_s), QStringList{u"DE"_s});
        QVERIFY(age(home.path(), ageMs));
        serveBlock(u"FR"_s);
        m_server->clearRequests();
        const Outcome outcome =
            runCli(home.path(), args + QStringList{u"-j"_s, u"1"_s}, {u"192.0.2.1"_s, u"192.0.2.2"_s, u"192.0.2.3"_s});
        QCOMPARE(outcome.column(u"country_code"_s), (QStringList{code, code, code}));
        QCOMPARE(m_server->requests().size(), requests);
        // What was asked again is stored: the next default run gives it without asking.
        if (requests == 0)
            return;
        m_server->clearRequests();
        QCOMPARE(runCli(home.path(), {}, {u"192.0.2.99"_s}).column(u"country_code"_s), QStringList{code});
        QCOMPARE(m_server->requests().size(), 0);
    }

    void testFailuresAreKeptForAnHour_data()
    {
        QTest::addColumn<qint64>("ageMs");
        QTest::addColumn<QString>("status");
        QTest::newRow("59 minutes later") << 59 * Minute << u"Failed"_s;
        QTest::newRow("61 minutes later") << 61 * Minute << u"Completed"_s;
    }

    void testFailuresAreKeptForAnHour()
    {
        QFETCH(qint64, ageMs);
        QFETCH(QString, status);
        QTemporaryDir home;
        m_server->setHostDefault(First, FakeWhoisServer::page("<html><body>Blocked</body></html>", 403));
        const Outcome blocked = runCli(home.path(), {}, {u"192.0.2.1"_s});
        QCOMPARE(blocked.exitCode, 1);
        QCOMPARE(m_server->requests().size(), 2); // both sites
        QVERIFY(age(home.path(), ageMs));
        serveBlock(u"DE"_s);
        m_server->clearRequests();
        const Outcome later = runCli(home.path(), {}, {u"192.0.2.1"_s});
        QCOMPARE(later.column(u"status"_s), QStringList{status});
        QCOMPARE(m_server->requests().size(), status == u"Failed"_s ? 0 : 1);
        if (status == u"Failed"_s)
            QVERIFY2(later.err.contains("asked again after 60 minutes"), later.err.constData());
    }

    void testAnUnusableCacheChangesNoResult_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("a file that is no database") << u"garbage"_s << u"file is not a database"_s;
        QTest::newRow("a database of another version") << u"version"_s << u"another version"_s;
        QTest::newRow("the folder's place taken by a file") << u"blocked folder"_s << u"its folder cannot be made"_s;
        QTest::newRow("a read-only file system") << u"read-only"_s << u"cannot be written"_s;
    }

    void testAnUnusableCacheChangesNoResult()
    {
        QFETCH(QString, kind);
        QFETCH(QString, mentions);
        QTemporaryDir home;
        const QString folder = home.filePath(u"tellurion"_s);
        const QString file = folder + u"/answers.sqlite"_s;
        std::unique_ptr<ReadOnlyMount> mount;
        const QByteArray garbage(5000, 'x');
        if (kind == u"blocked folder"_s) {
            QFile blocker(folder);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        } else if (kind == u"read-only"_s) {
            mount = std::make_unique<ReadOnlyMount>(folder);
            serveBlock(u"DE"_s);
            QCOMPARE(runCli(home.path(), {}, {u"192.0.2.1"_s}).column(u"cached"_s), QStringList{u"false"_s});
            if (!mount->makeReadOnly())
                QSKIP("mounting a read-only file system needs root");
        } else {
            QDir().mkpath(folder);
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            if (kind == u"garbage"_s)
                f.write(garbage);
            f.close();
            if (kind == u"version"_s) {
                QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"version"_s);
                db.setDatabaseName(file);
                QVERIFY(db.open());
                QVERIFY(QSqlQuery(db).exec(u"PRAGMA user_version = 99"_s));
                db.close();
                db = QSqlDatabase();
                QSqlDatabase::removeDatabase(u"version"_s);
            }
        }
        // Two entries of one block and a failing one: the run still shares what it learns.
        serveBlock(u"FR"_s);
        m_server->setResponse(First, "/whois/198.51.100.6", FakeWhoisServer::page("<html><body>No</body></html>", 404));
        const QStringList entries{u"192.0.2.1"_s, u"198.51.100.6"_s, u"192.0.2.2"_s};
        m_server->clearRequests();
        const Outcome outcome = runCli(home.path(), {u"-j"_s, u"1"_s}, entries);
        QTemporaryDir clean;
        const Outcome expected = runCli(clean.path(), {u"--no-cache"_s, u"-j"_s, u"1"_s}, entries);
        QCOMPARE(outcome.exitCode, expected.exitCode);
        QCOMPARE(outcome.column(u"status"_s), expected.column(u"status"_s));
        QCOMPARE(outcome.column(u"country_code"_s), (QStringList{u"FR"_s, QString(), u"FR"_s}));
        QCOMPARE(outcome.err.count("going on without the cache"), 1);
        QVERIFY2(outcome.err.contains(mentions.toUtf8()), outcome.err.constData());
        if (kind == u"garbage"_s) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), garbage);
        }
    }

    // Two runs at once write one cache file, an answer per entry; a third finds every answer of both.
    void testTwoRunsShareOneCache()
    {
        QTemporaryDir home;
        m_server->setHostDefault(First, FakeWhoisServer::page(FakeWhoisServer::firstSitePage(u"country: SE"_s)));
        QStringList a;
        QStringList b;
        for (int i = 0; i < 600; ++i) {
            a.append(u"10.1.%1.%2"_s.arg(i / 200).arg(i % 200));
            b.append(u"10.2.%1.%2"_s.arg(i / 200).arg(i % 200));
        }
        const std::unique_ptr<QProcess> runA = startRun(home.path(), {u"-j"_s, u"8"_s}, a);
        const std::unique_ptr<QProcess> runB = startRun(home.path(), {u"-j"_s, u"8"_s}, b);
        const Outcome outA = finish(*runA);
        const Outcome outB = finish(*runB);
        const QByteArray errors = outA.err + outB.err;
        QVERIFY2(outA.exitCode == 0 && outB.exitCode == 0, errors.constData());
        QVERIFY2(errors.isEmpty(), errors.constData());
        QCOMPARE(outA.column(u"country_code"_s), QStringList(a.size(), u"SE"_s));
        QCOMPARE(outB.column(u"country_code"_s), QStringList(b.size(), u"SE"_s));
        m_server->clearRequests();
        const Outcome third = runCli(home.path(), {}, a + b);
        QCOMPARE(third.column(u"cached"_s), QStringList(a.size() + b.size(), u"true"_s));
        QCOMPARE(m_server->requests().size(), 0);
    }

    void testEntriesWaitForAnAnswerThatMayCoverThem_data()
    {
        QTest::addColumn<QString>("block"); // what the record names
        QTest::addColumn<int>("requests");
        QTest::newRow("one block holds them all") << u"192.0.2.0 - 192.0.2.255"_s << 1;
        QTest::newRow("a block larger than the /24") << u"192.0.0.0/22"_s << 1;
        // Every answer names the block of its own half.
        QTest::newRow("two halves") << u"halves"_s << 2;
        // Nothing to share: after the first answer the others ask at once, each for itself.
        QTest::newRow("no block named") << QString() << 16;
    }

    void testEntriesWaitForAnAnswerThatMayCoverThem()
    {
        QFETCH(QString, block);
        QFETCH(int, requests);
        QTemporaryDir home;
        QStringList entries;
        for (int i = 0; i < 16; ++i)
            entries.append(u"192.0.2.%1"_s.arg(i * 16 + 3));
        if (block == u"halves"_s) {
            for (const QString& entry : entries) {
                const bool low = entry.section(u'.', 3).toInt() < 128;
                Response page = FakeWhoisServer::page(FakeWhoisServer::firstSitePage(
                    low ? u"inetnum: 192.0.2.0/25\ncountry: NO"_s : u"inetnum: 192.0.2.128/25\ncountry: NO"_s));
                page.delayMs = 300;
                m_server->setResponse(First, "/whois/" + entry.toUtf8(), page);
            }
        } else {
            serveBlock(u"NO"_s, 300, block);
        }
        const Outcome outcome = runCli(home.path(), {u"-j"_s, u"8"_s}, entries);
        QCOMPARE(outcome.exitCode, 0);
        QCOMPARE(outcome.column(u"country_code"_s), QStringList(entries.size(), u"NO"_s));
        QCOMPARE(requestsFor(First), requests);
        QCOMPARE(outcome.column(u"cached"_s).count(u"true"_s), entries.size() - requests);
    }
};

QTEST_GUILESS_MAIN(TestCliCache)
#include "tst_CliCache.moc"

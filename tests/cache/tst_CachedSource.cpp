// The cache around the WHOIS sites, over real HTTP to the fake server and real SQLite files: which
// stored answer answers which entry, in this run and in the next.
#include "cache/CachedSource.h"
#include "lookup/PageLoader.h"
#include "sources/WebSource.h"
#include "support/FakeWhoisServer.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

using namespace Qt::StringLiterals;
using namespace sources;
using cache::AnswerStore;
using cache::CachedSource;

namespace {

const QString First = u"www.whois.com"_s;

Query query(const QString& entry)
{
    return Query{entry, lookup::cleanEntry(entry)};
}

// One step of a table: ask an entry whose record names `block` and gives `code`; look an entry up
// without asking and expect `code` (empty: nothing stored answers it); or start a new run `days` later.
struct Step
{
    enum class Kind { Ask, Expect, Later } kind;
    QString entry;
    QString code;
    QString block;
    int days = 0;
};
using Steps = QList<Step>;

Step ask(const QString& entry, const QString& code, const QString& block)
{
    return {Step::Kind::Ask, entry, code, block};
}

Step expect(const QString& entry, const QString& code)
{
    return {Step::Kind::Expect, entry, code, {}};
}

Step later(int days)
{
    return {Step::Kind::Later, {}, {}, {}, days};
}

// Makes every stored answer older.
bool age(const QString& file, int days)
{
    bool done = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"age"_s);
        db.setDatabaseName(file);
        done = db.open() && QSqlQuery(db).exec(u"UPDATE blocks SET stored_at = stored_at - %1"_s.arg(
                                qint64(days) * cache::CacheSettings::Day));
    }
    QSqlDatabase::removeDatabase(u"age"_s);
    return done;
}

} // namespace

Q_DECLARE_METATYPE(Step)

class TestCachedSource : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeWhoisServer> m_server;

    struct Cached
    {
        lookup::PageLoader loader;
        std::unique_ptr<CachedSource> source;
        QStringList reports;

        explicit Cached(const QString& file)
        {
            auto store = std::make_shared<AnswerStore>(file, [this](const QString& m) { reports.append(m); });
            source = std::make_unique<CachedSource>(std::make_unique<WebSource>(loader), std::move(store));
        }
    };

    static Answer waitFor(std::unique_ptr<SourceRequest> request)
    {
        if (!QTest::qWaitFor([&] { return request->isFinished(); }, 20000))
            return {};
        return request->answer();
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
    }

    void testStoredAnswersCover_data()
    {
        QTest::addColumn<Steps>("steps");
        QTest::newRow("a block answers its addresses, and only them")
            << Steps{ask(u"192.0.2.10"_s, u"DE"_s, u"192.0.2.0 - 192.0.2.255"_s), expect(u"192.0.2.200"_s, u"DE"_s),
                     expect(u"192.0.2.10"_s, u"DE"_s), expect(u"192.0.3.1"_s, {}), expect(u"192.0.1.255"_s, {})};
        QTest::newRow("a child stored after its parent wins inside it")
            << Steps{ask(u"10.0.0.1"_s, u"FR"_s, u"10.0.0.0 - 10.255.255.255"_s),
                     expect(u"10.1.2.7"_s, u"FR"_s),
                     ask(u"10.1.2.3"_s, u"DE"_s, u"10.1.2.0/24"_s),
                     expect(u"10.1.2.7"_s, u"DE"_s),
                     expect(u"10.1.3.1"_s, u"FR"_s),
                     expect(u"10.1.1.255"_s, u"FR"_s),
                     expect(u"11.0.0.1"_s, {})};
        QTest::newRow("a parent stored after its child does not hide it") << Steps{
            ask(u"10.1.2.3"_s, u"DE"_s, u"10.1.2.0/24"_s), ask(u"10.0.0.1"_s, u"FR"_s, u"10.0.0.0/8"_s),
            expect(u"10.1.2.255"_s, u"DE"_s), expect(u"10.1.3.0"_s, u"FR"_s), expect(u"10.255.255.255"_s, u"FR"_s)};
        QTest::newRow("an address between two children takes their parent")
            << Steps{ask(u"10.0.0.1"_s, u"FR"_s, u"10.0.0.0/8"_s),
                     ask(u"10.1.0.1"_s, u"DE"_s, u"10.1.0.0/16"_s),
                     ask(u"10.3.0.1"_s, u"NL"_s, u"10.3.0.0/16"_s),
                     expect(u"10.2.0.1"_s, u"FR"_s),
                     expect(u"10.1.255.255"_s, u"DE"_s),
                     expect(u"10.3.0.0"_s, u"NL"_s),
                     expect(u"10.4.0.0"_s, u"FR"_s),
                     expect(u"10.0.0.0"_s, u"FR"_s)};
        QTest::newRow("blocks from the same first address")
            << Steps{ask(u"10.0.0.1"_s, u"FR"_s, u"10.0.0.0/8"_s), ask(u"10.0.0.2"_s, u"DE"_s, u"10.0.0.0/16"_s),
                     expect(u"10.0.5.5"_s, u"DE"_s), expect(u"10.1.0.0"_s, u"FR"_s)};
        QTest::newRow("IPv6 blocks nest too") << Steps{ask(u"2001:db8::1"_s, u"NL"_s, u"2001:db8::/32"_s),
                                                       ask(u"2001:db8:1::1"_s, u"DE"_s, u"2001:db8:1::/48"_s),
                                                       expect(u"2001:db8:1:ffff::9"_s, u"DE"_s),
                                                       expect(u"2001:db8:2::1"_s, u"NL"_s),
                                                       expect(u"2001:db9::1"_s, {}),
                                                       expect(u"192.0.2.1"_s, {})};
        Steps manyStale{ask(u"10.0.0.1"_s, u"FR"_s, u"10.0.0.0/8"_s)};
        for (int i = 1; i <= 20; ++i)
            manyStale.append(ask(u"10.0.%1.1"_s.arg(i), u"DE"_s, u"10.0.%1.0/24"_s.arg(i)));
        manyStale += Steps{later(8),
                           expect(u"10.0.5.1"_s, {}),
                           ask(u"10.0.0.1"_s, u"FR"_s, u"10.0.0.0/8"_s),
                           expect(u"10.0.5.1"_s, u"FR"_s),
                           expect(u"10.0.30.1"_s, u"FR"_s),
                           expect(u"10.0.20.255"_s, u"FR"_s),
                           expect(u"11.0.0.0"_s, {})};
        QTest::newRow("stale blocks are passed over, however many") << manyStale;
        QTest::newRow("an answer without a block answers only its entry") << Steps{
            ask(u"198.51.100.7"_s, u"JP"_s, {}), expect(u"198.51.100.7"_s, u"JP"_s), expect(u"198.51.100.8"_s, {})};
        QTest::newRow("a name answers for its registration, under the same rule")
            << Steps{ask(u"mail.example.co.uk"_s, u"GB"_s, {}), expect(u"example.co.uk"_s, u"GB"_s),
                     expect(u"http://shop.example.co.uk/"_s, u"GB"_s), expect(u"www.example.co.uk"_s, {}),
                     expect(u"other.co.uk"_s, {})};
    }

    // Each expectation holds in the run that stored the answers; those after the last question hold in the
    // next run too, which has only the file.
    void testStoredAnswersCover()
    {
        QFETCH(Steps, steps);
        QTemporaryDir dir;
        const QString file = dir.filePath(u"answers.sqlite"_s);
        auto run = std::make_unique<Cached>(file);
        const auto check = [&](const Step& step) {
            const std::optional<Answer> answer = run->source->answerNow(query(step.entry));
            QCOMPARE(answer ? answer->code : QString(), step.code);
            if (answer)
                QVERIFY(answer->cached);
        };
        for (const Step& step : steps) {
            switch (step.kind) {
            case Step::Kind::Expect:
                check(step);
                break;
            case Step::Kind::Later:
                run.reset();
                QVERIFY(age(file, step.days));
                run = std::make_unique<Cached>(file);
                break;
            case Step::Kind::Ask: {
                const QString record = (step.block.isEmpty() ? QString() : u"inetnum: "_s + step.block + u"\n"_s) +
                                       u"country: "_s + step.code;
                m_server->setResponse(First, "/whois/" + lookup::cleanEntry(step.entry).normalised.toUtf8(),
                                      FakeWhoisServer::page(FakeWhoisServer::firstSitePage(record)));
                const Answer answer = waitFor(run->source->ask(query(step.entry)));
                QCOMPARE(answer.code, step.code);
                QVERIFY(!answer.cached);
                break;
            }
            }
        }
        const qsizetype requests = m_server->requests().size();
        run = std::make_unique<Cached>(file);
        const auto lastAsk =
            std::find_if(steps.rbegin(), steps.rend(), [](const Step& s) { return s.kind != Step::Kind::Expect; });
        for (auto step = lastAsk.base(); step != steps.end(); ++step)
            check(*step);
        QCOMPARE(m_server->requests().size(), requests);
        QVERIFY(run->reports.isEmpty());
    }

    void testAFailureIsKeptUnderItsEntry()
    {
        QTemporaryDir dir;
        Cached run(dir.filePath(u"answers.sqlite"_s));
        const Answer failed = waitFor(run.source->ask(query(u"192.0.2.1"_s)));
        QVERIFY(!failed.found);
        const std::optional<Answer> again = run.source->answerNow(query(u"192.0.2.1"_s));
        QVERIFY(again);
        QVERIFY(!again->found);
        QVERIFY(again->cached);
        QVERIFY2(again->notes.last().contains(u"asked again after 60 minutes"_s), qPrintable(again->notes.join(u'|')));
        QVERIFY(!run.source->answerNow(query(u"192.0.2.2"_s)));
    }

    // Another run holds the write lock: for a moment, which the busy timeout waits out; or for longer,
    // when the answer still comes, the trouble is said once, and the run keeps its answers in memory.
    void testALockedFile_data()
    {
        QTest::addColumn<bool>("briefly");
        QTest::newRow("for a moment") << true;
        QTest::newRow("for longer than the busy timeout") << false;
    }

    void testALockedFile()
    {
        QFETCH(bool, briefly);
        QTemporaryDir dir;
        const QString file = dir.filePath(u"answers.sqlite"_s);
        auto run = std::make_unique<Cached>(file);
        std::atomic<int> state = 0; // 1: locked, 2: may let go
        std::thread other([&] {
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"other"_s);
                db.setDatabaseName(file);
                QSqlQuery lock(db);
                if (db.open() && lock.exec(u"BEGIN IMMEDIATE"_s)) {
                    state = 1;
                    if (briefly)
                        QThread::msleep(500);
                    else
                        while (state != 2)
                            QThread::msleep(10);
                    lock.exec(u"ROLLBACK"_s);
                } else {
                    state = -1;
                }
            }
            QSqlDatabase::removeDatabase(u"other"_s);
        });
        while (state == 0)
            QThread::msleep(1);
        QCOMPARE(state.load(), 1);
        m_server->setHostDefault(First, FakeWhoisServer::page(FakeWhoisServer::firstSitePage(
                                            u"inetnum: 203.0.113.0 - 203.0.113.255\ncountry: AU"_s)));
        QCOMPARE(waitFor(run->source->ask(query(u"203.0.113.1"_s))).code, u"AU"_s);
        QCOMPARE(waitFor(run->source->ask(query(u"203.0.113.2"_s))).code, u"AU"_s);
        state = 2;
        other.join();
        const std::optional<Answer> kept = run->source->answerNow(query(u"203.0.113.9"_s));
        QVERIFY(kept && kept->code == u"AU"_s);
        if (briefly) {
            QVERIFY2(run->reports.isEmpty(), qPrintable(run->reports.join(u'\n')));
        } else {
            QCOMPARE(run->reports.size(), 1);
            QVERIFY2(run->reports[0].contains(u"database is locked"_s), qPrintable(run->reports[0]));
        }
        // Only an answer that reached the file is there for the next run.
        run = std::make_unique<Cached>(file);
        QCOMPARE(bool(run->source->answerNow(query(u"203.0.113.9"_s))), briefly);
    }
};

QTEST_GUILESS_MAIN(TestCachedSource)
#include "tst_CachedSource.moc"

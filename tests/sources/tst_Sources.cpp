// The chain of sources, and the window's WHOIS sites as one source, over real HTTP to the fake server.
#include "lookup/PageLoader.h"
#include "sources/SourceChain.h"
#include "sources/WebSource.h"
#include "support/FakeWhoisServer.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace sources;

namespace {

// A source with a fixed answer for every entry, given at once or from the event loop; it counts what it
// was asked, so that a test sees that the chain stops at the first code.
class FixedSource : public Source
{
public:
    FixedSource(Answer answer, bool atOnce) : m_answer(std::move(answer)), m_atOnce(atOnce) {}

    QString name() const override { return m_answer.source; }
    bool isRemote() const override { return !m_atOnce; }
    std::optional<Answer> answerNow(const Query&) override
    {
        if (!m_atOnce)
            return std::nullopt;
        ++asked;
        return m_answer;
    }
    std::unique_ptr<SourceRequest> ask(const Query&) override
    {
        ++asked;
        class Request : public SourceRequest
        {
        public:
            explicit Request(Answer a) { finish(std::move(a)); }
        };
        return std::make_unique<Request>(m_answer);
    }
    int asked = 0;

private:
    Answer m_answer;
    bool m_atOnce;
};

Answer code(const QString& source, const QString& c)
{
    Answer a;
    a.found = true;
    a.code = c;
    a.source = source;
    return a;
}

Answer none(const QString& note)
{
    Answer a;
    a.notes = {note};
    return a;
}

Query query(const QString& entry)
{
    return Query{entry, lookup::cleanEntry(entry)};
}

} // namespace

class TestSources : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeWhoisServer> m_server;

private slots:
    void initTestCase()
    {
        m_server = std::make_unique<FakeWhoisServer>();
        m_server->becomeProxy();
    }

    void testChainTakesTheFirstCode_data()
    {
        QTest::addColumn<QList<Answer>>("answers");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("found");
        QTest::addColumn<int>("asked"); // sources asked
        QTest::addColumn<int>("notes");
        QTest::newRow("first has a code") << QList<Answer>{code(u"a"_s, u"DE"_s), code(u"b"_s, u"FR"_s)} << u"a"_s
                                          << u"DE"_s << true << 1 << 0;
        QTest::newRow("second after a failure")
            << QList<Answer>{none(u"refused"_s), code(u"b"_s, u"FR"_s)} << u"b"_s << u"FR"_s << true << 2 << 1;
        QTest::newRow("an empty code moves on")
            << QList<Answer>{code(u"a"_s, {}), code(u"b"_s, u"FR"_s)} << u"b"_s << u"FR"_s << true << 2 << 0;
        QTest::newRow("an empty code stands when nothing better comes")
            << QList<Answer>{code(u"a"_s, {}), none(u"no range"_s)} << u"a"_s << QString() << true << 2 << 1;
        QTest::newRow("all fail, every note kept")
            << QList<Answer>{none(u"x"_s), none(u"y"_s), none(u"z"_s)} << QString() << QString() << false << 3 << 3;
    }

    void testChainTakesTheFirstCode()
    {
        QFETCH(QList<Answer>, answers);
        QFETCH(QString, source);
        QFETCH(QString, code);
        QFETCH(bool, found);
        QFETCH(int, asked);
        QFETCH(int, notes);
        // Every mix of sources that answer at once and sources that answer later gives the same result.
        for (int mask = 0; mask < (1 << answers.size()); ++mask) {
            std::vector<std::unique_ptr<FixedSource>> owned;
            std::vector<Source*> list;
            for (qsizetype i = 0; i < answers.size(); ++i) {
                owned.push_back(std::make_unique<FixedSource>(answers[i], (mask >> i) & 1));
                list.push_back(owned.back().get());
            }
            SourceChain chain(list);
            std::unique_ptr<SourceRequest> request;
            std::optional<Answer> answer = chain.resolve(query(u"192.0.2.1"_s), &request);
            if (!answer) {
                QVERIFY(request);
                QTRY_VERIFY(request->isFinished());
                answer = request->answer();
            }
            QCOMPARE(answer->source, source);
            QCOMPARE(answer->code, code);
            QCOMPARE(answer->found, found);
            QCOMPARE(answer->notes.size(), notes);
            int total = 0;
            for (const auto& s : owned)
                total += s->asked;
            QCOMPARE(total, asked);
        }
    }

    void testWebSourceAsksTheSitesInTurn()
    {
        m_server->setResponse({}, "/whois/192.0.2.7",
                              FakeWhoisServer::page(FakeWhoisServer::dataFile(u"first-site-network.html"_s)));
        m_server->setResponse({}, "/example.tld",
                              FakeWhoisServer::page(FakeWhoisServer::dataFile(u"second-site-domain.html"_s)));
        m_server->setResponse({}, "/whois/nothing.tld", FakeWhoisServer::page("<pre>no code here</pre>"));
        lookup::PageLoader loader;
        WebSource web(loader);
        QVERIFY(!web.answerNow(query(u"192.0.2.7"_s)));
        auto a = web.ask(query(u"http://192.0.2.7/"_s));
        auto b = web.ask(query(u"WWW.example.tld"_s));
        auto c = web.ask(query(u"nothing.tld"_s));
        QTRY_VERIFY_WITH_TIMEOUT(a->isFinished() && b->isFinished() && c->isFinished(), 20000);
        QCOMPARE(a->answer().code, u"DE"_s);
        QCOMPARE(a->answer().source, u"site1"_s);
        // The first site has nothing for it; the second site's registrant rule gives AU.
        QCOMPARE(b->answer().code, u"AU"_s);
        QCOMPARE(b->answer().source, u"site2"_s);
        QVERIFY(!c->answer().found);
        QCOMPARE(c->answer().source, QString());
        QVERIFY(m_server->requestLines().contains("GET http://whois.domaintools.com/nothing.tld HTTP/1.1"));
    }
};

QTEST_GUILESS_MAIN(TestSources)
#include "tst_Sources.moc"

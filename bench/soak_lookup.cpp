// Soak run: 10,000 lookups through the window's real run against the fake WHOIS server, with random
// latency, error statuses, broken connections, redirect loops, oversized and hostile pages mixed in.
// Every row must end "Completed" or "Failed", the run must end with "Done.", and resident memory after
// the run must stay within 20 MB of what it was after the first 1,000 entries. Prints its figures and
// exits non-zero when one of those does not hold.
#include "Bench.h"

#include "lookup/EntryCleaning.h"
#include "shell/MainWindow.h"
#include "support/FakeDialogs.h"
#include "support/FakeWhoisServer.h"
#include "support/WindowOnAppFolder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

constexpr int Entries = 10'000;
constexpr int SampleAfter = 1'000;
constexpr double AllowedGrowthMb = 20.0;

const QStringList Codes{u"DE"_s, u"FR"_s, u"US"_s, u"JP"_s, u"BR"_s, u"EU"_s, u"ZZ"_s, u"de"_s, u" gb "_s, u""_s};

// Pages a stranger might serve in place of a WHOIS record.
QList<QByteArray> hostilePages()
{
    QList<QByteArray> pages;
    pages.append(QByteArray("<div>").repeated(20'000) + "<pre>country: DE</pre>");
    pages.append("<pre" + QByteArray(" a=\"x\"").repeated(50'000) + ">country: FR</pre>");
    QByteArray binary(200'000, '\0');
    for (qsizetype i = 0; i < binary.size(); ++i)
        binary[i] = char(QRandomGenerator::global()->bounded(256));
    pages.append(binary);
    pages.append(QByteArray("<pre>country: US\r\n").repeated(5'000));
    pages.append("<meta charset=\"utf-16\"><pre>\xff\xfe\x00c\x00o</pre>");
    pages.append("<!--" + QByteArray("<pre>country: JP</pre>").repeated(10'000));
    pages.append("<table>" + QByteArray("<tr><td>country:<td>BR").repeated(20'000) + "</table><pre>country: BR</pre>");
    pages.append(QByteArray("&#x110000;&#0;&amp").repeated(30'000) + "<pre>country:\tDE</pre>");
    pages.append("<pre>" + QByteArray("x").repeated(3'000'000) + "\ncountry: DE</pre>");
    return pages;
}

FakeWhoisServer::Response withLatency(FakeWhoisServer::Response response, QRandomGenerator& random)
{
    // Most pages come at once; some take a while, as a busy site's do.
    response.delayMs = random.bounded(100) < 70 ? 0 : random.bounded(1, 40);
    return response;
}

// Sets both sites' answers for one entry.
// Large answers are made once and shared, so that the harness's own memory stays small.
struct SharedAnswers
{
    QList<QByteArray> hostile = hostilePages();
    FakeWhoisServer::Response huge = FakeWhoisServer::huge(9 * 1024 * 1024);
    FakeWhoisServer::Response cut =
        FakeWhoisServer::closedMidPage(FakeWhoisServer::firstSitePage(u"country: DE"_s, 50'000));
};

void setAnswers(FakeWhoisServer& server, const QString& entry, const SharedAnswers& shared, QRandomGenerator& random)
{
    const QList<QByteArray>& hostile = shared.hostile;
    const QByteArray first = "/whois/" + entry.toUtf8();
    const QByteArray second = "/" + entry.toUtf8();
    const QString code = Codes[random.bounded(int(Codes.size()))];
    const int kind = random.bounded(100);
    using Server = FakeWhoisServer;
    auto both = [&](const Server::Response& a, const Server::Response& b) {
        server.setResponse(u"www.whois.com"_s, first, withLatency(a, random));
        server.setResponse(u"whois.domaintools.com"_s, second, withLatency(b, random));
    };
    const Server::Response nothing = Server::page(Server::firstSitePage(u"No match"_s));
    const Server::Response secondSite = Server::page(Server::secondSitePage(u"Registrant\r\nCountry: "_s + code));
    if (kind < 45)
        both(Server::page(Server::firstSitePage(u"inetnum: x\ncountry:        "_s + code, random.bounded(4'000))),
             secondSite);
    else if (kind < 55)
        both(Server::page("<h1>Not Found</h1>", random.bounded(2) ? 404 : 500), secondSite);
    else if (kind < 70)
        both(Server::page(hostile[random.bounded(int(hostile.size()))]),
             Server::page(hostile[random.bounded(int(hostile.size()))]));
    else if (kind < 77)
        both(shared.cut, nothing);
    else if (kind < 82)
        both(Server::redirect(first), Server::redirect("http://whois.domaintools.com" + second));
    else if (kind < 85)
        both(shared.huge, secondSite);
    else if (kind < 88)
        both(Server::endless(), nothing);
    else
        both(nothing, secondSite);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QRandomGenerator random(20261208);

    FakeWhoisServer server;
    server.becomeProxy();
    const SharedAnswers shared;

    QStringList entries;
    for (int i = 0; i < Entries; ++i) {
        // A few web-site entries, which take the registrant rule.
        const QString entry = (i % 10 == 3 ? u"www.site%1.example"_s : u"198.18.%1.%2"_s.arg(i / 250)).arg(i % 250);
        entries.append(entry);
        setAnswers(server, lookup::cleanEntry(entry).normalised, shared, random);
    }

    WindowOnAppFolder tellurion;
    shell::MainWindow& window = tellurion.window;
    FakeDialogs& dialogs = tellurion.dialogs;
    window.addressList().append(entries);

    // Sampled from inside the run, which lets timers fire while it waits for pages. The server's log of
    // requests is emptied as it goes: it lives in this process and would count as growth.
    double earlyMb = -1;
    qsizetype requests = 0;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        requests += server.requests().size();
        server.clearRequests();
        if (earlyMb < 0 && window.results().rowCount() > SampleAfter)
            earlyMb = residentMb();
    });
    sampler.start(10);

    QElapsedTimer wall;
    wall.start();
    window.findChild<QPushButton*>(u"PushButton4"_s)->click();
    const double seconds = wall.nsecsElapsed() / 1e9;
    sampler.stop();
    requests += server.requests().size();
    server.clearRequests();
    const double afterMb = residentMb();

    int completed = 0;
    int failed = 0;
    int other = 0;
    for (int r = 0; r < window.results().rowCount(); ++r) {
        const QString status = window.results().cell(r, 1);
        completed += status == u"Completed"_s;
        failed += status == u"Failed"_s;
        other += status != u"Completed"_s && status != u"Failed"_s;
    }
    const QStringList messages = dialogs.messages();
    const bool done = !messages.isEmpty() && messages.last() == u"Done."_s;

    benchFigure("soak_entries", window.results().rowCount(), "rows");
    benchFigure("soak_completed", completed, "rows");
    benchFigure("soak_failed", failed, "rows");
    benchFigure("soak_other_status", other, "rows");
    benchFigure("soak_requests", double(requests), "pages");
    benchFigure("soak_messages", messages.size(), "boxes");
    benchFigure("soak_seconds", seconds, "s");
    benchFigure("soak_entries_per_s", Entries / seconds, "entries/s");
    benchFigure("soak_rss_after_1000", earlyMb, "MB");
    benchFigure("soak_rss_after_run", afterMb, "MB");
    benchFigure("soak_rss_growth", afterMb - earlyMb, "MB");
    benchFigure("soak_rss_peak", residentMb(true), "MB");

    bool ok = true;
    auto expect = [&](bool condition, const char* what) {
        if (!condition) {
            std::printf("SOAK FAILED: %s\n", what);
            ok = false;
        }
    };
    expect(window.results().rowCount() == Entries, "a row for every entry");
    expect(other == 0, "every row ends Completed or Failed");
    expect(done && messages.size() == 1, "the run ends with \"Done.\" and nothing else is shown");
    expect(earlyMb > 0 && afterMb - earlyMb <= AllowedGrowthMb,
           "memory stays within 20 MB of its size after 1,000 entries");
    std::printf("SOAK %s\n", ok ? "passed" : "FAILED");
    return ok ? 0 : 1;
}

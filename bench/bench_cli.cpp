// The batch tool against the fake WHOIS server: how its rate scales with --jobs when every page takes
// 100 ms, its rate beside the window's sequential run on the same pages, its peak memory on a list of
// 100,000 entries, and how close it comes to a budget of requests a second without passing it.
#include "Bench.h"

#include "shell/MainWindow.h"
#include "support/FakeDialogs.h"
#include "support/FakeWhoisServer.h"
#include "support/WindowOnAppFolder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>

using namespace Qt::StringLiterals;
using Response = FakeWhoisServer::Response;

namespace {

const QString Cli = QStringLiteral(TELLURION_APP_DIR) + u"/tellurion-cli"_s;

QStringList entryList(int count)
{
    QStringList entries;
    for (int i = 0; i < count; ++i)
        entries.append(u"10.%1.%2.%3"_s.arg(i / 65536).arg((i / 256) % 256).arg(i % 256));
    return entries;
}

QByteArray realisticPage(int bytes)
{
    QString record = u"% Abuse contact for '10.0.0.0 - 10.255.255.255' is 'abuse@example.net'\n\n"_s;
    for (int i = 0; i < 30; ++i)
        record += u"remarks:        line %1 of the registry's remarks about this network\n"_s.arg(i);
    record += u"inetnum:        10.0.0.0 - 10.255.255.255\nnetname:        EXAMPLE\ncountry:        DE\n"_s;
    const QByteArray bare = FakeWhoisServer::firstSitePage(record, 0);
    return FakeWhoisServer::firstSitePage(record, std::max(0, bytes - int(bare.size())));
}

double peakMbOf(qint64 pid)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

// Runs the tool on the entries; returns entries per second, and the peak resident memory it reached.
// Without a budget of requests unless `rate` sets one.
double runCli(const QStringList& entries, int jobs, double* peakMb = nullptr, const QString& rate = u"0"_s)
{
    QTemporaryDir dir;
    QFile list(dir.filePath(u"list.txt"_s));
    list.open(QIODevice::WriteOnly);
    list.write(entries.join(u"\r\n"_s).toUtf8());
    list.close();
    QProcess cli;
    cli.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    // Every entry is fetched: these figures are of the pages, not of the cache (bench_cache has those).
    cli.start(Cli, {u"-q"_s, u"--no-cache"_s, u"-j"_s, QString::number(jobs), u"--rate"_s, rate, list.fileName()});
    cli.waitForStarted();
    double peak = 0;
    while (!cli.waitForFinished(50))
        peak = std::max(peak, peakMbOf(cli.processId()));
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (cli.exitCode() != 0)
        std::fprintf(stderr, "bench_cli: tellurion-cli exited with %d: %s\n", cli.exitCode(),
                     cli.readAllStandardError().constData());
    if (peakMb)
        *peakMb = peak;
    return double(entries.size()) / seconds;
}

Response slowPage(const QByteArray& body, int delayMs)
{
    Response r = FakeWhoisServer::page(body);
    r.delayMs = delayMs;
    return r;
}

double runWindow(const QStringList& entries)
{
    WindowOnAppFolder tellurion;
    shell::MainWindow& window = tellurion.window;
    window.addressList().append(entries);
    QElapsedTimer timer;
    timer.start();
    window.findChild<QPushButton*>(u"PushButton4"_s)->click();
    return double(entries.size()) / (double(timer.nsecsElapsed()) / 1e9);
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    FakeWhoisServer server;
    server.becomeProxy();

    // Every page takes 100 ms: the limit is jobs / 0.1 s.
    Response slow = FakeWhoisServer::page(FakeWhoisServer::firstSitePage(u"country: DE"_s));
    slow.delayMs = 100;
    server.setHostDefault(u"www.whois.com"_s, slow);
    const QStringList entries400 = entryList(400);
    for (int jobs : {1, 4, 16, 64}) {
        const double rate = runCli(entries400, jobs);
        const double limit = jobs / 0.1;
        benchFigure(qPrintable(u"cli_latency100ms_jobs%1_rate"_s.arg(jobs)), rate, "entries/s");
        benchFigure(qPrintable(u"cli_latency100ms_jobs%1_of_limit"_s.arg(jobs)), rate / limit, "ratio");
    }

    // No latency, realistic 60 KB pages: eight at once beside the window's one at a time.
    server.setHostDefault(u"www.whois.com"_s, FakeWhoisServer::page(realisticPage(60 * 1024)));
    const double windowRate = runWindow(entryList(1000));
    const double cliRate = runCli(entryList(5000), 8);
    benchFigure("window_sequential_rate", windowRate, "entries/s");
    benchFigure("cli_jobs8_rate", cliRate, "entries/s");
    benchFigure("cli_jobs8_over_window", cliRate / windowRate, "ratio");

    // 100,000 entries from one file, small pages.
    server.setHostDefault(u"www.whois.com"_s, FakeWhoisServer::page(FakeWhoisServer::firstSitePage(u"country: FR"_s)));
    double peak = 0;
    const double rate = runCli(entryList(100000), 16, &peak);
    benchFigure("cli_100k_entries_rate", rate, "entries/s");
    benchFigure("cli_100k_entries_peak_resident", peak, "MB");

    // A budget of 50 requests a second, pages of 50 ms: 2,000 entries (40 s at the budget; the figure
    // is a ratio, so a longer list would only take longer), every one answered by the first site; without
    // the cache (runCli's --no-cache), or the budget would never be reached.
    server.setHostDefault(u"www.whois.com"_s, slowPage(FakeWhoisServer::firstSitePage(u"country: FR"_s), 50));
    server.clearRequests();
    constexpr double Budget = 50;
    const double budgetRate = runCli(entryList(2000), 8, nullptr, QString::number(Budget));
    benchFigure("cli_rate50_latency50ms_rate", budgetRate, "entries/s");
    benchFigure("cli_rate50_latency50ms_of_budget", budgetRate / Budget, "ratio");
    benchFigure("cli_rate50_busiest_second", server.mostRequestsInOneSecond(), "requests");
    return 0;
}

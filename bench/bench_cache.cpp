// The batch tool's cache at scale. IPv4 entries are drawn from a synthetic allocation table of 300,000
// ranges: each entry's range with Zipf weights (s = 1.1, the hot ranges scattered over the table), its
// address uniform within the range. The fake server answers every address with a record whose inetnum is
// the range and whose country is the table's code.
//
// Cold: requests sent per distinct range touched at -j 8, beside the distinct addresses (what a cache per
// address would send). Warm: entries a second end to end with every answer in the cache.
//
// BENCH_CACHE_ENTRIES (default 1,000,000) sets the list; BENCH_CACHE_COLD (default: all of it) how many of
// its first entries the cold run takes; the warm cache is then completed by one entry of every further
// range touched. The ratio does not depend on the scale. Beside the entries a second of wall time, the
// entries a second of the tool's own processor time (user and system), which a busy machine does not skew.
#include "Bench.h"

#include "sources/WideAddress.h"
#include "support/FakeWhoisServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <set>
#include <sys/resource.h>
#include <unordered_set>

using namespace Qt::StringLiterals;

namespace {

const QString Cli = QStringLiteral(TELLURION_APP_DIR) + u"/tellurion-cli"_s;
constexpr int Ranges = 300'000;
constexpr double ZipfS = 1.1;

struct Range
{
    quint32 first;
    quint32 last;
    QString code;
};

QString dotted(quint32 v4)
{
    return u"%1.%2.%3.%4"_s.arg(v4 >> 24).arg((v4 >> 16) & 0xff).arg((v4 >> 8) & 0xff).arg(v4 & 0xff);
}

// Ranges that start on /24 boundaries, anywhere in 1.0.0.0 to 223.255.255.255, each up to the next.
std::vector<Range> makeTable(QRandomGenerator& random)
{
    static const QStringList codes{u"US"_s, u"CN"_s, u"JP"_s, u"DE"_s, u"GB"_s, u"KR"_s, u"BR"_s, u"FR"_s,
                                   u"CA"_s, u"IT"_s, u"AU"_s, u"NL"_s, u"RU"_s, u"IN"_s, u"TW"_s, u"ES"_s,
                                   u"SE"_s, u"MX"_s, u"PL"_s, u"ZA"_s, u"CH"_s, u"AR"_s, u"NO"_s, u"TR"_s};
    const quint32 low = 1u << 16;    // 1.0.0.0/24
    const quint32 high = 224u << 16; // 224.0.0.0/24
    std::set<quint32> starts{low};
    while (starts.size() < size_t(Ranges))
        starts.insert(low + random.bounded(high - low));
    std::vector<Range> table;
    table.reserve(starts.size());
    for (auto it = starts.begin(); it != starts.end(); ++it) {
        const auto next = std::next(it);
        const quint32 end = next == starts.end() ? high : *next;
        table.push_back({*it << 8, (end << 8) - 1, codes[random.bounded(int(codes.size()))]});
    }
    return table;
}

struct Workload
{
    QStringList entries;
    std::vector<int> rangeOf; // per entry
};

Workload makeEntries(const std::vector<Range>& table, int count, QRandomGenerator& random)
{
    std::vector<double> cumulative(table.size());
    double sum = 0;
    for (size_t rank = 0; rank < table.size(); ++rank)
        cumulative[rank] = sum += 1.0 / std::pow(double(rank + 1), ZipfS);
    std::vector<int> rangeAtRank(table.size());
    std::iota(rangeAtRank.begin(), rangeAtRank.end(), 0);
    std::shuffle(rangeAtRank.begin(), rangeAtRank.end(), random);
    Workload w;
    w.entries.reserve(count);
    w.rangeOf.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        const double u = random.generateDouble() * sum;
        const auto rank = size_t(std::lower_bound(cumulative.begin(), cumulative.end(), u) - cumulative.begin());
        const int index = rangeAtRank[std::min(rank, table.size() - 1)];
        const Range& range = table[size_t(index)];
        const quint32 address = range.first + quint32(random.bounded(quint64(range.last - range.first) + 1));
        w.entries.append(dotted(address));
        w.rangeOf.push_back(index);
    }
    return w;
}

double childCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct CliRun
{
    double seconds = 0;
    double cpuSeconds = 0;
    int exitCode = -1;
    QByteArray err;
};

CliRun runCli(const QString& cacheHome, const QString& list, const QStringList& extra)
{
    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_CACHE_HOME"_s, cacheHome);
    cli.setProcessEnvironment(environment);
    cli.setStandardOutputFile(QProcess::nullDevice());
    const double cpuBefore = childCpuSeconds();
    QElapsedTimer timer;
    timer.start();
    // No budget of requests: the fake server sets no limit.
    cli.start(Cli, QStringList{u"-q"_s, u"--rate"_s, u"0"_s, u"-j"_s, u"8"_s} + extra + QStringList{list});
    cli.waitForFinished(-1);
    CliRun run;
    run.seconds = double(timer.nsecsElapsed()) / 1e9;
    run.cpuSeconds = childCpuSeconds() - cpuBefore;
    run.exitCode = cli.exitCode();
    run.err = cli.readAllStandardError();
    if (run.exitCode != 0)
        std::fprintf(stderr, "bench_cache: tellurion-cli exited with %d: %s\n", run.exitCode,
                     run.err.left(2000).constData());
    return run;
}

QString writeList(const QTemporaryDir& dir, const QString& name, const QStringList& entries)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(file.fileName()));
    file.write(entries.join(u'\n').toUtf8() + '\n');
    return file.fileName();
}

int envInt(const char* name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int total = envInt("BENCH_CACHE_ENTRIES", 1'000'000);
    const int cold = std::min(total, envInt("BENCH_CACHE_COLD", total));

    QRandomGenerator random(20260613);
    const std::vector<Range> table = makeTable(random);
    const Workload work = makeEntries(table, total, random);

    FakeWhoisServer server;
    server.becomeProxy();
    std::vector<quint32> starts;
    starts.reserve(table.size());
    for (const Range& range : table)
        starts.push_back(range.first);
    server.setResponder(u"www.whois.com"_s, [&](const FakeWhoisServer::Request& request) {
        const std::optional<sources::WideAddress> address =
            sources::WideAddress::parse(QString::fromLatin1(request.path.mid(qsizetype(sizeof "/whois/" - 1))));
        if (!address || !address->isV4())
            return std::optional<FakeWhoisServer::Response>();
        const auto v4 = quint32(address->low);
        const auto at = std::upper_bound(starts.begin(), starts.end(), v4) - starts.begin() - 1;
        if (at < 0)
            return std::optional<FakeWhoisServer::Response>();
        const Range& range = table[size_t(at)];
        return std::optional(FakeWhoisServer::page(FakeWhoisServer::firstSitePage(
            u"inetnum:        %1 - %2\nnetname:        BENCH-NET\ncountry:        %3\n"_s.arg(
                dotted(range.first), dotted(range.last), range.code))));
    });
    server.setHostDefault(u"whois.domaintools.com"_s,
                          FakeWhoisServer::page("<html><body>Not found</body></html>", 404));

    // The request budget of the sites is not what is measured here: no limit, where the tool has one.
    QProcess help;
    help.start(Cli, {u"--help"_s});
    help.waitForFinished();
    QStringList options;
    if (help.readAllStandardOutput().contains("--rate"))
        options << u"--rate"_s << u"0"_s;
    else
        std::fprintf(stderr, "bench_cache: this tellurion-cli has no --rate; run without it\n");

    QTemporaryDir dir;
    QTemporaryDir cacheHome;

    // Cold: the first `cold` entries on an empty cache.
    const QStringList coldEntries = work.entries.mid(0, cold);
    const std::unordered_set<int> coldRanges(work.rangeOf.begin(), work.rangeOf.begin() + cold);
    const QSet<QString> coldAddresses(coldEntries.begin(), coldEntries.end());
    const CliRun coldRun = runCli(cacheHome.path(), writeList(dir, u"cold.txt"_s, coldEntries), options);
    qsizetype requests = 0;
    for (const FakeWhoisServer::Request& r : server.requests())
        requests += r.host == u"www.whois.com"_s;
    benchFigure("cache_cold_entries", cold, "entries");
    benchFigure("cache_cold_requests", double(requests), "requests");
    benchFigure("cache_cold_ranges_touched", double(coldRanges.size()), "ranges");
    benchFigure("cache_cold_requests_per_range", double(requests) / double(coldRanges.size()), "ratio");
    benchFigure("cache_cold_distinct_addresses", double(coldAddresses.size()), "addresses");
    benchFigure("cache_cold_rate", cold / coldRun.seconds, "entries/s");
    benchFigure("cache_cold_seconds", coldRun.seconds, "s");

    // Warm: one entry of every further range touched first, then the whole list.
    std::unordered_set<int> missing;
    QStringList fill;
    for (int i = cold; i < total; ++i)
        if (!coldRanges.contains(work.rangeOf[size_t(i)]) && missing.insert(work.rangeOf[size_t(i)]).second)
            fill.append(work.entries[i]);
    if (!fill.isEmpty())
        runCli(cacheHome.path(), writeList(dir, u"fill.txt"_s, fill), options);
    server.clearRequests();
    const QString list = writeList(dir, u"all.txt"_s, work.entries);
    const CliRun warm = runCli(cacheHome.path(), list, options);
    benchFigure("cache_warm_entries", total, "entries");
    benchFigure("cache_warm_requests", double(server.requests().size()), "requests");
    benchFigure("cache_warm_rate", total / warm.seconds, "entries/s");
    benchFigure("cache_warm_cpu_rate", total / warm.cpuSeconds, "entries/cpu-s");
    return coldRun.exitCode == 0 && warm.exitCode == 0 ? 0 : 1;
}

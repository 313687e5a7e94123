// The offline country table: its load time and resident size, lookups a second on one core over a
// million random IPv4 addresses and a million IPv6 addresses inside the table's ranges, the source's
// answers (parsing and range text included), and tellurion-cli --source offline end to end on a file of
// a million addresses (reading, cleaning, lookup, names, CSV out) with its peak resident memory.
#include "Bench.h"

#include "sources/IpAddress.h"
#include "sources/OfflineSource.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <ctime>
#include <random>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace Qt::StringLiterals;
using sources::OfflineTable;

namespace {

constexpr int Count = 1000000;
const QString AppDir = QStringLiteral(TELLURION_APP_DIR);

// The processor time of this thread: on a machine that other work shares, a second of it is a second on
// one core, which the wall clock is not.
double threadSeconds()
{
    timespec now = {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Lookups a second of `lookup` over the addresses, the best of three passes.
template <typename Address, typename Lookup> double perSecond(const std::vector<Address>& addresses, Lookup lookup)
{
    double best = 0;
    unsigned sum = 0;
    for (int pass = 0; pass < 3; ++pass) {
        const double start = threadSeconds();
        for (const Address& a : addresses)
            sum += lookup(a);
        best = std::max(best, double(addresses.size()) / (threadSeconds() - start));
    }
    if (sum == 42) // keeps the lookups from being optimised away
        std::fprintf(stderr, " ");
    return best;
}

struct Usage
{
    double seconds = 0;
    double cpuSeconds = 0;
    double peakMb = 0;
    int status = -1;
};

// Runs a program with its output to /dev/null; wall time, processor time and peak resident memory.
Usage runProgram(const QStringList& arguments)
{
    std::vector<QByteArray> bytes;
    for (const QString& a : arguments)
        bytes.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Usage usage;
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        struct rusage resources = {};
        // The peak is read from the program's own memory map (VmHWM), polled until it ends: the rusage
        // figure would count this process's memory too, which the spawned program shares until it execs.
        pid_t ended = 0;
        while ((ended = wait4(pid, &status, WNOHANG, &resources)) == 0) {
            QFile procStatus(u"/proc/%1/status"_s.arg(pid));
            if (procStatus.open(QIODevice::ReadOnly))
                for (const QByteArray& line : procStatus.readAll().split('\n'))
                    if (line.startsWith("VmHWM:"))
                        usage.peakMb =
                            std::max(usage.peakMb, line.mid(6).trimmed().split(' ').first().toDouble() / 1024);
            ::usleep(5000);
        }
        if (ended == pid) {
            usage.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            usage.seconds = double(timer.nsecsElapsed()) / 1e9;
            usage.cpuSeconds = double(resources.ru_utime.tv_sec + resources.ru_stime.tv_sec) +
                               double(resources.ru_utime.tv_usec + resources.ru_stime.tv_usec) / 1e6;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    return usage;
}

} // namespace

int main()
{
    const QString path = AppDir + u"/offlineCountries.tbl"_s;
    if (!QFileInfo::exists(path)) {
        std::fprintf(stderr, "bench_offline: %s is not there (its npm package was not fetched); nothing to measure\n",
                     qPrintable(path));
        return 0;
    }
    const double before = residentMb();
    QElapsedTimer load;
    load.start();
    auto table = std::make_shared<const OfflineTable>(path);
    const double loadMs = double(load.nsecsElapsed()) / 1e6;
    benchFigure("offline_table_load", loadMs, "ms");
    benchFigure("offline_table_resident", residentMb() - before, "MB");
    benchFigure("offline_table_file", double(table->fileSize()) / 1e6, "MB");

    std::mt19937_64 random(12);
    std::vector<uint32_t> v4(Count);
    for (uint32_t& a : v4)
        a = uint32_t(random());
    benchFigure("offline_lookups_ipv4", perSecond(v4, [&](uint32_t a) { return table->find(a).code; }), "lookups/s");

    // IPv6 addresses where the registries' blocks are, each inside a range that has a code.
    std::vector<std::pair<uint64_t, uint64_t>> v6;
    v6.reserve(Count);
    while (v6.size() < size_t(Count)) {
        const OfflineTable::Hit6 range = table->entry6(uint32_t(random() % table->entries6()));
        if (range.code == 0)
            continue;
        // A number from `first` to `last`, both included.
        const auto between = [&](uint64_t first, uint64_t last) {
            return last - first == UINT64_MAX ? random() : first + random() % (last - first + 1);
        };
        const uint64_t high = between(range.firstHigh, range.lastHigh);
        const uint64_t low = range.firstHigh == range.lastHigh ? between(range.firstLow, range.lastLow) : random();
        v6.emplace_back(high, low);
    }
    benchFigure("offline_lookups_ipv6",
                perSecond(v6, [&](const std::pair<uint64_t, uint64_t>& a) { return table->find(a.first, a.second).code; }),
                "lookups/s");

    // Through the source: text in, answer with its range text out.
    QStringList texts;
    for (int i = 0; i < Count; ++i)
        texts.append(sources::ipv4Text(v4[size_t(i)]));
    sources::OfflineSource source(table);
    std::vector<QString> textList(texts.begin(), texts.end());
    benchFigure("offline_source_answers_ipv4",
                perSecond(textList, [&](const QString& t) { return unsigned(source.answer(t).found); }), "answers/s");

    QTemporaryDir dir;
    QFile list(dir.filePath(u"addresses.txt"_s));
    if (!list.open(QIODevice::WriteOnly) || list.write(texts.join(u'\n').toLatin1() + '\n') <= 0)
        return 1;
    list.close();
    const Usage cli = runProgram({AppDir + u"/tellurion-cli"_s, u"-q"_s, u"--source"_s, u"offline"_s, list.fileName()});
    if (cli.status != 0 && cli.status != 1) {
        std::fprintf(stderr, "bench_offline: tellurion-cli exited with %d\n", cli.status);
        return 1;
    }
    benchFigure("offline_cli_entries", double(Count) / cli.seconds, "entries/s");
    benchFigure("offline_cli_entries_cpu", double(Count) / cli.cpuSeconds, "entries/cpu-s");
    benchFigure("offline_cli_peak_resident", cli.peakMb, "MB");
    return 0;
}

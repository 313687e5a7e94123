#include "cli/CliRun.h"

#include "cli/RowsTable.h"
#include "core/Failure.h"
#include "lookup/EntryLookup.h"
#include "lookup/PageLoader.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QIODevice>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace cli {

namespace {

CliRun* s_current = nullptr;
int s_signalPipe[2] = {-1, -1};

void onSigint(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(s_signalPipe[1], &byte, 1);
}

std::unique_ptr<RowWriter> makeWriter(Format format)
{
    switch (format) {
    case Format::Csv:
        return std::make_unique<CsvWriter>();
    case Format::Tsv:
        return std::make_unique<ResultsTextWriter>();
    case Format::Text:
        return std::make_unique<ResultsFileWriter>();
    case Format::Json:
        return std::make_unique<JsonLinesWriter>();
    }
    return std::make_unique<CsvWriter>();
}

QString clock(double seconds)
{
    const auto s = qint64(seconds + 0.5);
    return u"%1:%2"_s.arg(s / 60).arg(s % 60, 2, 10, QChar(u'0'));
}

} // namespace

void CliRun::installInterruptHandler()
{
    if (s_signalPipe[0] >= 0)
        return;
    if (::pipe(s_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(s_signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char byte;
        [[maybe_unused]] const auto got = ::read(s_signalPipe[0], &byte, 1);
        if (s_current)
            s_current->interrupt();
    });
    struct sigaction action = {};
    action.sa_handler = onSigint;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

CliRun::CliRun(const CliOptions& options, QStringList entries, const QString& databasePath, QIODevice& out,
               bool showProgress, QObject* parent)
    : QObject(parent), m_options(options), m_entries(std::move(entries)), m_databasePath(databasePath), m_out(out),
      m_showProgress(showProgress), m_loader(std::make_unique<lookup::PageLoader>()),
      m_writer(makeWriter(options.format))
{
    // Never more than `jobs` requests in flight to one site.
    m_loader->setMaxInFlightPerHost(options.jobs);
    m_loader->setPageTimeout(options.timeoutS * 1000);
    m_rows.resize(size_t(m_entries.size()));
    m_running.resize(size_t(m_entries.size()));
}

CliRun::~CliRun()
{
    if (s_current == this)
        s_current = nullptr;
}

int CliRun::exec()
{
    s_current = this;
    m_clock.start();
    write(m_writer->begin());
    QEventLoop loop;
    connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
    startMore();
    while (!m_finished)
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    s_current = nullptr;
    if (m_interrupted)
        return Interrupted;
    return m_failed > 0 ? SomeFailed : AllCompleted;
}

void CliRun::startMore()
{
    while (!m_interrupted && m_inFlight < m_options.jobs && m_nextToStart < size_t(m_entries.size())) {
        const size_t index = m_nextToStart++;
        auto job = std::make_unique<lookup::EntryLookup>(*m_loader, m_databasePath, m_entries[qsizetype(index)]);
        connect(
            job.get(), &lookup::EntryLookup::finished, this, [this, index] { onFinished(index); },
            Qt::QueuedConnection);
        ++m_inFlight;
        lookup::EntryLookup* started = job.get();
        m_running[index] = std::move(job);
        started->start();
        // The text of an entry is no longer needed once its lookup has it.
        m_entries[qsizetype(index)] = QString();
    }
    if (m_inFlight == 0 && (m_interrupted || m_nextToStart == size_t(m_entries.size())))
        done();
}

void CliRun::onFinished(size_t index)
{
    std::unique_ptr<lookup::EntryLookup> job = std::move(m_running[index]);
    if (!job)
        return;
    --m_inFlight;
    const lookup::EntryResult& r = job->result();
    m_rows[index] = Row{r.entry, r.status, r.country, r.code, r.continent};
    if (r.status == lookup::StatusCompleted)
        ++m_completed;
    else
        ++m_failed;
    for (const QString& failure : r.failures)
        std::fprintf(stderr, "%stellurion-cli: %s: %s\n", m_showProgress ? "\r\033[K" : "",
                     qPrintable(r.entry.left(200)), qPrintable(failure));
    job.release()->deleteLater();
    writeReadyRows();
    drawProgress(false);
    startMore();
}

void CliRun::writeReadyRows()
{
    while (m_nextToWrite < m_rows.size() && m_rows[m_nextToWrite]) {
        write(m_writer->row(*m_rows[m_nextToWrite]));
        m_rows[m_nextToWrite].reset();
        ++m_nextToWrite;
    }
}

void CliRun::write(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    if (m_out.write(bytes) != bytes.size())
        throw core::Failure(u"cannot write the results: "_s + m_out.errorString());
}

void CliRun::interrupt()
{
    if (m_interrupted || m_finished)
        return;
    m_interrupted = true;
    // Pages on their way are abandoned; their rows are left out.
    for (auto& job : m_running)
        if (job) {
            --m_inFlight;
            job.reset();
        }
    startMore();
}

void CliRun::done()
{
    if (m_finished)
        return;
    // After an interruption the final rows that wait behind an unfinished one are still written, in order.
    for (; m_nextToWrite < m_rows.size(); ++m_nextToWrite)
        if (m_rows[m_nextToWrite])
            write(m_writer->row(*m_rows[m_nextToWrite]));
    write(m_writer->finish());
    drawProgress(true);
    m_finished = true;
}

void CliRun::drawProgress(bool final)
{
    if (!m_showProgress)
        return;
    const qint64 now = m_clock.elapsed();
    if (!final && now - m_lastDrawMs < 100)
        return;
    m_lastDrawMs = now;
    const qsizetype total = m_entries.size();
    const int done = m_completed + m_failed;
    const double seconds = std::max(0.001, double(now) / 1000.0);
    const double rate = done / seconds;
    const QString left = rate > 0 ? clock(double(total - done) / rate) : u"?"_s;
    constexpr int Width = 24;
    const int filled = total > 0 ? int(Width * double(done) / double(total)) : Width;
    const QString bar = QString(filled, u'#') + QString(Width - filled, u'.');
    const QString line = u"\r\033[K[%1] %2/%3  completed %4  failed %5  %6/s  %7 left"_s.arg(bar)
                             .arg(done)
                             .arg(total)
                             .arg(m_completed)
                             .arg(m_failed)
                             .arg(rate, 0, 'f', 1)
                             .arg(left);
    std::fputs(qPrintable(line), stderr);
    if (final)
        std::fprintf(stderr, "\r\033[K%d entries: %d completed, %d failed, %.1f s\n", done, m_completed, m_failed,
                     seconds);
    std::fflush(stderr);
}

} // namespace cli

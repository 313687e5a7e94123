#include "cli/CliRun.h"

#include "cli/RowsTable.h"
#include "cli/Sources.h"
#include "core/Failure.h"
#include "lookup/EntryCleaning.h"
#include "lookup/PageLoader.h"
#include "lookup/Status.h"
#include "sources/OfflineSource.h"
#include "sources/SourceChain.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QIODevice>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <map>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace cli {

namespace {

CliRun* s_current = nullptr;
int s_signalPipe[2] = {-1, -1};

// Rows are handed to the output in pieces of about this size, and at least once per pass of the loop.
constexpr qsizetype FlushBytes = qsizetype(64) * 1024;
// Entries that are answered at once are taken in slices of this length, so that Ctrl+C and the progress
// bar are served in between.
constexpr qint64 SliceMs = 20;
// Rows that wait for an earlier one still on its way, at most: behind one slow page, a table that answers
// at once would otherwise hold the rest of a long list in memory.
constexpr size_t MaxWaitingRows = 100000;

void onSigint(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(s_signalPipe[1], &byte, 1);
}

std::unique_ptr<RowWriter> makeWriter(const CliOptions& options)
{
    switch (options.format) {
    case Format::Csv:
        return std::make_unique<CsvWriter>(options.fields);
    case Format::Tsv:
        return std::make_unique<TsvWriter>(options.fields);
    case Format::Table:
        return std::make_unique<ResultsTextWriter>();
    case Format::Text:
        return std::make_unique<ResultsFileWriter>();
    case Format::Json:
        return std::make_unique<JsonLinesWriter>(options.extraFields);
    }
    return std::make_unique<CsvWriter>(options.fields);
}

QString clock(double seconds)
{
    const auto s = qint64(std::llround(seconds));
    return u"%1:%2"_s.arg(s / 60).arg(s % 60, 2, 10, QChar(u'0'));
}

// Largest count first, then by name.
std::vector<std::pair<QString, qsizetype>> byCount(const std::map<QString, qsizetype>& counts)
{
    std::vector<std::pair<QString, qsizetype>> sorted(counts.begin(), counts.end());
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    return sorted;
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

void CliRun::say(const QString& message)
{
    const bool progress = s_current && s_current->m_showProgress;
    std::fprintf(stderr, "%stellurion-cli: %s\n", progress ? "\r\033[K" : "", qPrintable(message));
    std::fflush(stderr);
}

CliRun::CliRun(const CliOptions& options, QStringList entries, const QString& databasePath, QIODevice& out,
               bool showProgress, QObject* parent)
    : QObject(parent), m_options(options), m_entries(std::move(entries)), m_databasePath(databasePath), m_out(out),
      m_showProgress(showProgress), m_loader(std::make_unique<lookup::PageLoader>()), m_writer(makeWriter(options))
{
    // Never more than `jobs` requests in flight to one host.
    m_loader->setMaxInFlightPerHost(options.jobs);
    m_loader->setPageTimeout(options.timeoutS * 1000);
    // Sites limit how often a client may ask: a budget per host, and a pause when one asks for it.
    m_loader->setRequestRate(options.rate);
    m_loader->setPauseOnSlowDown(true);
    connect(m_loader.get(), &lookup::PageLoader::hostPaused, this, [](const QString& host, int status, qint64 ms) {
        const QString seconds = QString::number(double(ms) / 1000.0, 'g', 3);
        say(u"%1 asked to slow down (HTTP %2); no requests to it for %3 s"_s.arg(host).arg(status).arg(seconds));
    });
}

CliRun::~CliRun()
{
    // Questions still on their way go before the sources they ask.
    m_window.clear();
    if (s_current == this)
        s_current = nullptr;
}

int CliRun::exec()
{
    m_sources = makeSources(m_options, *m_loader);
    std::vector<sources::Source*> chain;
    for (const auto& source : m_sources)
        chain.push_back(source.get());
    m_chain = std::make_unique<sources::SourceChain>(std::move(chain));
    if (m_options.crossCheck)
        m_crossCheck = std::make_unique<sources::OfflineSource>(openOfflineTable());

    s_current = this;
    m_clock.start();
    write(m_writer->begin());
    startMore();
    QEventLoop loop;
    while (!m_finished)
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    s_current = nullptr;
    if (m_interrupted)
        return Interrupted;
    return m_failed > 0 ? SomeFailed : AllCompleted;
}

void CliRun::startMore()
{
    m_moreQueued = false;
    writeReadyRows();
    QElapsedTimer slice;
    slice.start();
    int taken = 0;
    while (!m_interrupted && m_inFlight < m_options.jobs && m_window.size() < MaxWaitingRows &&
           m_nextToStart < size_t(m_entries.size())) {
        if ((++taken & 255) == 0 && slice.elapsed() >= SliceMs) {
            m_moreQueued = true;
            QTimer::singleShot(0, this, &CliRun::startMore);
            break;
        }
        const size_t index = m_nextToStart++;
        // The entry is not needed again once it is on its way: its memory goes back as the run goes on.
        sources::Query query;
        query.entry = std::exchange(m_entries[qsizetype(index)], QString());
        query.cleaned = lookup::cleanEntry(query.entry);
        std::unique_ptr<sources::SourceRequest> request;
        if (const std::optional<sources::Answer> answer = m_chain->resolve(query, &request)) {
            Row row = complete(query, *answer);
            if (m_window.empty()) { // nothing to wait for: written at once
                m_writer->append(row, m_pending);
                ++m_nextToWrite;
            } else {
                m_window.emplace_back().row = std::move(row);
            }
            if (m_pending.size() >= FlushBytes)
                flush();
            continue;
        }
        connect(request.get(), &sources::SourceRequest::finished, this, [this, index] { onFinished(index); });
        ++m_inFlight;
        Slot& waiting = m_window.emplace_back();
        waiting.address = query.cleaned.normalised;
        waiting.request = std::move(request);
    }
    writeReadyRows();
    flush();
    drawProgress(false);
    if (!m_moreQueued && m_inFlight == 0 && (m_interrupted || m_nextToStart == size_t(m_entries.size())))
        done();
}

void CliRun::onFinished(size_t index)
{
    if (index < m_nextToWrite || !slot(index).request)
        return;
    std::unique_ptr<sources::SourceRequest> request = std::move(slot(index).request);
    --m_inFlight;
    sources::Query query;
    query.cleaned.normalised = std::move(slot(index).address);
    slot(index).row = complete(query, request->answer());
    request.release()->deleteLater(); // we are inside its signal
    if (!m_moreQueued)
        startMore();
}

lookup::CountryNames CliRun::namesOf(const QString& code, QStringList& failures)
{
    // Codes come in capitals nearly always, so the code as given is tried before its capitals are made.
    auto known = m_names.constFind(code);
    if (known != m_names.constEnd())
        return *known;
    const QString key = code.toUpper();
    known = m_names.constFind(key);
    if (known != m_names.constEnd())
        return *known;
    try {
        lookup::CountryNames names = lookup::LookupCountry(m_databasePath, code);
        m_names.insert(key, names);
        return names;
    } catch (const core::Failure& failure) {
        failures.append(failure.description());
        return {};
    }
}

Row CliRun::complete(const sources::Query& query, const sources::Answer& answer)
{
    Row row;
    row.address = query.cleaned.normalised;
    row.source = answer.source;
    row.network = answer.network;
    row.handle = answer.handle;
    row.cached = answer.cached;
    QStringList messages;
    if (answer.found) {
        row.status = lookup::StatusCompleted;
        row.code = answer.code;
        if (!answer.code.isEmpty()) {
            const lookup::CountryNames names = namesOf(answer.code, messages);
            row.country = names.country;
            row.continent = names.continent;
        }
        ++m_completed;
        if (m_options.summary)
            ++m_perCode[answer.code];
    } else {
        row.status = lookup::StatusFailed;
        messages += answer.notes;
        ++m_failed;
    }
    if (m_crossCheck)
        crossCheck(row, messages);
    for (const QString& message : std::as_const(messages))
        say(row.address.left(200) + u": "_s + message);
    return row;
}

// The table's code beside the row's. Registries write "EU" and "AP" for blocks used across Europe or the
// Asia-Pacific region, and "UK" for GB; such a code agrees with a table code of that region or country.
void CliRun::crossCheck(Row& row, QStringList& messages)
{
    bool isAddress = false;
    row.offlineCode = m_crossCheck->codeOf(row.address, &isAddress);
    if (!isAddress)
        return;
    if (row.code.isEmpty() || row.offlineCode.isEmpty() || row.source == m_crossCheck->name()) {
        ++m_notCompared;
        return;
    }
    bool agrees = row.code.compare(row.offlineCode, Qt::CaseInsensitive) == 0;
    if (!agrees && row.code.compare(u"UK"_s, Qt::CaseInsensitive) == 0)
        agrees = row.offlineCode == u"GB"_s;
    if (!agrees &&
        (row.code.compare(u"EU"_s, Qt::CaseInsensitive) == 0 || row.code.compare(u"AP"_s, Qt::CaseInsensitive) == 0)) {
        const QString continent = namesOf(row.offlineCode, messages).continent;
        agrees = row.code.compare(u"EU"_s, Qt::CaseInsensitive) == 0
                     ? continent == u"Europe"_s
                     : continent == u"Asia"_s || continent == u"Oceania"_s;
    }
    row.agrees = agrees;
    ++m_compared;
    if (!agrees)
        ++m_differ;
}

void CliRun::writeReadyRows()
{
    while (!m_window.empty() && m_window.front().row) {
        m_writer->append(*m_window.front().row, m_pending);
        m_window.pop_front();
        ++m_nextToWrite;
    }
    if (m_pending.size() >= FlushBytes)
        flush();
}

void CliRun::write(const QByteArray& bytes)
{
    m_pending += bytes;
    if (m_pending.size() >= FlushBytes)
        flush();
}

void CliRun::flush()
{
    if (m_pending.isEmpty())
        return;
    if (m_out.write(m_pending) != m_pending.size())
        throw core::Failure(u"cannot write the results: "_s + m_out.errorString());
    m_pending.resize(0); // keeps its capacity for the next rows
}

void CliRun::interrupt()
{
    if (m_interrupted || m_finished)
        return;
    m_interrupted = true;
    // Questions on their way are abandoned; their rows are left out.
    for (Slot& waiting : m_window)
        if (waiting.request) {
            --m_inFlight;
            waiting.request.reset();
        }
    if (!m_moreQueued)
        startMore();
}

void CliRun::done()
{
    if (m_finished)
        return;
    // After an interruption the final rows that wait behind an unfinished one are still written, in order.
    for (; !m_window.empty(); m_window.pop_front(), ++m_nextToWrite)
        if (m_window.front().row)
            m_writer->append(*m_window.front().row, m_pending);
    write(m_writer->finish());
    flush();
    drawProgress(true);
    if (m_options.summary)
        printSummary();
    if (m_crossCheck)
        std::fprintf(stderr,
                     "tellurion-cli: cross-check: %lld of %lld entries compared differ from the offline table "
                     "(%lld IP entries not compared: no code on one side, or the code is the table's)\n",
                     static_cast<long long>(m_differ), static_cast<long long>(m_compared), static_cast<long long>(m_notCompared));
    m_finished = true;
}

void CliRun::printSummary()
{
    std::map<QString, qsizetype> perCountry;
    std::map<QString, qsizetype> perContinent;
    QStringList failures; // names that could not be read were said with their rows
    for (auto it = m_perCode.cbegin(); it != m_perCode.cend(); ++it) {
        const lookup::CountryNames names = it.key().isEmpty() ? lookup::CountryNames{} : namesOf(it.key(), failures);
        perCountry[it.key().isEmpty() ? u"(no code)"_s
                                      : u"%1 (%2)"_s.arg(names.country.isEmpty() ? u"(unknown)"_s : names.country,
                                                         it.key().toUpper())] += it.value();
        perContinent[names.continent.isEmpty() ? u"(unknown)"_s : names.continent] += it.value();
    }
    QString text = u"Entries per country:\n"_s;
    for (const auto& [name, count] : byCount(perCountry))
        text += u"%1  %2\n"_s.arg(count, 9).arg(name);
    text += u"Entries per continent:\n"_s;
    for (const auto& [name, count] : byCount(perContinent))
        text += u"%1  %2\n"_s.arg(count, 9).arg(name);
    text += u"%1  failed\n%2  entries in all\n"_s.arg(m_failed, 9).arg(m_completed + m_failed, 9);
    std::fputs(qPrintable(text), stderr);
    std::fflush(stderr);
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
    const qsizetype done = m_completed + m_failed;
    const double seconds = std::max(0.001, double(now) / 1000.0);
    const double rate = double(done) / seconds;
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
    if (final && !m_interrupted)
        std::fprintf(stderr, "\r\033[K%lld entries: %lld completed, %lld failed, %.1f s\n", static_cast<long long>(done),
                     static_cast<long long>(m_completed), static_cast<long long>(m_failed), seconds);
    else if (final)
        std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
}

} // namespace cli

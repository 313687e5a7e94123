#pragma once

#include "cli/CliOptions.h"
#include "cli/RowWriter.h"
#include "lookup/CountryDatabase.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QStringList>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace lookup {
class PageLoader;
} // namespace lookup

namespace sources {
class OfflineSource;
class Source;
class SourceChain;
class SourceRequest;
struct Answer;
struct Query;
} // namespace sources

namespace cli {

// Exit statuses of the tool.
enum ExitStatus { AllCompleted = 0, SomeFailed = 1, UsageError = 2, DatabaseUnusable = 3, Interrupted = 130 };

// Looks up a list of entries through the sources the options name, at most `jobs` waiting for an answer
// at once, and writes the rows in input order as soon as every row before them is final.
class CliRun : public QObject
{
    Q_OBJECT

public:
    CliRun(const CliOptions& options, QStringList entries, const QString& databasePath, QIODevice& out,
           bool showProgress, QObject* parent = nullptr);
    ~CliRun() override;

    // Runs to the end (or to an interruption) and returns the exit status. Throws core::Failure when the
    // output cannot be written, or when a source cannot be used (before any entry is looked up).
    int exec();

    // Stops asking; the rows final so far are written in order, the others left out.
    void interrupt();

    // Entries that were never looked up because the run was interrupted.
    qsizetype notLookedUp() const { return m_entries.size() - m_completed - m_failed; }

    // Makes SIGINT call interrupt() on the running instance.
    static void installInterruptHandler();

    // Writes one message line on standard error, clearing the progress bar's line first when it is shown.
    static void say(const QString& message);

private:
    void startMore();
    void onFinished(size_t index);
    // The row of an answered entry, counted.
    Row complete(const sources::Query& query, const sources::Answer& answer);
    lookup::CountryNames namesOf(const QString& code, QStringList& failures);
    void writeReadyRows();
    void write(const QByteArray& bytes);
    void flush();
    void drawProgress(bool final);
    void printSummary();
    void crossCheck(Row& row, QStringList& messages);
    void done();

    CliOptions m_options;
    QStringList m_entries;
    QString m_databasePath;
    QIODevice& m_out;
    bool m_showProgress;

    std::unique_ptr<lookup::PageLoader> m_loader;
    std::vector<std::unique_ptr<sources::Source>> m_sources;
    std::unique_ptr<sources::SourceChain> m_chain;
    std::unique_ptr<RowWriter> m_writer;
    QHash<QString, lookup::CountryNames> m_names; // by upper-case code
    // The entries from the first row not yet written to the last one started: a question on its way, or
    // the row that waits for the rows before it. A million entries answered at once never make more than
    // a few of these.
    struct Slot
    {
        QString address; // the cleaned entry
        std::unique_ptr<sources::SourceRequest> request;
        std::optional<Row> row;
    };
    std::deque<Slot> m_window; // m_window[0] is entry m_nextToWrite
    Slot& slot(size_t index) { return m_window[index - m_nextToWrite]; }
    size_t m_nextToStart = 0;
    size_t m_nextToWrite = 0;
    int m_inFlight = 0;
    qsizetype m_completed = 0;
    qsizetype m_failed = 0;
    bool m_interrupted = false;
    bool m_finished = false;
    bool m_moreQueued = false;
    QByteArray m_pending; // written rows not yet handed to the output
    // For --summary: entries per code as the sources gave it (names and continents are added up at the end).
    QHash<QString, qsizetype> m_perCode;
    // For --cross-check: the offline table, and the rows compared with it and found to differ.
    std::unique_ptr<sources::OfflineSource> m_crossCheck;
    qsizetype m_compared = 0;
    qsizetype m_differ = 0;
    qsizetype m_notCompared = 0; // IP entries where one side has no code
    QElapsedTimer m_clock;
    qint64 m_lastDrawMs = -1000;
};

} // namespace cli

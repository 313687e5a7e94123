#pragma once

#include "cli/CliOptions.h"
#include "cli/RowWriter.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class QIODevice;
class QSocketNotifier;

namespace lookup {
class EntryLookup;
class PageLoader;
} // namespace lookup

namespace cli {

// Exit statuses of the tool.
enum ExitStatus { AllCompleted = 0, SomeFailed = 1, UsageError = 2, DatabaseUnusable = 3, Interrupted = 130 };

// Looks up a list of entries, at most `jobs` at once, and writes the rows in input order as soon as
// every row before them is final.
class CliRun : public QObject
{
    Q_OBJECT

public:
    CliRun(const CliOptions& options, QStringList entries, const QString& databasePath, QIODevice& out,
           bool showProgress, QObject* parent = nullptr);
    ~CliRun() override;

    // Runs to the end (or to an interruption) and returns the exit status. Throws core::Failure when the
    // output cannot be written.
    int exec();

    // Stops asking for pages; the rows final so far are written in order, the others left out.
    void interrupt();

    // Makes SIGINT call interrupt() on the running instance.
    static void installInterruptHandler();

private:
    void startMore();
    void onFinished(size_t index);
    void writeReadyRows();
    void write(const QByteArray& bytes);
    void drawProgress(bool final);
    void done();

    CliOptions m_options;
    QStringList m_entries;
    QString m_databasePath;
    QIODevice& m_out;
    bool m_showProgress;

    std::unique_ptr<lookup::PageLoader> m_loader;
    std::unique_ptr<RowWriter> m_writer;
    std::vector<std::optional<Row>> m_rows;
    std::vector<std::unique_ptr<lookup::EntryLookup>> m_running; // by entry index while in flight
    size_t m_nextToStart = 0;
    size_t m_nextToWrite = 0;
    int m_inFlight = 0;
    int m_completed = 0;
    int m_failed = 0;
    bool m_interrupted = false;
    bool m_finished = false;
    QElapsedTimer m_clock;
    qint64 m_lastDrawMs = -1000;
};

} // namespace cli

#pragma once

#include "sources/Answer.h"
#include "sources/NetworkBlock.h"

#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace cache {

// The answers of remote sources, kept in an SQLite file that several runs of the tool may share at once
// (WAL, a busy timeout). Answers with a code for an address are kept by the block the record named;
// every other answer by a key (the registered domain of a name, or the entry itself). Rows belong to the
// source that gave them ("asker") and to the entry's rule ("www": whether it named a web site).
//
// A file that cannot be opened, is not a database of ours, is read-only, or fails later (corrupt, locked
// for longer than the busy timeout, disk full) is reported once through `report`; from then on the
// answers of this run are kept in memory only. No call ever fails: at worst it finds nothing.
class AnswerStore
{
public:
    using Report = std::function<void(const QString& message)>;
    static constexpr int BusyTimeoutMs = 5000;
    static constexpr int SchemaVersion = 1;

    explicit AnswerStore(const QString& path, Report report = {});
    ~AnswerStore();
    AnswerStore(const AnswerStore&) = delete;
    AnswerStore& operator=(const AnswerStore&) = delete;

    // $XDG_CACHE_HOME/tellurion/answers.sqlite, with ~/.cache when the variable is unset or not absolute.
    static QString defaultPath();

    QString path() const { return m_path; }
    // False once answers no longer reach the file.
    bool persistent() const { return m_persistent; }

    struct Found
    {
        sources::Answer answer; // cached = true
        qint64 storedAtMs = 0;
    };
    struct FoundBlock : Found
    {
        sources::NetworkBlock block;
        // The addresses around the one asked for that this same block answers, as far as the stored
        // blocks show: the caller may answer them without asking again.
        sources::NetworkBlock answers;
    };

    // The smallest block stored at or after notBeforeMs that holds the address (exactly so for blocks that
    // nest or do not meet, as registries' blocks do).
    std::optional<FoundBlock> findBlock(const QString& asker, bool www, sources::WideAddress address,
                                        qint64 notBeforeMs);
    std::optional<Found> findKey(const QString& asker, bool www, const QString& key);

    void putBlock(const QString& asker, bool www, const sources::NetworkBlock& block, const sources::Answer& answer,
                  qint64 nowMs);
    void putKey(const QString& asker, bool www, const QString& key, const sources::Answer& answer, qint64 nowMs);

private:
    class Statement;
    std::optional<FoundBlock> findBlock(const QString& asker, bool www, sources::WideAddress address,
                                        qint64 notBeforeMs, QString& error);
    // Empty when the file is open and ready; else why not (and nothing is open).
    QString open(const QString& file);
    // Reports the first failure, then goes on with a store in memory.
    void giveUp(const QString& why);
    QString lastError() const;
    // Reads share one transaction for up to ReadingMs: a statement of its own takes and drops the file's
    // locks every time. Writes, and time, end it, so that every run soon sees the others' answers.
    bool beginReading(QString& error);
    bool endReading(QString& error);
    sqlite3_stmt* prepare(const char* sql);
    void closeDatabase();

    QString m_path;
    Report m_report;
    bool m_persistent = false;
    bool m_reported = false;
    static constexpr qint64 ReadingMs = 200;
    bool m_reading = false;
    QElapsedTimer m_readingSince;
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_lastStart = nullptr; // the block that starts last at or before an address
    sqlite3_stmt* m_nextStart = nullptr; // the first block that starts after an address
    sqlite3_stmt* m_coverV4 = nullptr;   // the smallest block holding an IPv4 address, by cover prefix
    sqlite3_stmt* m_coverV6 = nullptr;   // the same for IPv6
    sqlite3_stmt* m_findKey = nullptr;
    sqlite3_stmt* m_putBlock = nullptr;
    sqlite3_stmt* m_putKey = nullptr;
};

} // namespace cache

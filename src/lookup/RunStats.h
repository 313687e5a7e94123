#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

namespace lookup {

// Where the time of a lookup run goes, for the benchmarks. Filling it costs a clock read per stage.
struct RunStats
{
    qint64 fetchNs = 0;    // page requests and the waits for them
    qint64 parseNs = 0;    // parsing and rendered text
    qint64 scanNs = 0;     // line rules, without the database and table writes they lead to
    qint64 databaseNs = 0; // LookupCountry
    qint64 tableNs = 0;    // rows and cells of the results table
    int entries = 0;

    void reset() { *this = RunStats(); }
    qint64 totalNs() const { return fetchNs + parseNs + scanNs + databaseNs + tableNs; }
};

// Adds the time of its scope to one accumulator.
class StageTimer
{
public:
    explicit StageTimer(qint64& accumulator) : m_accumulator(accumulator) { m_timer.start(); }
    ~StageTimer() { m_accumulator += m_timer.nsecsElapsed(); }
    StageTimer(const StageTimer&) = delete;
    StageTimer& operator=(const StageTimer&) = delete;

private:
    qint64& m_accumulator;
    QElapsedTimer m_timer;
};

} // namespace lookup

#pragma once

#include <QElapsedTimer>

namespace core {

// Lets a long command keep the window responsive without paying for an event-loop pass per row:
// yieldIfDue() only processes pending events once the time slice has run out.
class EventPump
{
public:
    static constexpr int SliceMs = 20;

    // Processes pending events when at least SliceMs passed since the last pass.
    static void yieldIfDue();
    // Processes pending events now.
    static void yieldNow();
    // Blocks until at least one event arrived (or maxWaitMs passed) and processes it; for waits on I/O.
    static void waitForEvents(int maxWaitMs);

    // Marks the program as ending: the next yield of any long command throws core::Abandoned.
    static void requestQuit();
    static bool quitRequested();
    // For tests that close a window and go on with another.
    static void clearQuitRequest();
    // Throws core::Abandoned when the program is ending.
    static void checkQuit();

    // Longest gap between two passes seen since the last reset (for the benchmarks).
    static qint64 longestGapMs();
    static void resetGapStatistics();

private:
    static void pass(bool wait, int maxWaitMs);
};

} // namespace core

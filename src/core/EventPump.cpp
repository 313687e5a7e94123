#include "core/EventPump.h"

#include "core/Failure.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <atomic>

namespace core {

namespace {

std::atomic_bool s_quit{false};

QElapsedTimer& sinceLastPass()
{
    static QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer;
}

qint64 s_longestGap = 0;

} // namespace

void EventPump::pass(bool wait, int maxWaitMs)
{
    checkQuit();
    QElapsedTimer& timer = sinceLastPass();
    s_longestGap = std::max(s_longestGap, timer.elapsed());
    if (QCoreApplication::instance()) {
        if (wait) {
            // QCoreApplication::processEvents() with a time limit never sleeps (it drops WaitForMoreEvents),
            // so a wait would spin a core. Sleep in the dispatcher until an event arrives; the timer makes
            // sure that happens within maxWaitMs.
            QTimer wake;
            wake.setSingleShot(true);
            wake.start(maxWaitMs);
            if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
                dispatcher->processEvents(QEventLoop::WaitForMoreEvents);
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    timer.restart();
    checkQuit();
}

void EventPump::yieldIfDue()
{
    if (sinceLastPass().elapsed() >= SliceMs)
        pass(false, 0);
    else
        checkQuit();
}

void EventPump::yieldNow()
{
    pass(false, 0);
}

void EventPump::waitForEvents(int maxWaitMs)
{
    pass(true, maxWaitMs);
}

void EventPump::requestQuit()
{
    s_quit = true;
}

void EventPump::clearQuitRequest()
{
    s_quit = false;
}

bool EventPump::quitRequested()
{
    return s_quit;
}

void EventPump::checkQuit()
{
    if (s_quit)
        throw Abandoned();
}

qint64 EventPump::longestGapMs()
{
    return s_longestGap;
}

void EventPump::resetGapStatistics()
{
    s_longestGap = 0;
    sinceLastPass().restart();
}

} // namespace core

#pragma once

#include "core/EventPump.h"

#include <QThread>
#include <QTimer>

#include <functional>

// Acts on the window from inside a long command, the way a user clicking between its steps would:
// the action runs at every pass of the event loop that the command makes (pass 0, 1, ...). The time
// slice is used up on construction, so pass 0 comes at the command's very first yield; later passes
// come as its slices run out.
class EveryYield
{
public:
    explicit EveryYield(std::function<void(int pass)> action) : m_action(std::move(action))
    {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { m_action(m_passes++); });
        m_timer.start();
        core::EventPump::resetGapStatistics();
        QThread::msleep(core::EventPump::SliceMs + 2);
    }

    int passes() const { return m_passes; }

private:
    std::function<void(int)> m_action;
    QTimer m_timer;
    int m_passes = 0;
};

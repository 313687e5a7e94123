#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace shell {

// SIGTERM, SIGHUP and SIGINT end the program the way closing its window does, so that the running
// command unwinds and the temporary files and folders go with it, which the signals' default action
// (ending the process on the spot) never allows. The handler itself only writes to a pipe; the event
// loop reads it (in the main loop, or at the running command's next yield) and calls onSignal there.
// A signal that was ignored when the program started (nohup, a background job) stays ignored.
// One instance at a time.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    // The program is ending by then (this lives as long as main): the signals are ignored from here
    // on, so that none can cut short the clean-up that follows (the window, the workbook folders).
    ~TerminationSignals() override;

    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // False when the pipe could not be made; the signals then keep their default action.
    bool isActive() const { return m_notifier != nullptr; }

private:
    void onReadable();

    std::function<void()> m_onSignal;
    int m_readEnd = -1;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace shell

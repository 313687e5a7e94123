#include "shell/TerminationSignals.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace shell {

namespace {

constexpr std::array<int, 3> Handled{SIGTERM, SIGHUP, SIGINT};

// Shared with the handler, which can reach nothing else.
volatile sig_atomic_t s_writeEnd = -1;
std::array<bool, Handled.size()> s_installed{};

void relaySignal(int number)
{
    const int savedErrno = errno;
    const char byte = char(number);
    // When the pipe is full a wake-up is already waiting, so a lost byte loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(s_writeEnd, &byte, 1);
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), m_onSignal(std::move(onSignal))
{
    Q_ASSERT(s_writeEnd < 0);
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_readEnd = ends[0];
    s_writeEnd = ends[1];
    m_notifier = new QSocketNotifier(m_readEnd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::onReadable);

    struct sigaction action = {};
    action.sa_handler = relaySignal;
    sigemptyset(&action.sa_mask);
    // A system call that the signal interrupts goes on; the pipe brings the news to the event loop.
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < Handled.size(); ++i) {
        struct sigaction current = {};
        if (sigaction(Handled[i], nullptr, &current) != 0 || current.sa_handler == SIG_IGN)
            continue;
        s_installed[i] = sigaction(Handled[i], &action, nullptr) == 0;
    }
}

TerminationSignals::~TerminationSignals()
{
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (size_t i = 0; i < Handled.size(); ++i) {
        if (s_installed[i])
            sigaction(Handled[i], &ignore, nullptr);
        s_installed[i] = false;
    }
    if (m_readEnd >= 0) {
        ::close(s_writeEnd);
        ::close(m_readEnd);
        s_writeEnd = -1;
    }
}

void TerminationSignals::onReadable()
{
    char bytes[64];
    while (::read(m_readEnd, bytes, sizeof bytes) > 0) {
    }
    m_onSignal();
}

} // namespace shell

#include "Xvfb.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

using namespace Qt::StringLiterals;

Xvfb::Xvfb()
{
    for (int n = 90 + int(QCoreApplication::applicationPid() % 200); n < 400; ++n) {
        if (QFile::exists(u"/tmp/.X%1-lock"_s.arg(n)) || QFile::exists(u"/tmp/.X11-unix/X%1"_s.arg(n)))
            continue;
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(u"Xvfb"_s, {u":%1"_s.arg(n), u"-screen"_s, u"0"_s, u"1280x1024x24"_s, u"-nolisten"_s,
                                    u"tcp"_s});
        if (!m_process.waitForStarted(5000))
            return;
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
            // The socket appears before the server takes clients; ask it until it answers.
            if (QFile::exists(u"/tmp/.X11-unix/X%1"_s.arg(n))) {
                m_display = u":%1"_s.arg(n);
                int code = -1;
                run(u"xdpyinfo"_s, {}, &code);
                if (code == 0)
                    return;
                m_display.clear();
            }
            QThread::msleep(20);
        }
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

Xvfb::~Xvfb()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }
}

QProcessEnvironment Xvfb::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, m_display);
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    env.remove(u"WAYLAND_DISPLAY"_s);
    return env;
}

QString Xvfb::run(const QString& program, const QStringList& arguments, int* exitCode) const
{
    QProcess tool;
    tool.setProcessEnvironment(environment());
    tool.start(program, arguments);
    tool.waitForFinished(10000);
    if (exitCode)
        *exitCode = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    return QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
}

#include "Xvfb.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

using namespace Qt::StringLiterals;

Xvfb::Xvfb()
{
    // Xvfb picks a free display itself and writes its number to standard output once it takes clients.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"1280x1024x24"_s, u"-noreset"_s,
                                u"-nolisten"_s, u"tcp"_s});
    if (!m_process.waitForStarted(5000))
        return;
    QDeadlineTimer deadline(15000);
    QByteArray out;
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running && !out.contains('\n')) {
        m_process.waitForReadyRead(100);
        out += m_process.readAllStandardOutput();
    }
    bool ok = false;
    const int number = out.trimmed().toInt(&ok);
    if (ok)
        m_display = u":%1"_s.arg(number);
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

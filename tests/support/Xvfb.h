#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

// A private X server for tests that need a real display (the clipboard, real windows).
class Xvfb
{
public:
    Xvfb();
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    bool isRunning() const { return m_process.state() == QProcess::Running && !m_display.isEmpty(); }
    const QString& display() const { return m_display; }
    // The system environment with DISPLAY pointing here and Qt on the xcb platform.
    QProcessEnvironment environment() const;

    // Runs a command-line tool against this display; returns its standard output, trimmed.
    QString run(const QString& program, const QStringList& arguments, int* exitCode = nullptr) const;

private:
    QProcess m_process;
    QString m_display;
};

#pragma once

#include <QFile>
#include <QString>

#include <cstdio>

// Prints one figure in the form bench/run collects.
inline void benchFigure(const char* name, double value, const char* unit)
{
    std::printf("BENCH %s %.6g %s\n", name, value, unit);
    std::fflush(stdout);
}

// Resident memory of this process now and at its peak, in MB (from /proc/self/status).
inline double residentMb(bool peak = false)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = peak ? "VmHWM:" : "VmRSS:";
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

#pragma once

#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTest>

// A stand-in for a desktop program, put first on PATH by a test: it writes its arguments, one a line,
// to arguments.txt beside itself and keeps a copy of the file it was given (its last argument) as
// opened.xlsx. It uses no other program from PATH.
inline bool writeStandInProgram(const QString& folder, const QString& name)
{
    QFile script(folder + u'/' + name);
    if (!script.open(QIODevice::WriteOnly))
        return false;
    script.write("#!/bin/sh\n"
                 "dir=\"${0%/*}\"\n"
                 "for a in \"$@\"; do last=\"$a\"; done\n"
                 "/bin/cp \"$last\" \"$dir/opened.xlsx\"\n"
                 "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$dir/arguments.part\"\n"
                 "/bin/mv \"$dir/arguments.part\" \"$dir/arguments.txt\"\n");
    script.close();
    return script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Waits until the stand-in in folder has run; returns the arguments it was started with.
inline QStringList standInArguments(const QString& folder)
{
    const QString path = folder + QStringLiteral("/arguments.txt");
    for (int i = 0; i < 200 && !QFileInfo::exists(path); ++i)
        QTest::qWait(50);
    QFile recorded(path);
    if (!recorded.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(recorded.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

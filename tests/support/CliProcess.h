#pragma once

// The batch tool run from a test as a user runs it: a process with standard input given and closed, the
// cache folder it is given, and no budget of requests unless the arguments set one (the fake servers set
// no limit).
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <memory>

struct CliOutcome
{
    int exitCode = -1; // -1: did not start, or did not end normally
    QByteArray out;
    QByteArray err;

    QList<QJsonObject> jsonRows() const
    {
        QList<QJsonObject> rows;
        for (const QByteArray& line : out.split('\n'))
            if (!line.isEmpty())
                rows.append(QJsonDocument::fromJson(line).object());
        return rows;
    }
};

inline QStringList withoutBudget(const QStringList& args)
{
    if (args.contains(QStringLiteral("--rate")))
        return args;
    return QStringList{QStringLiteral("--rate"), QStringLiteral("0")} + args;
}

// Starts `program` (tellurion-cli, or a program that runs it) with XDG_CACHE_HOME set to cacheHome.
inline std::unique_ptr<QProcess> startCli(const QString& program, const QStringList& args, const QByteArray& input,
                                          const QString& cacheHome,
                                          QProcessEnvironment environment = QProcessEnvironment::systemEnvironment())
{
    auto cli = std::make_unique<QProcess>();
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), cacheHome);
    cli->setProcessEnvironment(environment);
    cli->start(program, args);
    if (cli->waitForStarted()) {
        cli->write(input);
        cli->closeWriteChannel();
    }
    return cli;
}

inline CliOutcome finishCli(QProcess& cli)
{
    CliOutcome outcome;
    if (!cli.waitForFinished(120000) || cli.exitStatus() != QProcess::NormalExit)
        return outcome;
    outcome.exitCode = cli.exitCode();
    outcome.out = cli.readAllStandardOutput();
    outcome.err = cli.readAllStandardError();
    return outcome;
}

inline CliOutcome runCli(const QString& program, const QStringList& args, const QByteArray& input,
                         const QString& cacheHome,
                         const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    const std::unique_ptr<QProcess> cli = startCli(program, args, input, cacheHome, environment);
    return finishCli(*cli);
}

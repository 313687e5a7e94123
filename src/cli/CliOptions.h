#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace cli {

enum class Format { Csv, Tsv, Text, Json };

struct CliOptions
{
    static constexpr int DefaultJobs = 4;
    static constexpr int MaxJobs = 256;
    static constexpr int DefaultTimeoutS = 30;

    QStringList files; // "-" stands for standard input; empty means standard input
    bool sample = false;
    int jobs = DefaultJobs;
    Format format = Format::Csv;
    QString outputFile; // empty: standard output
    int timeoutS = DefaultTimeoutS;
    bool quiet = false;
};

// What parsing the command line asks for.
struct ParseOutcome
{
    enum class Action { Run, ShowHelp, ShowVersion, UsageError };
    Action action = Action::Run;
    CliOptions options;
    QString error; // for UsageError
};

ParseOutcome parseCommandLine(const QStringList& arguments);
QString helpText();
QString versionText();

} // namespace cli

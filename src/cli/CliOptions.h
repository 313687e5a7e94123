#pragma once

#include "cli/RowWriter.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace cli {

enum class Format { Csv, Tsv, Table, Text, Json };

struct CliOptions
{
    static constexpr int DefaultJobs = 4;
    static constexpr int MaxJobs = 256;
    static constexpr int DefaultTimeoutS = 30;
    static constexpr double DefaultRate = 1;
    static constexpr double MaxRate = 100000;

    QStringList files; // "-" stands for standard input; empty means standard input
    bool sample = false;
    int jobs = DefaultJobs;
    Format format = Format::Csv;
    QString outputFile; // empty: standard output
    int timeoutS = DefaultTimeoutS;
    bool quiet = false;
    QStringList sources{QStringLiteral("web")}; // asked in this order
    std::vector<Field> fields = defaultFields(); // the columns of csv and tsv
    std::vector<Field> extraFields;              // those beyond the default five, which JSON adds
    bool summary = false;
    // Every IP entry also looked up in the offline table, its code beside the row's (offline_country_code,
    // agrees).
    bool crossCheck = false;
    // The cache of answers of the remote sources.
    static constexpr double DefaultMaxAgeDays = 7;
    static constexpr double MaxMaxAgeDays = 36500;
    bool cache = true;
    bool refresh = false; // ask again, store the new answers
    double maxAgeDays = DefaultMaxAgeDays;
    double rate = DefaultRate; // requests a second to any one host; 0: no limit
    QString rdapBootstrap; // --rdap-bootstrap: the one bootstrap file RDAP uses, instead of IANA's
};

// The names --source accepts.
QStringList knownSources();

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

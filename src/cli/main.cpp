#include "addresses/ListFileReader.h"
#include "addresses/SampleAddresses.h"
#include "cli/CliOptions.h"
#include "cli/CliRun.h"
#include "cli/Sources.h"
#include "core/Failure.h"
#include "lookup/CountryDatabase.h"
#include "output/ReplacingFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

int fail(int status, const QString& message)
{
    std::fprintf(stderr, "tellurion-cli: %s\n", qPrintable(message));
    return status;
}

// Why a named input cannot be read, as the system says it.
QString unreadable(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return u"it is a folder"_s;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        return {};
    return file.errorString();
}

// Reads the entries of every input in order; throws core::Failure naming the input that fails. A line
// break at the very end of an input ends its last line (as almost every file and pipe on Unix ends), and
// empty or blank entries are left out and counted.
QStringList readEntries(const cli::CliOptions& options, qsizetype& skipped)
{
    QStringList inputs = options.files;
    if (inputs.isEmpty() && !options.sample)
        inputs.append(u"-"_s);
    QStringList entries;
    skipped = 0;
    for (const QString& input : inputs) {
        QStringList read;
        try {
            if (input == u"-"_s) {
                QFile in;
                if (!in.open(stdin, QIODevice::ReadOnly))
                    throw core::Failure(in.errorString());
                addresses::ListFileReader reader(in);
                while (!reader.atEnd())
                    read += reader.next();
            } else {
                const QString why = unreadable(input);
                if (!why.isEmpty())
                    throw core::Failure(why);
                read = addresses::ListFileReader::readAll(input);
            }
        } catch (const core::Failure& failure) {
            const QString name = input == u"-"_s ? u"standard input"_s : input;
            throw core::Failure(u"cannot read %1: %2"_s.arg(name, failure.description()));
        }
        if (!read.isEmpty() && read.last().isEmpty())
            read.removeLast();
        for (QString& entry : read) {
            if (entry.trimmed().isEmpty())
                ++skipped;
            else
                entries.append(std::move(entry));
        }
    }
    if (options.sample)
        for (const QString& sample : addresses::SampleAddresses)
            entries.append(sample);
    return entries;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"tellurion-cli"_s);

    const cli::ParseOutcome parsed = cli::parseCommandLine(QCoreApplication::arguments());
    switch (parsed.action) {
    case cli::ParseOutcome::Action::ShowHelp:
        std::fputs(qPrintable(cli::helpText()), stdout);
        return 0;
    case cli::ParseOutcome::Action::ShowVersion:
        std::fputs(qPrintable(cli::versionText() + cli::offlineTableVersionText()), stdout);
        return 0;
    case cli::ParseOutcome::Action::UsageError:
        return fail(cli::UsageError, parsed.error + u"\nTry 'tellurion-cli --help' for more information."_s);
    case cli::ParseOutcome::Action::Run:
        break;
    }
    const cli::CliOptions& options = parsed.options;

    const QString database = QCoreApplication::applicationDirPath() + u"/dbCountries.mdb"_s;
    if (!QFileInfo(database).isFile())
        return fail(cli::DatabaseUnusable, database + u" not found."_s);
    try {
        lookup::LookupCountry(database, u"DE"_s);
    } catch (const core::Failure& failure) {
        return fail(cli::DatabaseUnusable, database + u" cannot be used: "_s + failure.description());
    }

    // The output must be writable before any lookup is made.
    // Replaced only once complete; written over in place when the folder takes no new file but the file
    // itself may be written.
    output::ReplacingFile outFile(options.outputFile);
    QFile stdOut;
    QIODevice* out = &stdOut;
    if (!options.outputFile.isEmpty()) {
        const QFileInfo info(options.outputFile);
        if (!info.absoluteDir().exists())
            return fail(cli::UsageError, u"cannot write %1: the folder %2 does not exist"_s.arg(
                                             options.outputFile, QDir::toNativeSeparators(info.absolutePath())));
        if (info.isDir())
            return fail(cli::UsageError, u"cannot write %1: it is a folder"_s.arg(options.outputFile));
        if (!outFile.open(QIODevice::WriteOnly))
            return fail(cli::UsageError, u"cannot write %1: %2"_s.arg(options.outputFile, outFile.errorString()));
        out = &outFile;
    } else if (!stdOut.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        return fail(cli::UsageError, u"cannot write to standard output"_s);
    }

    QStringList entries;
    qsizetype skipped = 0;
    try {
        entries = readEntries(options, skipped);
    } catch (const core::Failure& failure) {
        return fail(cli::UsageError, failure.description());
    }
    if (skipped > 0)
        std::fprintf(stderr, "tellurion-cli: skipped %lld empty or blank %s\n", static_cast<long long>(skipped),
                     skipped == 1 ? "line" : "lines");

    const bool progress = !options.quiet && ::isatty(STDERR_FILENO);
    cli::CliRun::installInterruptHandler();
    const qsizetype total = entries.size();
    cli::CliRun run(options, std::move(entries), database, *out, progress);
    int status = 0;
    try {
        status = run.exec();
    } catch (const core::Failure& failure) {
        return fail(cli::UsageError, failure.description());
    }
    if (status == cli::Interrupted) {
        QString message = u"interrupted: %1 of %2 entries were not looked up"_s.arg(run.notLookedUp()).arg(total);
        if (!options.outputFile.isEmpty())
            message += u"; %1 was not written"_s.arg(options.outputFile);
        std::fprintf(stderr, "tellurion-cli: %s\n", qPrintable(message));
    }
    if (!options.outputFile.isEmpty()) {
        // An interrupted run leaves an existing file as it was.
        if (status == cli::Interrupted) {
            outFile.cancelWriting();
            outFile.commit();
        } else if (!outFile.commit()) {
            return fail(cli::UsageError, u"cannot write %1: %2"_s.arg(options.outputFile, outFile.errorString()));
        }
    }
    return status;
}

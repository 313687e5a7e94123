#include "output/SpreadsheetProgram.h"

#include "core/EventPump.h"
#include "core/Failure.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace output {

namespace {

const QString XlsxMimeType = u"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"_s;

bool hasDefaultForXlsx(const QString& xdgMime)
{
    QProcess query;
    query.start(xdgMime, {u"query"_s, u"default"_s, XlsxMimeType});
    // The window answers meanwhile (xdg-mime is a shell script that may take a while): closing it ends
    // the wait, and the query with it, at once.
    QDeadlineTimer deadline(5000);
    while (query.state() != QProcess::NotRunning && !deadline.hasExpired())
        core::EventPump::waitForEvents(50);
    if (query.state() != QProcess::NotRunning || query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0)
        return false;
    return !query.readAllStandardOutput().trimmed().isEmpty();
}

} // namespace

std::optional<SpreadsheetProgram> SpreadsheetProgram::find()
{
    for (const QString& name : {u"soffice"_s, u"libreoffice"_s}) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty())
            return SpreadsheetProgram{path, {u"--calc"_s, u"-n"_s}, true};
    }
    if (const QString gnumeric = QStandardPaths::findExecutable(u"gnumeric"_s); !gnumeric.isEmpty())
        return SpreadsheetProgram{gnumeric, {}};
    const QString xdgOpen = QStandardPaths::findExecutable(u"xdg-open"_s);
    const QString xdgMime = QStandardPaths::findExecutable(u"xdg-mime"_s);
    if (!xdgOpen.isEmpty() && !xdgMime.isEmpty() && hasDefaultForXlsx(xdgMime))
        return SpreadsheetProgram{xdgOpen, {}};
    return std::nullopt;
}

void SpreadsheetProgram::open(const QString& file) const
{
    if (!QProcess::startDetached(program, arguments + QStringList{file}, QDir::homePath()))
        throw core::Failure(u"Could not start %1."_s.arg(program));
}

} // namespace output

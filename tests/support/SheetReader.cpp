#include "SheetReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

QList<QStringList> parseCsv(const QString& text)
{
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (quoted) {
            if (ch == u'"' && i + 1 < text.size() && text.at(i + 1) == u'"') {
                field += u'"';
                ++i;
            } else if (ch == u'"') {
                quoted = false;
            } else {
                field += ch;
            }
        } else if (ch == u'"') {
            quoted = true;
        } else if (ch == u',') {
            row << field;
            field.clear();
        } else if (ch == u'\n' || ch == u'\r') {
            if (ch == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            row << field;
            field.clear();
            rows << row;
            row.clear();
        } else {
            field += ch;
        }
    }
    if (!field.isEmpty() || !row.isEmpty())
        rows << (row << field);
    return rows;
}

} // namespace

QList<QStringList> readSheet(const QString& xlsxPath, QString* error)
{
    QTemporaryDir work;
    QProcess soffice;
    // Tests put stand-in programs first on PATH; the reader needs the system's own tools.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"PATH"_s, u"/usr/local/bin:/usr/bin:/bin"_s);
    soffice.setProcessEnvironment(env);
    soffice.setProcessChannelMode(QProcess::MergedChannels);
    soffice.start(u"/usr/bin/soffice"_s,
                  {u"--headless"_s, u"--norestore"_s,
                   u"-env:UserInstallation="_s + QUrl::fromLocalFile(work.filePath(u"profile"_s)).toString(),
                   u"--convert-to"_s, u"csv:Text - txt - csv (StarCalc):44,34,76"_s, u"--outdir"_s, work.path(),
                   xlsxPath});
    const bool finished = soffice.waitForFinished(120000);
    const QString csvPath = work.filePath(QFileInfo(xlsxPath).completeBaseName() + u".csv"_s);
    QFile csv(csvPath);
    if (!finished || !csv.open(QIODevice::ReadOnly)) {
        if (error)
            *error = u"conversion failed: "_s + QString::fromLocal8Bit(soffice.readAll());
        return {};
    }
    return parseCsv(QString::fromUtf8(csv.readAll()));
}

QByteArray sheetXml(const QString& xlsxPath)
{
    QProcess python;
    python.start(u"python3"_s,
                 {u"-c"_s,
                  u"import sys, zipfile; "
                  u"sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read('xl/worksheets/sheet1.xml'))"_s,
                  xlsxPath});
    python.waitForFinished(30000);
    return python.readAllStandardOutput();
}

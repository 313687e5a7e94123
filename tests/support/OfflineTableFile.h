#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>

#include <utility>

// Ranges for the tests' tables: first and last address of every range, gaps between them, a block
// inside a larger one and two that overlap (the later start wins), a row written as numbers (as the
// package writes them), and ranges at both ends of each address space.
inline const QByteArray SampleV4Csv = "0.0.0.0,0.0.0.255,AD\n"
                                      "1.0.0.0,1.0.0.255,AU\n"
                                      "1.0.1.0,1.0.3.255,CN\n"
                                      "5.0.0.0,5.0.0.99,SE\n"
                                      "5.0.0.50,5.0.0.200,NO\n"
                                      "8.8.8.0,8.8.8.255,US\n"
                                      "193.0.0.0,193.0.23.255,NL\n"
                                      "193.0.10.0,193.0.10.255,DE\n"
                                      "194.0.0.0,194.0.0.255,GB\n"
                                      "3325256704,3325256959,IT\n" // 198.51.100.0/24
                                      "203.0.113.0,203.0.113.255,CN\n"
                                      "255.255.255.0,255.255.255.255,AQ\n";
inline const QByteArray SampleV6Csv = "2001:200::,2001:200:ffff:ffff:ffff:ffff:ffff:ffff,JP\n"
                                      "2002:c100:a00::,2002:c100:aff:ffff:ffff:ffff:ffff:ffff,SE\n"
                                      "2a00::1,2a00::1,FR\n"
                                      "ff00::,ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff,AQ\n";

// Builds an offline country table from two small CSV files of the test's own, with the build's own
// builder (scripts/offline-table.py), into `folder`. Returns the table's path, or an empty string with
// the builder's words in *error.
inline QString makeOfflineTable(const QString& folder, const QByteArray& v4Csv, const QByteArray& v6Csv, QString* error,
                                const QString& name = QStringLiteral("offlineCountries.tbl"))
{
    const QDir dir(folder);
    for (const auto& [file, bytes] :
         {std::pair{QStringLiteral("v4.csv"), v4Csv}, std::pair{QStringLiteral("v6.csv"), v6Csv}}) {
        QFile csv(dir.filePath(file));
        if (!csv.open(QIODevice::WriteOnly) || csv.write(bytes) != bytes.size()) {
            *error = csv.errorString();
            return {};
        }
    }
    QProcess builder;
    builder.setProcessChannelMode(QProcess::MergedChannels);
    builder.start(QStringLiteral("python3"),
                  {QStringLiteral(TELLURION_SOURCE_DIR) + QStringLiteral("/scripts/offline-table.py"),
                   QStringLiteral("csv"), dir.filePath(QStringLiteral("v4.csv")),
                   dir.filePath(QStringLiteral("v6.csv")), dir.filePath(name), QStringLiteral("test-1"),
                   QStringLiteral("2026-01-02")});
    if (!builder.waitForFinished(60000) || builder.exitStatus() != QProcess::NormalExit || builder.exitCode() != 0) {
        *error = QString::fromUtf8(builder.readAll()) + builder.errorString();
        return {};
    }
    return dir.filePath(name);
}

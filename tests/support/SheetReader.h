#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Reads an .xlsx back with a real reader: LibreOffice converts it headless to CSV (private profile,
// UTF-8). Returns the rows of the first sheet, or an empty list with `error` set.
QList<QStringList> readSheet(const QString& xlsxPath, QString* error = nullptr);

// The raw XML of the first sheet inside the .xlsx (for widths and cell types).
QByteArray sheetXml(const QString& xlsxPath);

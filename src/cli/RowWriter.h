#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

class QIODevice;

namespace cli {

// One result, as the window's results table shows it.
struct Row
{
    QString address;
    QString status;
    QString country;
    QString code;
    QString continent;
};

// Writes rows in one of the output formats. Rows arrive in input order; begin() comes first and
// finish() last, also for an empty run.
class RowWriter
{
public:
    virtual ~RowWriter() = default;
    virtual QByteArray begin() { return {}; }
    virtual QByteArray row(const Row& row) = 0;
    virtual QByteArray finish() { return {}; }
};

// RFC 4180: a header row, then one record per row; a field is quoted when it holds a comma, a quote,
// CR or LF, and its quotes are doubled. Records end in CR LF. UTF-8.
class CsvWriter : public RowWriter
{
public:
    QByteArray begin() override;
    QByteArray row(const Row& row) override;
    static QByteArray field(const QString& text);
};

// One JSON object per line (UTF-8).
class JsonLinesWriter : public RowWriter
{
public:
    QByteArray row(const Row& row) override;
    static QByteArray string(const QString& text);
};

} // namespace cli

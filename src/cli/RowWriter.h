#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QIODevice;

namespace cli {

// One result: the window's five columns and what the batch tool knows beyond them.
struct Row
{
    QString address;
    QString status;
    QString country;
    QString code;
    QString continent;
    QString source;  // "site1", "site2", "offline", "rdap" or empty
    QString network; // the block or registered domain the answer covers
    QString handle;  // the registry object's handle
    bool cached = false;
    // With --cross-check, for IP entries: the offline table's code, and whether it matches the row's code
    // (unset when either side has no code).
    QString offlineCode;
    std::optional<bool> agrees;
};

// The columns a row can be written with, by their command-line names.
enum class Field { Address, Status, Country, CountryCode, Continent, Source, Network, Cached, RdapHandle,
                   OfflineCountryCode, Agrees };

struct FieldInfo
{
    Field field;
    const char* name;   // for --fields and the JSON keys
    const char* header; // CSV and TSV header
};
const std::vector<FieldInfo>& allFields();
const std::vector<Field>& defaultFields();
const FieldInfo& fieldInfo(Field field);
// The text of a field in CSV and TSV ("true"/"false" for flags, empty when unset).
QString fieldText(const Row& row, Field field);

// Writes rows in one of the output formats. Rows arrive in input order; begin() comes first and
// finish() last, also for an empty run.
class RowWriter
{
public:
    virtual ~RowWriter() = default;
    virtual QByteArray begin() { return {}; }
    virtual QByteArray row(const Row& row) = 0;
    virtual QByteArray finish() { return {}; }
    // The bytes of row(), appended to `out`: a million rows need not make a million buffers.
    virtual void append(const Row& row, QByteArray& out) { out += this->row(row); }
};

// RFC 4180: a header row, then one record per row; a field is quoted when it holds a comma, a quote,
// CR or LF, and its quotes are doubled. Records end in CR LF. UTF-8.
class CsvWriter : public RowWriter
{
public:
    explicit CsvWriter(std::vector<Field> fields = defaultFields()) : m_fields(std::move(fields)) {}
    QByteArray begin() override;
    QByteArray row(const Row& row) override;
    void append(const Row& row, QByteArray& out) override;
    static QByteArray field(const QString& text);

private:
    std::vector<Field> m_fields;
};

// Plain tab-separated values, as spreadsheets and cut read them: a header line, one line per row, LF line
// ends, no padding. A tab, CR or LF inside a field becomes a blank, so it never splits a row. UTF-8.
class TsvWriter : public RowWriter
{
public:
    explicit TsvWriter(std::vector<Field> fields = defaultFields()) : m_fields(std::move(fields)) {}
    QByteArray begin() override;
    QByteArray row(const Row& row) override;
    static QByteArray field(const QString& text);

private:
    std::vector<Field> m_fields;
};

// One JSON object per line (UTF-8): the five columns, "source", "cached" and "network" always, and any
// further fields asked for.
class JsonLinesWriter : public RowWriter
{
public:
    explicit JsonLinesWriter(const std::vector<Field>& extra = {});
    QByteArray row(const Row& row) override;
    static QByteArray string(const QString& text);

private:
    std::vector<Field> m_fields;
};

} // namespace cli

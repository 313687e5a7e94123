// The batch tool's CSV, TSV and JSON Lines output on any cells: a strict reader gets the same cells back
// (TSV: the same cells with tabs and line breaks made blanks).
#include "cli/RowWriter.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzTable.h"
#include "fuzz/StrictParsers.h"

#include <vector>

using namespace Qt::StringLiterals;

namespace {

cli::Row rowOf(const FuzzTable& table, int r)
{
    cli::Row row;
    row.address = table.cell(r, 0);
    row.status = table.cell(r, 1);
    row.country = table.cell(r, 2);
    row.code = table.cell(r, 3);
    row.continent = table.cell(r, 4);
    row.source = table.cell(r, 5);
    row.network = table.cell(r, 6);
    row.cached = table.cell(r, 6).size() % 2 == 1;
    return row;
}

QStringList cellsOf(const cli::Row& row)
{
    return {row.address, row.status, row.country, row.code, row.continent};
}

QString blanked(QString text)
{
    for (QChar& c : text)
        if (c == u'\t' || c == u'\r' || c == u'\n')
            c = u' ';
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const FuzzTable table(in, 7);
    std::vector<cli::Row> rows;
    rows.reserve(size_t(table.rowCount()));
    for (int r = 0; r < table.rowCount(); ++r)
        rows.push_back(rowOf(table, r));

    cli::CsvWriter csv;
    QByteArray csvText = csv.begin();
    for (const cli::Row& row : rows)
        csvText += csv.row(row);
    csvText += csv.finish();
    const auto records = strict::parseCsv(csvText);
    FUZZ_CHECK(records.has_value());
    FUZZ_CHECK(records->size() == qsizetype(rows.size()) + 1);
    FUZZ_CHECK(records->first() ==
               QStringList({u"IP Address(es)"_s, u"Status"_s, u"Country"_s, u"Country Code"_s, u"Continent"_s}));
    for (size_t r = 0; r < rows.size(); ++r)
        FUZZ_CHECK(records->at(qsizetype(r) + 1) == cellsOf(rows[r]));

    cli::JsonLinesWriter json;
    QByteArray jsonText = json.begin();
    for (const cli::Row& row : rows)
        jsonText += json.row(row);
    jsonText += json.finish();
    QList<QByteArray> lines = jsonText.split('\n');
    FUZZ_CHECK(lines.last().isEmpty());
    lines.removeLast();
    FUZZ_CHECK(lines.size() == qsizetype(rows.size()));
    const QStringList keys{u"address"_s, u"status"_s,  u"country"_s, u"country_code"_s,
                           u"continent"_s, u"source"_s, u"cached"_s,  u"network"_s};
    for (size_t r = 0; r < rows.size(); ++r) {
        const auto values = strict::parseJsonObjectLine(lines[qsizetype(r)], keys);
        FUZZ_CHECK(values.has_value());
        const cli::Row& row = rows[r];
        const QStringList expected = cellsOf(row) + QStringList{row.source, row.cached ? u"true"_s : u"false"_s, row.network};
        FUZZ_CHECK(*values == expected);
    }

    // TSV as cut reads it: one line per row, each of exactly the asked fields.
    const std::vector<cli::Field> fields{cli::Field::Address, cli::Field::Status, cli::Field::Country,
                                         cli::Field::CountryCode, cli::Field::Continent, cli::Field::Network};
    cli::TsvWriter tsv(fields);
    QByteArray tsvText = tsv.begin();
    for (const cli::Row& row : rows)
        tsvText += tsv.row(row);
    tsvText += tsv.finish();
    QList<QByteArray> tsvLines = tsvText.split('\n');
    FUZZ_CHECK(tsvLines.last().isEmpty());
    tsvLines.removeLast();
    FUZZ_CHECK(tsvLines.size() == qsizetype(rows.size()) + 1);
    for (size_t r = 0; r < rows.size(); ++r) {
        const QList<QByteArray> cells = tsvLines[qsizetype(r) + 1].split('\t');
        FUZZ_CHECK(cells.size() == qsizetype(fields.size()));
        QStringList expected;
        for (const QString& cell : cellsOf(rows[r]) + QStringList{rows[r].network})
            expected.append(blanked(cell));
        QStringList got;
        for (const QByteArray& cell : cells) {
            FUZZ_CHECK(!cell.contains('\r'));
            got.append(QString::fromUtf8(cell));
        }
        FUZZ_CHECK(got == expected);
    }
    return 0;
}

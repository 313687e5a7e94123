// The batch tool's CSV and JSON Lines output on any cells: a strict reader gets the same cells back.
#include "cli/RowWriter.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzTable.h"
#include "fuzz/StrictParsers.h"

#include <vector>

using namespace Qt::StringLiterals;

namespace {

cli::Row rowOf(const FuzzTable& table, int r)
{
    return {table.cell(r, 0), table.cell(r, 1), table.cell(r, 2), table.cell(r, 3), table.cell(r, 4)};
}

QStringList cellsOf(const cli::Row& row)
{
    return {row.address, row.status, row.country, row.code, row.continent};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const FuzzTable table(in, 5);
    std::vector<cli::Row> rows;
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
    const QStringList keys{u"address"_s, u"status"_s, u"country"_s, u"country_code"_s, u"continent"_s};
    for (size_t r = 0; r < rows.size(); ++r) {
        const auto values = strict::parseJsonObjectLine(lines[qsizetype(r)], keys);
        FUZZ_CHECK(values.has_value());
        FUZZ_CHECK(*values == cellsOf(rows[r]));
    }
    return 0;
}

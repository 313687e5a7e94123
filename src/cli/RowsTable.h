#pragma once

#include "cli/RowWriter.h"
#include "output/ResultsTable.h"

#include <vector>

namespace cli {

// Rows of the batch tool seen as the window's results table, every row ticked.
class RowsTable : public output::ResultsTable
{
public:
    explicit RowsTable(const std::vector<Row>& rows) : m_rows(rows) {}

    int rowCount() const override { return int(m_rows.size()); }
    int columnCount() const override { return 5; }
    QString headerText(int column) const override;
    QString cell(int row, int column) const override;
    bool isChecked(int) const override { return true; }

private:
    const std::vector<Row>& m_rows;
};

// The results text of the window's clipboard copy, for all rows; written once every row is final,
// since the column widths span all rows.
class ResultsTextWriter : public RowWriter
{
public:
    QByteArray row(const Row& row) override;
    QByteArray finish() override;

private:
    std::vector<Row> m_rows;
};

// The window's results file: five lines and a separator per row, in the system's encoding.
class ResultsFileWriter : public RowWriter
{
public:
    QByteArray row(const Row& row) override;
};

} // namespace cli

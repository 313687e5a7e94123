#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

namespace core {
class ResultsModel;
}

namespace output {

// The results table as the outputs read it: a grid of text with a tick per row and a header per
// column. Rows and columns are 0-based. Reads of a row that does not exist throw core::Failure.
class ResultsTable
{
public:
    using RowKey = quint64;

    virtual ~ResultsTable() = default;

    virtual int rowCount() const = 0;
    virtual int columnCount() const = 0;
    virtual QString headerText(int column) const = 0;
    virtual QString cell(int row, int column) const = 0;
    virtual bool isChecked(int row) const = 0;

    // Identity of a row across removals, so that a long output can tell that a row it has not reached
    // yet was removed while it yielded. Tables whose rows never move use the position itself.
    virtual RowKey keyAt(int row) const { return RowKey(row); }
    // Position of the row with that key, or -1 once it is gone.
    virtual int rowOf(RowKey key) const { return key < RowKey(rowCount()) ? int(key) : -1; }
};

// The window's results table seen through ResultsTable.
class ResultsModelTable : public ResultsTable
{
public:
    explicit ResultsModelTable(const core::ResultsModel& model) : m_model(model) {}

    int rowCount() const override;
    int columnCount() const override;
    QString headerText(int column) const override;
    QString cell(int row, int column) const override;
    bool isChecked(int row) const override;
    RowKey keyAt(int row) const override;
    int rowOf(RowKey key) const override;

private:
    const core::ResultsModel& m_model;
};

// Visits the rows that a table held when the walk began, in order, letting the window answer
// (time-sliced) before each one. Other handlers may remove rows or clear the table meanwhile: a row
// that is gone by the time the walk reaches it is reported as -1 and must be skipped, so a removal
// never shifts a later row into the place of an earlier one and nothing stale is read. Between two
// calls of next() nothing yields, so the row returned can be read whole.
class RowWalk
{
public:
    explicit RowWalk(const ResultsTable& table);

    int count() const { return int(m_keys.size()); }
    // Yields when due, then returns the present position of the index-th row, or -1 when it was removed.
    int next(int index);

private:
    const ResultsTable& m_table;
    std::vector<ResultsTable::RowKey> m_keys;
    int m_lastRow = -1;
};

} // namespace output

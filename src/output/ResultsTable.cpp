#include "output/ResultsTable.h"

#include "core/EventPump.h"
#include "core/ResultsModel.h"

namespace output {

int ResultsModelTable::rowCount() const
{
    return m_model.rowCount();
}

int ResultsModelTable::columnCount() const
{
    return m_model.columnCount();
}

QString ResultsModelTable::headerText(int column) const
{
    return m_model.headerText(column);
}

QString ResultsModelTable::cell(int row, int column) const
{
    return m_model.cell(row, column);
}

bool ResultsModelTable::isChecked(int row) const
{
    return m_model.isChecked(row);
}

ResultsTable::RowKey ResultsModelTable::keyAt(int row) const
{
    return m_model.idAt(row);
}

int ResultsModelTable::rowOf(RowKey key) const
{
    return m_model.rowOf(key);
}

RowWalk::RowWalk(const ResultsTable& table) : m_table(table)
{
    const int rows = table.rowCount();
    m_keys.reserve(size_t(std::max(rows, 0)));
    for (int row = 0; row < rows; ++row)
        m_keys.push_back(table.keyAt(row));
}

int RowWalk::next(int index)
{
    core::EventPump::yieldIfDue();
    const ResultsTable::RowKey key = m_keys[size_t(index)];
    // Almost always nothing was removed and the row stands right after the previous one: skip the search.
    const int guess = m_lastRow + 1;
    int row = -1;
    if (guess < m_table.rowCount() && m_table.keyAt(guess) == key)
        row = guess;
    else
        row = m_table.rowOf(key);
    if (row >= 0)
        m_lastRow = row;
    return row;
}

} // namespace output

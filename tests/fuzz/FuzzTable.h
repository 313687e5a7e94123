#pragma once

#include "fuzz/FuzzInput.h"
#include "output/ResultsTable.h"

#include <QList>
#include <QStringList>

// A results table made from fuzzer input: the text is cut into cells at U+001F, filled row by row, with
// the ticks taken from one byte per row.
class FuzzTable : public output::ResultsTable
{
public:
    FuzzTable(FuzzInput& in, int columns) : m_columns(columns)
    {
        const int rows = in.byte() % 12;
        for (int r = 0; r < rows; ++r)
            m_checked.append(in.byte() & 1);
        const QStringList cells = in.text(false).split(QChar(0x1f));
        for (int r = 0; r < rows; ++r) {
            QStringList row;
            for (int c = 0; c < columns; ++c) {
                const qsizetype i = qsizetype(r) * columns + c;
                row.append(i < cells.size() ? cells[i] : QString());
            }
            m_rows.append(row);
        }
    }

    int rowCount() const override { return int(m_rows.size()); }
    int columnCount() const override { return m_columns; }
    QString headerText(int column) const override { return QStringLiteral("Header %1").arg(column); }
    QString cell(int row, int column) const override { return m_rows.at(row).at(column); }
    bool isChecked(int row) const override { return m_checked.at(row); }

private:
    int m_columns;
    QList<QStringList> m_rows;
    QList<bool> m_checked;
};

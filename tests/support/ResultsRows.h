#pragma once

#include "core/ResultsModel.h"

#include <QStringList>

#include <initializer_list>

// Fills a results table with the five columns of the window and the given rows (cells, ticked).
struct ResultsRow
{
    QStringList cells;
    bool ticked = false;
};

inline void addResultsColumns(core::ResultsModel& model)
{
    for (const char* header : {"IP Address(es)", "Status", "Country", "Country Code", "Continent"})
        model.addColumn(QString::fromLatin1(header));
}

inline void addResultsRows(core::ResultsModel& model, const QList<ResultsRow>& rows)
{
    for (const ResultsRow& r : rows) {
        model.appendRow(r.cells.value(0));
        const int row = model.rowCount() - 1;
        for (int c = 1; c < r.cells.size(); ++c)
            model.setCell(row, c, r.cells[c]);
        model.setChecked(row, r.ticked);
    }
}

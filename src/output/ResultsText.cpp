#include "output/ResultsText.h"

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace output {

QString BuildResultsText(const ResultsTable& table)
{
    const int columns = table.columnCount();
    if (columns <= 0)
        return {};

    std::vector<qsizetype> widths(size_t(columns), 0);
    RowWalk measure(table);
    for (int i = 0; i < measure.count(); ++i) {
        const int row = measure.next(i);
        if (row < 0)
            continue;
        for (int c = 0; c < columns; ++c)
            widths[size_t(c)] = std::max(widths[size_t(c)], table.cell(row, c).size());
    }

    QString text;
    RowWalk lines(table);
    for (int i = 0; i < lines.count(); ++i) {
        const int row = lines.next(i);
        if (row < 0 || !table.isChecked(row))
            continue;
        for (int c = 0; c < columns; ++c) {
            const QString cell = table.cell(row, c);
            text += cell;
            const qsizetype width = widths[size_t(c)];
            // A cell that grew while the window answered is longer than its column: no padding then.
            if (width >= cell.size())
                text.resize(text.size() + (width - cell.size()), u' ');
            text += u'\t';
        }
        text.chop(1);
        qsizetype end = text.size();
        while (end > 0 && text.at(end - 1) == u' ')
            --end;
        text.truncate(end);
        text += u"\r\n"_s;
    }
    return text;
}

} // namespace output

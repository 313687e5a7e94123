// The clipboard's results text on any cells: each ticked row comes back, cell by cell, from its line.
#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzTable.h"
#include "output/ResultsText.h"

#include <algorithm>

namespace {

bool plainCell(const QString& cell)
{
    return !cell.contains(u'\t') && !cell.contains(u'\r') && !cell.contains(u'\n');
}

QString trimmedRight(QString text)
{
    while (text.endsWith(u' '))
        text.chop(1);
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const int columns = in.byte() % 6;
    const FuzzTable table(in, columns);

    const QString text = output::BuildResultsText(table);
    if (columns == 0) {
        FUZZ_CHECK(text.isEmpty());
        return 0;
    }
    FUZZ_CHECK(text.isEmpty() || text.endsWith(u"\r\n"));

    bool plain = true;
    std::vector<qsizetype> widths(size_t(columns), 0);
    QList<int> ticked;
    for (int r = 0; r < table.rowCount(); ++r) {
        for (int c = 0; c < columns; ++c) {
            plain = plain && plainCell(table.cell(r, c));
            widths[size_t(c)] = std::max(widths[size_t(c)], table.cell(r, c).size());
        }
        if (table.isChecked(r))
            ticked.append(r);
    }
    if (!plain)
        return 0; // such cells cannot come back from a tab-separated line; nothing to compare

    QStringList lines = text.split(QStringLiteral("\r\n"));
    lines.removeLast();
    FUZZ_CHECK(lines.size() == ticked.size());
    for (qsizetype l = 0; l < lines.size(); ++l) {
        const QStringList fields = lines[l].split(u'\t');
        FUZZ_CHECK(fields.size() == columns);
        for (int c = 0; c < columns; ++c) {
            const QString cell = table.cell(ticked[l], c);
            if (c + 1 < columns) {
                FUZZ_CHECK(fields[c].size() == widths[size_t(c)]);
                FUZZ_CHECK(fields[c].startsWith(cell) && trimmedRight(fields[c].mid(cell.size())).isEmpty());
            } else {
                FUZZ_CHECK(fields[c] == trimmedRight(cell));
            }
        }
    }
    return 0;
}

#pragma once

#include "output/Spreadsheet.h"

#include <QString>

#include <vector>

struct lxw_workbook;
struct lxw_worksheet;

namespace output {

// One workbook of our spreadsheet application: a single sheet, written to an .xlsx file as it is
// filled. Every value is a text cell, never a formula. Rows stream straight to the file (the
// library's constant-memory mode), so a sheet is filled from top to bottom: a cell above the row
// written last is refused. Column widths are fitted to the text when asked, since the file format
// has no automatic fitting of its own.
class XlsxWorkbook : public SpreadsheetWorkbook, private SpreadsheetSheet
{
public:
    // Widest column the format allows, in characters.
    static constexpr double MaxColumnWidth = 255;
    // Longest text a cell holds, in characters.
    static constexpr int MaxCellCharacters = 32767;

    // path: the .xlsx to write; scratchFolder: where the library keeps its temporary files.
    XlsxWorkbook(const QString& path, const QString& scratchFolder);
    ~XlsxWorkbook() override;
    XlsxWorkbook(const XlsxWorkbook&) = delete;
    XlsxWorkbook& operator=(const XlsxWorkbook&) = delete;

    SpreadsheetSheet& activeSheet() override { return *this; }

    // Completes the file; afterwards the workbook takes no more cells. Throws core::Failure.
    void close();
    bool isClosed() const { return m_book == nullptr; }
    const QString& path() const { return m_path; }

private:
    void setCell(int row, int column, const QString& text) override;
    void setCellValue(int row, int column, const QString& text) override;
    void autofitColumn(int column) override;
    void autofitColumns() override;

    void write(int row, int column, const QString& text);
    void checkOpen() const;
    void ensureColumn(int column);
    static double fittedWidth(qsizetype characters);

    QString m_path;
    QByteArray m_scratch; // the library keeps the pointer
    lxw_workbook* m_book = nullptr;
    lxw_worksheet* m_sheet = nullptr;
    int m_lastRow = 0;
    std::vector<qsizetype> m_widest; // per column, the longest line of any cell so far
    std::vector<double> m_fitted;    // per column, the fitted width; negative: never fitted
};

} // namespace output

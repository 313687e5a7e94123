#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace output {

// The spreadsheet application as its automation interface offers it: exactly the calls that the
// export makes, by their member names. Rows and columns are numbered from 1. Each call throws
// core::Failure when the application refuses it.

class SpreadsheetSheet
{
public:
    virtual ~SpreadsheetSheet() = default;
    // sheet.cells(row, column) = text
    virtual void setCell(int row, int column, const QString& text) = 0;
    // sheet.cells(row, column).Value = text
    virtual void setCellValue(int row, int column, const QString& text) = 0;
    // sheet.Columns(column).Autofit
    virtual void autofitColumn(int column) = 0;
    // sheet.Columns.Autofit
    virtual void autofitColumns() = 0;
};

class SpreadsheetWorkbook
{
public:
    virtual ~SpreadsheetWorkbook() = default;
    // workbook.ActiveSheet
    virtual SpreadsheetSheet& activeSheet() = 0;
};

class SpreadsheetApplication
{
public:
    virtual ~SpreadsheetApplication() = default;
    // application.Workbooks.Add; the workbook belongs to the application.
    virtual SpreadsheetWorkbook& workbooksAdd() = 0;
    // application.Visible = visible
    virtual void setVisible(bool visible) = 0;
    // Not an automation call: the workbooks shown as files of the user's, which stay where they are, so that
    // the user can be told where. Empty where every workbook is shown as a new, unsaved document.
    virtual QStringList savedWorkbooks() const { return {}; }
};

// Creating the application object ("Excel.Application"): throws core::Failure when it is not installed.
using SpreadsheetFactory = std::function<std::unique_ptr<SpreadsheetApplication>()>;

} // namespace output

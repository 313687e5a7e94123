#pragma once

#include "output/Spreadsheet.h"
#include "output/SpreadsheetProgram.h"
#include "output/XlsxWorkbook.h"

#include <memory>
#include <vector>

class QTemporaryDir;

namespace output {

// Our spreadsheet application: each new workbook is written as an .xlsx into a private temporary
// folder, and Visible = true opens the workbooks in the desktop's spreadsheet program as new,
// unsaved documents. The folder of a shown workbook stays until this program ends, since the
// spreadsheet program reads the file after we started it; one never shown goes with the application.
class XlsxSpreadsheet : public SpreadsheetApplication
{
public:
    // The factory: throws core::Failure when the desktop has no spreadsheet program.
    static std::unique_ptr<SpreadsheetApplication> create();

    explicit XlsxSpreadsheet(SpreadsheetProgram program);
    ~XlsxSpreadsheet() override;

    SpreadsheetWorkbook& workbooksAdd() override;
    void setVisible(bool visible) override;

    const SpreadsheetProgram& program() const { return m_program; }

private:
    SpreadsheetProgram m_program;
    std::unique_ptr<QTemporaryDir> m_folder;
    std::vector<std::unique_ptr<XlsxWorkbook>> m_workbooks;
    bool m_shown = false;
};

} // namespace output

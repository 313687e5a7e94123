#pragma once

#include "output/Spreadsheet.h"
#include "output/SpreadsheetProgram.h"
#include "output/XlsxWorkbook.h"

#include <memory>
#include <vector>

class QTemporaryDir;

namespace output {

// Our spreadsheet application: each new workbook is written as an .xlsx into a private temporary
// folder, and Visible = true opens the workbooks in the desktop's spreadsheet program. LibreOffice
// makes a new, unsaved document of the file: its folder stays until this program ends, since the
// program reads the file after we started it. Any other program opens the file itself, and the user
// may edit and save it there: such a workbook is first moved to the user's documents folder
// (SavedFolderName), where it stays. A workbook never shown goes with the application.
class XlsxSpreadsheet : public SpreadsheetApplication
{
public:
    // The factory: throws core::Failure when the desktop has no spreadsheet program.
    static std::unique_ptr<SpreadsheetApplication> create();

    explicit XlsxSpreadsheet(SpreadsheetProgram program);
    ~XlsxSpreadsheet() override;

    // The folder under the user's documents folder that keeps workbooks opened as files.
    static inline const QString SavedFolderName = QStringLiteral("Tellurion exports");

    SpreadsheetWorkbook& workbooksAdd() override;
    void setVisible(bool visible) override;
    QStringList savedWorkbooks() const override { return m_saved; }

    const SpreadsheetProgram& program() const { return m_program; }

private:
    SpreadsheetProgram m_program;
    std::unique_ptr<QTemporaryDir> m_folder;
    std::vector<std::unique_ptr<XlsxWorkbook>> m_workbooks;
    QStringList m_saved;
    bool m_shown = false;
};

} // namespace output

#include "output/XlsxSpreadsheet.h"

#include "core/Failure.h"

#include <QDir>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace output {

namespace {

// Folders of workbooks handed to the spreadsheet program; removed when this program ends.
std::vector<std::unique_ptr<QTemporaryDir>>& shownFolders()
{
    static std::vector<std::unique_ptr<QTemporaryDir>> folders;
    return folders;
}

} // namespace

std::unique_ptr<SpreadsheetApplication> XlsxSpreadsheet::create()
{
    std::optional<SpreadsheetProgram> program = SpreadsheetProgram::find();
    if (!program)
        throw core::Failure(u"No spreadsheet program was found (LibreOffice, Gnumeric or a default program for "
                            u".xlsx files)."_s);
    return std::make_unique<XlsxSpreadsheet>(std::move(*program));
}

XlsxSpreadsheet::XlsxSpreadsheet(SpreadsheetProgram program) : m_program(std::move(program)) {}

XlsxSpreadsheet::~XlsxSpreadsheet()
{
    m_workbooks.clear();
    if (m_shown && m_folder)
        shownFolders().push_back(std::move(m_folder));
}

SpreadsheetWorkbook& XlsxSpreadsheet::workbooksAdd()
{
    if (!m_folder) {
        m_folder = std::make_unique<QTemporaryDir>(QDir::tempPath() + u"/tellurion-XXXXXX"_s);
        if (!m_folder->isValid()) {
            const QString why = m_folder->errorString();
            m_folder.reset();
            throw core::Failure(u"Could not create a temporary folder for the workbook: %1"_s.arg(why));
        }
    }
    const QString path = m_folder->filePath(u"Book%1.xlsx"_s.arg(m_workbooks.size() + 1));
    m_workbooks.push_back(std::make_unique<XlsxWorkbook>(path, m_folder->path()));
    return *m_workbooks.back();
}

void XlsxSpreadsheet::setVisible(bool visible)
{
    if (!visible)
        return;
    for (const auto& book : m_workbooks) {
        if (book->isClosed())
            continue;
        book->close();
        m_shown = true;
        m_program.open(book->path());
    }
}

} // namespace output

#include "output/XlsxSpreadsheet.h"

#include "core/Failure.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
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

// Moves a finished workbook to the user's documents folder, under a name no other file has.
QString moveToSavedFolder(const QString& file)
{
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + u'/' + XlsxSpreadsheet::SavedFolderName;
    if (!QDir().mkpath(folder))
        throw core::Failure(
            u"Could not create the folder %1 for the workbook."_s.arg(QDir::toNativeSeparators(folder)));
    const QString stem = u"Results "_s + QDateTime::currentDateTime().toString(u"yyyy-MM-dd HH-mm-ss"_s);
    for (int n = 1;; ++n) {
        QString name = folder + u'/' + stem + (n > 1 ? u" (%1)"_s.arg(n) : QString()) + u".xlsx"_s;
        if (QFileInfo::exists(name))
            continue;
        // Never over an existing file: rename refuses one.
        QFile workbook(file);
        if (!workbook.rename(name))
            throw core::Failure(
                u"Could not save the workbook as %1: %2"_s.arg(QDir::toNativeSeparators(name), workbook.errorString()));
        return name;
    }
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
        if (m_program.newDocument) {
            m_shown = true;
            m_program.open(book->path());
            continue;
        }
        const QString saved = moveToSavedFolder(book->path());
        m_saved.append(QDir::toNativeSeparators(saved));
        m_program.open(saved);
    }
}

} // namespace output

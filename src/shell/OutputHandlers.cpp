#include "core/EventPump.h"
#include "core/FileExists.h"
#include "output/ResultsFile.h"
#include "output/XlsxSpreadsheet.h"
#include "shell/MainWindow.h"
#include "shell/QtClipboard.h"

#include <optional>

using namespace Qt::StringLiterals;

namespace shell {

namespace {

const QString CopiedText = u"Results have been copied to the clipboard."_s + u"\r\r"_s +
                           u"Click a text area where you normally type and press Ctrl+V to paste the clipboard."_s;
const QString CopyFailedText =
    u"The results could not be copied to the clipboard."_s + u"\r\r"_s + u"Please try again."_s;
const QString NotInstalledTestText =
    u"Excel is not installed on this computer. You need to have it installed to use this software without error."_s;
const QString NotInstalledFeatureText =
    u"Excel is not installed on this computer. You need to have it installed to use this feature."_s;

// Where the spreadsheet program opened a file of the user's rather than a new, unsaved workbook.
QString savedWorkbookText(const QString& path)
{
    return u"Results have been saved in this workbook:"_s + u"\r"_s + path + u"\r\r"_s +
           u"It stays there after Tellurion ends; changes you save in the spreadsheet program are kept in it."_s;
}

// Like an automation call through an object variable that was never set.
template <class T> T& require(T* object)
{
    if (!object)
        throw core::Failure(u"Object variable or With block variable not set"_s);
    return *object;
}

} // namespace

void MainWindow::connectOutputHandlers()
{
    m_clipboard = std::make_unique<QtClipboard>();
    m_spreadsheetFactory = &output::XlsxSpreadsheet::create;
    connectClick("PushButton6", &MainWindow::PushButton6_Click);
    connectClick("PushButton12", &MainWindow::PushButton12_Click);
    connectClick("PushButton18", &MainWindow::PushButton18_Click);
}

void MainWindow::setClipboard(std::unique_ptr<output::Clipboard> clipboard)
{
    m_clipboard = std::move(clipboard);
}

void MainWindow::setSpreadsheetFactory(output::SpreadsheetFactory factory)
{
    m_spreadsheetFactory = std::move(factory);
}

void MainWindow::PushButton18_Click()
{
    ErrorTrap trap(m_dialogs, u"PushButton18_Click"_s);
    BusyHold busy(*this);
    trap.run(108, [&] { busy.set(); });
    output::CopyOutcome outcome = output::CopyOutcome::Copied;
    trap.run(110, [&] {
        outcome = output::CopyResultsToClipboard(output::ResultsModelTable(m_results), require(m_clipboard.get()));
    });
    trap.run(112, [&] {
        m_dialogs.message(outcome == output::CopyOutcome::NotPlaced ? CopyFailedText : CopiedText, m_applicationTitle,
                          MessageButtons::Ok, MessageIcon::None);
    });
    trap.run(114, [&] { busy.clear(); });
}

void MainWindow::PushButton6_Click()
{
    ErrorTrap trap(m_dialogs, u"PushButton6_Click"_s);
    FileDialogSettings settings;
    trap.run(106, [&] { settings.fileName.clear(); });
    trap.run(108, [&] {
        settings.flags = FileDialogSettings::ReadOnly | FileDialogSettings::AllowMultiSelect |
                         FileDialogSettings::Explorer | FileDialogSettings::LongNames;
    });
    trap.run(110, [&] { settings.title = u"Save"_s; });
    trap.run(112, [&] { settings.filter = u"Text Files (*.txt)|*.txt|All Files (*.*)|*.*|"_s; });
    trap.run(114, [&] { settings.fileName = m_dialogs.saveFile(settings); });
    QString name;
    trap.run(116, [&] { name = settings.fileName; });
    if (trap.test(118, [&] { return name.isEmpty(); }))
        return;

    // A question that could not be asked counts as No: nothing is overwritten unasked.
    MessageAnswer answer = MessageAnswer::No;
    if (trap.test(120, [&] { return core::FileExists(name); }))
        trap.run(122, [&] {
            answer = m_dialogs.message(u"Are you sure you wish to overwrite "_s + name + u" ?"_s, m_applicationTitle,
                                       MessageButtons::YesNo, MessageIcon::None);
        });
    else
        trap.run(124, [&] { answer = MessageAnswer::Yes; });
    if (trap.test(126, [&] { return answer != MessageAnswer::Yes; }))
        return;

    BusyHold busy(*this);
    trap.run(128, [&] { busy.set(); });
    // The new content goes to a temporary file that replaces the old one only when complete; if the
    // program ends midway the temporary file goes with this object.
    std::optional<output::ResultsFile> file;
    if (trap.run(130, [&] { file.emplace(name).open(); })) {
        const output::ResultsModelTable table(m_results);
        std::optional<output::RowWalk> walk;
        bool complete = trap.run(132, [&] { walk.emplace(table); });
        for (int i = 0; complete && i < walk->count(); ++i) {
            int row = -1;
            trap.run(134, [&] { row = walk->next(i); });
            // A row removed meanwhile is no longer part of the table: it is left out.
            if (row >= 0)
                complete = trap.run(136, [&] { file->writeRow(table, row); });
        }
        // After a failed write the file cannot be completed; the old one stays, and one report is enough.
        if (complete)
            trap.run(140, [&] {
                file->commit();
                if (file->replacedCharacters())
                    throw core::Failure(file->replacedCharactersDescription());
            });
    }
    trap.run(142, [&] { busy.clear(); });
}

bool MainWindow::SaveResultsAsExcelFileIsExcelInstalled()
{
    bool installed = true;
    try {
        if (!require(&m_spreadsheetFactory)())
            throw core::Failure(u"No spreadsheet application."_s);
    } catch (const core::Abandoned&) {
        throw;
    } catch (...) {
        m_dialogs.message(NotInstalledTestText, m_applicationTitle, MessageButtons::Ok, MessageIcon::None);
        installed = false;
    }
    return installed;
}

void MainWindow::PushButton12_Click()
{
    ErrorTrap trap(m_dialogs, u"PushButton12_Click"_s);
    if (trap.test(100, [&] { return !SaveResultsAsExcelFileIsExcelInstalled(); })) {
        trap.run(172, [&] {
            m_dialogs.message(NotInstalledFeatureText, m_applicationTitle, MessageButtons::Ok, MessageIcon::None);
        });
        return;
    }
    if (trap.test(108, [&] { return m_results.rowCount() == 0; }))
        return;
    BusyHold busy(*this);
    trap.run(110, [&] { busy.set(); });

    // Released at the end of the handler, also after failures; the shown workbook stays with the user.
    std::unique_ptr<output::SpreadsheetApplication> application;
    output::SpreadsheetWorkbook* workbook = nullptr;
    trap.run(112, [&] { application = m_spreadsheetFactory(); });
    trap.run(114, [&] { workbook = &require(application.get()).workbooksAdd(); });
    const auto sheet = [&]() -> output::SpreadsheetSheet& { return require(workbook).activeSheet(); };

    int columns = 0;
    trap.run(116, [&] { columns = m_results.columnCount(); });
    for (int c = 1; c <= columns; ++c) {
        trap.run(120, [] { core::EventPump::yieldIfDue(); });
        trap.run(c == 1 ? 124 : 128, [&] { sheet().setCell(1, c, m_results.headerText(c - 1)); });
        trap.run(132, [&] { sheet().autofitColumn(c); });
    }

    int sheetRow = 0;
    trap.run(136, [&] { sheetRow = 2; });
    const output::ResultsModelTable table(m_results);
    std::optional<output::RowWalk> walk;
    trap.run(138, [&] { walk.emplace(table); });
    const int rows = walk ? walk->count() : 0;
    for (int i = 0; i < rows; ++i) {
        // The window answers before each row (time-sliced); a row is then written whole, so a row
        // removed meanwhile is skipped and leaves its sheet row empty.
        int row = -1;
        trap.run(140, [&] { row = walk->next(i); });
        if (row >= 0 && trap.test(142, [&] { return table.isChecked(row); })) {
            trap.run(152, [&] { sheet().setCellValue(sheetRow, 1, table.cell(row, 0)); });
            for (int c = 2; c <= columns; ++c)
                trap.run(156, [&] { sheet().setCellValue(sheetRow, c, table.cell(row, c - 1).remove(u'=')); });
        }
        trap.run(162, [&] { ++sheetRow; });
    }

    trap.run(166, [&] { sheet().autofitColumns(); });
    trap.run(168, [&] { require(application.get()).setVisible(true); });
    trap.run(170, [&] { busy.clear(); });
    if (application)
        for (const QString& path : application->savedWorkbooks())
            trap.run(174, [&] {
                m_dialogs.message(savedWorkbookText(path), m_applicationTitle, MessageButtons::Ok, MessageIcon::None);
            });
}

} // namespace shell

// The three output commands of the window over 100,000 realistic result rows, run as the user runs
// them (offscreen window, answered dialogs): the clipboard copy with a clipboard that takes the text
// at once, the text file save, the spreadsheet export through our .xlsx application.
#include "core/EventPump.h"
#include "output/Clipboard.h"
#include "output/XlsxSpreadsheet.h"
#include "shell/MainWindow.h"
#include "support/FakeDialogs.h"
#include "support/WindowOnAppFolder.h"

#include "Bench.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

constexpr int Rows = 100000;

class TakingClipboard : public output::Clipboard
{
public:
    qsizetype length = 0;
    bool clear() override { return true; }
    bool setText(const QString& text, int) override
    {
        length = text.size();
        return true;
    }
};

void fill(core::ResultsModel& results)
{
    const QStringList countries{
        u"Germany"_s,    u"United States of America"_s, u"Japan"_s, u"Brazil"_s, u"Côte d’Ivoire"_s, u"Australia"_s,
        u"Netherlands"_s};
    const QStringList codes{u"DE"_s, u"US"_s, u"JP"_s, u"BR"_s, u"CI"_s, u"AU"_s, u"NL"_s};
    const QStringList continents{u"Europe"_s, u"North America"_s, u"Asia"_s,  u"South America"_s,
                                 u"Africa"_s, u"Oceania"_s,       u"Europe"_s};
    for (int i = 0; i < Rows; ++i) {
        const int row = results.rowCount();
        if (i % 5 == 4) {
            results.appendRow(u"host-%1.example-domain.com"_s.arg(i));
            results.setCell(row, 1, u"Failed"_s);
        } else {
            results.appendRow(u"%1.%2.%3.%4"_s.arg(10 + i % 200).arg(i / 65536 % 256).arg(i / 256 % 256).arg(i % 256));
            const int k = i % countries.size();
            results.setCell(row, 1, u"Completed"_s);
            results.setCell(row, 2, countries[k]);
            results.setCell(row, 3, codes[k]);
            results.setCell(row, 4, continents[k]);
        }
        results.setChecked(row, true);
    }
}

double seconds(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    WindowOnAppFolder tellurion(false);
    shell::MainWindow& window = tellurion.window;
    FakeDialogs& dialogs = tellurion.dialogs;
    QTemporaryDir& work = tellurion.folder;
    fill(window.results());

    // The export first, so that its memory is not hidden behind the peaks of the others.
    // Opened as LibreOffice does, as a new document, so that no workbook is kept in the documents folder.
    window.setSpreadsheetFactory([] {
        return std::make_unique<output::XlsxSpreadsheet>(output::SpreadsheetProgram{u"/bin/true"_s, {}, true});
    });
    const double before = residentMb();
    core::EventPump::resetGapStatistics();
    QElapsedTimer timer;
    timer.start();
    window.PushButton12_Click();
    benchFigure("output_xlsx_100k_rows", seconds(timer), "s");
    benchFigure("output_xlsx_100k_extra_memory", residentMb(true) - before, "MB");
    benchFigure("output_xlsx_longest_gap_between_yields", double(core::EventPump::longestGapMs()), "ms");

    auto clipboard = std::make_unique<TakingClipboard>();
    TakingClipboard& taken = *clipboard;
    window.setClipboard(std::move(clipboard));
    core::EventPump::resetGapStatistics();
    timer.restart();
    window.PushButton18_Click();
    benchFigure("output_results_text_100k_rows", seconds(timer), "s");
    benchFigure("output_results_text_longest_gap_between_yields", double(core::EventPump::longestGapMs()), "ms");

    dialogs.fileResults = {work.filePath(u"results.txt"_s)};
    core::EventPump::resetGapStatistics();
    timer.restart();
    window.PushButton6_Click();
    benchFigure("output_text_file_100k_rows", seconds(timer), "s");
    benchFigure("output_text_file_longest_gap_between_yields", double(core::EventPump::longestGapMs()), "ms");

    const bool ok =
        dialogs.errorReports().isEmpty() && taken.length > 0 && QFileInfo(work.filePath(u"results.txt"_s)).size() > 0;
    if (!ok)
        std::fprintf(stderr, "an output command failed: %d reports\n", int(dialogs.errorReports().size()));
    return ok ? 0 : 1;
}

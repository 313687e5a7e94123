#pragma once

#include "addresses/AddressListModel.h"
#include "core/ResultsModel.h"
#include "lookup/RunStats.h"
#include "output/Clipboard.h"
#include "output/Spreadsheet.h"
#include "shell/Dialogs.h"
#include "shell/ErrorTrap.h"

#include <QCursor>
#include <QPushButton>
#include <QString>
#include <QTableView>
#include <QTreeView>
#include <QWidget>

#include <functional>
#include <memory>

namespace shell {

// Form1: the only working window. It owns both lists, the pointer shape and the lookup-running flag;
// every user action is one handler, run under the error report.
class MainWindow : public QWidget
{
    Q_OBJECT

public:
    enum class Pointer { Arrow, Busy, Hand };

    static constexpr int TwipsPerPixel = 15;
    static constexpr int px(int twips) { return (twips + TwipsPerPixel / 2) / TwipsPerPixel; }

    // appFolder: the folder of the executable, where the country database, the hand cursor and
    // the skin are looked for.
    MainWindow(Dialogs& dialogs, const QString& appFolder, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up. Returns false when the program must end without showing the window.
    bool Form_Load();

    const QString& appFolder() const { return m_appFolder; }
    const QString& applicationTitle() const { return m_applicationTitle; }
    Dialogs& dialogs() { return m_dialogs; }
    addresses::AddressListModel& addressList() { return m_addressList; }
    core::ResultsModel& results() { return m_results; }
    QTableView* addressView() const { return m_listView1; }
    QTreeView* resultsView() const { return m_listView2; }

    // The busy state: the hourglass, held while any long command runs. Commands nest (one runs from the
    // event-loop passes of another), so each holds the state through its own BusyHold, and the hourglass
    // and the guarded edits last until the last of them lets go.
    class BusyHold
    {
    public:
        explicit BusyHold(MainWindow& window) : m_window(window) {}
        // Lets go also when the command unwinds.
        ~BusyHold() { clear(); }
        BusyHold(const BusyHold&) = delete;
        BusyHold& operator=(const BusyHold&) = delete;

        // Sets the busy state for this command; setting it again while held changes nothing.
        void set();
        // This command's hold ends; the arrow returns when no other command holds the state.
        void clear();

    private:
        MainWindow& m_window;
        bool m_held = false;
    };
    bool isBusy() const { return m_busyHolds > 0; }
    Pointer pointer() const { return m_pointer; }
    bool hasHandImage() const { return m_hasHandImage; }

    static QString SetApplicationTitle(const QString& productName);

    // "Help"
    void PushButton1_Click();

    // Address list
    void PushButton2_Click();
    void PushButton5_Click();
    void PushButton3_Click();
    void PushButton11_Click();
    void PushButton9_Click();
    void ListView1_DblClick();
    void ListView1_KeyDown(int key);
    void ListView2_DblClick();
    // Appends the entries of one list file to the address list; "File not found" when it is missing.
    void LoadListFile(const QString& path);

    // Lookup run
    void PushButton4_Click();
    bool lookupRunning() const { return m_lookupRunning; }
    // Where the time of the latest run went (for the benchmarks).
    const lookup::RunStats& lookupStats() const { return m_lookupStats; }

    // Results output
    void PushButton6_Click();
    void PushButton12_Click();
    void PushButton18_Click();
    bool SaveResultsAsExcelFileIsExcelInstalled();
    // The clipboard and the spreadsheet application the outputs use; the real ones unless replaced.
    void setClipboard(std::unique_ptr<output::Clipboard> clipboard);
    void setSpreadsheetFactory(output::SpreadsheetFactory factory);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QPushButton* addButton(const char* name, const QString& caption, int left, int top, int width, int height);
    template <class View>
    View* addList(const char* name, QAbstractItemModel* model, int left, int top, int width, int height);
    void watchHover(QWidget* widget);
    void setPointer(Pointer pointer);
    void ApplySkin();
    // Runs a handler from an event: nothing may unwind into Qt's event dispatch.
    void runHandler(const std::function<void()>& handler);
    // Runs the handler, under runHandler, when the named button is clicked.
    void connectClick(const char* buttonName, void (MainWindow::*handler)());

    void connectAddressHandlers();
    void connectLookupHandlers();
    void connectOutputHandlers();

    Dialogs& m_dialogs;
    QString m_appFolder;
    QString m_applicationTitle;
    addresses::AddressListModel m_addressList;
    core::ResultsModel m_results;

    Pointer m_pointer = Pointer::Arrow;
    int m_busyHolds = 0;
    QCursor m_handCursor;
    bool m_hasHandImage = false;
    bool m_lookupRunning = false;

    QTableView* m_listView1 = nullptr;
    QTreeView* m_listView2 = nullptr;
    QList<QPushButton*> m_buttons;

    // Address list
    void loadListFiles(ErrorTrap& trap, const QStringList& parts);
    void loadDroppedFiles(const QStringList& paths);
    void pasteIntoAddressList();

    // Lookup run
    lookup::RunStats m_lookupStats;

    // Results output
    std::unique_ptr<output::Clipboard> m_clipboard;
    output::SpreadsheetFactory m_spreadsheetFactory;
};

} // namespace shell

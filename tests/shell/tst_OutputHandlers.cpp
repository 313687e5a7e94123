#include "core/EventPump.h"
#include "core/Failure.h"
#include "output/Clipboard.h"
#include "output/Spreadsheet.h"
#include "shell/MainWindow.h"
#include "support/EveryYield.h"
#include "support/FakeDialogs.h"
#include "support/ResultsRows.h"
#include "support/SheetReader.h"
#include "support/StandInProgram.h"

#include <QApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

using namespace Qt::StringLiterals;
using shell::MainWindow;

Q_DECLARE_METATYPE(QList<ResultsRow>)

namespace {

const QString Copied = u"Results have been copied to the clipboard.\r\rClick a text area where you normally type and "
                       u"press Ctrl+V to paste the clipboard."_s;
const QString CopyFailed = u"The results could not be copied to the clipboard.\r\rPlease try again."_s;
const QString NotInstalledTest = u"Excel is not installed on this computer. You need to have it installed to use "
                                 u"this software without error."_s;
const QString NotInstalledFeature =
    u"Excel is not installed on this computer. You need to have it installed to use this feature."_s;
const QByteArray Sep = "==================\r\n";

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

// The line numbers of the error reports shown, in order.
QList<int> reportLines(const FakeDialogs& dialogs)
{
    QList<int> lines;
    static const QRegularExpression at(u"at line (\\d+)\r"_s);
    for (const auto& report : dialogs.errorReports())
        lines << at.match(report.text).captured(1).toInt();
    return lines;
}

// A clipboard whose attempts to place text all fail, as when another program holds it throughout.
class HeldClipboard : public output::Clipboard
{
public:
    int clears = 0;
    int sets = 0;
    QStringList texts;
    bool held = true;
    bool clear() override { return ++clears, true; }
    bool setText(const QString& text, int) override
    {
        ++sets;
        if (!held)
            texts << text;
        return !held;
    }
};

// Records the automation calls in the form the object model names them.
struct CallLog
{
    QStringList calls;
    int creations = 0;
    int failCreationFrom = -1; // the creation with this number (from 1) and later fail
    std::function<void(const QString&)> onCall;

    void add(const QString& call)
    {
        calls << call;
        if (onCall)
            onCall(call);
    }
};

class RecordingSheet : public output::SpreadsheetWorkbook, public output::SpreadsheetSheet
{
public:
    explicit RecordingSheet(CallLog& log) : m_log(log) {}
    output::SpreadsheetSheet& activeSheet() override { return *this; }
    void setCell(int r, int c, const QString& t) override { m_log.add(u"cells(%1, %2) = %3"_s.arg(r).arg(c).arg(t)); }
    void setCellValue(int r, int c, const QString& t) override
    {
        m_log.add(u"cells(%1, %2).Value = %3"_s.arg(r).arg(c).arg(t));
    }
    void autofitColumn(int c) override { m_log.add(u"Columns(%1).Autofit"_s.arg(c)); }
    void autofitColumns() override { m_log.add(u"Columns.Autofit"_s); }

private:
    CallLog& m_log;
};

class RecordingApplication : public output::SpreadsheetApplication
{
public:
    explicit RecordingApplication(CallLog& log) : m_log(log), m_book(log) {}
    output::SpreadsheetWorkbook& workbooksAdd() override
    {
        m_log.add(u"Workbooks.Add"_s);
        return m_book;
    }
    void setVisible(bool visible) override { m_log.add(u"Visible = %1"_s.arg(visible ? u"true"_s : u"false"_s)); }

private:
    CallLog& m_log;
    RecordingSheet m_book;
};

QStringList headerCalls()
{
    QStringList calls;
    const QStringList headers{u"IP Address(es)"_s, u"Status"_s, u"Country"_s, u"Country Code"_s, u"Continent"_s};
    for (int c = 1; c <= 5; ++c)
        calls << u"cells(1, %1) = %2"_s.arg(c).arg(headers[c - 1]) << u"Columns(%1).Autofit"_s.arg(c);
    return calls;
}

QStringList rowCalls(int sheetRow, const QStringList& cells)
{
    QStringList calls;
    for (int c = 1; c <= 5; ++c)
        calls << u"cells(%1, %2).Value = %3"_s.arg(sheetRow).arg(c).arg(cells.value(c - 1));
    return calls;
}

// A tiny file system of our own, for a full disk or a read-only folder. Needs root.
class TinyMount
{
public:
    TinyMount(const QString& path, const QString& options) : m_path(path)
    {
        QDir().mkpath(path);
        m_mounted = QProcess::execute(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, options, u"tmpfs"_s, path}) == 0;
    }
    ~TinyMount()
    {
        if (m_mounted)
            QProcess::execute(u"umount"_s, {m_path});
    }
    bool mounted() const { return m_mounted; }

private:
    QString m_path;
    bool m_mounted = false;
};

} // namespace

class TestOutputHandlers : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeDialogs> m_dialogs;
    std::unique_ptr<QTemporaryDir> m_app;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MainWindow> m_window;
    CallLog m_log;

    MainWindow& window() { return *m_window; }

    void addRows(const QList<ResultsRow>& rows) { addResultsRows(m_window->results(), rows); }

    QString path(const QString& name) const { return m_dir->filePath(name); }

    void useRecordingSpreadsheet()
    {
        m_window->setSpreadsheetFactory([this]() -> std::unique_ptr<output::SpreadsheetApplication> {
            ++m_log.creations;
            m_log.add(u"create"_s);
            if (m_log.failCreationFrom > 0 && m_log.creations >= m_log.failCreationFrom)
                throw core::Failure(u"Cannot create object"_s);
            return std::make_unique<RecordingApplication>(m_log);
        });
    }

    QList<ResultsRow> sampleRows() const
    {
        return {{{u"1.2.3.4"_s, u"Completed"_s, u"Germany"_s, u"DE"_s, u"Europe"_s}, true},
                {{u"example.com"_s, u"Failed"_s}, false},
                {{u"a=b.example"_s, u"Com=pleted"_s, u"=="_s, u"U=S"_s, u"North America="_s}, true}};
    }

private slots:
    void init()
    {
        core::EventPump::clearQuitRequest();
        m_dialogs = std::make_unique<FakeDialogs>();
        m_app = std::make_unique<QTemporaryDir>();
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QFile::copy(QStringLiteral(TELLURION_APP_DIR) + u"/dbCountries.mdb"_s,
                            m_app->filePath(u"dbCountries.mdb"_s)));
        m_window = std::make_unique<MainWindow>(*m_dialogs, m_app->path());
        QVERIFY(m_window->Form_Load());
        m_log = CallLog();
    }

    void cleanup()
    {
        m_window.reset();
        m_dialogs.reset();
        core::EventPump::clearQuitRequest();
    }

    // --- Copy Results To Clipboard ---

    void testCopyTellsWhetherTheTextWasPlaced_data()
    {
        QTest::addColumn<QList<ResultsRow>>("rows");
        QTest::addColumn<bool>("held");
        QTest::addColumn<int>("sets");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty table: clipboard untouched, message all the same")
            << QList<ResultsRow>{} << true << 0 << Copied;
        QTest::newRow("held throughout: the failure is said")
            << sampleRows() << true << output::MaxClipboardAttempts << CopyFailed;
        QTest::newRow("placed") << sampleRows() << false << 1 << Copied;
    }

    void testCopyTellsWhetherTheTextWasPlaced()
    {
        QFETCH(QList<ResultsRow>, rows);
        QFETCH(bool, held);
        QFETCH(int, sets);
        QFETCH(QString, message);
        auto clipboard = std::make_unique<HeldClipboard>();
        HeldClipboard& seam = *clipboard;
        seam.held = held;
        window().setClipboard(std::move(clipboard));
        addRows(rows);
        QTest::mouseClick(window().findChild<QPushButton*>(u"PushButton18"_s), Qt::LeftButton);
        QCOMPARE(seam.sets, sets);
        QCOMPARE(m_dialogs->shown.size(), 1);
        QCOMPARE(m_dialogs->shown[0].text, message);
        QCOMPARE(m_dialogs->shown[0].title, u"Tellurion"_s);
        QCOMPARE(m_dialogs->shown[0].icon, shell::MessageIcon::None);
        QVERIFY(!window().isBusy());
        if (!held)
            QCOMPARE(seam.texts, (QStringList{u"1.2.3.4    \tCompleted \tGermany\tDE \tEurope\r\n"
                                              u"a=b.example\tCom=pleted\t==     \tU=S\tNorth America=\r\n"_s}));
    }

    void testCopyLeavesOutRowsRemovedMeanwhile()
    {
        auto clipboard = std::make_unique<HeldClipboard>();
        HeldClipboard& seam = *clipboard;
        seam.held = false;
        window().setClipboard(std::move(clipboard));
        addRows(sampleRows());
        EveryYield during([&](int pass) {
            if (pass == 0)
                window().results().removeRowAt(2);
        });
        window().PushButton18_Click();
        QCOMPARE(seam.texts, (QStringList{u"1.2.3.4    \tCompleted\tGermany\tDE\tEurope\r\n"_s}));
        QCOMPARE(m_dialogs->messages(), QStringList{Copied});
    }

    // --- Save Result As Text File ---

    void testSaveWritesEveryRowInBlocksOfSix()
    {
        addRows(sampleRows());
        m_dialogs->fileResults = {path(u"results.txt"_s)};
        QTest::mouseClick(window().findChild<QPushButton*>(u"PushButton6"_s), Qt::LeftButton);
        QCOMPARE(m_dialogs->shown.size(), 1);
        const auto& dialog = m_dialogs->shown[0];
        QCOMPARE(dialog.kind, u"save"_s);
        QCOMPARE(dialog.settings.title, u"Save"_s);
        QCOMPARE(dialog.settings.flags, quint32(0x280201));
        QCOMPARE(dialog.settings.filter, u"Text Files (*.txt)|*.txt|All Files (*.*)|*.*|"_s);
        QCOMPARE(dialog.settings.fileName, QString());
        QCOMPARE(readAll(path(u"results.txt"_s)),
                 "1.2.3.4\r\nCompleted\r\nGermany\r\nDE\r\nEurope\r\n" + Sep + "example.com\r\nFailed\r\n\r\n\r\n\r\n" +
                     Sep + "a=b.example\r\nCom=pleted\r\n==\r\nU=S\r\nNorth America=\r\n" + Sep);
        QCOMPARE(entries(m_dir->path()), QStringList{u"results.txt"_s});
        QVERIFY(!window().isBusy());
    }

    void testSaveAsksBeforeOverwriting_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("Yes replaces the whole file") << true;
        QTest::newRow("No leaves it as it was") << false;
    }

    void testSaveAsksBeforeOverwriting()
    {
        QFETCH(bool, yes);
        const QString name = path(u"old.txt"_s);
        writeFile(name, QByteArray(5000, 'o'));
        addRows({{{u"1.2.3.4"_s}, false}});
        m_dialogs->fileResults = {name};
        m_dialogs->answers = {yes ? shell::MessageAnswer::Yes : shell::MessageAnswer::No};
        window().PushButton6_Click();
        QCOMPARE(m_dialogs->shown.size(), 2);
        QCOMPARE(m_dialogs->shown[1].text, u"Are you sure you wish to overwrite "_s + name + u" ?"_s);
        QCOMPARE(m_dialogs->shown[1].buttons, shell::MessageButtons::YesNo);
        QCOMPARE(m_dialogs->shown[1].icon, shell::MessageIcon::None);
        QCOMPARE(m_dialogs->shown[1].title, u"Tellurion"_s);
        QCOMPARE(readAll(name), yes ? "1.2.3.4\r\n\r\n\r\n\r\n\r\n" + Sep : QByteArray(5000, 'o'));
        QCOMPARE(entries(m_dir->path()), QStringList{u"old.txt"_s});
    }

    void testSaveCancelledWritesAndAsksNothing()
    {
        addRows(sampleRows());
        window().PushButton6_Click();
        QCOMPARE(m_dialogs->shown.size(), 1);
        QVERIFY(entries(m_dir->path()).isEmpty());
        QVERIFY(!window().isBusy());
    }

    void testSaveOfAnEmptyTableGivesZeroBytes()
    {
        const QString name = path(u"empty.txt"_s);
        writeFile(name, "something");
        m_dialogs->fileResults = {name};
        window().PushButton6_Click();
        QCOMPARE(QFileInfo(name).size(), 0);
        QVERIFY(m_dialogs->errorReports().isEmpty());
    }

    void testSaveUsesTheNameExactlyAsGiven()
    {
        addRows({{{u"x"_s}, false}});
        m_dialogs->fileResults = {path(u"no extension"_s)};
        window().PushButton6_Click();
        QCOMPARE(entries(m_dir->path()), QStringList{u"no extension"_s});
    }

    void testSaveWhereNoFileCanBeMadeGivesOneReport_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("exists");
        QTest::newRow("a folder") << u"folder"_s << true;
        QTest::newRow("under a file") << u"plain/results.txt"_s << false;
        QTest::newRow("read-only folder") << u"readonly/results.txt"_s << false;
    }

    void testSaveWhereNoFileCanBeMadeGivesOneReport()
    {
        QFETCH(QString, target);
        QFETCH(bool, exists);
        QDir(m_dir->path()).mkdir(u"folder"_s);
        writeFile(path(u"plain"_s), "plain");
        std::unique_ptr<TinyMount> readOnly;
        if (target.startsWith(u"readonly"_s)) {
            readOnly = std::make_unique<TinyMount>(path(u"readonly"_s), u"ro,size=64k"_s);
            if (!readOnly->mounted())
                QSKIP("mounting a read-only file system needs root");
        }
        addRows(QList<ResultsRow>(500, {{u"1.2.3.4"_s, u"Completed"_s}, false}));
        m_dialogs->fileResults = {path(target)};
        window().PushButton6_Click();
        QCOMPARE(reportLines(*m_dialogs), QList<int>{130});
        QCOMPARE(m_dialogs->shown.size(), exists ? 3 : 2); // dialog, [question,] report
        QVERIFY(QFileInfo(path(u"folder"_s)).isDir());
        QCOMPARE(readAll(path(u"plain"_s)), QByteArray("plain"));
        if (readOnly)
            QVERIFY(entries(path(u"readonly"_s)).isEmpty());
        QVERIFY(!window().isBusy());
    }

    void testSaveIntoAFullDiskLeavesTheOldFile()
    {
        TinyMount disk(path(u"disk"_s), u"size=64k"_s);
        if (!disk.mounted())
            QSKIP("mounting a small file system needs root");
        const QString name = path(u"disk/results.txt"_s);
        const QByteArray old = QByteArray("old results\r\n").repeated(1000);
        writeFile(name, old);
        addRows(QList<ResultsRow>(3000,
                                  {{u"192.168.100.200"_s, u"Completed"_s, u"Germany"_s, u"DE"_s, u"Europe"_s}, false}));
        m_dialogs->fileResults = {name};
        window().PushButton6_Click();
        const QList<int> lines = reportLines(*m_dialogs);
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines[0] == 136 || lines[0] == 140);
        QVERIFY2(m_dialogs->errorReports()[0].text.contains(u"left unchanged"_s),
                 qPrintable(m_dialogs->errorReports()[0].text));
        QCOMPARE(readAll(name), old);
        QCOMPARE(entries(path(u"disk"_s)), QStringList{u"results.txt"_s});
        QVERIFY(!window().isBusy());
    }

    void testSaveAbandonedByClosingLeavesTheOldFileAndNoTemporary()
    {
        const QString name = path(u"old.txt"_s);
        writeFile(name, "old");
        addRows(sampleRows());
        m_dialogs->fileResults = {name};
        m_dialogs->onShow = [](const FakeDialogs::Shown& shown) {
            if (shown.buttons == shell::MessageButtons::YesNo)
                core::EventPump::requestQuit();
        };
        QVERIFY_THROWS_EXCEPTION(core::Abandoned, window().PushButton6_Click());
        QCOMPARE(readAll(name), QByteArray("old"));
        QCOMPARE(entries(m_dir->path()), QStringList{u"old.txt"_s});
    }

    void testSaveSkipsRowsRemovedMeanwhile_data()
    {
        QTest::addColumn<bool>("clearAll");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("row removed") << false
                                     << "1.2.3.4\r\nCompleted\r\nGermany\r\nDE\r\nEurope\r\n" + Sep +
                                            "a=b.example\r\nCom=pleted\r\n==\r\nU=S\r\nNorth America=\r\n" + Sep;
        QTest::newRow("table cleared") << true << QByteArray();
    }

    void testSaveSkipsRowsRemovedMeanwhile()
    {
        QFETCH(bool, clearAll);
        QFETCH(QByteArray, expected);
        addRows(sampleRows());
        m_dialogs->fileResults = {path(u"r.txt"_s)};
        EveryYield during([&](int pass) {
            if (pass == 0)
                clearAll ? window().results().clear() : window().results().removeRowAt(1);
        });
        window().PushButton6_Click();
        QVERIFY(during.passes() > 0);
        QCOMPARE(readAll(path(u"r.txt"_s)), expected);
        QVERIFY(m_dialogs->errorReports().isEmpty());
    }

    void testSaveReportsCharactersTheEncodingCannotHold()
    {
        addRows({{{u"a"_s + QChar(0xDC00), u"Completed"_s}, false}});
        m_dialogs->fileResults = {path(u"r.txt"_s)};
        window().PushButton6_Click();
        QCOMPARE(reportLines(*m_dialogs), QList<int>{140});
        QCOMPARE(readAll(path(u"r.txt"_s)), "a\xef\xbf\xbd\r\nCompleted\r\n\r\n\r\n\r\n" + Sep);
    }

    // --- Save Results As Excel File ---

    void testExportCallsInOrderForRowsOneAndThreeTicked()
    {
        useRecordingSpreadsheet();
        addRows(sampleRows());
        QTest::mouseClick(window().findChild<QPushButton*>(u"PushButton12"_s), Qt::LeftButton);
        const QStringList expected =
            QStringList{u"create"_s, u"create"_s, u"Workbooks.Add"_s} + headerCalls() +
            rowCalls(2, sampleRows()[0].cells) +
            rowCalls(4, {u"a=b.example"_s, u"Completed"_s, QString(), u"US"_s, u"North America"_s}) +
            QStringList{u"Columns.Autofit"_s, u"Visible = true"_s};
        QCOMPARE(m_log.calls, expected);
        QVERIFY(m_dialogs->shown.isEmpty());
        QVERIFY(!window().isBusy());
    }

    void testExportWithNoRowTickedShowsTheHeaderOnly()
    {
        useRecordingSpreadsheet();
        addRows({{{u"1.2.3.4"_s}, false}});
        window().PushButton12_Click();
        QCOMPARE(m_log.calls, (QStringList{u"create"_s, u"create"_s, u"Workbooks.Add"_s} + headerCalls() +
                               QStringList{u"Columns.Autofit"_s, u"Visible = true"_s}));
    }

    void testExportOfAnEmptyTableOnlyTests()
    {
        useRecordingSpreadsheet();
        window().PushButton12_Click();
        QCOMPARE(m_log.calls, QStringList{u"create"_s});
        QVERIFY(m_dialogs->shown.isEmpty());
    }

    void testExportWithoutASpreadsheetProgramGivesBothMessages()
    {
        useRecordingSpreadsheet();
        m_log.failCreationFrom = 1;
        addRows(sampleRows());
        window().PushButton12_Click();
        QCOMPARE(m_dialogs->messages(), (QStringList{NotInstalledTest, NotInstalledFeature}));
        for (const auto& shown : m_dialogs->shown) {
            QCOMPARE(shown.title, u"Tellurion"_s);
            QCOMPARE(shown.icon, shell::MessageIcon::None);
        }
        QCOMPARE(m_log.calls, QStringList{u"create"_s});
        QVERIFY(!window().isBusy());
    }

    void testExportWhoseApplicationVanishedAfterTheTestReportsEveryStep()
    {
        useRecordingSpreadsheet();
        m_log.failCreationFrom = 2;
        addRows({{{u"1.2.3.4"_s}, true}, {{u"5.6.7.8"_s}, false}});
        window().PushButton12_Click();
        QCOMPARE(reportLines(*m_dialogs), (QList<int>{112, 114, 124, 132, 128, 132, 128, 132, 128, 132, 128, 132, 152,
                                                      156, 156, 156, 156, 166, 168}));
        QVERIFY(!window().isBusy());
    }

    void testExportSkipsRowsRemovedMeanwhile_data()
    {
        QTest::addColumn<bool>("clearAll");
        QTest::addColumn<QStringList>("rowCalls");
        // The removal happens at the yield before result row 2, after row 1 was written.
        QTest::newRow("row 3 removed: its sheet row stays empty")
            << false << rowCalls(2, {u"r1"_s}) + rowCalls(3, {u"r2"_s}) + rowCalls(5, {u"r4"_s});
        QTest::newRow("table cleared") << true << rowCalls(2, {u"r1"_s});
    }

    void testExportSkipsRowsRemovedMeanwhile()
    {
        QFETCH(bool, clearAll);
        QFETCH(QStringList, rowCalls);
        useRecordingSpreadsheet();
        addRows({{{u"r1"_s}, true}, {{u"r2"_s}, true}, {{u"r3"_s}, true}, {{u"r4"_s}, true}});
        bool armed = false;
        // Writing the last cell of row 1 takes a whole time slice, so the window answers right after.
        // cppcheck-suppress danglingLifetime ; nothing calls the log after this test, and init() replaces it
        m_log.onCall = [&](const QString& call) {
            if (call.startsWith(u"cells(2, 5)"_s)) {
                armed = true;
                QThread::msleep(core::EventPump::SliceMs + 2);
            }
        };
        EveryYield during([&](int) {
            if (armed) {
                armed = false;
                clearAll ? window().results().clear() : window().results().removeRowAt(2);
            }
        });
        window().PushButton12_Click();
        QCOMPARE(m_log.calls, (QStringList{u"create"_s, u"create"_s, u"Workbooks.Add"_s} + headerCalls() + rowCalls +
                               QStringList{u"Columns.Autofit"_s, u"Visible = true"_s}));
        QVERIFY(m_dialogs->errorReports().isEmpty());
    }

    void testExportOpensARealWorkbookInTheSpreadsheetProgram_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("LibreOffice: a new, unsaved document") << u"soffice"_s << QStringList{u"--calc"_s, u"-n"_s};
        QTest::newRow("Gnumeric: a file of the user's, and where it is") << u"gnumeric"_s << QStringList{};
    }

    void testExportOpensARealWorkbookInTheSpreadsheetProgram()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QTemporaryDir bin;
        QTemporaryDir home;
        QVERIFY(writeStandInProgram(bin.path(), program));
        const QByteArray oldPath = qgetenv("PATH");
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("PATH", QFile::encodeName(bin.path()));
        qputenv("HOME", QFile::encodeName(home.path()));
        addRows(sampleRows());
        window().PushButton12_Click();
        QStringList got = standInArguments(bin.path());
        qputenv("PATH", oldPath);
        qputenv("HOME", oldHome);
        const QString file = got.value(arguments.size());
        QCOMPARE(got.mid(0, arguments.size()), arguments);
        QVERIFY(file.endsWith(u".xlsx"_s));
        if (arguments.isEmpty()) {
            QCOMPARE(QFileInfo(file).path(), home.filePath(u"Documents/Tellurion exports"_s));
            QCOMPARE(m_dialogs->messages(),
                     QStringList{u"Results have been saved in this workbook:\r"_s + file +
                                 u"\r\rIt stays there after Tellurion ends; changes you save in the spreadsheet "
                                 u"program are kept in it."_s});
            QCOMPARE(m_dialogs->shown[0].title, u"Tellurion"_s);
        } else {
            QVERIFY(m_dialogs->shown.isEmpty());
        }

        QString error;
        const QList<QStringList> rows = readSheet(bin.filePath(u"opened.xlsx"_s), &error);
        QVERIFY2(!rows.isEmpty(), qPrintable(error));
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[0],
                 (QStringList{u"IP Address(es)"_s, u"Status"_s, u"Country"_s, u"Country Code"_s, u"Continent"_s}));
        QCOMPARE(rows[1], sampleRows()[0].cells);
        QCOMPARE(rows[2], QStringList(5));
        QCOMPARE(rows[3], (QStringList{u"a=b.example"_s, u"Completed"_s, QString(), u"US"_s, u"North America"_s}));
    }
};

QTEST_MAIN(TestOutputHandlers)
#include "tst_OutputHandlers.moc"

// The busy state across long commands that run inside one another: a command started from another's
// event-loop pass ends first, and the hourglass and the guarded edits must still hold for the one
// that goes on.
#include "output/Clipboard.h"
#include "output/Spreadsheet.h"
#include "support/EveryYield.h"
#include "support/FakeWhoisServer.h"
#include "support/ResultsRows.h"
#include "support/WindowOnAppFolder.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using shell::MainWindow;

namespace {

class AcceptingClipboard : public output::Clipboard
{
public:
    bool clear() override { return true; }
    bool setText(const QString&, int) override { return true; }
};

class IgnoringSheet : public output::SpreadsheetWorkbook, public output::SpreadsheetSheet
{
public:
    output::SpreadsheetSheet& activeSheet() override { return *this; }
    void setCell(int, int, const QString&) override {}
    void setCellValue(int, int, const QString&) override {}
    void autofitColumn(int) override {}
    void autofitColumns() override {}
};

class IgnoringApplication : public output::SpreadsheetApplication
{
public:
    output::SpreadsheetWorkbook& workbooksAdd() override { return m_book; }
    void setVisible(bool) override {}

private:
    IgnoringSheet m_book;
};

} // namespace

class TestBusyState : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeWhoisServer> m_server;
    std::unique_ptr<WindowOnAppFolder> m_app;
    QTemporaryDir m_files;

    MainWindow& window() { return m_app->window; }

    // Starts a command as its button would; the dialogs it shows are answered from the queues.
    void start(const QString& command)
    {
        FakeDialogs& dialogs = m_app->dialogs;
        const char* button = nullptr;
        if (command == u"lookup run") {
            button = "PushButton4";
        } else if (command == u"list load") {
            dialogs.fileResults.push_back(m_files.filePath(u"list.txt"_s));
            button = "PushButton3";
        } else if (command == u"copy") {
            button = "PushButton18";
        } else if (command == u"text save") {
            dialogs.fileResults.push_back(m_files.filePath(u"saved-%1.txt"_s.arg(dialogs.shown.size())));
            button = "PushButton6";
        } else if (command == u"export") {
            button = "PushButton12";
        }
        QVERIFY2(button, qPrintable(command));
        window().findChild<QPushButton*>(QLatin1StringView(button))->click();
    }

    // Tries the edits that the busy state refuses; true when none of them acted.
    bool guardedEditsRefused()
    {
        MainWindow& w = window();
        const int entries = w.addressList().count();
        const int rows = w.results().rowCount();
        w.addressView()->setCurrentIndex(w.addressList().index(0, 0));
        w.ListView1_KeyDown(Qt::Key_Delete);
        w.resultsView()->setCurrentIndex(w.results().index(0, 0));
        w.ListView2_DblClick();
        w.findChild<QPushButton*>(u"PushButton11"_s)->click();
        return w.addressList().count() == entries && w.results().rowCount() == rows;
    }

private slots:
    void initTestCase()
    {
        m_server = std::make_unique<FakeWhoisServer>();
        // A page wait long enough that the run's first pass comes while it waits.
        FakeWhoisServer::Response page = FakeWhoisServer::page(FakeWhoisServer::firstSitePage(u"country: DE"_s));
        page.delayMs = 50;
        m_server->setHostDefault(u"www.whois.com"_s, page);
        m_server->becomeProxy();
        QFile list(m_files.filePath(u"list.txt"_s));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write("198.51.100.1\r\n198.51.100.2\r\n");
    }

    void init()
    {
        core::EventPump::clearQuitRequest();
        m_app = std::make_unique<WindowOnAppFolder>();
        QVERIFY(m_app->started);
        window().setClipboard(std::make_unique<AcceptingClipboard>());
        window().setSpreadsheetFactory([] { return std::make_unique<IgnoringApplication>(); });
        window().addressList().append(u"192.0.2.7"_s);
        addResultsRows(window().results(),
                       {{{u"192.0.2.8"_s, u"Completed"_s}, true}, {{u"192.0.2.9"_s, u"Failed"_s}, true}});
    }

    void cleanup() { m_app.reset(); }

    void testHeldUntilTheLastCommandEnds_data()
    {
        QTest::addColumn<QString>("outer");
        QTest::addColumn<QString>("inner");
        QTest::newRow("lookup run inside a list load") << u"list load"_s << u"lookup run"_s;
        QTest::newRow("copy inside a list load") << u"list load"_s << u"copy"_s;
        QTest::newRow("text save inside a list load") << u"list load"_s << u"text save"_s;
        QTest::newRow("export inside a list load") << u"list load"_s << u"export"_s;
        QTest::newRow("list load inside a lookup run") << u"lookup run"_s << u"list load"_s;
        QTest::newRow("list load inside a copy") << u"copy"_s << u"list load"_s;
        QTest::newRow("list load inside a text save") << u"text save"_s << u"list load"_s;
        QTest::newRow("list load inside an export") << u"export"_s << u"list load"_s;
    }

    void testHeldUntilTheLastCommandEnds()
    {
        QFETCH(QString, outer);
        QFETCH(QString, inner);
        bool innerRan = false;
        bool busyAfterInner = false;
        Qt::CursorShape shapeAfterInner = Qt::ArrowCursor;
        bool refusedAfterInner = false;
        EveryYield during([&](int pass) {
            if (pass != 0)
                return;
            start(inner);
            innerRan = true;
            busyAfterInner = window().isBusy();
            shapeAfterInner = window().cursor().shape();
            refusedAfterInner = guardedEditsRefused();
        });
        start(outer);
        QVERIFY2(innerRan, "the outer command never gave the event loop a pass");
        QVERIFY(busyAfterInner);
        QCOMPARE(shapeAfterInner, Qt::WaitCursor);
        QVERIFY(refusedAfterInner);
        QVERIFY(m_app->dialogs.errorReports().isEmpty());

        // Once both have ended, the arrow is back and the edits act again.
        QVERIFY(!window().isBusy());
        QCOMPARE(window().cursor().shape(), Qt::ArrowCursor);
        QVERIFY(!guardedEditsRefused());
    }
};

QTEST_MAIN(TestBusyState)
#include "tst_BusyState.moc"

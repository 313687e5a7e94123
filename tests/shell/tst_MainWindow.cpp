#include "support/FakeDialogs.h"
#include "core/EventPump.h"
#include "shell/CursorFile.h"
#include "shell/MainWindow.h"

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QMouseEvent>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using shell::MainWindow;

namespace {

const QString BuiltApp = QStringLiteral(TELLURION_APP_DIR);

// A private app folder for one test, filled with the files the test asks for.
struct AppFolder
{
    QTemporaryDir dir;

    explicit AppFolder(bool withDatabase = true)
    {
        if (withDatabase)
            QFile::copy(BuiltApp + u"/dbCountries.mdb"_s, path() + u"/dbCountries.mdb"_s);
    }
    QString path() const { return dir.path(); }
    void write(const QString& name, const QByteArray& bytes) const
    {
        QDir(path()).mkpath(QFileInfo(path() + u'/' + name).path());
        QFile f(path() + u'/' + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    void copyFromBuild(const QString& name) const
    {
        QDir(path()).mkpath(QFileInfo(path() + u'/' + name).path());
        QVERIFY(QFile::copy(BuiltApp + u'/' + name, path() + u'/' + name));
    }
};

void moveOver(QWidget* widget)
{
    widget->window()->show();
    QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

    FakeDialogs* m_dialogs = nullptr;
    std::unique_ptr<AppFolder> m_folder;
    std::unique_ptr<MainWindow> m_window;

    MainWindow& open(bool load = true)
    {
        m_window = std::make_unique<MainWindow>(*m_dialogs, m_folder->path());
        if (load)
            m_window->Form_Load();
        return *m_window;
    }

    QPushButton* button(const char* name) { return m_window->findChild<QPushButton*>(QLatin1StringView(name)); }

private slots:
    void init()
    {
        m_dialogs = new FakeDialogs;
        m_folder = std::make_unique<AppFolder>();
    }

    void cleanup()
    {
        m_window.reset();
        m_folder.reset();
        delete m_dialogs;
        m_dialogs = nullptr;
    }

    void testControlsStandWhereTheLayoutPutsThem_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips");
        QTest::newRow("PushButton1") << u"PushButton1"_s << u"Help"_s << QRect(120, 120, 7800, 405);
        QTest::newRow("ListView1") << u"ListView1"_s << QString() << QRect(120, 630, 7800, 2535);
        QTest::newRow("PushButton5") << u"PushButton5"_s << u"Add IP Address"_s << QRect(120, 3270, 3840, 405);
        QTest::newRow("PushButton3") << u"PushButton3"_s << u"Load List from Text File"_s
                                     << QRect(4080, 3270, 3840, 405);
        QTest::newRow("PushButton11") << u"PushButton11"_s << u"Clear List"_s << QRect(120, 3780, 3840, 405);
        QTest::newRow("PushButton2") << u"PushButton2"_s << u"Load Sample/Example IPs"_s
                                     << QRect(4080, 3780, 3840, 405);
        QTest::newRow("PushButton4") << u"PushButton4"_s << u"Start Looking Up"_s << QRect(120, 4290, 7800, 405);
        QTest::newRow("ListView2") << u"ListView2"_s << QString() << QRect(120, 4800, 7800, 2535);
        QTest::newRow("PushButton6") << u"PushButton6"_s << u"Save Result As Text File"_s
                                     << QRect(120, 7430, 3840, 405);
        QTest::newRow("PushButton12") << u"PushButton12"_s << u"Save Results As Excel File"_s
                                      << QRect(4080, 7430, 3840, 405);
        QTest::newRow("PushButton18") << u"PushButton18"_s << u"Copy Results To Clipboard"_s
                                      << QRect(120, 7940, 3840, 405);
        QTest::newRow("PushButton9") << u"PushButton9"_s << u"Clear List"_s << QRect(4080, 7940, 3840, 405);
    }

    void testControlsStandWhereTheLayoutPutsThem()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QRect, twips);
        MainWindow& w = open();
        auto* widget = w.findChild<QWidget*>(name);
        QVERIFY(widget);
        const QRect expected(MainWindow::px(twips.x()), MainWindow::px(twips.y()), MainWindow::px(twips.width()),
                             MainWindow::px(twips.height()));
        QCOMPARE(widget->geometry(), expected);
        if (auto* b = qobject_cast<QPushButton*>(widget)) {
            QCOMPARE(b->text(), caption);
            QCOMPARE(b->font().family(), u"Arial"_s);
            QCOMPARE(b->font().pointSizeF(), 11.25);
            QVERIFY(b->font().bold());
        } else {
            QCOMPARE(widget->toolTip(), u"Double-click item to remove it. Move | line to right and out of window "
                                        u"to reveal full names."_s);
        }
    }

    void testWindowIsFixedWhiteAndTitled()
    {
        MainWindow& w = open();
        QCOMPARE(w.size(), QSize(536, 564));
        QCOMPARE(w.minimumSize(), w.maximumSize());
        QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(w.palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(w.windowTitle(), u"Tellurion Software"_s);
        QCOMPARE(w.applicationTitle(), u"Tellurion"_s);
        QVERIFY(!w.windowIcon().isNull());
        QCOMPARE(w.font().family(), u"Arial"_s);
        QVERIFY(w.font().bold());
    }

    void testTabOrderFollowsTheTabIndexes()
    {
        MainWindow& w = open();
        const QStringList expected{u"ListView1"_s,   u"ListView2"_s,   u"PushButton5"_s,  u"PushButton3"_s,
                                   u"PushButton11"_s, u"PushButton4"_s,  u"PushButton6"_s,  u"PushButton9"_s,
                                   u"PushButton1"_s,  u"PushButton2"_s,  u"PushButton12"_s, u"PushButton18"_s};
        QStringList order;
        QWidget* at = w.findChild<QWidget*>(u"ListView1"_s);
        for (int i = 0; i < 200 && order.size() < expected.size(); ++i, at = at->nextInFocusChain())
            if (expected.contains(at->objectName()) && !order.contains(at->objectName()))
                order.append(at->objectName());
        QCOMPARE(order, expected);
    }

    void testColumnsAreCreatedAtStartUp()
    {
        MainWindow& w = open(false);
        QCOMPARE(w.addressList().columnCount(), 0);
        QCOMPARE(w.results().columnCount(), 0);
        w.Form_Load();
        QCOMPARE(w.addressList().headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), u"IP Address(es)"_s);
        QCOMPARE(w.addressView()->columnWidth(0), MainWindow::px(7000));
        const QStringList headers{u"IP Address(es)"_s, u"Status"_s, u"Country"_s, u"Country Code"_s, u"Continent"_s};
        QCOMPARE(w.results().columnCount(), 5);
        for (int c = 0; c < 5; ++c) {
            QCOMPARE(w.results().headerText(c), headers[c]);
            QCOMPARE(w.resultsView()->columnWidth(c), 100);
        }
        QVERIFY(m_dialogs->shown.isEmpty());
    }

    void testMissingDatabaseEndsStartUpWithOneMessage()
    {
        m_folder = std::make_unique<AppFolder>(false);
        MainWindow& w = open(false);
        QVERIFY(!w.Form_Load());
        QCOMPARE(m_dialogs->shown.size(), 1);
        QCOMPARE(m_dialogs->shown[0].text, m_folder->path() + u"/dbCountries.mdb not found."_s);
        QCOMPARE(m_dialogs->shown[0].title, u"Tellurion Software"_s);
        QCOMPARE(m_dialogs->shown[0].icon, shell::MessageIcon::None);
        QCOMPARE(w.results().columnCount(), 0);
    }

    void testFolderNamedLikeTheDatabaseDoesNotCount()
    {
        m_folder = std::make_unique<AppFolder>(false);
        QDir(m_folder->path()).mkdir(u"dbCountries.mdb"_s);
        QVERIFY(!open(false).Form_Load());
        QCOMPARE(m_dialogs->messages().size(), 1);
    }

    void testFailedDatabaseSearchIsReportedAt100ThenEnds()
    {
        m_window = std::make_unique<MainWindow>(*m_dialogs, QString());
        QVERIFY(!m_window->Form_Load());
        QCOMPARE(m_dialogs->shown.size(), 2);
        QVERIFY(m_dialogs->shown[0].text.contains(u"Form1.Form_Load at line 100\r\r"_s));
        QVERIFY(m_dialogs->shown[1].text.endsWith(u"dbCountries.mdb not found."_s));
    }

    void testDatabaseThatIsNotADatabaseStillStarts()
    {
        m_folder = std::make_unique<AppFolder>(false);
        m_folder->write(u"dbCountries.mdb"_s, QByteArray(4096, 'z'));
        QVERIFY(open(false).Form_Load());
        QVERIFY(m_dialogs->shown.isEmpty());
    }

    void testSkin_data()
    {
        QTest::addColumn<QByteArray>("skin");
        QTest::addColumn<bool>("present");
        QTest::addColumn<bool>("rejected");
        QTest::newRow("absent") << QByteArray() << false << false;
        QTest::newRow("style sheet") << QByteArray("QPushButton { color: #123456; }") << true << false;
        QTest::newRow("empty") << QByteArray() << true << true;
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe\x01\x02", 5) << true << true;
    }

    void testSkin()
    {
        QFETCH(QByteArray, skin);
        QFETCH(bool, present);
        QFETCH(bool, rejected);
        if (present)
            m_folder->write(u"x/o.cjs"_s, skin);
        MainWindow& w = open(false);
        QVERIFY(w.Form_Load());
        const auto reports = m_dialogs->errorReports();
        QCOMPARE(reports.size(), rejected ? 1 : 0);
        if (rejected)
            QVERIFY(reports[0].text.contains(u"Form1.Form_Load at line 106\r\r"_s));
        const QColor background = w.palette().color(QPalette::Window);
        QCOMPARE(background == QColor(Qt::white), !present);
        // Start-up goes on after a rejected skin.
        QCOMPARE(w.results().columnCount(), 5);
        QCOMPARE(w.applicationTitle(), u"Tellurion"_s);
        if (present && !rejected)
            QCOMPARE(qApp->styleSheet(), QString::fromUtf8(skin));
        qApp->setStyleSheet(QString());
    }

    void testShippedSkinLoads()
    {
        m_folder->copyFromBuild(u"x/o.cjs"_s);
        QVERIFY(open(false).Form_Load());
        QVERIFY(m_dialogs->shown.isEmpty());
        QVERIFY(qApp->styleSheet().contains(u"QPushButton"_s));
        qApp->setStyleSheet(QString());
    }

    void testHandCursor_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("present");
        QTest::addColumn<bool>("reported");
        QByteArray random(3000, '\0');
        QRandomGenerator gen(42);
        for (char& c : random)
            c = char(gen.bounded(256));
        QTest::newRow("absent") << QByteArray() << false << false;
        QTest::newRow("random bytes") << random << true << true;
        QTest::newRow("empty") << QByteArray() << true << true;
        QTest::newRow("cursor header, broken image")
            << QByteArray::fromHex("000002000100202000000b0000002c0000001600000000") << true << true;
    }

    void testHandCursor()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, present);
        QFETCH(bool, reported);
        if (present)
            m_folder->write(u"HAND-M.CUR"_s, file);
        MainWindow& w = open(false);
        QVERIFY(w.Form_Load());
        const auto reports = m_dialogs->errorReports();
        QCOMPARE(reports.size(), reported ? 1 : 0);
        if (reported)
            QVERIFY(reports[0].text.contains(u"Form1.Form_Load at line 112\r\r"_s));
        QVERIFY(!w.hasHandImage());
        // Without an image the hand shows as the arrow.
        moveOver(button("PushButton1"));
        QCOMPARE(w.pointer(), MainWindow::Pointer::Hand);
        QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(w.results().columnCount(), 5);
    }

    void testShippedCursorIsAHandWithItsHotSpotInside()
    {
        const auto cursor = shell::CursorFile::load(BuiltApp + u"/HAND-M.CUR"_s);
        QCOMPARE(cursor.image.size(), QSize(32, 32));
        QVERIFY(cursor.image.rect().contains(cursor.hotSpot));
        // The hot spot is the fingertip: an opaque pixel at the top of the drawing.
        QVERIFY(qAlpha(cursor.image.pixel(cursor.hotSpot)) > 0);
        for (int y = 0; y < cursor.hotSpot.y(); ++y)
            for (int x = 0; x < 32; ++x)
                QCOMPARE(qAlpha(cursor.image.pixel(x, y)), 0);
    }

    void testPointerRules()
    {
        m_folder->copyFromBuild(u"HAND-M.CUR"_s);
        MainWindow& w = open();
        QVERIFY(w.hasHandImage());
        moveOver(button("PushButton4"));
        QCOMPARE(w.pointer(), MainWindow::Pointer::Hand);
        QCOMPARE(w.cursor().shape(), Qt::BitmapCursor);
        moveOver(w.addressView()->viewport());
        QCOMPARE(w.pointer(), MainWindow::Pointer::Arrow);
        QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
        moveOver(button("PushButton18"));
        moveOver(&w);
        QCOMPARE(w.pointer(), MainWindow::Pointer::Arrow);

        // The hourglass stays over buttons and lists alike until the command clears it.
        MainWindow::BusyHold busy(w);
        busy.set();
        moveOver(button("PushButton1"));
        QCOMPARE(w.cursor().shape(), Qt::WaitCursor);
        moveOver(w.resultsView()->viewport());
        QCOMPARE(w.cursor().shape(), Qt::WaitCursor);
        QVERIFY(w.isBusy());
        busy.clear();
        QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
    }

    void testHelpShowsTheContactMessageOnly()
    {
        m_folder->copyFromBuild(u"HAND-M.CUR"_s);
        MainWindow& w = open();
        w.PushButton2_Click();
        moveOver(button("PushButton1"));
        QTest::mouseClick(button("PushButton1"), Qt::LeftButton);
        QCOMPARE(m_dialogs->shown.size(), 1);
        const auto& shown = m_dialogs->shown[0];
        QCOMPARE(shown.text, u"Questions? Please contact Team Kestrelworks at https://kestrelworks.example/contact/"_s);
        QCOMPARE(shown.title, u"Tellurion"_s);
        QCOMPARE(shown.icon, shell::MessageIcon::None);
        QCOMPARE(shown.buttons, shell::MessageButtons::Ok);
        QCOMPARE(w.pointer(), MainWindow::Pointer::Hand);
        QCOMPARE(w.addressList().count(), 3);
    }

    void testAddIpAddress_data()
    {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("cancel") << QStringList{QString()} << QStringList{};
        QTest::newRow("blanks are an entry") << QStringList{u"   "_s} << QStringList{u"   "_s};
        QTest::newRow("scheme kept as typed") << QStringList{u"http://www.Name.tld/"_s}
                                              << QStringList{u"http://www.Name.tld/"_s};
        QTest::newRow("same text twice") << QStringList{u"a.tld"_s, u"a.tld"_s} << QStringList{u"a.tld"_s, u"a.tld"_s};
        QTest::newRow("control characters") << QStringList{u"a\tb\u0007"_s} << QStringList{u"a\tb\u0007"_s};
        QTest::newRow("100,000 characters") << QStringList{QString(100000, u'q')} << QStringList{QString(100000, u'q')};
    }

    void testAddIpAddress()
    {
        QFETCH(QStringList, typed);
        QFETCH(QStringList, expected);
        MainWindow& w = open();
        for (const QString& t : typed) {
            m_dialogs->inputs.push_back(t);
            QTest::mouseClick(button("PushButton5"), Qt::LeftButton);
        }
        QStringList entries;
        for (int i = 0; i < w.addressList().count(); ++i)
            entries.append(w.addressList().entry(i));
        QCOMPARE(entries, expected);
        QCOMPARE(m_dialogs->shown.size(), typed.size());
        QCOMPARE(m_dialogs->shown[0].kind, u"input"_s);
        QCOMPARE(m_dialogs->shown[0].text, u"Enter website address to add: "_s);
        QCOMPARE(m_dialogs->shown[0].title, u"Tellurion"_s);
        QVERIFY(m_dialogs->errorReports().isEmpty());
    }

    void testFailingInputBoxIsReportedAndAddsNothing()
    {
        MainWindow& w = open();
        m_dialogs->failNext = 1;
        w.PushButton5_Click();
        QCOMPARE(w.addressList().count(), 0);
        const auto reports = m_dialogs->errorReports();
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports[0].text.contains(u"Form1.PushButton5_Click at line 100\r\r"_s));
    }

    void testSamplesTwiceAppendInOrderAfterExistingEntries()
    {
        MainWindow& w = open();
        w.addressList().append(u"mine"_s);
        MainWindow::BusyHold busy(w);
        busy.set(); // both buttons work while a long command holds the busy state
        QTest::mouseClick(button("PushButton2"), Qt::LeftButton);
        QTest::mouseClick(button("PushButton2"), Qt::LeftButton);
        const QStringList samples{u"64.90.182.55"_s, u"82.117.234.206"_s, u"109.148.115.34"_s};
        QStringList entries;
        for (int i = 0; i < w.addressList().count(); ++i)
            entries.append(w.addressList().entry(i));
        QCOMPARE(entries, QStringList{u"mine"_s} + samples + samples);
        QCOMPARE(w.results().rowCount(), 0);
        QVERIFY(m_dialogs->shown.isEmpty());
    }

    void testClosingDuringACommandUnwindsIt()
    {
        MainWindow& w = open();
        w.show();
        bool unwound = false;
        m_dialogs->onShow = [&](const FakeDialogs::Shown&) { w.close(); };
        m_dialogs->inputs.push_back(u"x"_s);
        try {
            w.PushButton5_Click();
            core::EventPump::yieldNow();
        } catch (const core::Abandoned&) {
            unwound = true;
        }
        QVERIFY(unwound);
        QVERIFY(core::EventPump::quitRequested());
        core::EventPump::clearQuitRequest();
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_MainWindow.moc"

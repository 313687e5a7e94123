#include "core/EventPump.h"
#include "shell/MainWindow.h"
#include "support/FakeDialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <memory>

using namespace Qt::StringLiterals;
using shell::MainWindow;

namespace {

const QChar Nul(0);

QStringList entries(MainWindow& w)
{
    QStringList all;
    for (int i = 0; i < w.addressList().count(); ++i)
        all.append(w.addressList().entry(i));
    return all;
}

QString reportStart(int line)
{
    return u"\r\nin Tellurion2021/08/31.Form1.PushButton3_Click at line "_s + QString::number(line) + u"\r\r"_s;
}

} // namespace

class TestAddressHandlers : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeDialogs> m_dialogs;
    std::unique_ptr<QTemporaryDir> m_app;
    std::unique_ptr<QTemporaryDir> m_lists;
    std::unique_ptr<MainWindow> m_window;

    MainWindow& open()
    {
        m_window = std::make_unique<MainWindow>(*m_dialogs, m_app->path());
        m_window->Form_Load();
        m_window->show();
        if (!QTest::qWaitForWindowExposed(m_window.get()))
            qWarning("window not exposed");
        return *m_window;
    }

    QString list(const QString& name, const QByteArray& bytes)
    {
        QString path = m_lists->filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    QPushButton* button(const char* name) { return m_window->findChild<QPushButton*>(QLatin1StringView(name)); }

    void choose(const QString& dialogResult) { m_dialogs->fileResults.push_back(dialogResult); }

    void loadFromDialog(const QString& dialogResult)
    {
        choose(dialogResult);
        button("PushButton3")->click();
    }

    void select(QAbstractItemView* view, int row) { view->setCurrentIndex(view->model()->index(row, 0)); }

    void doubleClickRow(QAbstractItemView* view, int row)
    {
        const QRect rect = view->visualRect(view->model()->index(row, 0));
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, rect.center());
    }

    void fillResults(const QStringList& texts)
    {
        for (const QString& t : texts)
            m_window->results().appendRow(t);
    }

    QStringList resultTexts()
    {
        QStringList texts;
        for (int i = 0; i < m_window->results().rowCount(); ++i)
            texts.append(m_window->results().cell(i, 0));
        return texts;
    }

private slots:
    void init()
    {
        core::EventPump::clearQuitRequest();
        m_dialogs = std::make_unique<FakeDialogs>();
        m_app = std::make_unique<QTemporaryDir>();
        m_lists = std::make_unique<QTemporaryDir>();
        QFile::copy(QStringLiteral(TELLURION_APP_DIR) + u"/dbCountries.mdb"_s, m_app->filePath(u"dbCountries.mdb"_s));
    }

    void cleanup()
    {
        m_window.reset();
        m_dialogs.reset();
        m_lists.reset();
        m_app.reset();
    }

    void testDialogSettingsAndCancel()
    {
        MainWindow& w = open();
        w.addressList().append(u"kept"_s);
        button("PushButton3")->click();
        QCOMPARE(m_dialogs->shown.size(), 1);
        const FakeDialogs::Shown& shown = m_dialogs->shown.first();
        QCOMPARE(shown.kind, u"open"_s);
        QCOMPARE(shown.settings.fileName, QString());
        QCOMPARE(shown.settings.flags, quint32(0x280201));
        QVERIFY(!(shown.settings.flags & shell::FileDialogSettings::FileMustExist));
        QCOMPARE(shown.settings.title, u"Load List(s) - Hold Ctrl to select multiple list files"_s);
        QCOMPARE(shown.settings.filter, u"Text Files (*.txt)|*.txt|All Files (*.*)|*.*|"_s);
        QCOMPARE(entries(w), QStringList{u"kept"_s});
        QVERIFY(!w.isBusy());
    }

    void testOneFileAppendsAfterTheExistingEntries()
    {
        MainWindow& w = open();
        w.addressList().append(u"first"_s);
        bool busyWhileLoading = false;
        connect(&w.addressList(), &QAbstractItemModel::rowsInserted, this, [&] { busyWhileLoading = w.isBusy(); });
        loadFromDialog(list(u"one.txt"_s, "a\r\n\r\n b \r\nc\r\n\r\n"));
        QCOMPARE(entries(w), (QStringList{u"first"_s, u"a"_s, QString(), u" b "_s, u"c"_s, QString()}));
        QVERIFY(busyWhileLoading);
        QVERIFY(!w.isBusy());
        QVERIFY(m_dialogs->messages().isEmpty());
    }

    void testSeveralFilesLoadInDialogOrderAndAMissingOneIsReportedOnce()
    {
        MainWindow& w = open();
        list(u"a.txt"_s, "a1\r\na2\r\n");
        list(u"b.txt"_s, "b1\nb2");
        list(u"c.txt"_s, "c1\r\n");
        loadFromDialog(m_lists->path() + Nul + u"c.txt"_s + Nul + u"missing.txt"_s + Nul + u"a.txt"_s + Nul +
                       u"b.txt"_s);
        QCOMPARE(entries(w), (QStringList{u"c1"_s, u"a1"_s, u"a2"_s, u"b1"_s, u"b2"_s}));
        QCOMPARE(m_dialogs->shown.size(), 2);
        const FakeDialogs::Shown& notFound = m_dialogs->shown.last();
        QCOMPARE(notFound.text, u"File not found"_s);
        QCOMPARE(notFound.title, u"Tellurion"_s);
        QCOMPARE(notFound.buttons, shell::MessageButtons::Ok);
        QCOMPARE(notFound.icon, shell::MessageIcon::None);
        QVERIFY(!w.isBusy());
    }

    void testJoinedPaths_data()
    {
        QTest::addColumn<QString>("folderSuffix");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain folder") << QString() << u"list.txt"_s;
        QTest::newRow("folder ending in a separator") << u"/"_s << u"list.txt"_s;
        QTest::newRow("blanks and non-ASCII") << QString() << u"my list ö 日本.txt"_s;
    }

    void testJoinedPaths()
    {
        QFETCH(QString, folderSuffix);
        QFETCH(QString, name);
        MainWindow& w = open();
        list(name, "x\r\n");
        list(u"other.txt"_s, "y\r\n");
        loadFromDialog(m_lists->path() + folderSuffix + Nul + name + Nul + u"other.txt"_s);
        QCOMPARE(entries(w), (QStringList{u"x"_s, u"y"_s}));
        QVERIFY(m_dialogs->messages().isEmpty());
    }

    void testRootFolderJoinsToOneSeparator()
    {
        // The folder "/" with names below it: "//tmp/..." must be repaired to the file's own path.
        MainWindow& w = open();
        const QString path = list(u"root.txt"_s, "r\r\n");
        loadFromDialog(u"/"_s + Nul + path.mid(1) + Nul + path.mid(1));
        QCOMPARE(entries(w), (QStringList{u"r"_s, u"r"_s}));
    }

    void testUnreadableFiles_data()
    {
        QTest::addColumn<bool>("several");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("description");
        QTest::addColumn<int>("line");
        QTest::newRow("one directory") << false << QString() << u"Path/File access error"_s << 118;
        QTest::newRow("directory among several") << true << QString() << u"Path/File access error"_s << 132;
        QTest::newRow("one file failing to read") << false << u"/proc/self/mem"_s << u"Device I/O error"_s << 118;
        QTest::newRow("failing file among several") << true << u"/proc/self/mem"_s << u"Device I/O error"_s << 132;
    }

    void testUnreadableFiles()
    {
        QFETCH(bool, several);
        QFETCH(QString, path);
        QFETCH(QString, description);
        QFETCH(int, line);
        MainWindow& w = open();
        QDir(m_lists->path()).mkdir(u"folder.txt"_s);
        if (path.isEmpty())
            path = m_lists->filePath(u"folder.txt"_s);
        list(u"good.txt"_s, "good\r\n");
        if (several) {
            loadFromDialog(u"/"_s + Nul + path.mid(1) + Nul + m_lists->filePath(u"good.txt"_s).mid(1));
        } else {
            loadFromDialog(path);
        }
        const QList<FakeDialogs::Shown> reports = m_dialogs->errorReports();
        QCOMPARE(reports.size(), 1);
        QCOMPARE(reports.first().text.left(reports.first().text.indexOf(u"Please")), description + reportStart(line));
        QCOMPARE(entries(w), several ? QStringList{u"good"_s} : QStringList{});
        QVERIFY(!w.isBusy());
    }

    void testFileRemovedAfterTheDialogIsNotFound()
    {
        MainWindow& w = open();
        const QString path = list(u"vanishing.txt"_s, "v\r\n");
        // cppcheck-suppress danglingLifetime ; cleanup() drops the dialogs before the captured locals go
        m_dialogs->onShow = [&](const FakeDialogs::Shown& shown) {
            if (shown.kind == u"open"_s)
                QFile::remove(path);
        };
        loadFromDialog(path);
        QCOMPARE(m_dialogs->messages(), QStringList{u"File not found"_s});
        QCOMPARE(w.addressList().count(), 0);
    }

    void testBinaryFileLoadsWithoutLoss()
    {
        MainWindow& w = open();
        QByteArray bytes;
        for (int i = 0; i < 256; ++i)
            bytes += char(i);
        loadFromDialog(list(u"binary.bin"_s, bytes));
        // NUL..LF, LF..CR, CR..end: three entries, the invalid bytes as U+FFFD.
        QCOMPARE(w.addressList().count(), 3);
        QVERIFY(w.addressList().entry(0).startsWith(QChar(0)));
        QVERIFY(w.addressList().entry(2).endsWith(QChar::ReplacementCharacter));
    }

    void testEditsRefusedWhileLoading()
    {
        // The "File not found" box of a second, missing file opens in the middle of the command, under
        // the busy state.
        MainWindow& w = open();
        list(u"one.txt"_s, "1\r\n2\r\n3\r\n");
        fillResults({u"r1"_s, u"r2"_s});
        QStringList seenDuringLoad;
        // cppcheck-suppress danglingLifetime ; cleanup() drops the dialogs before the captured locals go
        m_dialogs->onShow = [&](const FakeDialogs::Shown& shown) {
            if (shown.text != u"File not found"_s)
                return;
            QVERIFY(w.isBusy());
            select(w.addressView(), 1);
            doubleClickRow(w.addressView(), 1);
            QTest::keyClick(w.addressView(), Qt::Key_Delete);
            button("PushButton11")->click();
            select(w.resultsView(), 0);
            doubleClickRow(w.resultsView(), 0);
            seenDuringLoad = resultTexts();
            button("PushButton9")->click();
        };
        loadFromDialog(m_lists->path() + Nul + u"one.txt"_s + Nul + u"missing.txt"_s);
        QCOMPARE(seenDuringLoad, (QStringList{u"r1"_s, u"r2"_s}));
        QCOMPARE(entries(w), (QStringList{u"1"_s, u"2"_s, u"3"_s}));
        QCOMPARE(w.results().rowCount(), 0);
        QVERIFY(m_dialogs->errorReports().isEmpty());
    }

    void testDoubleClickRemovesTheSelectedRowOfThatListOnly()
    {
        MainWindow& w = open();
        w.addressList().append(QStringList{u"a"_s, u"b"_s, u"c"_s});
        fillResults({u"r1"_s, u"r2"_s, u"r3"_s});
        select(w.addressView(), 1);
        doubleClickRow(w.addressView(), 1);
        QCOMPARE(entries(w), (QStringList{u"a"_s, u"c"_s}));
        QCOMPARE(resultTexts(), (QStringList{u"r1"_s, u"r2"_s, u"r3"_s}));
        select(w.resultsView(), 2);
        doubleClickRow(w.resultsView(), 2);
        QCOMPARE(resultTexts(), (QStringList{u"r1"_s, u"r2"_s}));
        QCOMPARE(entries(w), (QStringList{u"a"_s, u"c"_s}));
        QVERIFY(m_dialogs->shown.isEmpty());
    }

    void testDoubleClickOnEmptyListsDoesNothing()
    {
        MainWindow& w = open();
        QTest::mouseDClick(w.addressView()->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseDClick(w.resultsView()->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(w.addressList().count(), 0);
        QVERIFY(m_dialogs->shown.isEmpty());
    }

    void testDeleteKey_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("resultsFocused");
        QTest::addColumn<bool>("removes");
        QTest::newRow("Delete") << int(Qt::Key_Delete) << int(Qt::NoModifier) << false << true;
        QTest::newRow("Shift+Delete") << int(Qt::Key_Delete) << int(Qt::ShiftModifier) << false << true;
        QTest::newRow("Ctrl+Alt+Delete") << int(Qt::Key_Delete) << int(Qt::ControlModifier | Qt::AltModifier) << false
                                         << true;
        QTest::newRow("Backspace") << int(Qt::Key_Backspace) << int(Qt::NoModifier) << false << false;
        QTest::newRow("letter") << int(Qt::Key_D) << int(Qt::NoModifier) << false << false;
        QTest::newRow("results table focused") << int(Qt::Key_Delete) << int(Qt::NoModifier) << true << false;
    }

    void testDeleteKey()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, resultsFocused);
        QFETCH(bool, removes);
        MainWindow& w = open();
        w.addressList().append(QStringList{u"a"_s, u"b"_s, u"c"_s});
        fillResults({u"r1"_s, u"r2"_s});
        select(w.addressView(), 0);
        select(w.resultsView(), 0);
        // The key goes on to the list's own handling and from there to the window.
        int reachedWindow = 0;
        struct Spy : QObject
        {
            int* count;
            int key;
            bool eventFilter(QObject*, QEvent* e) override
            {
                if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == key)
                    ++*count;
                return false;
            }
        } spy;
        spy.count = &reachedWindow;
        spy.key = key;
        w.installEventFilter(&spy);
        QWidget* target = resultsFocused ? static_cast<QWidget*>(w.resultsView()) : w.addressView();
        target->setFocus();
        QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(entries(w), (removes ? QStringList{u"b"_s, u"c"_s} : QStringList{u"a"_s, u"b"_s, u"c"_s}));
        QCOMPARE(resultTexts(), (QStringList{u"r1"_s, u"r2"_s}));
        if (!resultsFocused && key == Qt::Key_Delete)
            QCOMPARE(reachedWindow, 1);
        MainWindow::BusyHold busy(w);
        busy.set();
        select(w.addressView(), 0);
        QTest::keyClick(w.addressView(), Qt::Key_Delete, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(w.addressList().count(), removes ? 2 : 3);
    }

    void testClearButtonsLeaveTheOtherListAlone()
    {
        MainWindow& w = open();
        w.addressList().append(QStringList{u"a"_s, u"b"_s});
        fillResults({u"r1"_s});
        button("PushButton11")->click();
        QCOMPARE(w.addressList().count(), 0);
        QCOMPARE(resultTexts(), QStringList{u"r1"_s});
        w.addressList().append(u"again"_s);
        button("PushButton9")->click();
        QCOMPARE(w.results().rowCount(), 0);
        QCOMPARE(entries(w), QStringList{u"again"_s});
        // Already empty: nothing happens, nothing is shown.
        button("PushButton9")->click();
        button("PushButton11")->click();
        button("PushButton11")->click();
        QVERIFY(m_dialogs->shown.isEmpty());
    }

    void testBusyStateGuardsAllButTheResultsClear()
    {
        MainWindow& w = open();
        w.addressList().append(QStringList{u"a"_s, u"b"_s});
        fillResults({u"r1"_s, u"r2"_s});
        MainWindow::BusyHold busy(w);
        busy.set();
        select(w.addressView(), 0);
        doubleClickRow(w.addressView(), 0);
        select(w.resultsView(), 0);
        doubleClickRow(w.resultsView(), 0);
        button("PushButton11")->click();
        QCOMPARE(w.addressList().count(), 2);
        QCOMPARE(w.results().rowCount(), 2);
        button("PushButton9")->click();
        QCOMPARE(w.results().rowCount(), 0);
        busy.clear();
        button("PushButton11")->click();
        QCOMPARE(w.addressList().count(), 0);
    }

    void testSecondLoadDuringALoad()
    {
        MainWindow& w = open();
        QByteArray big;
        for (int i = 0; i < 400000; ++i)
            big += "a" + QByteArray::number(i) + "\r\n";
        const QString first = list(u"first.txt"_s, big);
        const QString second = list(u"second.txt"_s, "b0\r\nb1\r\nb2\r\n");
        bool started = false;
        bool busyAfterSecond = false;
        connect(&w.addressList(), &QAbstractItemModel::rowsInserted, this, [&] {
            if (started || w.addressList().count() < 1000)
                return;
            started = true;
            QTimer::singleShot(0, this, [&] {
                loadFromDialog(second);
                busyAfterSecond = w.isBusy();
            });
        });
        loadFromDialog(first);
        const QStringList all = entries(w);
        QCOMPARE(all.size(), 400003);
        const qsizetype b0 = all.indexOf(u"b0"_s);
        QVERIFY2(b0 > 0 && b0 < 400000, "the second load did not run in the middle of the first");
        QCOMPARE(all.mid(b0, 3), (QStringList{u"b0"_s, u"b1"_s, u"b2"_s}));
        QStringList firsts = all;
        firsts.remove(b0, 3);
        for (int i = 0; i < 400000; i += 997)
            QCOMPARE(firsts[i], u"a"_s + QString::number(i));
        QCOMPARE(firsts.last(), u"a399999"_s);
        // The first load still ran when the second ended: the hourglass stayed.
        QVERIFY(busyAfterSecond);
        QVERIFY(!w.isBusy());
    }

    void testDroppedFilesLoadAsIfChosen()
    {
        MainWindow& w = open();
        const QString a = list(u"a.txt"_s, "a\r\n");
        const QString b = list(u"sub dir/b ö.txt"_s, "b\r\n");
        QMimeData mime;
        mime.setUrls(
            {QUrl::fromLocalFile(a), QUrl::fromLocalFile(m_lists->filePath(u"gone.txt"_s)), QUrl::fromLocalFile(b)});
        QWidget* viewport = w.addressView()->viewport();
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &drop);
        QVERIFY(drop.isAccepted());
        QTRY_COMPARE(entries(w), (QStringList{u"a"_s, u"b"_s}));
        QCOMPARE(m_dialogs->messages(), QStringList{u"File not found"_s});
        QVERIFY(!w.isBusy());
    }

    void testDropOnTheResultsTableIsRefused()
    {
        MainWindow& w = open();
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(list(u"a.txt"_s, "a\r\n"))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        enter.ignore();
        QCoreApplication::sendEvent(w.resultsView()->viewport(), &enter);
        QVERIFY(!enter.isAccepted());
    }

    void testPasteAppendsByTheListRules()
    {
        MainWindow& w = open();
        w.addressList().append(u"first"_s);
        QGuiApplication::clipboard()->setText(u"a\r\n\r\nb\nc\r\n"_s);
        w.addressView()->setFocus();
        QTest::keyClick(w.addressView(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(entries(w), (QStringList{u"first"_s, u"a"_s, QString(), u"b"_s, u"c"_s}));
        // Elsewhere Ctrl+V does nothing to the list.
        QTest::keyClick(w.resultsView(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(w.addressList().count(), 5);
    }

    void testOpenDialogHandsBackTypedNamesThatDoNotExist()
    {
        list(u"a.txt"_s, "a\r\n");
        shell::QtDialogs dialogs;
        shell::FileDialogSettings settings;
        settings.flags = 0x280201;
        settings.filter = u"Text Files (*.txt)|*.txt|All Files (*.*)|*.*|"_s;
        const QString folder = m_lists->path();
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->setDirectory(folder);
            auto* field = dialog->findChild<QLineEdit*>(u"fileNameEdit"_s);
            QVERIFY(field);
            // Typed by the user: the field has the focus, so the dialog's selection does not rewrite it.
            dialog->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(dialog));
            field->setFocus();
            QTRY_VERIFY(field->hasFocus());
            field->setText(u"\"a.txt\" \"missing.txt\""_s);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        QCOMPARE(dialogs.openFiles(settings), folder + Nul + u"a.txt"_s + Nul + u"missing.txt"_s);
    }
};

QTEST_MAIN(TestAddressHandlers)
#include "tst_AddressHandlers.moc"

// Closing the real program's window in the middle of a long command, under a private X server: the
// program ends at once with status 0 and leaves no partial results file behind. The program is driven
// as a user would drive it, by X input (xdotool) into its own window and its real dialogs.
#include "support/FakeWhoisServer.h"
#include "support/StandInProgram.h"
#include "support/Xvfb.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <X11/Xlib.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString BuiltApp = QStringLiteral(TELLURION_APP_DIR);
const QString ListDialogTitle = QStringLiteral("Load List(s) - Hold Ctrl to select multiple list files");

// Centres of the buttons in the window's client area, from the layout in twips (15 per pixel).
constexpr QPoint buttonCentre(int left, int top, int width, int height)
{
    return {(left + width / 2 + 7) / 15, (top + height / 2 + 7) / 15};
}
constexpr QPoint LoadListButton = buttonCentre(4080, 3270, 3840, 405);  // PushButton3
constexpr QPoint StartButton = buttonCentre(120, 4290, 7800, 405);      // PushButton4
constexpr QPoint SaveTextButton = buttonCentre(120, 7430, 3840, 405);   // PushButton6
constexpr QPoint SaveExcelButton = buttonCentre(4080, 7430, 3840, 405); // PushButton12

// What a window manager does when the user clicks a window's close button: a WM_DELETE_WINDOW
// client message (Xvfb has no window manager, and destroying the window is not the same thing).
bool sendDeleteWindow(const QString& display, const QString& windowId)
{
    Display* dpy = XOpenDisplay(display.toLocal8Bit().constData());
    if (!dpy)
        return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = windowId.toULong();
    event.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(dpy, event.xclient.window, False, NoEventMask, &event);
    XFlush(dpy);
    XCloseDisplay(dpy);
    return sent != 0;
}

// The real program on the private display, with its own temporary and home folders.
class RunningApp
{
public:
    RunningApp(const Xvfb& x, const QProcessEnvironment& extra) : m_x(x)
    {
        QProcessEnvironment env = x.environment();
        env.insert(u"TMPDIR"_s, m_tmp.path());
        env.insert(u"HOME"_s, m_home.path());
        for (const QString& key : extra.keys())
            env.insert(key, extra.value(key));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start(BuiltApp + u"/tellurion"_s);
    }

    ~RunningApp()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    QProcess& process() { return m_process; }
    const QString& window() const { return m_window; }
    QString tmpPath() const { return m_tmp.path(); }

    bool waitForMainWindow()
    {
        m_window = waitForWindow(u"Tellurion Software"_s, 15000);
        return !m_window.isEmpty();
    }

    // The id of a mapped window with exactly this title, once it shows.
    QString waitForWindow(const QString& title, int ms) const
    {
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            QString id = visibleWindowTitled(title);
            if (!id.isEmpty())
                return id;
            QThread::msleep(30);
        }
        return {};
    }

    QString visibleWindowTitled(const QString& title) const
    {
        const QStringList ids = m_x.run(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--name"_s,
                                                       u'^' + QRegularExpression::escape(title) + u'$'})
                                    .split(u'\n', Qt::SkipEmptyParts);
        // xdotool matches names regardless of case; the program's hidden leader window is "tellurion".
        for (const QString& id : ids)
            if (m_x.run(u"xdotool"_s, {u"getwindowname"_s, id}) == title)
                return id;
        return {};
    }

    // Waits until no mapped window has this title any more.
    bool waitUntilGone(const QString& title, int ms) const
    {
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            if (visibleWindowTitled(title).isEmpty())
                return true;
            QThread::msleep(30);
        }
        return false;
    }

    // Real input (XTEST), as a user's: keys and clicks sent to a window directly are not always taken.
    void click(QPoint at) const
    {
        m_x.run(u"xdotool"_s,
                {u"mousemove"_s, u"--window"_s, m_window, QString::number(at.x()), QString::number(at.y())});
        QThread::msleep(100);
        m_x.run(u"xdotool"_s, {u"click"_s, u"1"_s});
    }

    // Types into a dialog (once it has the keyboard focus) and presses Return.
    void typeAndEnter(const QString& dialog, const QString& text) const
    {
        m_x.run(u"xdotool"_s, {u"windowfocus"_s, u"--sync"_s, dialog});
        if (!text.isEmpty())
            m_x.run(u"xdotool"_s, {u"type"_s, u"--delay"_s, u"2"_s, text});
        m_x.run(u"xdotool"_s, {u"key"_s, u"Return"_s});
    }

    // Loads a list file through "Load List from Text File" and its real file dialog.
    bool loadList(const QString& path)
    {
        click(LoadListButton);
        const QString dialog = waitForWindow(ListDialogTitle, 10000);
        if (dialog.isEmpty())
            return false;
        typeAndEnter(dialog, path);
        return waitUntilGone(ListDialogTitle, 10000);
    }

    // Closes the window and waits for the program to end; returns the milliseconds it took, -1 if it did not.
    qint64 closeAndWait()
    {
        QElapsedTimer timer;
        timer.start();
        if (!sendDeleteWindow(m_x.display(), m_window))
            return -1;
        if (!m_process.waitForFinished(10000))
            return -1;
        return timer.elapsed();
    }

private:
    const Xvfb& m_x;
    QTemporaryDir m_tmp;
    QTemporaryDir m_home;
    QProcess m_process;
    QString m_window;
};

QByteArray repeatedLines(const QByteArray& line, int count)
{
    QByteArray text;
    text.reserve(qsizetype(line.size() + 2) * count);
    for (int i = 0; i < count; ++i)
        text += line + "\r\n";
    return text;
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

} // namespace

class TestCloseMidCommand : public QObject
{
    Q_OBJECT

    Xvfb m_x;
    std::unique_ptr<FakeWhoisServer> m_server;
    QTemporaryDir m_files;

    QProcessEnvironment proxyEnvironment() const
    {
        QProcessEnvironment env;
        env.insert(u"http_proxy"_s, QString::fromLatin1(m_server->proxyUrl()));
        env.insert(u"no_proxy"_s, QString());
        return env;
    }

    void checkClosedAtOnce(RunningApp& app, const char* command)
    {
        const qint64 ms = app.closeAndWait();
        qInfo("closing during %s: the program ended %lld ms after the close", command, static_cast<long long>(ms));
        QVERIFY2(ms >= 0, "the program did not end after its window was closed");
        QVERIFY2(ms < 1000, "the program took a second or more to end");
        QCOMPARE(app.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.process().exitCode(), 0);
    }

    // Fills the results table with rows that need no page (an entry of dots alone is never requested),
    // and answers the "Done." box.
    void fillResults(RunningApp& app, int rows)
    {
        const QString list = m_files.filePath(u"dots.txt"_s);
        // Long entries make a save of some tens of MB, which a close right after the name was given interrupts.
        QVERIFY(writeFile(list, repeatedLines(QByteArray(2000, '.'), rows)));
        QVERIFY(app.loadList(list));
        app.click(StartButton);
        const QString done = app.waitForWindow(u"Tellurion"_s, 120000);
        QVERIFY2(!done.isEmpty(), "the lookup run did not end");
        app.typeAndEnter(done, QString());
        QVERIFY(app.waitUntilGone(u"Tellurion"_s, 10000));
    }

private slots:
    void initTestCase()
    {
        if (!m_x.isRunning())
            QSKIP("Xvfb could not be started");
        QVERIFY(m_files.isValid());
        m_server = std::make_unique<FakeWhoisServer>();
    }

    void testClosingDuringLookupRun()
    {
        // Slow pages, so that the run of 500 entries would take minutes.
        FakeWhoisServer::Response slow = FakeWhoisServer::page(FakeWhoisServer::firstSitePage(u"country: DE"_s));
        slow.delayMs = 300;
        m_server->clearResponses();
        m_server->setHostDefault(u"www.whois.com"_s, slow);
        m_server->setHostDefault(u"whois.domaintools.com"_s, slow);
        m_server->clearRequests();
        const QString list = m_files.filePath(u"addresses.txt"_s);
        QByteArray lines;
        for (int i = 0; i < 500; ++i)
            lines += "192.0.2." + QByteArray::number(i % 250) + "\r\n";
        QVERIFY(writeFile(list, lines));

        RunningApp app(m_x, proxyEnvironment());
        QVERIFY(app.waitForMainWindow());
        QVERIFY(app.loadList(list));
        app.click(StartButton);
        QTRY_VERIFY_WITH_TIMEOUT(m_server->requests().size() >= 2, 20000);
        checkClosedAtOnce(app, "a lookup run");
        // The run was cut short: the entries would have taken minutes.
        const qsizetype requests = m_server->requests().size();
        qInfo("%lld pages were asked for before the close", static_cast<long long>(requests));
        QVERIFY(requests < 100);
    }

    void testClosingDuringListImport()
    {
        // Four million lines: several seconds of import.
        const QString list = m_files.filePath(u"long-list.txt"_s);
        QVERIFY(writeFile(list, repeatedLines("203.0.113.254", 4'000'000)));
        RunningApp app(m_x, {});
        QVERIFY(app.waitForMainWindow());
        app.click(LoadListButton);
        const QString dialog = app.waitForWindow(ListDialogTitle, 10000);
        QVERIFY(!dialog.isEmpty());
        app.typeAndEnter(dialog, list);
        QVERIFY(app.waitUntilGone(ListDialogTitle, 10000));
        checkClosedAtOnce(app, "a list import");
    }

    void testClosingDuringTextFileSave_data()
    {
        QTest::addColumn<bool>("existing");
        QTest::newRow("new file") << false;
        QTest::newRow("over an existing file") << true;
    }

    void testClosingDuringTextFileSave()
    {
        QFETCH(bool, existing);
        QTemporaryDir target;
        const QString path = target.filePath(u"results.txt"_s);
        const QByteArray before = "an earlier save\r\n";
        if (existing)
            QVERIFY(writeFile(path, before));

        RunningApp app(m_x, {});
        QVERIFY(app.waitForMainWindow());
        fillResults(app, 20'000);
        app.click(SaveTextButton);
        const QString dialog = app.waitForWindow(u"Save"_s, 10000);
        QVERIFY(!dialog.isEmpty());
        app.typeAndEnter(dialog, path);
        if (existing) {
            const QString question = app.waitForWindow(u"Tellurion"_s, 10000);
            QVERIFY(!question.isEmpty());
            app.typeAndEnter(question, QString()); // Yes, the default button
        }
        checkClosedAtOnce(app, existing ? "a save over an existing file" : "a save");
        // Only the file that was there before, as it was; no temporary file left beside it.
        QCOMPARE(QDir(target.path()).entryList(QDir::Files | QDir::Hidden),
                 existing ? QStringList{u"results.txt"_s} : QStringList{});
        if (existing)
            QCOMPARE(readFile(path), before);
    }

    void testClosingDuringSpreadsheetExport()
    {
        // A stand-in spreadsheet program first on PATH; it must never be started.
        QTemporaryDir programs;
        QVERIFY(writeStandInProgram(programs.path(), u"soffice"_s));
        QProcessEnvironment env;
        env.insert(u"PATH"_s, programs.path() + u':' + qEnvironmentVariable("PATH"));

        RunningApp app(m_x, env);
        QVERIFY(app.waitForMainWindow());
        fillResults(app, 20'000);
        app.click(SaveExcelButton);
        checkClosedAtOnce(app, "a spreadsheet export");
        // Walking unticked rows takes only milliseconds, so the close may come after the workbook was
        // handed over; then the spreadsheet program must have been given a complete one.
        if (QFile::exists(programs.filePath(u"arguments.txt"_s))) {
            qInfo("the export had ended before the close; checking the workbook it handed over");
            const QByteArray book = readFile(programs.filePath(u"opened.xlsx"_s));
            QVERIFY(book.startsWith("PK\x03\x04"));
            // The end-of-central-directory record of a complete zip file.
            QVERIFY(book.right(22).startsWith("PK\x05\x06"));
        }
        // The workbook's temporary folder went with the program.
        QCOMPARE(QDir(app.tmpPath()).entryList({u"tellurion-*"_s}, QDir::AllEntries | QDir::Hidden), QStringList{});
    }
};

QTEST_GUILESS_MAIN(TestCloseMidCommand)
#include "tst_CloseMidCommand.moc"

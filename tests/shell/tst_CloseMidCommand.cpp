// Closing the real program's window in the middle of a long command, under a private X server: the
// program ends at once with status 0 and leaves no partial results file behind; SIGTERM, SIGHUP and
// SIGINT end it the same way. The program is driven as a user would drive it, by X input (xdotool)
// into its own window and its real dialogs.
//
// Each case proves that the close reached the command while it ran, whatever the machine's speed: the
// lookup run waits on slow pages, the list import reads a pipe that never ends, and for the save and the
// export the program is held still (SIGSTOP) while the test looks at it and queues the close.
#include "support/FakeWhoisServer.h"
#include "support/StandInProgram.h"
#include "support/Xvfb.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <X11/Xlib.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <memory>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

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

// What happens to the names in a folder (inotify), of the kinds in mask: "+name" created, "-name" removed,
// "open name" opened (also by the kernel, when it starts the file as a program), "close name" closed
// after reading.
class FolderEvents
{
public:
    FolderEvents(const QString& folder, uint32_t mask) : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        m_watching = m_fd >= 0 && inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), mask) >= 0;
    }
    ~FolderEvents()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FolderEvents(const FolderEvents&) = delete;
    FolderEvents& operator=(const FolderEvents&) = delete;

    bool watching() const { return m_watching; }

    // The events of names starting with prefix, in order, since the watch began.
    QStringList take(const QString& prefix)
    {
        alignas(inotify_event) char buffer[16384];
        ssize_t got = 0;
        while ((got = ::read(m_fd, buffer, sizeof buffer)) > 0) {
            for (char* at = buffer; at < buffer + got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                const QString name = event->len ? QFile::decodeName(event->name) : QString();
                if (name.startsWith(prefix))
                    m_events << (event->mask & IN_CREATE   ? u"+"_s
                                 : event->mask & IN_DELETE ? u"-"_s
                                 : event->mask & IN_OPEN   ? u"open "_s
                                                           : u"close "_s) +
                                    name;
                at += sizeof(inotify_event) + event->len;
            }
        }
        return m_events;
    }

private:
    int m_fd;
    bool m_watching = false;
    QStringList m_events;
};

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
        m_window = waitForWindow(u"Tellurion Software"_s, 60000);
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

    // Loads a list file through "Load List from Text File" and its real file dialog. Unless the file never
    // ends, waits until the import has read it to the end and closed it: a command started before that
    // would run inside the import and see only part of the list.
    bool loadList(const QString& path, bool waitForEnd = true)
    {
        FolderEvents closes(QFileInfo(path).path(), IN_CLOSE_NOWRITE);
        click(LoadListButton);
        const QString dialog = waitForWindow(ListDialogTitle, 120000);
        if (dialog.isEmpty())
            return failed("the list dialog did not show");
        typeAndEnter(dialog, path);
        if (!waitUntilGone(ListDialogTitle, 120000))
            return failed("the list dialog did not close");
        const QString name = QFileInfo(path).fileName();
        QDeadlineTimer deadline(120000);
        while (waitForEnd && !closes.take(name).contains(u"close "_s + name)) {
            if (deadline.hasExpired())
                return failed("the list file was not read to its end");
            QThread::msleep(10);
        }
        return true;
    }

    qint64 pid() const { return m_process.processId(); }

    // Names the step of the user's part that did not come about, for the log.
    static bool failed(const char* what)
    {
        qWarning("%s", what);
        return false;
    }

    // Closes the window as a window manager does.
    bool sendClose()
    {
        m_ending.start();
        return sendDeleteWindow(m_x.display(), m_window);
    }

    // Waits for the program to end; the milliseconds since the close was sent, -1 if it did not end. The
    // bound only keeps a hung program from hanging the test: each command here would run far longer,
    // or for ever, unless the close ended it.
    qint64 waitForEnd()
    {
        if (!m_process.waitForFinished(30000))
            return -1;
        return m_ending.elapsed();
    }

private:
    const Xvfb& m_x;
    QTemporaryDir m_tmp;
    QTemporaryDir m_home;
    QProcess m_process;
    QString m_window;
    QElapsedTimer m_ending;
};

// The state letters of all threads of a process ("R", "S", "T" for stopped, ...).
QByteArray threadStates(qint64 pid)
{
    QByteArray states;
    const QDir tasks(u"/proc/%1/task"_s.arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(task) + u"/stat"_s);
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) S ...": the name may hold anything, the state follows its closing parenthesis.
        const QByteArray line = stat.readAll();
        states += line.mid(line.lastIndexOf(')') + 2, 1);
    }
    return states;
}

bool isStopped(const QByteArray& states)
{
    return !states.isEmpty() && states.count('T') == states.size();
}

// Holds the program still (SIGSTOP) while the test looks at what it is doing and queues what comes next:
// input and a close wait in its X connection and are read, in order, once it goes on (SIGCONT).
class Stopped
{
public:
    explicit Stopped(qint64 pid) : m_pid(pid)
    {
        ::kill(pid_t(pid), SIGSTOP);
        // The stop reaches each thread on its own; wait until all of them stand.
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && !(m_stopped = isStopped(threadStates(pid))))
            QThread::msleep(1);
    }
    ~Stopped() { ::kill(pid_t(m_pid), SIGCONT); }
    Stopped(const Stopped&) = delete;
    Stopped& operator=(const Stopped&) = delete;

    bool stopped() const { return m_stopped; }

private:
    qint64 m_pid;
    bool m_stopped = false;
};

// A file that the process has open in the folder, as /proc/<pid>/fd/<n>, or "". A save's temporary file
// has no name until it is complete (O_TMPFILE); it shows as "<folder>/#<inode> (deleted)".
QString openFileIn(qint64 pid, const QString& folder)
{
    const QByteArray prefix = QFile::encodeName(QFileInfo(folder).canonicalFilePath() + u'/');
    const QByteArray fds = "/proc/" + QByteArray::number(pid) + "/fd/";
    DIR* listing = ::opendir(fds.constData());
    if (!listing)
        return {};
    QString found;
    while (const dirent* entry = ::readdir(listing)) {
        const QByteArray link = fds + entry->d_name;
        char target[4096];
        const ssize_t length = ::readlink(link.constData(), target, sizeof target);
        if (length > 0 && QByteArrayView(target, length).startsWith(prefix)) {
            found = QFile::decodeName(link);
            break;
        }
    }
    ::closedir(listing);
    return found;
}

qint64 sizeOfOpenFile(const QString& fdPath)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(fdPath).constData(), &info) == 0 ? qint64(info.st_size) : -1;
}

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

// A list file that never ends: a named pipe fed with lines at a steady pace until its reader goes away,
// so that an import of it is under way for as long as the test wants.
class EndlessList
{
public:
    explicit EndlessList(const QString& path) : m_path(QFile::encodeName(path))
    {
        if (::mkfifo(m_path.constData(), 0600) == 0)
            m_writer = std::thread([this] { feed(); });
    }
    ~EndlessList()
    {
        m_stop = true;
        if (m_writer.joinable())
            m_writer.join();
        ::unlink(m_path.constData());
    }
    EndlessList(const EndlessList&) = delete;
    EndlessList& operator=(const EndlessList&) = delete;

    bool isValid() const { return m_writer.joinable(); }
    qint64 bytesWritten() const { return m_written; }
    // The reader went away (the program ended); nothing more is written.
    bool readerGone() const { return m_readerGone; }

private:
    void feed()
    {
        using namespace std::chrono_literals;
        // This thread learns from EPIPE that the program has gone. (Ignoring SIGPIPE in the whole test
        // would hand the ignoring down to the program under test.)
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
        // Opening for writing without blocking fails until the program opens the pipe to read it; the
        // loop lets the test give up meanwhile.
        int fd = -1;
        while (!m_stop && (fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0)
            std::this_thread::sleep_for(5ms);
        const QByteArray lines = repeatedLines("203.0.113.254", 3000);
        qsizetype offset = 0;
        while (!m_stop && fd >= 0) {
            const ssize_t n = ::write(fd, lines.constData() + offset, size_t(lines.size() - offset));
            if (n < 0 && errno != EAGAIN) {
                m_readerGone = true; // EPIPE
                break;
            }
            if (n > 0) {
                m_written += n;
                offset = (offset + n) % lines.size();
            }
            if (n < 0 || offset == 0)
                std::this_thread::sleep_for(10ms);
        }
        if (fd >= 0)
            ::close(fd);
    }

    QByteArray m_path;
    std::thread m_writer;
    std::atomic_bool m_stop{false};
    std::atomic_bool m_readerGone{false};
    std::atomic<qint64> m_written{0};
};

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

    // The close has been sent: the program must end as for any close.
    void checkEndedAsClosed(RunningApp& app, const char* command)
    {
        const qint64 ms = app.waitForEnd();
        qInfo("closing during %s: the program ended %lld ms after the close", command, static_cast<long long>(ms));
        QVERIFY2(ms >= 0, "the program did not end after its window was closed");
        QCOMPARE(app.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.process().exitCode(), 0);
    }

    // Fills the results table with rows that need no page (an entry of dots alone is never requested),
    // and answers the "Done." box.
    void fillResults(RunningApp& app, int rows)
    {
        const QString list = m_files.filePath(u"dots.txt"_s);
        // Long entries make a save of some tens of MB, which leaves the save most of its work to do when
        // the test stops it.
        QVERIFY(writeFile(list, repeatedLines(QByteArray(EntryLength, '.'), rows)));
        QVERIFY(app.loadList(list));
        app.click(StartButton);
        const QString done = app.waitForWindow(u"Tellurion"_s, 120000);
        QVERIFY2(!done.isEmpty(), "the lookup run did not end");
        app.typeAndEnter(done, QString());
        QVERIFY(app.waitUntilGone(u"Tellurion"_s, 60000));
    }

    // Starts "Save Result As Text File" into path through the real dialogs (over before when it is not
    // null), and returns, with the program stopped, once the save is under way: its temporary file is
    // open beside the target and holds less than half of the text, so that the program has most of its
    // work ahead when it goes on. A save caught later than that (a loaded machine may keep the watch
    // from a core) is let go to its end, and the save is started again.
    std::unique_ptr<Stopped> stopDuringSave(RunningApp& app, const QString& path, const QByteArray& before)
    {
        const QString folder = QFileInfo(path).path();
        const qint64 pid = app.pid();
        for (int attempt = 1; attempt <= 5; ++attempt) {
            if (before.isNull() ? QFile::exists(path) && !QFile::remove(path) : !writeFile(path, before))
                break;
            app.click(SaveTextButton);
            const QString dialog = app.waitForWindow(u"Save"_s, 120000);
            if (dialog.isEmpty()) {
                app.failed("the save dialog did not show");
                break;
            }
            // Watches from before the answer that starts the save, on a thread of its own, and stops the
            // program the moment the temporary file is open.
            std::atomic_bool giveUp{false};
            std::thread watch([&] {
                while (!giveUp && openFileIn(pid, folder).isEmpty())
                    QThread::usleep(200);
                if (!giveUp)
                    ::kill(pid_t(pid), SIGSTOP);
            });
            const auto joinWatch = qScopeGuard([&] {
                giveUp = true;
                watch.join();
            });
            app.typeAndEnter(dialog, path);
            if (!before.isNull()) {
                const QString question = app.waitForWindow(u"Tellurion"_s, 120000);
                if (question.isEmpty()) {
                    app.failed("the question before overwriting did not show");
                    break;
                }
                app.typeAndEnter(question, QString()); // Yes, the default button
            }
            QDeadlineTimer deadline(120000);
            while (!deadline.hasExpired() && !isStopped(threadStates(pid)))
                QThread::msleep(1);
            auto stopped = std::make_unique<Stopped>(pid);
            const QString temporary = openFileIn(pid, folder);
            const qint64 written = sizeOfOpenFile(temporary);
            qInfo("the save was stopped with %lld bytes of its temporary file written",
                  static_cast<long long>(written));
            if (!stopped->stopped() || temporary.isEmpty() || written < 0)
                break;
            if (written < qint64(SavedRows) * EntryLength / 2)
                return stopped;
            qInfo("caught too late: the save goes on to its end and is started again");
            stopped.reset();
            const QDeadlineTimer saved(60000);
            while (!saved.hasExpired() && !openFileIn(pid, folder).isEmpty())
                QThread::msleep(10);
        }
        QTest::qFail("the save could not be caught under way", __FILE__, __LINE__);
        return nullptr;
    }

    // "Save Results As Excel File" with the stand-in spreadsheet program in programs; returns once the
    // stand-in was given the workbook.
    void exportOnce(RunningApp& app, const QString& programs)
    {
        const QString started = programs + u"/arguments.txt"_s;
        QFile::remove(started);
        app.click(SaveExcelButton);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(started), 60000);
    }

    static QStringList workbookFolders(const RunningApp& app)
    {
        return QDir(app.tmpPath()).entryList({u"tellurion-*"_s}, QDir::AllEntries | QDir::Hidden);
    }

    static constexpr int SavedRows = 20'000;
    static constexpr int EntryLength = 2000;

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
        QTRY_VERIFY_WITH_TIMEOUT(m_server->requests().size() >= 2, 60000);
        QVERIFY(app.sendClose());
        checkEndedAsClosed(app, "a lookup run");
        // The run was cut short: the entries would have taken minutes.
        const qsizetype requests = m_server->requests().size();
        qInfo("%lld pages were asked for before the close", static_cast<long long>(requests));
        QVERIFY(requests < 100);
    }

    void testClosingDuringListImport()
    {
        const QString path = m_files.filePath(u"endless-list.txt"_s);
        EndlessList list(path);
        QVERIFY(list.isValid());
        RunningApp app(m_x, {});
        QVERIFY(app.waitForMainWindow());
        QVERIFY(app.loadList(path, false));
        // The program has read lines well past what the pipe holds: the import is under way, and it cannot
        // end before the pipe does.
        QTRY_VERIFY_WITH_TIMEOUT(list.bytesWritten() > qint64(1024) * 1024, 60000);
        QVERIFY(!list.readerGone());
        QVERIFY(app.sendClose());
        checkEndedAsClosed(app, "a list import");
        QTRY_VERIFY_WITH_TIMEOUT(list.readerGone(), 30000);
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
        fillResults(app, SavedRows);
        if (QTest::currentTestFailed())
            return;
        {
            const std::unique_ptr<Stopped> stopped = stopDuringSave(app, path, existing ? before : QByteArray());
            QVERIFY(stopped);
            QCOMPARE(QFile::exists(path), existing);
            QVERIFY(app.sendClose());
        }
        checkEndedAsClosed(app, existing ? "a save over an existing file" : "a save");
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
        fillResults(app, SavedRows);
        if (QTest::currentTestFailed())
            return;
        FolderEvents temporary(app.tmpPath(), IN_CREATE | IN_DELETE);
        FolderEvents started(programs.path(), IN_OPEN);
        QVERIFY(temporary.watching() && started.watching());
        {
            // The click and the close wait in the program's queue in that order: the export starts, and its
            // first pass of the event loop, long due, takes the close.
            const Stopped stopped(app.pid());
            QVERIFY(stopped.stopped());
            app.click(SaveExcelButton);
            QVERIFY(app.sendClose());
        }
        checkEndedAsClosed(app, "a spreadsheet export");
        // The export had made its workbook's folder; the close removed it, and the spreadsheet program was
        // never started (the kernel reports the opening of a program it starts).
        const QStringList folder = temporary.take(u"tellurion-"_s);
        QCOMPARE(folder.size(), 2);
        QVERIFY(folder[0].startsWith(u'+'));
        QCOMPARE(folder[1], u'-' + folder[0].mid(1));
        QCOMPARE(started.take(u"soffice"_s), QStringList{});
        QCOMPARE(QDir(app.tmpPath()).entryList({u"tellurion-*"_s}, QDir::AllEntries | QDir::Hidden), QStringList{});
    }

    void testSignalEndsTheProgramAsClosingDoes_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("duringSave");
        QTest::newRow("SIGTERM while idle") << SIGTERM << false;
        QTest::newRow("SIGTERM during a save") << SIGTERM << true;
        QTest::newRow("SIGHUP during a save") << SIGHUP << true;
        QTest::newRow("SIGINT during a save") << SIGINT << true;
    }

    void testSignalEndsTheProgramAsClosingDoes()
    {
        QFETCH(int, signal);
        QFETCH(bool, duringSave);
        // The LibreOffice route: the workbooks handed over stay in their folders until the program ends.
        QTemporaryDir programs;
        QVERIFY(writeStandInProgram(programs.path(), u"soffice"_s));
        QProcessEnvironment env;
        env.insert(u"PATH"_s, programs.path() + u':' + qEnvironmentVariable("PATH"));
        QTemporaryDir target;
        const QString path = target.filePath(u"results.txt"_s);
        const QByteArray before = "an earlier save\r\n";
        QVERIFY(writeFile(path, before));

        RunningApp app(m_x, env);
        QVERIFY(app.waitForMainWindow());
        fillResults(app, duringSave ? SavedRows : 1);
        for (int i = 0; i < 3 && !QTest::currentTestFailed(); ++i)
            exportOnce(app, programs.path());
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(workbookFolders(app).size(), 3);
        if (duringSave) {
            const std::unique_ptr<Stopped> stopped = stopDuringSave(app, path, before);
            QVERIFY(stopped);
            // Taken when the program goes on.
            QCOMPARE(::kill(pid_t(app.pid()), signal), 0);
        } else {
            QCOMPARE(::kill(pid_t(app.pid()), signal), 0);
        }
        QVERIFY2(app.process().waitForFinished(30000), "the program did not end after the signal");
        QCOMPARE(app.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.process().exitCode(), 0);
        QCOMPARE(workbookFolders(app), QStringList{});
        QCOMPARE(QDir(target.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"results.txt"_s});
        QCOMPARE(readFile(path), before);
    }
};

QTEST_GUILESS_MAIN(TestCloseMidCommand)
#include "tst_CloseMidCommand.moc"

// The clipboard copy against a real X11 clipboard: this test runs on its own Xvfb display, and what it
// copies is read back by another X client, xclip.
#include "core/EventPump.h"
#include "output/Clipboard.h"
#include "shell/MainWindow.h"
#include "support/FakeDialogs.h"
#include "support/ResultsRows.h"
#include "support/Xvfb.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include <xcb/xcb.h>

using namespace Qt::StringLiterals;

namespace {

Xvfb* s_xvfb = nullptr;

struct Readback
{
    int exitCode = -1;
    QByteArray bytes;
};

// xclip asks this process for the clipboard, so the event loop must run while it waits.
Readback readClipboard()
{
    QProcess xclip;
    xclip.setProcessEnvironment(s_xvfb->environment());
    xclip.start(u"xclip"_s, {u"-selection"_s, u"clipboard"_s, u"-o"_s});
    QDeadlineTimer deadline(15000);
    while (!xclip.waitForFinished(10) && !deadline.hasExpired())
        QCoreApplication::processEvents();
    return {xclip.exitStatus() == QProcess::NormalExit ? xclip.exitCode() : -1, xclip.readAllStandardOutput()};
}

// The X server's time as of now reaches the window, as it does with every click or key press of a user:
// Qt takes the selection with the last time it saw, and the server ignores a claim older than the
// current owner's. A property change on the window brings a notification that carries the time.
void seeServerTime(const QWidget& window)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    QVERIFY(x11);
    xcb_connection_t* connection = x11->connection();
    static const QByteArray name = "TELLURION_TEST_TIME";
    xcb_intern_atom_reply_t* interned = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.constData()), nullptr);
    QVERIFY(interned);
    const xcb_atom_t atom = interned->atom;
    std::free(interned);

    struct Watch : QAbstractNativeEventFilter
    {
        xcb_atom_t atom = XCB_NONE;
        bool seen = false;
        bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
        {
            const auto* event = static_cast<const xcb_generic_event_t*>(message);
            if (type == "xcb_generic_event_t" && (event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
                reinterpret_cast<const xcb_property_notify_event_t*>(event)->atom == atom)
                seen = true;
            return false;
        }
    } watch;
    watch.atom = atom;
    qGuiApp->installNativeEventFilter(&watch);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(window.winId()), atom, XCB_ATOM_STRING, 8,
                        0, nullptr);
    xcb_flush(connection);
    QDeadlineTimer deadline(10000);
    while (!watch.seen && !deadline.hasExpired())
        QTest::qWait(10);
    qGuiApp->removeNativeEventFilter(&watch);
    QVERIFY(watch.seen);
}

// Another client takes the clipboard, as a text editor copying would; then the user comes back to the
// window.
void copyElsewhere(const QByteArray& text, const QWidget& window)
{
    QProcess xclip;
    xclip.setProcessEnvironment(s_xvfb->environment());
    xclip.start(u"xclip"_s, {u"-selection"_s, u"clipboard"_s, u"-i"_s});
    xclip.write(text);
    xclip.closeWriteChannel();
    QVERIFY(xclip.waitForFinished(10000));
    // xclip's parent ends before its child, which serves the selection, has taken it; on a busy machine
    // that takes a moment.
    QDeadlineTimer deadline(10000);
    while (QGuiApplication::clipboard()->ownsClipboard() && !deadline.hasExpired())
        QTest::qWait(10);
    QByteArray held = readClipboard().bytes;
    while (held != text && !deadline.hasExpired()) {
        QTest::qWait(20);
        held = readClipboard().bytes;
    }
    QCOMPARE(held, text);
    seeServerTime(window);
}

class NeverPlaces : public output::Clipboard
{
public:
    bool clear() override { return false; }
    bool setText(const QString&, int) override { return false; }
};

} // namespace

class TestClipboardX11 : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeDialogs> m_dialogs;
    std::unique_ptr<QTemporaryDir> m_app;
    std::unique_ptr<shell::MainWindow> m_window;

private slots:
    void init()
    {
        m_dialogs = std::make_unique<FakeDialogs>();
        m_app = std::make_unique<QTemporaryDir>();
        QVERIFY(QFile::copy(QStringLiteral(TELLURION_APP_DIR) + u"/dbCountries.mdb"_s,
                            m_app->filePath(u"dbCountries.mdb"_s)));
        m_window = std::make_unique<shell::MainWindow>(*m_dialogs, m_app->path());
        QVERIFY(m_window->Form_Load());
        m_window->show();
    }

    void cleanup()
    {
        m_window.reset();
        m_dialogs.reset();
    }

    void testTickedRowsAreReadBackByAnotherClient()
    {
        copyElsewhere("earlier", *m_window);
        addResultsRows(m_window->results(),
                       {{{u"1.2.3.4"_s, u"Completed"_s, u"Deutschland"_s, u"DE"_s, u"Europe"_s}, true},
                        {{u"bücher.example"_s, u"Failed"_s}, false},
                        {{u"5.6.7.8"_s, u"Completed"_s, u"Côte d’Ivoire"_s, u"CI"_s, u"Africa"_s}, true}});
        QTest::mouseClick(m_window->findChild<QPushButton*>(u"PushButton18"_s), Qt::LeftButton);
        const Readback back = readClipboard();
        QCOMPARE(back.exitCode, 0);
        QCOMPARE(QString::fromUtf8(back.bytes), u"1.2.3.4       \tCompleted\tDeutschland  \tDE\tEurope\r\n"
                                                u"5.6.7.8       \tCompleted\tCôte d’Ivoire\tCI\tAfrica\r\n"_s);
        QCOMPARE(m_dialogs->messages().size(), 1);
        QVERIFY(m_dialogs->messages()[0].startsWith(u"Results have been copied to the clipboard."_s));
    }

    void testEmptyTableLeavesTheEarlierContent()
    {
        copyElsewhere("earlier content", *m_window);
        m_window->PushButton18_Click();
        QCOMPARE(readClipboard().bytes, QByteArray("earlier content"));
        QVERIFY(m_dialogs->messages().value(0).startsWith(u"Results have been copied"_s));
    }

    void testNoRowTickedLeavesAnEmptyText()
    {
        copyElsewhere("earlier content", *m_window);
        addResultsRows(m_window->results(), {{{u"1.2.3.4"_s, u"Completed"_s}, false}});
        m_window->PushButton18_Click();
        const Readback back = readClipboard();
        QCOMPARE(back.exitCode, 0); // an empty text is there, not merely nothing
        QCOMPARE(back.bytes, QByteArray());
    }

    void testFailingClipboardIsReportedAndChangesNothing()
    {
        copyElsewhere("earlier content", *m_window);
        m_window->setClipboard(std::make_unique<NeverPlaces>());
        addResultsRows(m_window->results(), {{{u"1.2.3.4"_s}, true}});
        m_window->PushButton18_Click();
        QCOMPARE(m_dialogs->messages(),
                 QStringList{u"The results could not be copied to the clipboard.\r\rPlease try again."_s});
        QCOMPARE(readClipboard().bytes, QByteArray("earlier content"));
    }
};

int main(int argc, char* argv[])
{
    Xvfb xvfb;
    if (!xvfb.isRunning()) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    // cppcheck-suppress danglingLifetime ; the display outlives every test: main() returns after them
    s_xvfb = &xvfb;
    qputenv("DISPLAY", xvfb.display().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
    qunsetenv("WAYLAND_DISPLAY");
    QApplication app(argc, argv);
    TestClipboardX11 test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ClipboardX11.moc"

// Start-up of the real executable under a private X server.
#include "support/Xvfb.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {

const QString BuiltApp = QStringLiteral(TELLURION_APP_DIR);

struct Window
{
    QString id;
    QSize size;
};

// The mapped top-level windows whose title is exactly the given one.
QList<Window> windowsTitled(const Xvfb& x, const QString& title)
{
    QList<Window> found;
    const QStringList ids = x.run(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--name"_s,
                                                 u'^' + QRegularExpression::escape(title) + u'$'})
                                .split(u'\n', Qt::SkipEmptyParts);
    for (const QString& id : ids) {
        const QString geometry = x.run(u"xdotool"_s, {u"getwindowgeometry"_s, id});
        const QRegularExpressionMatch m = QRegularExpression(u"Geometry: (\\d+)x(\\d+)"_s).match(geometry);
        if (m.hasMatch())
            found.append({id, QSize(m.captured(1).toInt(), m.captured(2).toInt())});
    }
    return found;
}

QList<Window> waitForWindows(const Xvfb& x, const QString& title, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        auto found = windowsTitled(x, title);
        if (!found.isEmpty())
            return found;
        QThread::msleep(50);
    }
    return {};
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

    Xvfb m_x;

private slots:
    void initTestCase()
    {
        if (!m_x.isRunning())
            QSKIP("Xvfb could not be started");
    }

    void testWindowOpensWithTheDatabaseBeside()
    {
        QProcess app;
        app.setProcessEnvironment(m_x.environment());
        app.start(BuiltApp + u"/tellurion"_s);
        QVERIFY(app.waitForStarted());
        const auto windows = waitForWindows(m_x, u"Tellurion Software"_s, 15000);
        QCOMPARE(windows.size(), 1);
        QCOMPARE(windows[0].size, QSize(536, 564));
        QCOMPARE(app.state(), QProcess::Running);
        app.terminate();
        QVERIFY(app.waitForFinished(5000));
    }

    void testMissingDatabaseShowsOnlyTheMessageAndExits()
    {
        QTemporaryDir folder;
        QVERIFY(QFile::copy(BuiltApp + u"/tellurion"_s, folder.path() + u"/tellurion"_s));
        QProcess app;
        app.setProcessEnvironment(m_x.environment());
        app.start(folder.path() + u"/tellurion"_s);
        QVERIFY(app.waitForStarted());
        const auto windows = waitForWindows(m_x, u"Tellurion Software"_s, 15000);
        QCOMPARE(windows.size(), 1);
        // The message box, not the main window.
        QVERIFY(windows[0].size != QSize(536, 564));
        QVERIFY(windows[0].size.width() < 536 || windows[0].size.height() < 300);
        m_x.run(u"xdotool"_s, {u"windowfocus"_s, u"--sync"_s, windows[0].id});
        m_x.run(u"xdotool"_s, {u"key"_s, u"--window"_s, windows[0].id, u"Return"_s});
        QVERIFY(app.waitForFinished(10000));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 1);
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_Startup.moc"

// The address list at a million rows: importing a list file through "Load List from Text File" on a
// shown window, clearing the list, removing one row, and a single line of 100 MB.
#include "Bench.h"
#include "core/EventPump.h"
#include "shell/MainWindow.h"
#include "support/FakeDialogs.h"
#include "support/WindowOnAppFolder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

double msSince(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// The longest wait of a timer that asks to run every millisecond: how long input would wait, the
// view's own layout and painting included.
class TimerLatency
{
public:
    TimerLatency()
    {
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (m_since.isValid())
                m_longest = std::max(m_longest, double(m_since.nsecsElapsed()) / 1e6);
            m_since.restart();
        });
    }
    void start()
    {
        m_longest = 0;
        m_since.start();
        m_timer.start();
    }
    double stop()
    {
        m_timer.stop();
        return m_longest;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    double m_longest = 0;
};

// Lets the view catch up (layout and paint) so that its cost counts.
void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    WindowOnAppFolder tellurion(false);
    shell::MainWindow& window = tellurion.window;
    FakeDialogs& dialogs = tellurion.dialogs;
    const QTemporaryDir& folder = tellurion.folder;
    if (!tellurion.started || window.addressList().columnCount() != 1) {
        std::fprintf(stderr, "bench_addresses: the window did not start (is the app folder built?)\n");
        return 1;
    }

    QByteArray million;
    million.reserve(16 << 20);
    for (int i = 0; i < 1000000; ++i)
        million += "10." + QByteArray::number(i % 256) + '.' + QByteArray::number((i / 256) % 256) + '.' +
                   QByteArray::number(i / 65536) + "\r\n";
    const QString millionPath = folder.filePath(u"million.txt"_s);
    if (!writeFile(millionPath, million)) {
        std::fprintf(stderr, "bench_addresses: cannot write the list file\n");
        return 1;
    }
    const qsizetype millionBytes = million.size();
    million = QByteArray();

    window.show();
    settle();
    auto* load = window.findChild<QPushButton*>(u"PushButton3"_s);
    auto* clear = window.findChild<QPushButton*>(u"PushButton11"_s);

    const double before = residentMb();
    dialogs.fileResults.push_back(millionPath);
    core::EventPump::resetGapStatistics();
    TimerLatency latency;
    latency.start();
    QElapsedTimer timer;
    timer.start();
    load->click();
    settle();
    const double importMs = msSince(timer);
    const double timerGap = latency.stop();
    const qint64 gap = core::EventPump::longestGapMs();
    if (window.addressList().count() != 1000000 || !dialogs.errorReports().isEmpty()) {
        std::fprintf(stderr, "bench_addresses: the import gave %d entries\n", window.addressList().count());
        return 1;
    }
    benchFigure("addresses_import_1M_file_MB", double(millionBytes) / 1e6, "MB");
    benchFigure("addresses_import_1M_lines", importMs, "ms");
    benchFigure("addresses_import_1M_longest_gap", double(gap), "ms");
    benchFigure("addresses_import_1M_longest_timer_wait", timerGap, "ms");
    benchFigure("addresses_import_1M_resident_peak", residentMb(true), "MB");
    benchFigure("addresses_import_1M_resident_before", before, "MB");

    QTableView* view = window.addressView();
    view->selectionModel()->select(window.addressList().index(500000, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view->scrollTo(window.addressList().index(500000, 0));
    settle();
    timer.restart();
    window.ListView1_KeyDown(Qt::Key_Delete);
    settle();
    const double removeMs = msSince(timer);
    if (window.addressList().count() != 999999) {
        std::fprintf(stderr, "bench_addresses: the removal left %d entries (busy %d)\n", window.addressList().count(),
                     int(window.isBusy()));
        return 1;
    }
    benchFigure("addresses_remove_one_of_1M", removeMs, "ms");

    timer.restart();
    clear->click();
    settle();
    const double clearMs = msSince(timer);
    if (window.addressList().count() != 0)
        return 1;
    benchFigure("addresses_clear_1M", clearMs, "ms");

    const QString longPath = folder.filePath(u"one-line.txt"_s);
    if (!writeFile(longPath, QByteArray(100 << 20, 'x')))
        return 1;
    dialogs.fileResults.push_back(longPath);
    core::EventPump::resetGapStatistics();
    latency.start();
    timer.restart();
    load->click();
    settle();
    const double longMs = msSince(timer);
    const double longTimerGap = latency.stop();
    if (window.addressList().count() != 1 || window.addressList().entry(0).size() != (100 << 20))
        return 1;
    benchFigure("addresses_import_100MB_line", longMs, "ms");
    benchFigure("addresses_import_100MB_line_longest_gap", double(core::EventPump::longestGapMs()), "ms");
    benchFigure("addresses_import_100MB_line_longest_timer_wait", longTimerGap, "ms");
    benchFigure("addresses_resident_peak_after_100MB_line", residentMb(true), "MB");
    return 0;
}

// Time from starting the real executable to its window being shown, under a private X server.
#include "Bench.h"
#include "support/Xvfb.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    Xvfb x;
    if (!x.isRunning()) {
        std::fprintf(stderr, "bench_startup: Xvfb could not be started\n");
        return 1;
    }
    std::vector<double> times;
    for (int run = 0; run < 10; ++run) {
        QProcess tellurion;
        tellurion.setProcessEnvironment(x.environment());
        QElapsedTimer timer;
        timer.start();
        tellurion.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        tellurion.start(QStringLiteral(TELLURION_APP_DIR) + u"/tellurion"_s);
        double shown = -1;
        while (timer.elapsed() < 10000) {
            int code = 1;
            x.run(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--name"_s, u"^Tellurion Software$"_s}, &code);
            if (code == 0) {
                shown = double(timer.nsecsElapsed()) / 1e6;
                break;
            }
            QThread::msleep(2);
        }
        tellurion.terminate();
        tellurion.waitForFinished(5000);
        if (shown < 0) {
            std::fprintf(stderr, "bench_startup: the window did not appear\n");
            return 1;
        }
        times.push_back(shown);
    }
    std::sort(times.begin(), times.end());
    benchFigure("startup_to_window_median", times[times.size() / 2], "ms");
    benchFigure("startup_to_window_best", times.front(), "ms");
    return 0;
}

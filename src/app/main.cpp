#include "shell/Dialogs.h"
#include "shell/MainWindow.h"
#include "shell/TerminationSignals.h"

#include <QApplication>
#include <QScreen>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    shell::QtDialogs dialogs;
    shell::MainWindow window(dialogs, QCoreApplication::applicationDirPath());
    dialogs.setOwner(&window);
    // Ended by a signal (logout, kill, Ctrl+C in its terminal), the program ends as when its window is
    // closed, so that nothing it made is left behind.
    const shell::TerminationSignals ending([&window] { window.close(); });
    if (!window.Form_Load())
        return 1;
    if (const QScreen* screen = window.screen())
        window.move(screen->availableGeometry().center() - window.frameGeometry().center() + window.pos());
    window.show();
    return app.exec();
}

#include "shell/Dialogs.h"
#include "shell/MainWindow.h"

#include <QApplication>
#include <QScreen>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    shell::QtDialogs dialogs;
    shell::MainWindow window(dialogs, QCoreApplication::applicationDirPath());
    dialogs.setOwner(&window);
    if (!window.Form_Load())
        return 1;
    if (const QScreen* screen = window.screen())
        window.move(screen->availableGeometry().center() - window.frameGeometry().center() + window.pos());
    window.show();
    return app.exec();
}

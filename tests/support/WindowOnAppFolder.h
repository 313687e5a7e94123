#pragma once

#include "shell/MainWindow.h"
#include "support/FakeDialogs.h"

#include <QFile>
#include <QTemporaryDir>

// The window started on a private app folder that holds a copy of the built country database, its
// dialogs answered by FakeDialogs: the set-up of the tests and benchmarks that drive whole commands.
struct WindowOnAppFolder
{
    QTemporaryDir folder;
    FakeDialogs dialogs;
    shell::MainWindow window;
    bool started = false;

    explicit WindowOnAppFolder(bool show = true) : window(dialogs, folder.path())
    {
        started = QFile::copy(QStringLiteral(TELLURION_APP_DIR "/dbCountries.mdb"),
                              folder.filePath(QStringLiteral("dbCountries.mdb"))) &&
                  window.Form_Load();
        if (show)
            window.show();
    }
};

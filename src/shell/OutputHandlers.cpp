#include "shell/MainWindow.h"

namespace shell {

void MainWindow::connectOutputHandlers() {}

} // namespace shell

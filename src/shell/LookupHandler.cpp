#include "shell/MainWindow.h"

namespace shell {

void MainWindow::connectLookupHandlers() {}

} // namespace shell

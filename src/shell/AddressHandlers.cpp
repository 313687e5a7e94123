#include "addresses/SampleAddresses.h"
#include "shell/MainWindow.h"

using namespace Qt::StringLiterals;

namespace shell {

void MainWindow::connectAddressHandlers()
{
    connectClick("PushButton2", &MainWindow::PushButton2_Click);
    connectClick("PushButton5", &MainWindow::PushButton5_Click);
}

void MainWindow::PushButton5_Click()
{
    ErrorTrap trap(m_dialogs, u"PushButton5_Click"_s);
    QString text;
    trap.run(100, [&] { text = m_dialogs.inputBox(u"Enter website address to add: "_s, m_applicationTitle, QString()); });
    if (trap.test(102, [&] { return text.isEmpty(); }))
        return;
    trap.run(104, [&] { m_addressList.append(text); });
}

void MainWindow::PushButton2_Click()
{
    ErrorTrap trap(m_dialogs, u"PushButton2_Click"_s);
    int line = 100;
    for (const QString& sample : addresses::SampleAddresses) {
        trap.run(line, [&] { m_addressList.append(sample); });
        line += 2;
    }
}

} // namespace shell

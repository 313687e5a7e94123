#include "shell/ErrorTrap.h"

using namespace Qt::StringLiterals;

namespace shell {

QString locationText(const QString& handlerName)
{
    return u"in Tellurion2021/08/31.Form1."_s + handlerName + u' ';
}

QString errorReportText(const QString& description, const QString& location, int line)
{
    return description + u"\r\n"_s + location + u"at line "_s + QString::number(line) + u"\r\r"_s +
           u"Please email screenshot of this message to "_s + SupportAddress;
}

ErrorTrap::ErrorTrap(Dialogs& dialogs, const QString& handlerName)
    : m_dialogs(dialogs), m_location(locationText(handlerName))
{
}

void ErrorTrap::report(const QString& description)
{
    ++m_reports;
    m_dialogs.message(errorReportText(description, m_location, m_line), u"Application Error"_s, MessageButtons::Ok,
                      MessageIcon::Warning);
}

} // namespace shell

#pragma once

#include "core/Failure.h"
#include "shell/Dialogs.h"

#include <QString>

#include <exception>
#include <new>

namespace shell {

inline const QString SupportAddress = QStringLiteral("support@kestrelworks.example");

// "in Tellurion2021/08/31.Form1.<handler> "
QString locationText(const QString& handlerName);

// Description, CR LF, location, "at line ", number, CR CR, the request to e-mail a screenshot.
QString errorReportText(const QString& description, const QString& location, int line);

// The error report every handler runs under. Each numbered step runs through run() or test(); a
// failing step shows one report naming the failure, the handler and the line, and the handler goes
// on with its next step. Closing the program (core::Abandoned) is never reported: it passes through.
class ErrorTrap
{
public:
    ErrorTrap(Dialogs& dialogs, const QString& handlerName);

    // Runs one numbered step. Returns true when it completed, false when it failed and was reported.
    template <class Step>
    bool run(int line, Step&& step)
    {
        m_line = line;
        try {
            step();
            return true;
        } catch (const core::Abandoned&) {
            throw;
        } catch (const core::Failure& failure) {
            report(failure.description());
        } catch (const std::bad_alloc&) {
            report(QStringLiteral("Out of memory"));
        } catch (const std::exception& other) {
            report(QString::fromLocal8Bit(other.what()));
        }
        return false;
    }

    // Evaluates the condition of a numbered conditional step. A condition that fails is reported and
    // counts as true: the step that follows it is the first one of the body.
    template <class Condition>
    bool test(int line, Condition&& condition)
    {
        bool result = true;
        run(line, [&] { result = condition(); });
        return result;
    }

    int line() const { return m_line; }
    int reportCount() const { return m_reports; }
    const QString& location() const { return m_location; }

private:
    void report(const QString& description);

    Dialogs& m_dialogs;
    QString m_location;
    int m_line = 0;
    int m_reports = 0;
};

} // namespace shell

#pragma once

#include "shell/Dialogs.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <stdexcept>

// Answers the window's dialogs from queues and records everything that was shown.
class FakeDialogs : public shell::Dialogs
{
public:
    struct Shown
    {
        QString kind; // "message", "input", "open", "save"
        QString text; // message text or prompt
        QString title;
        shell::MessageButtons buttons = shell::MessageButtons::Ok;
        shell::MessageIcon icon = shell::MessageIcon::None;
        shell::FileDialogSettings settings;
    };

    QList<Shown> shown;
    std::deque<shell::MessageAnswer> answers;  // for Yes/No boxes; Yes when empty
    std::deque<QString> inputs;                // for input boxes; cancel ("") when empty
    std::deque<QString> fileResults;           // for open and save dialogs; cancel when empty
    // Runs while a box is open, as a user acting on the window would (e.g. during a modal loop).
    std::function<void(const Shown&)> onShow;
    // Makes the next dialog fail as a broken platform dialog would.
    int failNext = 0;

    shell::MessageAnswer message(const QString& text, const QString& title, shell::MessageButtons buttons,
                                 shell::MessageIcon icon) override
    {
        record({QStringLiteral("message"), text, title, buttons, icon, {}});
        if (buttons == shell::MessageButtons::Ok)
            return shell::MessageAnswer::Ok;
        if (answers.empty())
            return shell::MessageAnswer::Yes;
        const auto answer = answers.front();
        answers.pop_front();
        return answer;
    }

    QString inputBox(const QString& prompt, const QString& title, const QString& defaultText) override
    {
        Q_UNUSED(defaultText);
        record({QStringLiteral("input"), prompt, title, shell::MessageButtons::Ok, shell::MessageIcon::None, {}});
        return pop(inputs);
    }

    QString openFiles(const shell::FileDialogSettings& settings) override
    {
        record({QStringLiteral("open"), {}, settings.title, shell::MessageButtons::Ok, shell::MessageIcon::None, settings});
        return pop(fileResults);
    }

    QString saveFile(const shell::FileDialogSettings& settings) override
    {
        record({QStringLiteral("save"), {}, settings.title, shell::MessageButtons::Ok, shell::MessageIcon::None, settings});
        return pop(fileResults);
    }

    QStringList messages() const
    {
        QStringList texts;
        for (const Shown& s : shown)
            if (s.kind == QLatin1String("message"))
                texts.append(s.text);
        return texts;
    }

    QList<Shown> errorReports() const
    {
        QList<Shown> reports;
        for (const Shown& s : shown)
            if (s.title == QLatin1String("Application Error"))
                reports.append(s);
        return reports;
    }

private:
    void record(const Shown& s)
    {
        shown.append(s);
        if (onShow)
            onShow(s);
        if (failNext > 0) {
            --failNext;
            throw std::runtime_error("Dialog failed");
        }
    }

    static QString pop(std::deque<QString>& queue)
    {
        if (queue.empty())
            return {};
        QString v = queue.front();
        queue.pop_front();
        return v;
    }
};

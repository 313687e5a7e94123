#include "shell/Dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>

using namespace Qt::StringLiterals;

namespace shell {

QString QtDialogs::displayLines(const QString& text)
{
    QString lines = text;
    lines.replace(u"\r\n"_s, u"\n"_s);
    lines.replace(u'\r', u'\n');
    return lines;
}

QString QtDialogs::qtFilter(const QString& barFilter)
{
    const QStringList parts = barFilter.split(u'|');
    QStringList choices;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty())
            continue;
        QString patterns = parts[i + 1];
        patterns.replace(u';', u' ');
        // "*.*" means every file on the classic dialog, also names without a dot.
        patterns.replace(u"*.*"_s, u"*"_s);
        choices.append(parts[i] + u" ("_s + patterns + u')');
    }
    return choices.join(u";;"_s);
}

MessageAnswer QtDialogs::message(const QString& text, const QString& title, MessageButtons buttons,
                                 MessageIcon icon)
{
    QMessageBox box(m_owner);
    box.setWindowTitle(title);
    box.setText(displayLines(text));
    box.setTextFormat(Qt::PlainText);
    switch (icon) {
    case MessageIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MessageIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MessageIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    }
    if (buttons == MessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return MessageAnswer::Ok;
}

QString QtDialogs::inputBox(const QString& prompt, const QString& title, const QString& defaultText)
{
    QInputDialog dialog(m_owner);
    dialog.setWindowTitle(title);
    dialog.setLabelText(displayLines(prompt));
    dialog.setTextValue(defaultText);
    dialog.setInputMode(QInputDialog::TextInput);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.textValue();
}

QString QtDialogs::openFiles(const FileDialogSettings& settings)
{
    QFileDialog dialog(m_owner, settings.title, QString(), qtFilter(settings.filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const bool multiple = settings.flags & FileDialogSettings::AllowMultiSelect;
    const bool mustExist = settings.flags & FileDialogSettings::FileMustExist;
    // Qt's multi-selection mode only takes existing files; without the must-exist flag a single typed
    // name may name a file that does not exist yet, which the caller then reports.
    dialog.setFileMode(multiple ? QFileDialog::ExistingFiles
                                : (mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile));
    if (!settings.fileName.isEmpty())
        dialog.selectFile(settings.fileName);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return {};
    if (chosen.size() == 1)
        return QDir::toNativeSeparators(chosen.first());
    QStringList parts{QDir::toNativeSeparators(QFileInfo(chosen.first()).absolutePath())};
    for (const QString& path : chosen)
        parts.append(QFileInfo(path).fileName());
    return parts.join(QChar(0));
}

QString QtDialogs::saveFile(const FileDialogSettings& settings)
{
    QFileDialog dialog(m_owner, settings.title, QString(), qtFilter(settings.filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The handler asks its own overwrite question, and the name is used exactly as typed.
    if (!(settings.flags & FileDialogSettings::OverwritePrompt))
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setDefaultSuffix(QString());
    if (!settings.fileName.isEmpty())
        dialog.selectFile(settings.fileName);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : QDir::toNativeSeparators(chosen.first());
}

} // namespace shell

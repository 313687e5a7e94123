#include "shell/Dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace shell {

namespace {

// Qt's multi-selection mode refuses a typed name that does not exist. Without the must-exist flag the
// classic dialog hands such names back and the caller reports them, so this one does too.
class OpenDialog : public QFileDialog
{
public:
    OpenDialog(QWidget* owner, const QString& title, const QString& filter, bool mustExist)
        : QFileDialog(owner, title, QString(), filter), m_mustExist(mustExist)
    {
    }

    // The names typed or selected, in the order of the name field; empty when Qt's own choice holds.
    const QStringList& typedNames() const { return m_typed; }

    void accept() override
    {
        m_typed.clear();
        if (!m_mustExist && fileMode() == ExistingFiles) {
            const QStringList names = namesInField();
            const bool anyMissing =
                std::any_of(names.begin(), names.end(), [](const QString& name) { return !QFileInfo::exists(name); });
            const bool anyFolder =
                std::any_of(names.begin(), names.end(), [](const QString& name) { return QFileInfo(name).isDir(); });
            // A folder name still opens that folder, as Qt does.
            if (anyMissing && !anyFolder) {
                m_typed = names;
                // Past QFileDialog's own accept, which would refuse the names that do not exist.
                QDialog::accept(); // NOLINT(bugprone-parent-virtual-call)
                return;
            }
        }
        QFileDialog::accept();
    }

private:
    QStringList namesInField() const
    {
        const auto* field = findChild<QLineEdit*>(u"fileNameEdit"_s);
        const QString text = field ? field->text().trimmed() : QString();
        QStringList names;
        if (text.contains(u'"')) {
            const QStringList pieces = text.split(u'"');
            for (qsizetype i = 1; i < pieces.size(); i += 2)
                names.append(pieces[i]);
        } else if (!text.isEmpty()) {
            names.append(text);
        }
        for (QString& name : names)
            name = QDir(directory()).absoluteFilePath(name);
        return names;
    }

    bool m_mustExist;
    QStringList m_typed;
};

} // namespace

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
    const bool multiple = settings.flags & FileDialogSettings::AllowMultiSelect;
    const bool mustExist = settings.flags & FileDialogSettings::FileMustExist;
    OpenDialog dialog(m_owner, settings.title, qtFilter(settings.filter), mustExist);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Without the must-exist flag a typed name may name a file that does not exist, which the caller
    // then reports.
    dialog.setFileMode(multiple ? QFileDialog::ExistingFiles
                                : (mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile));
    if (!settings.fileName.isEmpty())
        dialog.selectFile(settings.fileName);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList chosen = dialog.typedNames().isEmpty() ? dialog.selectedFiles() : dialog.typedNames();
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

#include "shell/Dialogs.h"

#include <QComboBox>
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
    OpenDialog(QWidget* owner, const QString& title, bool mustExist) : QFileDialog(owner, title), m_mustExist(mustExist)
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

// One entry of a file dialog's type box: the text it shows and the patterns it filters on.
struct FileTypeChoice
{
    QString text;
    QStringList patterns;
};

QList<FileTypeChoice> fileTypeChoices(const QString& barFilter)
{
    const QStringList parts = barFilter.split(u'|');
    QList<FileTypeChoice> choices;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty())
            continue;
        QStringList patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            // "*.*" means every file on the classic dialog, also names without a dot.
            if (pattern == u"*.*"_s)
                pattern = u"*"_s;
        }
        patterns.removeAll(QString());
        choices.append({parts[i], patterns});
    }
    return choices;
}

QString qtNameFilter(const FileTypeChoice& choice)
{
    // Qt filters on the last group in brackets; a description that already ends in the patterns is enough.
    const QString group = u'(' + choice.patterns.join(u' ') + u')';
    return choice.text.endsWith(group) ? choice.text : choice.text + u' ' + group;
}

// Gives the dialog the choices of a bar filter: its type box shows each description as written, and each
// choice filters on its patterns.
void setFileTypes(QFileDialog& dialog, const QString& barFilter)
{
    const QList<FileTypeChoice> choices = fileTypeChoices(barFilter);
    QStringList filters;
    for (const FileTypeChoice& choice : choices)
        filters.append(qtNameFilter(choice));
    dialog.setNameFilters(filters);
    // Qt's type box shows the filter it filters on ("All Files (*.*) (*)"); the user sees the description
    // alone, as written. Qt keeps filtering on its own list, which the box's texts do not change.
    auto* box = dialog.findChild<QComboBox*>(u"fileTypeCombo"_s);
    if (!box || box->count() != choices.size())
        return;
    for (int i = 0; i < box->count(); ++i)
        box->setItemText(i, choices[i].text);
}

} // namespace

QString QtDialogs::displayLines(const QString& text)
{
    QString lines = text;
    lines.replace(u"\r\n"_s, u"\n"_s);
    lines.replace(u'\r', u'\n');
    return lines;
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
    OpenDialog dialog(m_owner, settings.title, mustExist);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Without the must-exist flag a typed name may name a file that does not exist, which the caller
    // then reports.
    dialog.setFileMode(multiple ? QFileDialog::ExistingFiles
                                : (mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile));
    setFileTypes(dialog, settings.filter);
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
    QFileDialog dialog(m_owner, settings.title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    setFileTypes(dialog, settings.filter);
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

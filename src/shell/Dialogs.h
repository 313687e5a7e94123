#pragma once

#include <QString>
#include <QtGlobal>

class QWidget;

namespace shell {

enum class MessageButtons { Ok, YesNo };
enum class MessageIcon { None, Information, Warning };
enum class MessageAnswer { Ok, Yes, No };

// Settings of the shared file dialog, in the form the handlers set them.
struct FileDialogSettings
{
    // Bits of the classic common-dialog flags that the handlers set.
    static constexpr quint32 ReadOnly = 0x1;
    static constexpr quint32 OverwritePrompt = 0x2;
    static constexpr quint32 AllowMultiSelect = 0x200;
    static constexpr quint32 FileMustExist = 0x1000;
    static constexpr quint32 Explorer = 0x80000;
    static constexpr quint32 LongNames = 0x200000;

    QString fileName;
    quint32 flags = 0;
    QString title;
    // Description and pattern pairs separated by bars, with a closing bar:
    // "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|".
    QString filter;
};

// Every dialog the window shows goes through here, so that tests can answer them and see what was
// shown. The window receives one in its constructor.
class Dialogs
{
public:
    virtual ~Dialogs() = default;

    // A modal message box. The text may hold CR, LF or CR LF; each shows as one line break.
    virtual MessageAnswer message(const QString& text, const QString& title, MessageButtons buttons,
                                  MessageIcon icon) = 0;

    // A modal input box; returns the confirmed text, or the empty string on cancel.
    virtual QString inputBox(const QString& prompt, const QString& title, const QString& defaultText) = 0;

    // The open dialog. Returns "" on cancel, the full path when one file was chosen, and when several
    // were chosen the folder followed by each chosen name, all separated by NUL characters.
    virtual QString openFiles(const FileDialogSettings& settings) = 0;

    // The save dialog. Returns the chosen name exactly as given, or "" on cancel.
    virtual QString saveFile(const FileDialogSettings& settings) = 0;
};

// The real dialogs of Qt Widgets.
class QtDialogs : public Dialogs
{
public:
    explicit QtDialogs(QWidget* owner = nullptr) : m_owner(owner) {}
    void setOwner(QWidget* owner) { m_owner = owner; }

    MessageAnswer message(const QString& text, const QString& title, MessageButtons buttons,
                          MessageIcon icon) override;
    QString inputBox(const QString& prompt, const QString& title, const QString& defaultText) override;
    QString openFiles(const FileDialogSettings& settings) override;
    QString saveFile(const FileDialogSettings& settings) override;

    // "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|" -> "Text Files (*.txt);;All Files (*)".
    static QString qtFilter(const QString& barFilter);
    // CR LF, lone CR and lone LF each become one line break.
    static QString displayLines(const QString& text);

private:
    QWidget* m_owner;
};

} // namespace shell

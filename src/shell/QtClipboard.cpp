#include "shell/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

using namespace Qt::StringLiterals;

namespace shell {

namespace {

// Catches the platform's complaint that the selection could not be taken, for the length of one call.
class SelectionWarningWatch
{
public:
    SelectionWarningWatch() : m_previous(qInstallMessageHandler(&SelectionWarningWatch::handle))
    {
        s_seen = false;
        s_previous = m_previous;
    }
    ~SelectionWarningWatch() { qInstallMessageHandler(m_previous); }
    bool seen() const { return s_seen; }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (type == QtWarningMsg && message.contains(u"Cannot set X11 selection owner"_s))
            s_seen = true;
        if (s_previous)
            s_previous(type, context, message);
    }

    static inline bool s_seen = false;
    static inline QtMessageHandler s_previous = nullptr;
    QtMessageHandler m_previous;
};

} // namespace

QString QtClipboard::mimeTypeOf(int format)
{
    return u"application/x-clipboard-format-%1"_s.arg(format);
}

bool QtClipboard::clear()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    SelectionWarningWatch watch;
    clipboard->clear(QClipboard::Clipboard);
    return !watch.seen();
}

bool QtClipboard::setText(const QString& text, int format)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    auto* data = new QMimeData;
    if (format == 0)
        data->setText(text);
    else
        data->setData(mimeTypeOf(format), text.toUtf8());
    SelectionWarningWatch watch;
    clipboard->setMimeData(data, QClipboard::Clipboard);
    return !watch.seen() && clipboard->mimeData(QClipboard::Clipboard) == data;
}

} // namespace shell

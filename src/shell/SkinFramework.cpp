#include "shell/SkinFramework.h"

#include "core/Failure.h"

#include <QApplication>
#include <QFile>
#include <QStringDecoder>
#include <QStyle>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace shell {

void SkinFramework::loadSkin(const QString& path, const QString& section)
{
    Q_UNUSED(section);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw core::Failure(u"The skin file could not be read: "_s + file.errorString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw core::Failure(u"The skin file could not be read: "_s + file.errorString());
    if (bytes.trimmed().isEmpty())
        throw core::Failure(u"The skin file is empty."_s);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString sheet = decoder.decode(bytes);
    if (decoder.hasError() || bytes.contains('\0'))
        throw core::Failure(u"The skin file is not a skin: it is not text."_s);
    m_styleSheet = std::move(sheet);
}

void SkinFramework::applyWindow(QWidget* window)
{
    if (!window)
        throw core::Failure(u"Invalid window handle."_s);
    if (m_styleSheet.isEmpty())
        throw core::Failure(u"No skin has been loaded."_s);
    if (!(m_options & OptionApplyRules))
        return;
    if (m_applyToDialogs)
        qApp->setStyleSheet(m_styleSheet);
    else
        window->setStyleSheet(m_styleSheet);
    if (m_refreshAll) {
        const auto widgets = window->findChildren<QWidget*>();
        for (QWidget* w : widgets) {
            w->style()->unpolish(w);
            w->style()->polish(w);
            w->update();
        }
    }
}

} // namespace shell

#include "shell/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace shell {

namespace {

QPixmap drawGlobe(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const QRectF globe(s * 0.06, s * 0.06, s * 0.88, s * 0.88);

    QRadialGradient sea(globe.center() - QPointF(s * 0.15, s * 0.15), s * 0.6);
    sea.setColorAt(0, QColor(0x6f, 0xb7, 0xf0));
    sea.setColorAt(1, QColor(0x1d, 0x5f, 0xa8));
    p.setPen(QPen(QColor(0x12, 0x3d, 0x6e), qMax(1.0, s / 32)));
    p.setBrush(sea);
    p.drawEllipse(globe);

    // Meridians and parallels.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 150), qMax(1.0, s / 48)));
    for (qreal w : {0.25, 0.55})
        p.drawEllipse(QRectF(globe.center().x() - globe.width() * w / 2, globe.top(), globe.width() * w, globe.height()));
    p.drawLine(QPointF(globe.center().x(), globe.top()), QPointF(globe.center().x(), globe.bottom()));
    for (qreal y : {0.3, 0.5, 0.7}) {
        const qreal dy = (y - 0.5) * globe.height();
        const qreal half = std::sqrt(std::max(0.0, 0.25 * globe.width() * globe.width() - dy * dy));
        p.drawLine(QPointF(globe.center().x() - half, globe.center().y() + dy),
                   QPointF(globe.center().x() + half, globe.center().y() + dy));
    }

    // A pin marking the place that was found.
    QPainterPath pin;
    const QPointF tip(s * 0.62, s * 0.62);
    const qreal r = s * 0.16;
    const QPointF head(tip.x(), tip.y() - r * 1.6);
    pin.moveTo(tip);
    pin.arcTo(QRectF(head.x() - r, head.y() - r, 2 * r, 2 * r), -60, 300);
    pin.closeSubpath();
    p.setPen(QPen(QColor(0x7a, 0x12, 0x12), qMax(1.0, s / 40)));
    p.setBrush(QColor(0xe5, 0x3b, 0x2f));
    p.drawPath(pin);
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    p.drawEllipse(head, r * 0.4, r * 0.4);
    return pixmap;
}

} // namespace

QIcon applicationIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(drawGlobe(size));
    return icon;
}

} // namespace shell

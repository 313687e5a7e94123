#include "shell/CursorFile.h"

#include "core/Failure.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPixmap>
#include <QtEndian>

using namespace Qt::StringLiterals;

namespace shell {

CursorFile CursorFile::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw core::Failure(u"The cursor file could not be read: "_s + file.errorString());
    // A cursor is a few kilobytes; anything far larger is not one.
    const QByteArray bytes = file.read(qint64(4) * 1024 * 1024);
    if (file.error() != QFileDevice::NoError)
        throw core::Failure(u"The cursor file could not be read: "_s + file.errorString());
    return fromBytes(bytes);
}

CursorFile CursorFile::fromBytes(const QByteArray& bytes)
{
    // ICONDIR: reserved (0), type (2 for cursors), count; then one 16-byte entry per image whose
    // bytes 4-7 hold the hot spot, which Qt's image reader does not hand back.
    const auto u16 = [&](qsizetype at) { return qFromLittleEndian<quint16>(bytes.constData() + at); };
    if (bytes.size() < 22 || u16(0) != 0 || u16(2) != 2 || u16(4) == 0)
        throw core::Failure(u"Invalid picture: the file is not a cursor."_s);
    const QPoint hotSpot(u16(10), u16(12));

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "cur");
    QImage image = reader.read();
    if (image.isNull())
        throw core::Failure(u"Invalid picture: "_s + reader.errorString());
    if (!image.rect().contains(hotSpot))
        throw core::Failure(u"Invalid picture: the cursor's hot spot lies outside its image."_s);
    return {std::move(image), hotSpot};
}

QCursor CursorFile::cursor() const
{
    return QCursor(QPixmap::fromImage(image), hotSpot.x(), hotSpot.y());
}

} // namespace shell

#pragma once

#include <QCursor>
#include <QPoint>
#include <QString>

namespace shell {

// A Windows cursor file (.CUR): the first image and its hot spot.
struct CursorFile
{
    QImage image;
    QPoint hotSpot;

    // Throws core::Failure when the file cannot be read or is not a cursor.
    static CursorFile load(const QString& path);
    static CursorFile fromBytes(const QByteArray& bytes);

    QCursor cursor() const;
};

} // namespace shell

#include "output/ReplacingFile.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace output {

ReplacingFile::ReplacingFile(const QString& path, QObject* parent)
    : QIODevice(parent), m_path(path), m_save(path), m_inPlace(path)
{
}

bool ReplacingFile::open(OpenMode mode)
{
    if ((mode & ReadWrite) != WriteOnly) {
        setErrorString(u"The file can only be written."_s);
        return false;
    }
    m_cancelled = false;
    m_writtenInPart = false;
    m_pending.clear();
    if (m_save.open(WriteOnly))
        return QIODevice::open(WriteOnly | Unbuffered);
    if (!QFileInfo(m_path).isFile()) {
        setErrorString(m_save.errorString());
        return false;
    }
    // Opened without cutting it: the old content stays until the commit.
    if (m_inPlace.open(WriteOnly | Append | ExistingOnly | Unbuffered))
        return QIODevice::open(WriteOnly | Unbuffered);
    // The file itself refuses, which is the cause that matters to the user.
    setErrorString(m_inPlace.errorString());
    return false;
}

qint64 ReplacingFile::readData(char*, qint64)
{
    return -1;
}

qint64 ReplacingFile::writeData(const char* data, qint64 size)
{
    if (writesInPlace()) {
        m_pending.append(data, size);
        return size;
    }
    const qint64 written = m_save.write(data, size);
    if (written < 0)
        setErrorString(m_save.errorString());
    return written;
}

void ReplacingFile::cancelWriting()
{
    m_cancelled = true;
    m_save.cancelWriting();
}

bool ReplacingFile::commit()
{
    if (!isOpen()) {
        setErrorString(u"The file is not open."_s);
        return false;
    }
    const bool done = writesInPlace() ? commitInPlace() : m_save.commit();
    if (!done && !writesInPlace())
        setErrorString(m_save.errorString());
    m_inPlace.close();
    m_pending.clear();
    QIODevice::close();
    return done;
}

bool ReplacingFile::commitInPlace()
{
    if (m_cancelled) {
        setErrorString(u"Writing canceled by application"_s);
        return false;
    }
    if (!m_inPlace.resize(0)) {
        setErrorString(m_inPlace.errorString());
        return false;
    }
    m_writtenInPart = true;
    // The file is open for appending, so the content lands at its start, now its end. A short write says
    // why only when asked again.
    for (qint64 done = 0; done < m_pending.size();) {
        const qint64 written = m_inPlace.write(m_pending.constData() + done, m_pending.size() - done);
        if (written <= 0) {
            setErrorString(m_inPlace.errorString());
            return false;
        }
        done += written;
    }
    // Space the file system only finds missing when the data reaches the disk is reported here.
    if (::fsync(m_inPlace.handle()) != 0) {
        setErrorString(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_writtenInPart = false;
    return true;
}

} // namespace output

#pragma once

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QSaveFile>
#include <QString>

namespace output {

// A file written anew that takes the place of an existing one only when complete: a failure or an end
// before commit() leaves the old file as it was. Where the folder takes a new file, the content goes to a
// temporary file beside the target that replaces it at commit (QSaveFile). Where it does not (a folder the
// user may not write to, a read-only mount with the file mounted writable into it, a folder that refuses new
// names) but the file itself may be written, the content is kept in memory and written over the file at
// commit, as the user would expect from a file they may change. (QSaveFile's own fallback writes straight
// into the file, so an unfinished save would destroy it, and it acts only on "Permission denied".)
class ReplacingFile : public QIODevice
{
public:
    explicit ReplacingFile(const QString& path, QObject* parent = nullptr);

    // WriteOnly only. False when neither way is open; errorString() then names the cause.
    bool open(OpenMode mode) override;
    // Puts the content in place and closes. False on failure, with errorString().
    bool commit();
    // The commit that follows leaves the old file as it was.
    void cancelWriting();

    const QString& fileName() const { return m_path; }
    // True when no temporary file could be made beside the target and the file is written over.
    bool writesInPlace() const { return m_inPlace.isOpen(); }
    // True after a failed commit that had begun to write over the file: it holds part of the content.
    bool writtenInPart() const { return m_writtenInPart; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    bool commitInPlace();

    QString m_path;
    QSaveFile m_save;
    QFile m_inPlace;
    QByteArray m_pending;
    bool m_cancelled = false;
    bool m_writtenInPart = false;
};

} // namespace output

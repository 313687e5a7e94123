#include "output/ResultsFile.h"

#include "core/Failure.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace output {

ResultsFile::ResultsFile(const QString& path) : m_path(path), m_file(path), m_encoder(QStringConverter::System) {}

void ResultsFile::open()
{
    if (!m_file.open(QIODevice::WriteOnly)) {
        const QString what = QFileInfo::exists(m_path) ? u"write"_s : u"create"_s;
        throw core::Failure(u"Could not %1 %2: %3"_s.arg(what, QDir::toNativeSeparators(m_path), m_file.errorString()));
    }
}

QString ResultsFile::block(const ResultsTable& table, int row)
{
    const int columns = table.columnCount();
    QString text;
    for (int c = 0; c < CellsPerRow; ++c) {
        if (c < columns)
            text += table.cell(row, c);
        text += u"\r\n"_s;
    }
    return text + Separator + u"\r\n"_s;
}

core::Failure ResultsFile::saveFailure() const
{
    const QString outcome = m_file.writtenInPart() ? u"The file holds only part of the results."_s
                                                   : u"An existing file of that name was left unchanged."_s;
    return core::Failure(
        u"Could not save %1: %2. %3"_s.arg(QDir::toNativeSeparators(m_path), m_file.errorString(), outcome));
}

void ResultsFile::writeRow(const ResultsTable& table, int row)
{
    const QByteArray bytes = m_encoder.encode(block(table, row));
    if (m_file.write(bytes) != bytes.size())
        throw saveFailure();
}

void ResultsFile::commit()
{
    if (!m_file.commit())
        throw saveFailure();
}

QString ResultsFile::replacedCharactersDescription() const
{
    return u"%1 was saved, but some characters have no form in the system's character encoding (%2) and were "
           u"written as replacement characters."_s.arg(QDir::toNativeSeparators(m_path),
                                                       QString::fromLatin1(m_encoder.name()));
}

void SaveResultsFile(const ResultsTable& table, const QString& path)
{
    ResultsFile file(path);
    file.open();
    RowWalk walk(table);
    for (int i = 0; i < walk.count(); ++i) {
        const int row = walk.next(i);
        if (row >= 0)
            file.writeRow(table, row);
    }
    file.commit();
    if (file.replacedCharacters())
        throw core::Failure(file.replacedCharactersDescription());
}

} // namespace output

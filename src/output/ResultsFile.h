#pragma once

#include "core/Failure.h"
#include "output/ReplacingFile.h"
#include "output/ResultsTable.h"

#include <QString>
#include <QStringEncoder>

namespace output {

// The results file: for every row its five cells, one per line, and a line of 18 equals signs; every
// line ends in CR LF; text in the system's encoding. The old file of that name is replaced only when
// the new content is complete: a failure on the way leaves it as it was, and the unfinished file is
// removed (also when the program ends midway). A writable file in a folder that takes no new file is
// written over in place at the end.
class ResultsFile
{
public:
    static constexpr int CellsPerRow = 5;
    static inline const QString Separator = QStringLiteral("==================");

    explicit ResultsFile(const QString& path);

    // Each step throws core::Failure with a description for the user.
    void open();
    // Writes the block of one row as one write.
    void writeRow(const ResultsTable& table, int row);
    // Puts the new file in place of the old one.
    void commit();

    // True when some character had no form in the system's encoding and was written as the encoder
    // replaces it; the description says so.
    bool replacedCharacters() const { return m_encoder.hasError(); }
    QString replacedCharactersDescription() const;

    // The block of one row: its text exactly as written, before encoding.
    static QString block(const ResultsTable& table, int row);

private:
    core::Failure saveFailure() const;

    QString m_path;
    ReplacingFile m_file;
    QStringEncoder m_encoder;
};

// Writes every row of the table to path as one step, for callers without numbered steps (the batch
// tool). Throws core::Failure; a file with replaced characters is saved, then reported by the throw.
void SaveResultsFile(const ResultsTable& table, const QString& path);

} // namespace output

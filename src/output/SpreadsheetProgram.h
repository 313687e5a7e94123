#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace output {

// The desktop's spreadsheet program, started with a workbook file.
struct SpreadsheetProgram
{
    QString program;       // full path of the executable
    QStringList arguments; // given before the file name
    // True when the program makes a new, unsaved document from the file (LibreOffice's -n), so that the
    // file itself is of no more use once read. Otherwise the program opens the file itself and the user's
    // saves go to it.
    bool newDocument = false;

    // The first one found: LibreOffice (soffice or libreoffice on PATH; opens the file as a new,
    // unsaved document), Gnumeric, or the desktop's default program for .xlsx files (xdg-open).
    static std::optional<SpreadsheetProgram> find();

    // Starts the program on the file and does not wait for it. Throws core::Failure.
    void open(const QString& file) const;
};

} // namespace output

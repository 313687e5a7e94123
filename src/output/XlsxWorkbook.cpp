#include "output/XlsxWorkbook.h"

#include "core/Failure.h"

#include <QDir>

#include <xlsxwriter.h>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace output {

namespace {

QString describe(lxw_error error)
{
    return QString::fromUtf8(lxw_strerror(error));
}

qsizetype longestLine(const QString& text)
{
    qsizetype longest = 0;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0)
            end = text.size();
        qsizetype length = end - start;
        if (length > 0 && text.at(end - 1) == u'\r')
            --length;
        longest = std::max(longest, length);
        start = end + 1;
    }
    return longest;
}

} // namespace

XlsxWorkbook::XlsxWorkbook(const QString& path, const QString& scratchFolder)
    : m_path(path), m_scratch(QFile::encodeName(scratchFolder))
{
    const QByteArray file = QFile::encodeName(path);
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = m_scratch.data();
    m_book = workbook_new_opt(file.constData(), &options);
    if (m_book)
        m_sheet = workbook_add_worksheet(m_book, nullptr);
    if (!m_sheet) {
        if (m_book)
            lxw_workbook_free(m_book);
        m_book = nullptr;
        throw core::Failure(u"Could not create the workbook %1."_s.arg(QDir::toNativeSeparators(path)));
    }
}

XlsxWorkbook::~XlsxWorkbook()
{
    if (m_book)
        lxw_workbook_free(m_book);
}

void XlsxWorkbook::checkOpen() const
{
    if (!m_book)
        throw core::Failure(u"The workbook has been shown and takes no more changes."_s);
}

void XlsxWorkbook::write(int row, int column, const QString& text)
{
    checkOpen();
    if (row < 1 || row > LXW_ROW_MAX || column < 1 || column > LXW_COL_MAX)
        throw core::Failure(u"There is no cell (%1, %2) on a sheet."_s.arg(row).arg(column));
    if (row < m_lastRow)
        throw core::Failure(u"Cell (%1, %2) lies above row %3, which was filled already; the sheet is filled "
                            u"from top to bottom."_s.arg(row)
                                .arg(column)
                                .arg(m_lastRow));
    const QByteArray utf8 = text.toUtf8();
    const lxw_error error =
        worksheet_write_string(m_sheet, lxw_row_t(row - 1), lxw_col_t(column - 1), utf8.constData(), nullptr);
    if (error == LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED)
        throw core::Failure(u"Cell (%1, %2) was left empty: its text has %3 characters, a spreadsheet cell holds "
                            u"at most %4."_s.arg(row)
                                .arg(column)
                                .arg(text.size())
                                .arg(MaxCellCharacters));
    if (error != LXW_NO_ERROR)
        throw core::Failure(u"Cell (%1, %2): %3"_s.arg(row).arg(column).arg(describe(error)));
    m_lastRow = row;
    ensureColumn(column);
    m_widest[size_t(column - 1)] = std::max(m_widest[size_t(column - 1)], longestLine(text));
}

void XlsxWorkbook::ensureColumn(int column)
{
    if (size_t(column) > m_widest.size()) {
        m_widest.resize(size_t(column), 0);
        m_fitted.resize(size_t(column), -1);
    }
}

void XlsxWorkbook::setCell(int row, int column, const QString& text)
{
    write(row, column, text);
}

void XlsxWorkbook::setCellValue(int row, int column, const QString& text)
{
    write(row, column, text);
}

double XlsxWorkbook::fittedWidth(qsizetype characters)
{
    // Roughly what the spreadsheet programs' own fitting gives for the default font: a little over one
    // unit per character and a margin.
    return std::min(MaxColumnWidth, 1.1 * double(characters) + 1.0);
}

void XlsxWorkbook::autofitColumn(int column)
{
    checkOpen();
    if (column < 1 || column > LXW_COL_MAX)
        throw core::Failure(u"There is no column %1 on a sheet."_s.arg(column));
    ensureColumn(column);
    m_fitted[size_t(column - 1)] = fittedWidth(m_widest[size_t(column - 1)]);
}

void XlsxWorkbook::autofitColumns()
{
    checkOpen();
    for (size_t c = 0; c < m_widest.size(); ++c)
        if (m_widest[c] > 0 || m_fitted[c] >= 0)
            m_fitted[c] = fittedWidth(m_widest[c]);
}

void XlsxWorkbook::close()
{
    checkOpen();
    for (size_t c = 0; c < m_fitted.size(); ++c)
        if (m_fitted[c] >= 0)
            worksheet_set_column(m_sheet, lxw_col_t(c), lxw_col_t(c), m_fitted[c], nullptr);
    lxw_workbook* book = m_book;
    m_book = nullptr;
    m_sheet = nullptr;
    const lxw_error error = workbook_close(book);
    if (error != LXW_NO_ERROR)
        throw core::Failure(
            u"Could not write the workbook %1: %2"_s.arg(QDir::toNativeSeparators(m_path), describe(error)));
}

} // namespace output

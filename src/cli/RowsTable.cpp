#include "cli/RowsTable.h"

#include "core/Failure.h"
#include "output/ResultsFile.h"
#include "output/ResultsText.h"

#include <QStringEncoder>

using namespace Qt::StringLiterals;

namespace cli {

QString RowsTable::headerText(int column) const
{
    static const QStringList headers{u"IP Address(es)"_s, u"Status"_s, u"Country"_s, u"Country Code"_s, u"Continent"_s};
    if (column < 0 || column >= headers.size())
        throw core::Failure(u"Invalid column number %1."_s.arg(column + 1));
    return headers[column];
}

QString RowsTable::cell(int row, int column) const
{
    if (row < 0 || size_t(row) >= m_rows.size())
        throw core::Failure(u"Invalid row number %1."_s.arg(row + 1));
    const Row& r = m_rows[size_t(row)];
    switch (column) {
    case 0:
        return r.address;
    case 1:
        return r.status;
    case 2:
        return r.country;
    case 3:
        return r.code;
    case 4:
        return r.continent;
    default:
        throw core::Failure(u"Invalid column number %1."_s.arg(column + 1));
    }
}

QByteArray ResultsTextWriter::row(const Row& row)
{
    m_rows.push_back(row);
    return {};
}

QByteArray ResultsTextWriter::finish()
{
    QStringEncoder encoder(QStringEncoder::System);
    return encoder.encode(output::BuildResultsText(RowsTable(m_rows)));
}

QByteArray ResultsFileWriter::row(const Row& row)
{
    const std::vector<Row> one{row};
    QStringEncoder encoder(QStringEncoder::System);
    return encoder.encode(output::ResultsFile::block(RowsTable(one), 0));
}

} // namespace cli

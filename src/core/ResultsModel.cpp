#include "core/ResultsModel.h"

#include "core/DisplayText.h"
#include "core/Failure.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace core {

ResultsModel::ResultsModel(QObject* parent) : QAbstractTableModel(parent) {}

void ResultsModel::addColumn(const QString& header)
{
    if (m_headers.size() >= MaxColumns)
        throw Failure(u"The results table has no room for another column."_s);
    const int column = int(m_headers.size());
    beginInsertColumns({}, column, column);
    m_headers.append(header);
    endInsertColumns();
}

QString ResultsModel::headerText(int column) const
{
    if (column < 0 || column >= m_headers.size())
        throw Failure(u"Invalid column number %1."_s.arg(column + 1));
    return m_headers.at(column);
}

ResultsModel::RowId ResultsModel::appendRow(const QString& text)
{
    const int row = int(m_rows.size());
    beginInsertRows({}, row, row);
    Row r{m_nextId++, false, {}};
    r.cells[0] = text;
    m_rows.push_back(std::move(r));
    endInsertRows();
    return m_rows.back().id;
}

int ResultsModel::rowOf(RowId id) const
{
    const auto it = std::lower_bound(m_rows.begin(), m_rows.end(), id,
                                     [](const Row& r, RowId wanted) { return r.id < wanted; });
    if (it == m_rows.end() || it->id != id)
        return -1;
    return int(it - m_rows.begin());
}

ResultsModel::RowId ResultsModel::idAt(int row) const
{
    checkCell(row, 0);
    return m_rows[size_t(row)].id;
}

void ResultsModel::checkCell(int row, int column) const
{
    if (row < 0 || size_t(row) >= m_rows.size())
        throw Failure(u"Invalid row number %1."_s.arg(row + 1));
    if (column < 0 || column >= MaxColumns)
        throw Failure(u"Invalid column number %1."_s.arg(column + 1));
}

QString ResultsModel::cell(int row, int column) const
{
    checkCell(row, column);
    return m_rows[size_t(row)].cells[size_t(column)];
}

void ResultsModel::setCell(int row, int column, const QString& text)
{
    checkCell(row, column);
    m_rows[size_t(row)].cells[size_t(column)] = text;
    const QModelIndex at = index(row, column);
    emit dataChanged(at, at, {Qt::DisplayRole});
}

bool ResultsModel::setCellById(RowId id, int column, const QString& text)
{
    const int row = rowOf(id);
    if (row < 0)
        return false;
    setCell(row, column, text);
    return true;
}

bool ResultsModel::isChecked(int row) const
{
    checkCell(row, 0);
    return m_rows[size_t(row)].checked;
}

void ResultsModel::setChecked(int row, bool checked)
{
    checkCell(row, 0);
    m_rows[size_t(row)].checked = checked;
    const QModelIndex at = index(row, 0);
    emit dataChanged(at, at, {Qt::CheckStateRole});
}

void ResultsModel::removeRowAt(int row)
{
    checkCell(row, 0);
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

void ResultsModel::clear()
{
    if (m_rows.empty())
        return;
    beginResetModel();
    std::vector<Row>().swap(m_rows);
    endResetModel();
}

int ResultsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ResultsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_headers.size());
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || size_t(index.row()) >= m_rows.size() || index.column() >= MaxColumns)
        return {};
    const Row& r = m_rows[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return displayText(r.cells[size_t(index.column())]);
    case Qt::CheckStateRole:
        if (index.column() == 0)
            return r.checked ? Qt::Checked : Qt::Unchecked;
        return {};
    default:
        return {};
    }
}

bool ResultsModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != 0 ||
        size_t(index.row()) >= m_rows.size())
        return false;
    setChecked(index.row(), value.value<Qt::CheckState>() == Qt::Checked);
    return true;
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_headers.size())
        return m_headers.at(section);
    return {};
}

Qt::ItemFlags ResultsModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

} // namespace core

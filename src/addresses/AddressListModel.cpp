#include "addresses/AddressListModel.h"

#include "core/DisplayText.h"
#include "core/Failure.h"

#include <QThreadPool>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace addresses {

AddressListModel::AddressListModel(QObject* parent) : QAbstractListModel(parent) {}

void AddressListModel::addColumn(const QString& header)
{
    if (!m_headers.isEmpty())
        throw core::Failure(u"The address list has only one column."_s);
    beginInsertColumns({}, 0, 0);
    m_headers.append(header);
    endInsertColumns();
}

const QString& AddressListModel::entry(int row) const
{
    if (row < 0 || size_t(row) >= m_entries.size())
        throw core::Failure(u"Invalid entry number %1."_s.arg(row + 1));
    return m_entries[size_t(row)];
}

void AddressListModel::append(const QString& entry)
{
    const int row = count();
    beginInsertRows({}, row, row);
    m_entries.push_back(entry);
    endInsertRows();
}

void AddressListModel::append(QStringList entries)
{
    if (entries.isEmpty())
        return;
    const int first = count();
    beginInsertRows({}, first, first + int(entries.size()) - 1);
    // Grows geometrically: reserving the exact size would move every entry again on each batch.
    const size_t needed = m_entries.size() + size_t(entries.size());
    if (needed > m_entries.capacity())
        m_entries.reserve(std::max(needed, 2 * m_entries.capacity()));
    for (QString& e : entries)
        m_entries.push_back(std::move(e));
    endInsertRows();
}

void AddressListModel::removeAt(int row)
{
    entry(row);
    beginRemoveRows({}, row, row);
    m_entries.erase(m_entries.begin() + row);
    endRemoveRows();
}

void AddressListModel::clear()
{
    if (m_entries.empty())
        return;
    beginResetModel();
    std::vector<QString> old;
    old.swap(m_entries);
    endResetModel();
    // Freeing a million strings one by one takes longer than the window may wait for the click to end;
    // the memory is nobody's any more, so it is given back beside the window.
    if (old.size() >= 100000)
        QThreadPool::globalInstance()->start([old = std::move(old)]() mutable { std::vector<QString>().swap(old); });
}

int AddressListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

int AddressListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_headers.size());
}

QVariant AddressListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.column() != 0 || index.row() >= count())
        return {};
    return core::displayText(m_entries[size_t(index.row())]);
}

QVariant AddressListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_headers.size())
        return m_headers.at(section);
    return {};
}

} // namespace addresses

#pragma once

#include <QAbstractListModel>
#include <QStringList>

#include <vector>

namespace addresses {

// The address list: entries exactly as typed, sampled or read, in the order they were appended.
// Sized for a million rows: appends can come in batches, and clearing is one reset.
class AddressListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit AddressListModel(QObject* parent = nullptr);

    // The list has no column until the window creates it at start-up.
    void addColumn(const QString& header);

    int count() const { return int(m_entries.size()); }
    // Text of the entry at a 0-based position; throws core::Failure when there is none.
    const QString& entry(int row) const;

    void append(const QString& entry);
    void append(QStringList entries);
    void removeAt(int row);
    void clear();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QStringList m_headers;
    std::vector<QString> m_entries;
};

} // namespace addresses

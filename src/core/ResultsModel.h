#pragma once

#include <QAbstractTableModel>
#include <QStringList>

#include <array>
#include <vector>

namespace core {

// The results table: one row per looked-up entry, up to five text cells and a check box that only
// the user ticks. Rows carry a stable id, so a long command can keep writing to the row it added
// after rows before it were removed, and can tell when its row is gone.
class ResultsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    using RowId = quint64;
    static constexpr int MaxColumns = 5;

    explicit ResultsModel(QObject* parent = nullptr);

    // Columns are created by the window at start-up; until then the table has none.
    void addColumn(const QString& header);
    QString headerText(int column) const;

    // Appends a row whose first cell is text; returns its id.
    RowId appendRow(const QString& text);
    // Position of the row with that id, or -1 when it was removed.
    int rowOf(RowId id) const;
    RowId idAt(int row) const;

    QString cell(int row, int column) const;
    void setCell(int row, int column, const QString& text);
    // Writes a cell of the row with that id; false when the row no longer exists.
    bool setCellById(RowId id, int column, const QString& text);

    bool isChecked(int row) const;
    void setChecked(int row, bool checked);

    void removeRowAt(int row);
    void clear();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Row
    {
        RowId id;
        bool checked;
        std::array<QString, MaxColumns> cells;
    };

    void checkCell(int row, int column) const;

    QStringList m_headers;
    std::vector<Row> m_rows; // ids ascend with position: rows are only appended, never moved
    RowId m_nextId = 1;
};

} // namespace core

#include "ui/recipient_table_model.h"

#include <QBrush>
#include <QColor>

#include "ui/qt_text.h"

namespace sendrix::ui {

RecipientTableModel::RecipientTableModel(app::TStringGrid& grid, const std::vector<std::string>& status,
                                         const std::vector<int>& sourceRows, QObject* parent)
    : QAbstractTableModel(parent),
      m_grid(grid),
      m_status(status),
      m_sourceRows(sourceRows),
      m_shownRows(rowCount()),
      m_shownColumns(columnCount()) {}

int RecipientTableModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return std::max(0, m_grid.RowCount() - m_grid.FixedRows);
}

int RecipientTableModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return m_grid.ColumnCount() + (hasStatusColumn() ? 1 : 0);
}

QVariant RecipientTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    if (role == Qt::BackgroundRole || role == Qt::ToolTipRole) {
        // A faulty address is flagged as soon as it is loaded or typed.
        if (index.column() != app::kGridEmailColumn ||
            !app::hasFaultyAddress(m_grid, index.row() + m_grid.FixedRows))
            return {};
        if (role == Qt::ToolTipRole)
            return QStringLiteral("Fehlerhafte Mailadresse");
        return QBrush(QColor(255, 200, 200));
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    const std::size_t row = static_cast<std::size_t>(index.row() + m_grid.FixedRows);
    const std::size_t col = static_cast<std::size_t>(index.column());
    if (hasStatusColumn() && index.column() == statusColumn())
        return row < m_status.size() ? toQt(m_status[row]) : QString();
    if (row >= m_grid.Cells.size() || col >= m_grid.Cells[row].size())
        return QString();
    return toQt(m_grid.Cells[row][col]);
}

QVariant RecipientTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical) {
        const std::size_t row = static_cast<std::size_t>(section);
        return row < m_sourceRows.size() ? m_sourceRows[row] : section + 1;
    }
    if (hasStatusColumn() && section == statusColumn())
        return QStringLiteral("Status");
    const std::size_t col = static_cast<std::size_t>(section);
    if (m_grid.Cells.empty() || col >= m_grid.Cells[0].size())
        return QString();
    return toQt(m_grid.Cells[0][col]);
}

Qt::ItemFlags RecipientTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_grid.Editing && index.column() < m_grid.ColumnCount())
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool RecipientTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole || !m_grid.Editing || index.column() >= m_grid.ColumnCount())
        return false;
    const std::size_t row = static_cast<std::size_t>(index.row() + m_grid.FixedRows);
    const std::size_t col = static_cast<std::size_t>(index.column());
    if (row >= m_grid.Cells.size())
        return false;
    auto& cells = m_grid.Cells[row];
    if (cells.size() <= col)
        cells.resize(std::max<std::size_t>(col + 1, m_grid.ColumnCount()));
    std::string text = fromQt(value.toString());
    if (index.column() != app::kGridMarkColumn && text != cells[col])
        m_grid.Modified = true;
    cells[col] = std::move(text);
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole, Qt::BackgroundRole, Qt::ToolTipRole});
    return true;
}

bool RecipientTableModel::refresh() {
    const int rows = rowCount();
    const int columns = columnCount();
    if (rows != m_shownRows || columns != m_shownColumns) {
        beginResetModel();
        m_shownRows = rows;
        m_shownColumns = columns;
        endResetModel();
        return true;
    }
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
    if (rows > 0)
        emit headerDataChanged(Qt::Vertical, 0, rows - 1);
    if (rows > 0)
        emit dataChanged(index(0, 0), index(rows - 1, columnCount() - 1));
    return false;
}

}  // namespace sendrix::ui

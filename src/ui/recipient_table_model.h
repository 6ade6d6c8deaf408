#pragma once
// The recipient grid for a QTableView: reads the cells of the model's
// TStringGrid directly (row 0 of the grid is the header), so a list of any
// length costs no copy. Once a list send has run, a last column "Status"
// shows each row's outcome from the window's status texts (by grid row).
#include <QAbstractTableModel>
#include <string>
#include <vector>

#include "app/controls.h"

namespace sendrix::ui {

class RecipientTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // `status` holds the status texts by grid row; empty: no status column.
    // `sourceRows` numbers the data rows as the list file does (the row
    // header); rows beyond it are counted on from 1.
    RecipientTableModel(app::TStringGrid& grid, const std::vector<std::string>& status,
                        const std::vector<int>& sourceRows, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Editing writes the cell straight into the grid (only while Editing).
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // The grid changed behind the view's back: a changed row or column
    // count resets the view (true), otherwise the shown cells are simply
    // read again.
    bool refresh();

    bool hasStatusColumn() const { return !m_status.empty(); }
    // The status column's index: after every column of the grid.
    int statusColumn() const { return m_grid.ColumnCount(); }

private:
    app::TStringGrid& m_grid;
    const std::vector<std::string>& m_status;
    const std::vector<int>& m_sourceRows;
    int m_shownRows = 0;
    int m_shownColumns = 0;
};

}  // namespace sendrix::ui

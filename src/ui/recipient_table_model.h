#pragma once
// The recipient grid for a QTableView: reads the cells of the model's
// TStringGrid directly (row 0 of the grid is the header), so a list of any
// length costs no copy.
#include <QAbstractTableModel>

#include "app/controls.h"

namespace sendrix::ui {

class RecipientTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RecipientTableModel(app::TStringGrid& grid, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Editing writes the cell straight into the grid (only while Editing).
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // The grid changed behind the view's back: a changed row count resets
    // the view, otherwise the shown cells are simply read again.
    void refresh();

private:
    app::TStringGrid& m_grid;
    int m_shownRows = 0;
    int m_shownColumns = 0;
};

}  // namespace sendrix::ui

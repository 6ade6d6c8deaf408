#pragma once
// The "Empfängerliste" page of the main window: the grid of recipient rows
// (a view over the model's rows, with a status column during and after a
// send), its mark and cell-edit handlers and its context menu, the row
// numbers as the list file shows them, a search field that hides the rows
// without the text, the buttons that mark all, none or leave out the faulty
// rows, and "Liste speichern". Space changes the marks of the selected rows;
// F2 or typing edits a cell in place.
#include <QWidget>
#include <vector>

#include "ui/form_runner.h"

class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

namespace sendrix::ui {

class RecipientTableModel;

class RecipientListPage : public QWidget {
    Q_OBJECT
public:
    explicit RecipientListPage(FormRunner& runner);

    void refresh();
    QTableView* grid() const { return m_empfaengerliste; }

private:
    QWidget* createToolRow();
    void connectGrid();
    // The grid rows (row 0 is the header) of the selected view rows.
    std::vector<int> selectedGridRows() const;

    FormRunner& m_runner;
    app::TfrmMessageEditor& m_form;
    QTableView* m_empfaengerliste = nullptr;
    RecipientTableModel* m_gridModel = nullptr;
    QSortFilterProxyModel* m_filter = nullptr;
    QLineEdit* m_search = nullptr;
    QPushButton* m_saveList = nullptr;
    std::vector<int> m_shownColWidths;
};

}  // namespace sendrix::ui

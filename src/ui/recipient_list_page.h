#pragma once
// The "Empfängerliste" page of the main window: the grid of recipient rows
// (a view over the model's rows, with a status column during and after a
// send), its mark and cell-edit handlers and its context menu.
#include <QWidget>
#include <vector>

#include "ui/form_runner.h"

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
    void connectGrid();

    FormRunner& m_runner;
    app::TfrmMessageEditor& m_form;
    QTableView* m_empfaengerliste = nullptr;
    RecipientTableModel* m_gridModel = nullptr;
    std::vector<int> m_shownColWidths;
};

}  // namespace sendrix::ui

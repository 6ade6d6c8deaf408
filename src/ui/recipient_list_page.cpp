#include "ui/recipient_list_page.h"

#include <algorithm>

#include <QAction>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QSignalBlocker>
#include <QTableView>
#include <QVBoxLayout>

#include "ui/recipient_table_model.h"

namespace sendrix::ui {

namespace {

using app::TfrmMessageEditor;

constexpr int kGridRowHeight = 18;
constexpr int kStatusColumnWidth = 220;

}  // namespace

RecipientListPage::RecipientListPage(FormRunner& runner) : m_runner(runner), m_form(runner.form()) {
    setObjectName(QStringLiteral("empfaenger"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_empfaengerliste = new QTableView(this);
    m_empfaengerliste->setObjectName(QStringLiteral("empfaengerliste"));
    m_gridModel = new RecipientTableModel(m_form.empfaengerliste, m_form.RowStatus, m_empfaengerliste);
    m_empfaengerliste->setModel(m_gridModel);
    // "Alle markieren" / "Keine markieren" on the grid's context menu.
    m_empfaengerliste->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* markAll = new QAction(QStringLiteral("Alle markieren"), m_empfaengerliste);
    markAll->setObjectName(QStringLiteral("AlleMarkieren1"));
    m_runner.connectRun(this, markAll, &QAction::triggered, &TfrmMessageEditor::AlleMarkierenClick);
    auto* markNone = new QAction(QStringLiteral("Keine markieren"), m_empfaengerliste);
    markNone->setObjectName(QStringLiteral("KeineMarkieren1"));
    m_runner.connectRun(this, markNone, &QAction::triggered, &TfrmMessageEditor::KeineMarkierenClick);
    m_empfaengerliste->addActions({markAll, markNone});
    m_empfaengerliste->verticalHeader()->hide();
    // Fixed row heights: the view never measures rows, whatever the length.
    m_empfaengerliste->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_empfaengerliste->verticalHeader()->setDefaultSectionSize(kGridRowHeight);
    m_empfaengerliste->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_empfaengerliste->horizontalHeader()->setHighlightSections(false);
    // The last column takes the room the window gives; the others keep the
    // widths the list or the user set.
    m_empfaengerliste->horizontalHeader()->setStretchLastSection(true);
    m_empfaengerliste->setSelectionMode(QAbstractItemView::SingleSelection);
    m_empfaengerliste->setWordWrap(false);
    // Grid line width 0.
    m_empfaengerliste->setShowGrid(false);
    layout->addWidget(m_empfaengerliste);
    connectGrid();
}

void RecipientListPage::connectGrid() {
    connect(m_empfaengerliste->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (m_runner.refreshing() || !current.isValid())
                    return;
                const int col = current.column();
                const int row = current.row() + m_form.empfaengerliste.FixedRows;
                m_runner.run([this, col, row] { m_form.empfaengerlisteSelectCell(col, row); });
            });
    m_runner.connectRun(this, m_empfaengerliste, &QTableView::doubleClicked,
                        &TfrmMessageEditor::empfaengerlisteDblClick);
    connect(m_empfaengerliste->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int section, int, int size) {
                auto& widths = m_form.empfaengerliste.ColWidths;
                if (m_runner.refreshing() || section < 0 || section >= static_cast<int>(widths.size()))
                    return;
                widths[section] = size;
                m_shownColWidths = widths;
            });
}

void RecipientListPage::refresh() {
    const app::TStringGrid& grid = m_form.empfaengerliste;
    if (m_gridModel->refresh()) {
        // The view set up its columns anew: their widths are the defaults.
        m_shownColWidths.clear();
        if (m_gridModel->hasStatusColumn())
            m_empfaengerliste->setColumnWidth(m_gridModel->statusColumn(), kStatusColumnWidth);
    }
    if (grid.ColWidths != m_shownColWidths) {
        const QSignalBlocker blocker(m_empfaengerliste->horizontalHeader());
        QHeaderView* header = m_empfaengerliste->horizontalHeader();
        for (int col = 0; col < static_cast<int>(grid.ColWidths.size()); ++col) {
            // A further column is at least as wide as its title, which
            // names what a placeholder has to say.
            const int title = col >= app::TStringGrid::ColCount ? header->sectionSizeHint(col) : 0;
            m_empfaengerliste->setColumnWidth(col, std::max(grid.ColWidths[col], title));
        }
        m_shownColWidths = grid.ColWidths;
    }
    // Whole rows are selected unless the cells can be edited.
    const bool rows = grid.RowSelect && !grid.Editing;
    m_empfaengerliste->setSelectionBehavior(rows ? QAbstractItemView::SelectRows
                                                 : QAbstractItemView::SelectItems);
    m_empfaengerliste->setEditTriggers(grid.Editing ? QAbstractItemView::DoubleClicked |
                                                          QAbstractItemView::EditKeyPressed |
                                                          QAbstractItemView::AnyKeyPressed
                                                    : QAbstractItemView::NoEditTriggers);
    const int viewRow = grid.Row - grid.FixedRows;
    QItemSelectionModel* selection = m_empfaengerliste->selectionModel();
    if (viewRow >= 0 && viewRow < m_gridModel->rowCount() && selection->currentIndex().row() != viewRow) {
        const int col = std::max(0, selection->currentIndex().column());
        const QModelIndex index = m_gridModel->index(viewRow, col);
        const QSignalBlocker blocker(selection);
        selection->setCurrentIndex(index,
                                   QItemSelectionModel::ClearAndSelect |
                                       (rows ? QItemSelectionModel::Rows : QItemSelectionModel::NoUpdate));
        m_empfaengerliste->viewport()->update();
    }
}

}  // namespace sendrix::ui

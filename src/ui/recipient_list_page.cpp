#include "ui/recipient_list_page.h"

#include <algorithm>

#include <QAbstractItemDelegate>
#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSortFilterProxyModel>
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
    layout->setSpacing(2);
    layout->addWidget(createToolRow());
    m_empfaengerliste = new QTableView(this);
    m_empfaengerliste->setObjectName(QStringLiteral("empfaengerliste"));
    m_gridModel = new RecipientTableModel(m_form.empfaengerliste, m_form.RowStatus, m_form.RecipientSourceRows,
                                          m_empfaengerliste);
    // The search hides rows without the text in any column; the view's
    // rows map back to the grid's through the filter.
    m_filter = new QSortFilterProxyModel(m_empfaengerliste);
    m_filter->setSourceModel(m_gridModel);
    m_filter->setFilterKeyColumn(-1);
    m_filter->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_empfaengerliste->setModel(m_filter);
    connect(m_search, &QLineEdit::textChanged, m_filter, &QSortFilterProxyModel::setFilterFixedString);
    // "Alle markieren" / "Keine markieren" on the grid's context menu.
    m_empfaengerliste->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* markAll = new QAction(QStringLiteral("Alle markieren"), m_empfaengerliste);
    markAll->setObjectName(QStringLiteral("AlleMarkieren1"));
    m_runner.connectRun(this, markAll, &QAction::triggered, &TfrmMessageEditor::AlleMarkierenClick);
    auto* markNone = new QAction(QStringLiteral("Keine markieren"), m_empfaengerliste);
    markNone->setObjectName(QStringLiteral("KeineMarkieren1"));
    m_runner.connectRun(this, markNone, &QAction::triggered, &TfrmMessageEditor::KeineMarkierenClick);
    auto* toggle = new QAction(QStringLiteral("Markierung umschalten"), m_empfaengerliste);
    toggle->setObjectName(QStringLiteral("MarkierungUmschalten"));
    toggle->setShortcut(Qt::Key_Space);
    // Only while the grid itself has the focus: a cell editor keeps its Space.
    toggle->setShortcutContext(Qt::WidgetShortcut);
    connect(toggle, &QAction::triggered, this, [this] {
        const std::vector<int> rows = selectedGridRows();
        m_runner.run([this, rows] { m_form.ToggleMarks(rows); });
    });
    m_empfaengerliste->addActions({markAll, markNone, toggle});
    // The row header numbers the rows as the list file does.
    m_empfaengerliste->verticalHeader()->setDefaultAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Fixed row heights: the view never measures rows, whatever the length.
    m_empfaengerliste->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_empfaengerliste->verticalHeader()->setDefaultSectionSize(kGridRowHeight);
    m_empfaengerliste->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_empfaengerliste->horizontalHeader()->setHighlightSections(false);
    // The last column takes the room the window gives; the others keep the
    // widths the list or the user set.
    m_empfaengerliste->horizontalHeader()->setStretchLastSection(true);
    m_empfaengerliste->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_empfaengerliste->setWordWrap(false);
    // Grid line width 0.
    m_empfaengerliste->setShowGrid(false);
    layout->addWidget(m_empfaengerliste, 1);
    connectGrid();
}

QWidget* RecipientListPage::createToolRow() {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    m_search = new QLineEdit(row);
    m_search->setObjectName(QStringLiteral("suche"));
    m_search->setPlaceholderText(QStringLiteral("Suchen …"));
    m_search->setClearButtonEnabled(true);
    layout->addWidget(m_search, 1);
    const auto addButton = [&](const char* name, const QString& text, void (TfrmMessageEditor::*handler)()) {
        auto* button = new QPushButton(text, row);
        button->setObjectName(QString::fromLatin1(name));
        m_runner.connectRun(this, button, &QPushButton::clicked, handler);
        layout->addWidget(button);
        return button;
    };
    addButton("AlleAuswaehlen", QStringLiteral("Alle auswählen"), &TfrmMessageEditor::AlleMarkierenClick);
    addButton("KeineAuswaehlen", QStringLiteral("Keine auswählen"), &TfrmMessageEditor::KeineMarkierenClick);
    addButton("FehlerhafteAbwaehlen", QStringLiteral("Fehlerhafte abwählen"),
              &TfrmMessageEditor::FehlerhafteAbwaehlenClick);
    m_saveList = addButton("ListeSpeichern", QStringLiteral("Liste speichern"),
                           &TfrmMessageEditor::ListeSpeichern1Click);
    return row;
}

std::vector<int> RecipientListPage::selectedGridRows() const {
    std::vector<int> rows;
    const QItemSelectionModel* selection = m_empfaengerliste->selectionModel();
    QModelIndexList indexes = selection->selectedIndexes();
    if (indexes.isEmpty() && selection->currentIndex().isValid())
        indexes.append(selection->currentIndex());
    for (const QModelIndex& index : indexes) {
        const int row = m_filter->mapToSource(index).row() + m_form.empfaengerliste.FixedRows;
        if (std::find(rows.begin(), rows.end(), row) == rows.end())
            rows.push_back(row);
    }
    return rows;
}

void RecipientListPage::connectGrid() {
    connect(m_empfaengerliste->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (m_runner.refreshing() || !current.isValid())
                    return;
                const int col = current.column();
                const int row = m_filter->mapToSource(current).row() + m_form.empfaengerliste.FixedRows;
                m_runner.run([this, col, row] { m_form.empfaengerlisteSelectCell(col, row); });
            });
    m_runner.connectRun(this, m_empfaengerliste, &QTableView::doubleClicked,
                        &TfrmMessageEditor::empfaengerlisteDblClick);
    // A cell edited in place reaches the salutation's preview line.
    connect(m_empfaengerliste->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
            [this] { m_runner.run(&TfrmMessageEditor::AnredeChange); });
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
    // F2 or typing edits a cell; the double-click stays the mark's.
    m_empfaengerliste->setEditTriggers(grid.Editing ? QAbstractItemView::EditKeyPressed |
                                                          QAbstractItemView::AnyKeyPressed
                                                    : QAbstractItemView::NoEditTriggers);
    m_saveList->setEnabled(m_form.ListeSpeichern1.Enabled);
    const int sourceRow = grid.Row - grid.FixedRows;
    QItemSelectionModel* selection = m_empfaengerliste->selectionModel();
    const int col = std::max(0, selection->currentIndex().column());
    const QModelIndex index = sourceRow >= 0 && sourceRow < m_gridModel->rowCount()
                                  ? m_filter->mapFromSource(m_gridModel->index(sourceRow, col))
                                  : QModelIndex();
    if (index.isValid() && selection->currentIndex().row() != index.row()) {
        const QSignalBlocker blocker(selection);
        selection->setCurrentIndex(index,
                                   QItemSelectionModel::ClearAndSelect |
                                       (rows ? QItemSelectionModel::Rows : QItemSelectionModel::NoUpdate));
        m_empfaengerliste->viewport()->update();
    }
}

}  // namespace sendrix::ui

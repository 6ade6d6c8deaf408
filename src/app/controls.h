#pragma once
// Plain models of the window's controls. The window model TfrmMessageEditor
// holds one per control, named as the control is named; a view (Qt) mirrors
// them, the console mode and the tests read them directly.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "merge/recipient_list.h"

namespace sendrix::app {

// Names a control for Repaint and Focus requests.
enum class ControlId {
    StatusBar1,
    protokollmemo,
    Control,
    Progress,
    Memo,
    edtto,
    edtSubject,
    edtfrom,
    edtreal,
    edtCC,
    edtBCC,
    edtReply,
    empfaengerliste,
    lvFiles,
    pnlTopleft,
    pnltopright,
    Vorschau,
    Window
};

struct TEdit {
    std::string Text;
    bool Enabled = true;
    bool Visible = true;
};

struct TComboBox {
    std::string Text;
    std::vector<std::string> Items;
    int ItemIndex = -1;
    bool Enabled = true;
    bool Visible = true;
    bool Sorted = false;
};

struct TCheckBox {
    std::string Caption;
    bool Checked = false;
    bool Enabled = true;
    bool Visible = true;
};

struct TLabel {
    std::string Caption;
    bool Visible = true;
};

struct TMemo {
    std::vector<std::string> Lines;
};

// A text field that only grows at its end or is emptied as a whole: the
// protocol. Every clear is counted, so a view can follow it by the number
// of lines it has shown instead of comparing them.
struct TLogMemo {
    std::vector<std::string> Lines;
    unsigned Clears = 0;

    void Add(std::string line) { Lines.push_back(std::move(line)); }
    void Clear() {
        Lines.clear();
        ++Clears;
    }
};

// How far one view (the window's field, the console) has shown a TLogMemo.
class LogMemoFollower {
public:
    struct News {
        bool restart;       // the memo was emptied since: show it anew from line 0
        std::size_t first;  // the first line not shown yet (0 on restart)
    };
    // What is new in `memo` since the last call, which then counts as shown.
    // Lines taken away without Clear also mean a restart.
    News next(const TLogMemo& memo) {
        const bool restart = memo.Clears != m_clears || memo.Lines.size() < m_shown;
        const std::size_t first = restart ? 0 : m_shown;
        m_clears = memo.Clears;
        m_shown = memo.Lines.size();
        return {restart, first};
    }

private:
    std::size_t m_shown = 0;
    unsigned m_clears = 0;
};

struct TMenuItem {
    std::string Caption;
    bool Enabled = true;
    bool Checked = false;
};

struct TListView {
    std::vector<std::string> Items;
    int ItemIndex = -1;  // selected entry, -1 none
};

struct TStatusBar {
    std::vector<std::string> Panels = {"", ""};
};

struct TProgressBar {
    int Min = 0;
    int Max = 100;
    int Position = 0;
    bool Visible = false;
    std::string Caption;  // the text on the bar, e.g. "12 von 300"
};

struct TTabSheet {
    std::string Caption;
    bool Visible = true;
};

struct TPageControl {
    std::vector<TTabSheet> Pages;
    int ActivePageIndex = 0;
};

// Filter in the "Caption|*.ext|Caption|*.ext" form, FilterIndex counts from 1.
struct TFileDialog {
    std::string Filter;
    int FilterIndex = 1;
    std::string Title;
    std::string DefaultExt;
    std::string FileName;
    std::string InitialDir;
};

// The recipient grid: Cells[row][col], row 0 the titles. Columns: OK, Name,
// Vorname, Email, Typ, then the further columns of a list with a title line.
struct TStringGrid {
    static constexpr int ColCount = 5;  // the fixed columns
    std::vector<std::vector<std::string>> Cells;
    std::vector<int> ColWidths = std::vector<int>(ColCount, 60);
    int Row = 1;  // current row
    int FixedRows = 1;
    // Cells can always be edited in place (F2 or typing; a double-click
    // toggles the row's mark), so single cells are selected.
    bool Editing = true;     // goEditing
    bool RowSelect = false;  // goRowSelect: whole rows selected
    // A cell of the list (not a row's mark) was edited since the list was
    // loaded or saved: closing or loading another list asks first.
    bool Modified = false;

    int RowCount() const { return static_cast<int>(Cells.size()); }
    // The fixed columns and the further ones the title row names.
    int ColumnCount() const {
        const int titles = Cells.empty() ? 0 : static_cast<int>(Cells[0].size());
        return titles > ColCount ? titles : ColCount;
    }
};

// The titles row of the recipient grid: the five fixed columns.
inline const std::vector<std::string> kRecipientTitles = {"OK", "Name", "Vorname", "Email", "Typ"};
// Widths in pixels a list load gives the fixed columns, and every further one.
inline const std::vector<int> kRecipientColumnWidths = {28, 90, 80, 200, 23};
inline constexpr int kExtraColumnWidth = 90;

// One grid row's cells as a recipient row; missing cells are empty, cells
// beyond the fixed five are the row's extra values (`extraCount` of them,
// further cells are ignored).
merge::RecipientRow recipientRowOf(const std::vector<std::string>& cells, std::size_t extraCount = 0);
// A recipient row as grid cells, in column order, its extra values last.
std::vector<std::string> gridCellsOf(const merge::RecipientRow& row);
// The titles of the grid's columns beyond the fixed five.
std::vector<std::string> extraTitlesOf(const TStringGrid& grid);
// Every data row of the grid (row 1 on) as a recipient row, with as many
// extra values as the title row names further columns.
std::vector<merge::RecipientRow> recipientRowsOf(const TStringGrid& grid);
// Replaces the grid's rows and columns by the list's and sets the column
// widths; the title row keeps the fixed titles it has, followed by the
// list's extra titles.
void fillGrid(TStringGrid& grid, const merge::RecipientList& list);
// The grid's column of the send mark, which is run state, no list content.
inline constexpr int kGridMarkColumn = 0;
// The grid's column of the address.
inline constexpr int kGridEmailColumn = 3;
// Whether the data row `row` of the grid holds an address the loading check
// refuses (merge::hasFaultyAddress): the one rule for loading, editing and
// "Fehlerhafte abwählen".
bool hasFaultyAddress(const TStringGrid& grid, int row);

}  // namespace sendrix::app

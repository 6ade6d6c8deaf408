#pragma once
// The one place where the recipient grid's cells and the recipient rows of
// merge/ turn into each other. Columns: OK, Name, Vorname, Email, Typ, then
// the list's further columns under their titles.
#include <string>
#include <vector>

#include "app/controls.h"
#include "merge/recipient_list.h"

namespace sendrix::app {

// Titles of the five fixed columns (grid row 0).
extern const std::vector<std::string> kRecipientTitles;
// Initial widths in pixels of the fixed columns, and of every further one.
extern const std::vector<int> kRecipientColumnWidths;
inline constexpr int kExtraColumnWidth = 90;

// The cells of one grid row for `row`, fixed columns first.
std::vector<std::string> gridRowOf(const merge::RecipientRow& row);

// The recipient row a grid row holds; missing cells read as empty, cells
// beyond the fixed five are the extra values (`extraCount` of them).
merge::RecipientRow recipientRowOf(const std::vector<std::string>& cells, std::size_t extraCount);

// The titles of the grid's columns beyond the fixed five.
std::vector<std::string> extraTitlesOf(const TStringGrid& grid);

// Replaces the grid's rows and columns by the list's; the title row keeps the
// fixed titles it has, followed by the list's extra titles.
void fillGrid(TStringGrid& grid, const merge::RecipientList& list);

}  // namespace sendrix::app

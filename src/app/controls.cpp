#include "app/controls.h"

namespace sendrix::app {

merge::RecipientRow recipientRowOf(const std::vector<std::string>& cells) {
    auto cell = [&](std::size_t col) { return col < cells.size() ? cells[col] : std::string(); };
    return {cell(0), cell(1), cell(2), cell(3), cell(4)};
}

std::vector<std::string> gridCellsOf(const merge::RecipientRow& row) {
    return {row.ok, row.name, row.vorname, row.email, row.typ};
}

std::vector<merge::RecipientRow> recipientRowsOf(const TStringGrid& grid) {
    std::vector<merge::RecipientRow> rows;
    if (grid.Cells.size() > 1) rows.reserve(grid.Cells.size() - 1);
    for (std::size_t r = 1; r < grid.Cells.size(); ++r) rows.push_back(recipientRowOf(grid.Cells[r]));
    return rows;
}

}  // namespace sendrix::app

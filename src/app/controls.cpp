#include "app/controls.h"

namespace sendrix::app {

namespace {

std::string cellOf(const std::vector<std::string>& cells, std::size_t col) {
    return col < cells.size() ? cells[col] : std::string();
}

}  // namespace

merge::RecipientRow recipientRowOf(const std::vector<std::string>& cells, std::size_t extraCount) {
    merge::RecipientRow row{cellOf(cells, 0), cellOf(cells, 1), cellOf(cells, 2), cellOf(cells, 3),
                            cellOf(cells, 4)};
    row.extra.reserve(extraCount);
    for (std::size_t i = 0; i < extraCount; ++i)
        row.extra.push_back(cellOf(cells, kRecipientTitles.size() + i));
    return row;
}

std::vector<std::string> gridCellsOf(const merge::RecipientRow& row) {
    std::vector<std::string> cells = {row.ok, row.name, row.vorname, row.email, row.typ};
    cells.insert(cells.end(), row.extra.begin(), row.extra.end());
    return cells;
}

std::vector<std::string> extraTitlesOf(const TStringGrid& grid) {
    if (grid.Cells.empty() || grid.Cells[0].size() <= kRecipientTitles.size())
        return {};
    return {grid.Cells[0].begin() + static_cast<std::ptrdiff_t>(kRecipientTitles.size()),
            grid.Cells[0].end()};
}

std::vector<merge::RecipientRow> recipientRowsOf(const TStringGrid& grid) {
    const std::size_t extraCount = extraTitlesOf(grid).size();
    std::vector<merge::RecipientRow> rows;
    if (grid.Cells.size() > 1)
        rows.reserve(grid.Cells.size() - 1);
    for (std::size_t r = 1; r < grid.Cells.size(); ++r)
        rows.push_back(recipientRowOf(grid.Cells[r], extraCount));
    return rows;
}

void fillGrid(TStringGrid& grid, const merge::RecipientList& list) {
    std::vector<std::string> titles = grid.Cells.empty() ? kRecipientTitles : grid.Cells[0];
    titles.resize(kRecipientTitles.size());
    titles.insert(titles.end(), list.extraTitles.begin(), list.extraTitles.end());

    grid.ColWidths = kRecipientColumnWidths;
    grid.ColWidths.resize(titles.size(), kExtraColumnWidth);

    std::vector<std::vector<std::string>> cells;
    cells.reserve(list.rows.size() + 1);
    cells.push_back(std::move(titles));
    for (const merge::RecipientRow& row : list.rows)
        cells.push_back(gridCellsOf(row));
    grid.Cells = std::move(cells);
}

bool hasFaultyAddress(const TStringGrid& grid, int row) {
    if (row < 1 || row >= grid.RowCount())
        return false;
    return merge::hasFaultyAddress(cellOf(grid.Cells[static_cast<std::size_t>(row)], kGridEmailColumn));
}

}  // namespace sendrix::app

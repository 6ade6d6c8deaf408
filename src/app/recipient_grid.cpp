#include "app/recipient_grid.h"

namespace sendrix::app {

const std::vector<std::string> kRecipientTitles = {"OK", "Name", "Vorname", "Email", "Typ"};
const std::vector<int> kRecipientColumnWidths = {28, 90, 80, 200, 23};

namespace {

std::string cellOf(const std::vector<std::string>& cells, std::size_t col) {
    return col < cells.size() ? cells[col] : std::string();
}

}  // namespace

std::vector<std::string> gridRowOf(const merge::RecipientRow& row) {
    std::vector<std::string> cells = {row.ok, row.name, row.vorname, row.email, row.typ};
    cells.insert(cells.end(), row.extra.begin(), row.extra.end());
    return cells;
}

merge::RecipientRow recipientRowOf(const std::vector<std::string>& cells, std::size_t extraCount) {
    merge::RecipientRow row{cellOf(cells, 0), cellOf(cells, 1), cellOf(cells, 2), cellOf(cells, 3),
                            cellOf(cells, 4)};
    row.extra.reserve(extraCount);
    for (std::size_t i = 0; i < extraCount; ++i) row.extra.push_back(cellOf(cells, 5 + i));
    return row;
}

std::vector<std::string> extraTitlesOf(const TStringGrid& grid) {
    if (grid.Cells.empty() || grid.Cells[0].size() <= kRecipientTitles.size()) return {};
    return {grid.Cells[0].begin() + static_cast<std::ptrdiff_t>(kRecipientTitles.size()),
            grid.Cells[0].end()};
}

void fillGrid(TStringGrid& grid, const merge::RecipientList& list) {
    std::vector<std::string> titles =
        grid.Cells.empty() ? kRecipientTitles : grid.Cells[0];
    titles.resize(kRecipientTitles.size());
    titles.insert(titles.end(), list.extraTitles.begin(), list.extraTitles.end());

    grid.ColWidths = kRecipientColumnWidths;
    grid.ColWidths.resize(titles.size(), kExtraColumnWidth);

    std::vector<std::vector<std::string>> cells;
    cells.reserve(list.rows.size() + 1);
    cells.push_back(std::move(titles));
    for (const merge::RecipientRow& row : list.rows) cells.push_back(gridRowOf(row));
    grid.Cells = std::move(cells);
}

}  // namespace sendrix::app

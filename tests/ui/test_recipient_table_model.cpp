// The grid's table model: the status column comes after every column of the
// list (its further columns included), only once a list send has run, and
// is never editable; a changed column count resets the view.
#include <gtest/gtest.h>

#include "app/controls.h"
#include "ui/recipient_table_model.h"

using namespace sendrix;

namespace {

app::TStringGrid gridWithTwoFurtherColumns() {
    app::TStringGrid grid;
    grid.Cells = {{"OK", "Name", "Vorname", "Email", "Typ", "Firma", "Ort"},
                  {"+", "Meier", "Jan", "jan@example.org", "M", "Bau AG", "Kiel"},
                  {"+", "Schulz", "Anna", "anna@example.org", "W", "", "Ulm"}};
    grid.Editing = true;
    return grid;
}

}  // namespace

TEST(RecipientTableModel, StatusColumnFollowsTheFurtherColumnsOnceASendHasRun) {
    app::TStringGrid grid = gridWithTwoFurtherColumns();
    std::vector<std::string> status;
    const std::vector<int> sourceRows;
    ui::RecipientTableModel model(grid, status, sourceRows);
    EXPECT_EQ(model.columnCount(), 7);
    EXPECT_FALSE(model.refresh());

    status = {"", "versendet 12:03:04", "Fehler: 553 5.1.3 malformed address"};
    EXPECT_TRUE(model.refresh());
    ASSERT_EQ(model.columnCount(), 8);
    EXPECT_EQ(model.statusColumn(), 7);
    EXPECT_EQ(model.headerData(7, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Status"));
    EXPECT_EQ(model.headerData(6, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Ort"));
    EXPECT_EQ(model.index(0, 7).data().toString(), QStringLiteral("versendet 12:03:04"));
    EXPECT_EQ(model.index(1, 7).data().toString(), QStringLiteral("Fehler: 553 5.1.3 malformed address"));
    EXPECT_EQ(model.index(1, 6).data().toString(), QStringLiteral("Ulm"));

    // The list's cells stay editable in edit mode, the outcomes never.
    EXPECT_TRUE(model.flags(model.index(0, 6)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model.flags(model.index(0, 7)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model.setData(model.index(0, 7), QStringLiteral("versendet"), Qt::EditRole));
    EXPECT_EQ(status[1], "versendet 12:03:04");
    EXPECT_TRUE(model.setData(model.index(0, 6), QStringLiteral("Kiel-Nord"), Qt::EditRole));
    EXPECT_EQ(grid.Cells[1][6], "Kiel-Nord");

    // Another list loaded: the column goes with the outcomes.
    status.clear();
    EXPECT_TRUE(model.refresh());
    EXPECT_EQ(model.columnCount(), 7);
}

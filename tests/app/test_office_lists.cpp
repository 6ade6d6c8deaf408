// A workbook as the recipient list of the window: the sheet is chosen in a
// box when there are several, or by "/Blatt:" on the command line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "app/handler_runner.h"
#include "app/tfrm_message_editor.h"
#include "platform/clock.h"
#include "support/app/scripted_interaction.h"
#include "support/app/test_home.h"

using namespace sendrix;

namespace {

std::string fixture(const std::string& name) {
    const char* folder = std::getenv("SENDRIX_OFFICE_FIXTURES");
    return std::string(folder ? folder : "office") + "/" + name;
}

struct Window {
    explicit Window(std::vector<std::string> arguments = {})
        : clock(platform::LocalTime{2026, 3, 8, 14, 5, 31, 0, 60}),
          form(std::make_unique<app::TfrmMessageEditor>(ui, clock, std::move(arguments))) {
        EXPECT_TRUE(app::runHandler(ui, [&] { form->FormCreate(); }));
    }
    test::TestHome home;
    platform::FixedClock clock;
    test::ScriptedInteraction ui;
    std::unique_ptr<app::TfrmMessageEditor> form;
};

}  // namespace

TEST(OfficeLists, TheDialogAsksForTheSheetAndTheSwitchNamesIt) {
    Window dialog;
    dialog.ui.answerOpenFile(fixture("lox.xlsx"));
    dialog.ui.answerInput("Gäste");
    dialog.form->Verteilerlisteffnen1Click();
    ASSERT_EQ(dialog.form->empfaengerliste.RowCount(), 3);
    EXPECT_EQ(dialog.form->empfaengerliste.Cells[2][3], "gast2@example.org");

    Window cancelled;
    cancelled.ui.answerOpenFile(fixture("lox.xlsx"));
    cancelled.ui.answerInput(std::nullopt);
    cancelled.form->Verteilerlisteffnen1Click();
    EXPECT_EQ(cancelled.form->edtto.Text, "");

    Window unattended({fixture("lo.ods"), "/Blatt:Gäste"});
    ASSERT_EQ(unattended.form->empfaengerliste.RowCount(), 3);
    EXPECT_EQ(unattended.form->empfaengerliste.Cells[1][1], "Gast Eins");
}

TEST(OfficeLists, ListeSpeichernWritesAWorkbooksRowsAsCsvBesideItAndAsksBeforeReplacingOne) {
    Window window;
    const std::string book =
        window.home.write("mitglieder.xlsx", test::TempFolder::readPath(fixture("lox.xlsx")));
    window.form->LoadRecipientList(book);
    const auto cells = window.form->empfaengerliste.Cells;
    ASSERT_TRUE(app::runHandler(window.ui, [&] { window.form->ListeSpeichern1Click(); }));
    // Read back, the CSV gives the rows the sheet showed; the workbook stays.
    window.form->LoadRecipientList(window.home.path("mitglieder.csv"));
    EXPECT_EQ(window.form->empfaengerliste.Cells, cells);
    EXPECT_EQ(window.home.read("mitglieder.xlsx"), test::TempFolder::readPath(fixture("lox.xlsx")));

    window.form->LoadRecipientList(book);
    window.form->empfaengerliste.Cells[1][1] = "Neu";
    window.ui.answerConfirm(false);
    ASSERT_TRUE(app::runHandler(window.ui, [&] { window.form->ListeSpeichern1Click(); }));
    EXPECT_EQ(window.ui.confirms.back(),
              "Die Datei " + window.home.path("mitglieder.csv") + " gibt es schon. Soll sie ersetzt werden?");
    EXPECT_EQ(window.home.read("mitglieder.csv").find("Neu"), std::string::npos);
}

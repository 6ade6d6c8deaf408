// The merge handlers of the main window without a server: the recipient
// grid, the salutation preview, the HTML aids, body files, attachments and
// the start-up seams that load lists, bodies and attachments for real.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

#include "app/handler_runner.h"
#include "app/settings_paths.h"
#include "app/tfrm_message_editor.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "support/app/scripted_interaction.h"
#include "support/app/test_home.h"
#include "support/expect_throw.h"

using sendrix::test::expectThrowText;
using ::testing::HasSubstr;

using namespace sendrix;
using app::TfrmMessageEditor;

namespace {

class MergeWindowTest : public ::testing::Test {
protected:
    MergeWindowTest() : clock(platform::LocalTime{2026, 3, 8, 14, 5, 31, 0, 60}) {}

    TfrmMessageEditor& create(std::vector<std::string> arguments = {}) {
        form = std::make_unique<TfrmMessageEditor>(ui, clock, std::move(arguments));
        EXPECT_TRUE(app::runHandler(ui, [&] { form->FormCreate(); })) << ui.errors.back();
        return *form;
    }
    std::vector<std::vector<std::string>> dataRows() const {
        return {form->empfaengerliste.Cells.begin() + 1, form->empfaengerliste.Cells.end()};
    }

    test::TestHome home;
    platform::FixedClock clock;
    test::ScriptedInteraction ui;
    std::unique_ptr<TfrmMessageEditor> form;
};

using Rows = std::vector<std::vector<std::string>>;

}  // namespace

// ---- Recipient list ----

TEST_F(MergeWindowTest, LoadingAListEntersListModeWithWidthsCaptionAndWarnings) {
    create();
    const std::string list = home.write("liste.csv",
                                        "Name;Vorname;Email;Typ\r\n"
                                        "M\xfcller;J\xfcrgen;j@example.org;Herr\r\n"
                                        "Ohne;Adresse;kaputt;w\r\n"
                                        "\r\n");
    form->LoadRecipientList(list);

    EXPECT_EQ(dataRows(), (Rows{{"+", "Müller", "Jürgen", "j@example.org", "Herr"},
                                {"+", "Ohne", "Adresse", "kaputt", "w"},
                                {"+", "", "", "", ""}}));
    EXPECT_EQ(form->empfaengerliste.Cells[0],
              (std::vector<std::string>{"OK", "Name", "Vorname", "Email", "Typ"}));
    EXPECT_EQ(form->empfaengerliste.ColWidths, (std::vector<int>{28, 90, 80, 200, 23}));
    // Every faulty row in one box, numbered by the file's lines.
    EXPECT_EQ(ui.warnings,
              (std::vector<std::string>{"Achtung: Fehlerhafte Mailadresse in Zeile 3: Ohne;Adresse;kaputt;w\n"
                                        "Achtung: Fehlerhafte Mailadresse in Zeile 4: "}));
    EXPECT_EQ(form->pnltopright.Pages[app::kPageEmpfaengerliste].Caption, "Empfängerliste (3)");
    EXPECT_EQ(form->edtto.Text, app::kRecipientListMarker);
    EXPECT_FALSE(form->edtto.Enabled);
}

TEST_F(MergeWindowTest, TitleOnlyFileGivesListModeWithoutRows) {
    create();
    form->LoadRecipientList(home.write("leer.csv", "Name;Vorname;Email;Typ\r\n"));
    EXPECT_EQ(form->empfaengerliste.RowCount(), 1);
    EXPECT_EQ(form->pnltopright.Pages[app::kPageEmpfaengerliste].Caption, "Empfängerliste (0)");
    EXPECT_EQ(form->edtto.Text, app::kRecipientListMarker);
}

TEST_F(MergeWindowTest, ShorterListReplacesLongerAndFailedOpenKeepsTheList) {
    create();
    form->LoadRecipientList(home.write("lang.csv", "a@x.de\r\nb@x.de\r\nc@x.de\r\n"));
    form->LoadRecipientList(home.write("kurz.csv", "d@x.de\r\n"));
    EXPECT_EQ(dataRows(), (Rows{{"+", "", "", "d@x.de", ""}}));

    const std::string missing = home.path("fehlt.csv");
    expectThrowText<FileError>([&] { form->LoadRecipientList(missing); }, HasSubstr(missing));
    EXPECT_EQ(dataRows(), (Rows{{"+", "", "", "d@x.de", ""}}));
    EXPECT_EQ(form->pnltopright.Pages[app::kPageEmpfaengerliste].Caption, "Empfängerliste (1)");
}

TEST_F(MergeWindowTest, OpenDialogLoadsTheChosenListAndCancelDoesNothing) {
    create();
    ui.answerOpenFile(std::nullopt);
    form->Verteilerlisteffnen1Click();
    EXPECT_EQ(form->edtto.Text, "");

    ui.answerOpenFile(home.write("l.csv", "a@x.de\r\n"));
    form->Verteilerlisteffnen1Click();
    ASSERT_EQ(ui.openDialogs.size(), 2u);
    EXPECT_EQ(ui.openDialogs[1].Title, "Verteilerliste öffnen");
    EXPECT_EQ(ui.openDialogs[1].FilterIndex, 2);
    EXPECT_EQ(ui.openDialogs[1].Filter, app::kListOpenDialogFilter);
    EXPECT_EQ(form->empfaengerliste.RowCount(), 2);
}

TEST_F(MergeWindowTest, DoubleClickTogglesTheRememberedRowAndSurvivesAShorterList) {
    create();
    form->LoadRecipientList(home.write("l.csv", "a@x.de\r\nb@x.de\r\nc@x.de\r\n"));
    form->empfaengerlisteSelectCell(3, 2);
    EXPECT_EQ(form->empfaengerliste.Row, 2);
    form->empfaengerlisteDblClick();
    EXPECT_EQ(form->empfaengerliste.Cells[2][0], "");
    EXPECT_EQ(form->empfaengerliste.Cells[1][0], "+");
    form->empfaengerlisteDblClick();
    EXPECT_EQ(form->empfaengerliste.Cells[2][0], "+");

    // Anything but exactly "+" counts as unmarked and becomes "+".
    form->empfaengerliste.Cells[2][0] = "x";
    form->empfaengerlisteDblClick();
    EXPECT_EQ(form->empfaengerliste.Cells[2][0], "+");

    form->empfaengerlisteSelectCell(0, 3);
    form->LoadRecipientList(home.write("k.csv", "d@x.de\r\n"));
    form->RememberedRow = 3;  // a row of the list before
    form->empfaengerlisteDblClick();
    EXPECT_EQ(form->empfaengerliste.RowCount(), 2);
}

TEST_F(MergeWindowTest, MarkHandlersSetClearOrToggleTheRowsTheyConcern) {
    struct Case {
        const char* name;
        std::function<void(app::TfrmMessageEditor&)> act;
        std::vector<std::string> marks;  // rows 1..3 afterwards
    };
    const std::vector<Case> cases = {
        {"Fehlerhafte abwählen", [](auto& f) { f.FehlerhafteAbwaehlenClick(); }, {"+", "", ""}},
        {"Space on rows 2 and 3", [](auto& f) { f.ToggleMarks({2, 3}); }, {"+", "", ""}},
        {"Space on a row gone and the header", [](auto& f) { f.ToggleMarks({0, 9}); }, {"+", "+", "+"}},
        {"Keine, then Space on row 1", [](auto& f) { f.KeineMarkierenClick(), f.ToggleMarks({1}); },
         {"+", "", ""}},
    };
    create();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form->LoadRecipientList(
            home.write("l.csv", "Name;Vorname;Email;Typ\r\nA;a;a@x.de;M\r\nB;b;klaus becker@x.de;M\r\n"
                                "C;c;c@x.de;W\r\n"));
        form->empfaengerliste.Cells[3][3] = "bert@";  // edited into a faulty one
        c.act(*form);
        for (std::size_t r = 1; r <= 3; ++r)
            EXPECT_EQ(form->empfaengerliste.Cells[r][0], c.marks[r - 1]) << r;
    }
}

TEST_F(MergeWindowTest, GridCellsCanAlwaysBeEditedInPlace) {
    create();
    EXPECT_FALSE(form->empfaengerliste.RowSelect);
    EXPECT_TRUE(form->empfaengerliste.Editing);
}

TEST_F(MergeWindowTest, AddressHistoryTakesAnAddressInLowerCaseOnceAndStaysSorted) {
    create();
    form->AddToAddressHistory("Zora@Example.ORG");
    form->AddToAddressHistory("anna@example.org");
    form->AddToAddressHistory("ZORA@example.org");
    form->AddToAddressHistory("  ");
    EXPECT_EQ(form->edtto.Items, (std::vector<std::string>{"anna@example.org", "zora@example.org"}));
}

// ---- Salutation preview and HTML aids ----

TEST_F(MergeWindowTest, PreviewFollowsTemplateSwitchAndListLoad) {
    create();
    form->Anrede.Text = "Hallo %Vorname,";
    form->AnredeChange();
    EXPECT_EQ(form->Vorschau.Caption, "...");  // switched off: untouched

    form->useAnrede.Checked = true;
    form->useAnredeClick();
    EXPECT_EQ(form->Vorschau.Caption, "Hallo ,");  // no list: empty cells

    form->Anrede.Text = "Sehr geehrte%m/w %Name,";
    form->LoadRecipientList(home.write("l.csv", "Muster;Dr. Anna;a@x.de;w\r\nB;Bert;b@x.de;m\r\n"));
    EXPECT_EQ(form->Vorschau.Caption, "Sehr geehrte Frau Muster,");
    form->Anrede.Text = "Hallo %Vorname,";
    form->AnredeChange();
    EXPECT_EQ(form->Vorschau.Caption, "Hallo Dr. Anna,");  // the preview keeps the title

    // A change of the cells does not refresh the preview by itself.
    form->empfaengerliste.Cells[1][2] = "Berta";
    EXPECT_EQ(form->Vorschau.Caption, "Hallo Dr. Anna,");

    form->useAnrede.Checked = false;
    form->useAnredeClick();
    EXPECT_EQ(form->Vorschau.Caption, "");
}

TEST_F(MergeWindowTest, PreviewAtStartShowsTheFirstRowWithTheConfiguredTemplate) {
    home.write("Mail.ini", "[Optionen]\nAnrede=2\n");
    const std::string list = home.write("l.csv", "Muster;Anna;a@x.de;w\r\n");
    create({list, "/ANREDE"});
    EXPECT_EQ(form->Vorschau.Caption, "Sehr geehrte Frau Muster,");

    home.write("Mail.ini", "[Optionen]\nAnrede=4\nBenutzeAnrede=1\n");
    create({list});
    EXPECT_EQ(form->Vorschau.Caption, "Liebe Anna Muster,");
    create({list, "/KEINEANREDE"});
    EXPECT_FALSE(form->useAnrede.Checked);
    EXPECT_EQ(form->Vorschau.Caption, "");
}

TEST_F(MergeWindowTest, HtmlPrepareWrapsTheBodyOnlyWhenHtmlIsSet) {
    create();
    form->Memo.Lines = {"eins", "zwei", "drei"};
    form->SpeedButton2Click();
    EXPECT_EQ(form->Memo.Lines, (std::vector<std::string>{"eins", "zwei", "drei"}));
    form->html.Checked = true;
    form->SpeedButton2Click();
    EXPECT_EQ(form->Memo.Lines,
              (std::vector<std::string>{"<p>", "eins<br>", "zwei<br>", "drei<br>", "</p>"}));
}

TEST_F(MergeWindowTest, HtmlSwitchMakesParagraphsAndAsksBeforeDroppingFormatting) {
    create();
    using Lines = std::vector<std::string>;
    const Lines formatted = {"<h1>Fest</h1>", "<p>am <b>Samstag</b></p>"};
    struct Row {
        const char* name;
        Lines body;
        bool on;
        std::optional<bool> answer;  // nullopt: no question
        Lines after;
    };
    const Row rows[] = {
        {"on: text becomes paragraphs", {"Hi,", "", "bis"}, true, {}, {"<p>Hi,</p>", "<p>bis</p>"}},
        {"on: source stays", formatted, true, {}, formatted},
        {"off: paragraphs alone ask nothing", {"<p>Hi,<br>", "du</p>"}, false, {}, {"Hi,", "du"}},
        {"off: Nein keeps the formatting", formatted, false, false, formatted},
        {"off: Ja leaves the text", formatted, false, true, {"Fest", "", "am Samstag"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ui.confirms.clear();
        form->Memo.Lines = row.body;
        form->html.Checked = row.on;
        if (row.answer)
            ui.answerConfirm(*row.answer);
        form->htmlClick();
        EXPECT_EQ(form->Memo.Lines, row.after);
        EXPECT_EQ(form->html.Checked, row.on || row.answer == false);
        EXPECT_EQ(ui.confirms.size(), row.answer ? 1u : 0u);
    }
}

TEST_F(MergeWindowTest, SnippetButtonsCopyToTheClipboardAndLeaveTheBody) {
    create();
    form->Memo.Lines = {"Text"};
    form->SpeedButton3Click();
    form->SpeedButton4Click();
    form->SpeedButton5Click();
    EXPECT_EQ(ui.clipboard, (std::vector<std::string>{"<strong></strong>", "<p></p>", "<br>"}));
    EXPECT_EQ(form->Edit1.Text, "<br>");
    EXPECT_EQ(form->Memo.Lines, (std::vector<std::string>{"Text"}));
}

// ---- Body file ----

TEST_F(MergeWindowTest, BodyFileLoadsEveryLineEndAsCrLfAndSavesUnchanged) {
    create();
    ui.answerOpenFile(home.write("text.txt",
                                 "Gr\xfc\xdf"
                                 "e\nzwei\rdrei\r\nvier"));
    form->Nachrichtffnen1Click();
    EXPECT_EQ(ui.openDialogs[0].Title, "Nachricht öffnen");
    EXPECT_EQ(ui.openDialogs[0].FilterIndex, 1);
    EXPECT_EQ(form->Memo.Lines, (std::vector<std::string>{"Grüße", "zwei", "drei", "vier"}));

    ui.answerSaveFile(home.path("kopie.txt"));
    form->Speichern1Click();
    EXPECT_EQ(ui.saveDialogs[0].Title, "Nachricht speichern");
    EXPECT_EQ(home.read("kopie.txt"),
              "Gr\xfc\xdf"
              "e\r\nzwei\r\ndrei\r\nvier");

    // A file ending in a line end gives it back at the end.
    ui.answerOpenFile(home.write("lf.txt", "a\nb\n"));
    form->Nachrichtffnen1Click();
    ui.answerSaveFile(home.path("lf-kopie.txt"));
    form->Speichern1Click();
    EXPECT_EQ(home.read("lf-kopie.txt"), "a\r\nb\r\n");
}

TEST_F(MergeWindowTest, UnreadableBodyFileLeavesTheBodyAsItWas) {
    create();
    form->Memo.Lines = {"bleibt"};
    ui.answerOpenFile(home.path("fehlt.txt"));
    EXPECT_FALSE(app::runHandler(ui, [&] { form->Nachrichtffnen1Click(); }));
    ASSERT_EQ(ui.errors.size(), 1u);
    EXPECT_NE(ui.errors[0].find("fehlt.txt"), std::string::npos) << ui.errors[0];
    EXPECT_EQ(form->Memo.Lines, (std::vector<std::string>{"bleibt"}));
}

// ---- Attachments ----

TEST_F(MergeWindowTest, AttachmentsAreListedRemovedByPositionAndTheFileStays) {
    create();
    const std::string a = home.write("a.pdf", "A");
    const std::string b = home.write("b.pdf", "B");
    for (const std::string& file : {a, b, a}) {
        ui.answerOpenFile(file);
        form->btnAttachmentClick();
    }
    EXPECT_EQ(ui.openDialogs[0].Title, "Anhang einfügen");
    EXPECT_EQ(ui.openDialogs[0].FilterIndex, 3);
    EXPECT_EQ(form->lvFiles.Items, (std::vector<std::string>{a, b, a}));
    EXPECT_EQ(form->IdMsgSend.MessageParts.Count(), 3);

    form->lvFiles.ItemIndex = -1;
    form->Button1Click();  // nothing selected: no question
    EXPECT_TRUE(ui.confirms.empty());

    form->lvFiles.ItemIndex = 1;
    ui.answerConfirm(false);
    form->Button1Click();
    EXPECT_EQ(form->lvFiles.Items.size(), 3u);

    ui.answerConfirm(true);
    form->Button1Click();
    EXPECT_EQ(ui.confirms.back(), "Wollen Sie die Datei \"" + b + "\" wirklich löschen?");
    EXPECT_EQ(form->lvFiles.Items, (std::vector<std::string>{a, a}));
    EXPECT_EQ(form->IdMsgSend.MessageParts.Count(), 2);
    EXPECT_TRUE(home.exists("b.pdf"));
}

TEST_F(MergeWindowTest, OpeningAnAttachmentNeedsASelectionAndAnExistingFile) {
    create();
    const std::string file = home.write("plan.pdf", "P");
    ui.answerOpenFile(file);
    form->btnAttachmentClick();

    form->BitBtn1Click();  // nothing selected
    form->lvFiles.ItemIndex = 0;
    form->BitBtn1Click();
    ASSERT_EQ(ui.shellOpens.size(), 1u);
    EXPECT_EQ(ui.shellOpens[0].first, file);

    std::remove(file.c_str());
    form->BitBtn1Click();
    EXPECT_EQ(ui.shellOpens.size(), 1u);
}

// ---- Start-up loads for real ----

TEST_F(MergeWindowTest, CommandLineLoadsListBodyAndAttachmentsInOrder) {
    const std::string list = home.write("liste.csv", "Muster;Anna;anna@x.de;w\r\n");
    const std::string body = home.write("text.txt", "Hallo\nWelt");
    const std::string a1 = home.write("eins.txt", "1");
    const std::string a2 = home.write("zwei.txt", "2");
    form = std::make_unique<TfrmMessageEditor>(
        ui, clock,
        std::vector<std::string>{list, "/A:" + a1, "/B:" + body, "/A:" + home.path("fehlt.txt"), "/A:" + a2});
    // A missing attachment stops the start once everything else is loaded.
    EXPECT_FALSE(app::runHandler(ui, [&] { form->FormCreate(); }));
    EXPECT_THAT(ui.errors.back(), HasSubstr("Die Anlage " + home.path("fehlt.txt") + " kann nicht gelesen"));
    EXPECT_EQ(dataRows(), (Rows{{"+", "Muster", "Anna", "anna@x.de", "w"}}));
    EXPECT_EQ(form->edtto.Text, app::kRecipientListMarker);
    EXPECT_EQ(form->Memo.Lines, (std::vector<std::string>{"Hallo", "Welt"}));
    EXPECT_EQ(form->lvFiles.Items, (std::vector<std::string>{a1, a2}));
    EXPECT_TRUE(form->ListeSpeichern1.Enabled);
}

TEST_F(MergeWindowTest, ConfigurationListReplacesTheCommandLineList) {
    home.write("listen/kunden.csv", "Kunde;Karl;karl@x.de;m\r\n");
    home.write("text.txt", "aus der Konfiguration");
    home.write("Mail.ini", "[Dateien]\r\nEmpfaenger=.\\listen\\kunden.csv\r\nNachricht=./text.txt\r\n");
    const std::string list = home.write("liste.csv", "a@x.de\r\nb@x.de\r\n");
    create({list});
    EXPECT_EQ(dataRows(), (Rows{{"+", "Kunde", "Karl", "karl@x.de", "m"}}));
    EXPECT_EQ(form->Memo.Lines, (std::vector<std::string>{"aus der Konfiguration"}));
}

// Rows edited in the grid may lack cells or carry more than five: the send
// reads the missing ones as empty and ignores the rest.
TEST(RecipientGrid, CellsBecomeRowsWithMissingCellsEmpty) {
    app::TStringGrid grid;
    grid.Cells = {app::kRecipientTitles,
                  {"+", "Muster", "Anna", "anna@example.org", "w", "zu viel"},
                  {"+", "Kurz"},
                  {}};
    const std::vector<merge::RecipientRow> rows = app::recipientRowsOf(grid);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(app::gridCellsOf(rows[0]),
              (std::vector<std::string>{"+", "Muster", "Anna", "anna@example.org", "w"}));
    EXPECT_EQ(app::gridCellsOf(rows[1]), (std::vector<std::string>{"+", "Kurz", "", "", ""}));
    EXPECT_EQ(app::gridCellsOf(rows[2]), (std::vector<std::string>(5)));
    grid.Cells.resize(1);
    EXPECT_TRUE(app::recipientRowsOf(grid).empty());
}

// The mailing as a file in the window: save and open bring every field
// back, the first argument opens one, a broken or incomplete mailing changes
// nothing, and the close asks about unsaved changes exactly when it must.
#include <gtest/gtest.h>

#include <memory>

#include "app/handler_runner.h"
#include "app/tfrm_message_editor.h"
#include "platform/clock.h"
#include "platform/profile_file.h"
#include "support/app/scripted_interaction.h"
#include "support/app/test_home.h"

using namespace sendrix;
using app::Interaction;
using app::TfrmMessageEditor;

namespace {

class MailingWindowTest : public ::testing::Test {
protected:
    MailingWindowTest() : clock(platform::LocalTime{2026, 3, 8, 14, 5, 31, 0, 60}) {}

    bool create(std::vector<std::string> arguments = {}) {
        form = std::make_unique<TfrmMessageEditor>(ui, clock, std::move(arguments));
        return app::runHandler(ui, [&] { form->FormCreate(); });
    }
    // A mailing as a user composes it: a list, two attachments, every option.
    void compose() {
        form->LoadRecipientList(home.write("listen/mitglieder.csv",
                                           "Name;Vorname;Email;Typ\r\nMuster;Anna;anna@example.org;w\r\n"));
        form->AddAttachmentFile(home.write("satzung.pdf", "%PDF"));
        form->AddAttachmentFile(home.write("anlagen/beitrag.pdf", "%PDF"));
        form->RefreshAttachmentList();
        form->edtSubject.Text = "Rundbrief {{Vorname}}";
        form->Memo.Lines = {"Liebe Mitglieder,", "", "bis bald"};
        form->useAnrede.Checked = true;
        form->Anrede.ItemIndex = 2;
        form->Anrede.Text = form->Anrede.Items[2];
        form->edtCC.Text = "vorstand@example.org";
        form->edtBCC.Text = "archiv@example.org";
        form->edtReply.Text = "antwort@example.org";
        form->cboPriority.ItemIndex = 1;
        form->cboPriority.Text = "High";
        form->html.Checked = true;
        form->chkReturnReciept.Checked = true;
    }
    bool run(void (TfrmMessageEditor::*handler)()) {
        return app::runHandler(ui, [&] { (form.get()->*handler)(); });
    }

    test::TestHome home;
    platform::FixedClock clock;
    test::ScriptedInteraction ui;
    std::unique_ptr<TfrmMessageEditor> form;
};

}  // namespace

TEST_F(MailingWindowTest, SavedMailingOpensWithEveryFieldAgain) {
    ASSERT_TRUE(create());
    compose();
    const merge::MailingDocument composed = form->CurrentMailing();
    EXPECT_TRUE(form->MailingChanged());
    const std::string path = home.path("rundbrief.mailing");
    ui.answerSaveFile(path);
    ASSERT_TRUE(run(&TfrmMessageEditor::MailingSpeichern1Click));
    ASSERT_EQ(ui.saveDialogs.size(), 1u);
    EXPECT_EQ(ui.saveDialogs[0].Title, "Mailing speichern");
    EXPECT_EQ(ui.saveDialogs[0].Filter, "Mailings|*.mailing|alle Dateien|*.*");
    EXPECT_EQ(form->MailingFile, path);
    EXPECT_FALSE(form->MailingChanged());

    // A fresh window opens it: the same mailing, the list loaded for real.
    ASSERT_TRUE(create());
    ui.answerOpenFile(path);
    ASSERT_TRUE(run(&TfrmMessageEditor::MailingOeffnen1Click)) << ui.errors.back();
    EXPECT_EQ(form->CurrentMailing(), composed);
    EXPECT_EQ(form->empfaengerliste.RowCount(), 2);
    EXPECT_EQ(form->edtto.Text, app::kRecipientListMarker);
    EXPECT_EQ(form->lvFiles.Items, composed.attachments);
    EXPECT_EQ(form->Vorschau.Caption, "Sehr geehrte Frau Muster,");
    EXPECT_FALSE(form->MailingChanged());

    // Saving again goes to the same file without a dialog.
    form->edtSubject.Text = "geändert";
    ASSERT_TRUE(run(&TfrmMessageEditor::MailingSpeichern1Click));
    EXPECT_EQ(merge::readMailingFile(path).subject, "geändert");
    EXPECT_EQ(ui.unusedAnswers(), 0u);
}

TEST_F(MailingWindowTest, OpeningAMailingWithoutListLeavesListMode) {
    ASSERT_TRUE(create());
    compose();
    const std::string path =
        home.write("ohne.mailing", "[Mailing]\r\nBetreff=Einzeln\r\n[Text]\r\nHallo\r\n");
    ui.answerYesNoCancel(Interaction::Answer::No);
    ui.answerOpenFile(path);
    ASSERT_TRUE(run(&TfrmMessageEditor::MailingOeffnen1Click));
    EXPECT_EQ(ui.confirms, (std::vector<std::string>{"Änderungen am Mailing speichern?"}));
    EXPECT_EQ(form->empfaengerliste.RowCount(), 1);
    EXPECT_TRUE(form->edtto.Enabled);
    EXPECT_EQ(form->edtto.Text, "");
    EXPECT_TRUE(form->lvFiles.Items.empty());
    EXPECT_EQ(form->Memo.Lines, (std::vector<std::string>{"Hallo"}));
    EXPECT_EQ(form->cboPriority.Text, "Normal");
}

TEST_F(MailingWindowTest, MailingWithMissingFilesChangesNothing) {
    ASSERT_TRUE(create());
    compose();
    const merge::MailingDocument before = form->CurrentMailing();
    const std::string path = home.write("fehlt.mailing",
                                        "[Mailing]\r\nEmpfaengerliste=weg.csv\r\nAnhang1=satzung.pdf\r\n"
                                        "Anhang2=auch-weg.pdf\r\nBetreff=anders\r\n");
    EXPECT_FALSE(app::runHandler(ui, [&] { form->OpenMailing(path); }));
    EXPECT_EQ(ui.errors,
              (std::vector<std::string>{"Das Mailing " + path +
                                        " wurde nicht geöffnet:\nDie Empfängerliste " + home.path("weg.csv") +
                                        " fehlt.\nDie Anlage " + home.path("auch-weg.pdf") + " fehlt."}));
    EXPECT_EQ(form->CurrentMailing(), before);
    EXPECT_TRUE(form->MailingFile.empty());
}

TEST_F(MailingWindowTest, FirstArgumentOpensTheMailingAndLaterSwitchesWin) {
    home.write("Mail.ini",
               "[Email]\r\nreplyto=konfiguration@example.org\r\nSubject=aus Mail.ini\r\n"
               "[Dateien]\r\nNachricht=konfig.txt\r\n");
    home.write("konfig.txt", "aus der Konfiguration\r\n");
    home.write("m.csv", "Name;Vorname;Email;Typ\r\nMuster;Anna;anna@example.org;w\r\n");
    const std::string path = home.write("verein.mailing",
                                        "[Mailing]\r\nBetreff=aus dem Mailing\r\nEmpfaengerliste=m.csv\r\n"
                                        "Antwortadresse=mailing@example.org\r\nBCC=b@example.org\r\n"
                                        "[Text]\r\nText des Mailings\r\n");
    ASSERT_TRUE(create({path, "/bcc:-"})) << ui.errors.back();
    EXPECT_EQ(form->edtSubject.Text, "aus dem Mailing");
    EXPECT_EQ(form->edtReply.Text, "mailing@example.org");
    EXPECT_EQ(form->Memo.Lines, (std::vector<std::string>{"Text des Mailings"}));
    EXPECT_EQ(form->RecipientListFile, home.path("m.csv"));
    EXPECT_EQ(form->edtBCC.Text, "");
    EXPECT_EQ(form->MailingFile, path);
    // What the start set up is not a change of the user's.
    EXPECT_FALSE(form->MailingChanged());
    EXPECT_TRUE(form->StartupCompleted());
}

TEST_F(MailingWindowTest, BrokenFirstArgumentIsShownAndStopsTheImmediateSend) {
    const std::string path = home.write("kaputt.mailing", "[Mailing]\r\nHTML=vielleicht\r\n");
    EXPECT_FALSE(create({path, "/sofort"}));
    EXPECT_EQ(ui.errors,
              (std::vector<std::string>{"Die Datei " + path +
                                        " ist kein gültiges Mailing: Zeile 2 \"HTML=vielleicht\" hat "
                                        "keinen der Werte 0 oder 1."}));
    EXPECT_FALSE(form->StartupCompleted());
    EXPECT_TRUE(form->RecipientListFile.empty());  // not read as a list either
}

TEST_F(MailingWindowTest, CloseAsksAboutUnsavedChangesOnlyWhenItMay) {
    using Answer = Interaction::Answer;
    struct Row {
        const char* name;
        std::vector<std::string> arguments;
        bool change;
        bool hasFile;
        std::optional<Answer> answer;       // nullopt: no question expected
        std::optional<std::string> dialog;  // the save dialog's answer, when asked
        bool mayClose;
        bool saved;
    };
    const std::string target = "ziel.mailing";
    const Row rows[] = {
        {"unchanged", {}, false, false, std::nullopt, std::nullopt, true, false},
        {"Nein", {}, true, false, Answer::No, std::nullopt, true, false},
        {"Abbrechen", {}, true, false, Answer::Cancel, std::nullopt, false, false},
        {"Ja with a file", {}, true, true, Answer::Yes, std::nullopt, true, true},
        {"Ja, dialog picks a file", {}, true, false, Answer::Yes, target, true, true},
        {"Ja, dialog cancelled", {}, true, false, Answer::Yes, std::string(), false, false},
        {"dontsave", {"/dontsave"}, true, false, std::nullopt, std::nullopt, true, false},
        {"sofort", {"/sofort"}, true, false, std::nullopt, std::nullopt, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ui.confirms.clear();
        ASSERT_TRUE(create(row.arguments));
        const std::string file = home.path(target);
        std::remove(file.c_str());
        if (row.hasFile)
            form->MailingFile = file;
        if (row.change)
            form->edtSubject.Text = "neu";
        if (row.answer)
            ui.answerYesNoCancel(*row.answer);
        if (row.dialog)
            ui.answerSaveFile(row.dialog->empty() ? std::nullopt : std::optional(home.path(*row.dialog)));
        bool mayClose = false;
        ASSERT_TRUE(app::runHandler(ui, [&] { mayClose = form->FormCloseQuery(); }));
        EXPECT_EQ(mayClose, row.mayClose);
        EXPECT_EQ(ui.confirms, row.answer ? std::vector<std::string>{"Änderungen am Mailing speichern?"}
                                          : std::vector<std::string>{});
        EXPECT_EQ(home.exists(target), row.saved);
        if (row.saved) {
            EXPECT_EQ(merge::readMailingFile(file).subject, "neu");
        }
        EXPECT_EQ(ui.unusedAnswers(), 0u);
    }
}

TEST_F(MailingWindowTest, SavedMailConfigurationReopensListAndBody) {
    ASSERT_TRUE(create());
    compose();
    const std::string config = home.path("kampagne.txt");
    ui.answerSaveFile(config);
    ASSERT_TRUE(run(&TfrmMessageEditor::MailKonfigurationsichern1Click));
    EXPECT_EQ(platform::readProfileString(config, "Dateien", "Empfaenger", ""),
              home.path("listen/mitglieder.csv"));
    EXPECT_EQ(platform::readProfileString(config, "Dateien", "Nachricht", ""),
              home.path("kampagne-Nachricht.txt"));

    ASSERT_TRUE(create());
    ui.answerOpenFile(config);
    ASSERT_TRUE(run(&TfrmMessageEditor::MailKonfigurationffnen1Click));
    EXPECT_EQ(form->Memo.Lines, (std::vector<std::string>{"Liebe Mitglieder,", "", "bis bald"}));
    EXPECT_EQ(form->RecipientListFile, home.path("listen/mitglieder.csv"));
    EXPECT_EQ(form->edtSubject.Text, "Rundbrief {{Vorname}}");
}

// ---- Window details ----

TEST_F(MailingWindowTest, AttachmentDialogStartsAtTheLastAttachmentWithNothingPicked) {
    ASSERT_TRUE(create());
    const std::string list = home.write("listen/m.csv", "Name;Vorname;Email;Typ\r\n");
    ui.answerOpenFile(list);
    ASSERT_TRUE(run(&TfrmMessageEditor::Verteilerlisteffnen1Click));
    const std::string first = home.write("anlagen/a.pdf", "A");
    ui.answerOpenFile(first);
    ui.answerOpenFile(std::nullopt);
    ASSERT_TRUE(run(&TfrmMessageEditor::btnAttachmentClick));
    ASSERT_TRUE(run(&TfrmMessageEditor::btnAttachmentClick));
    ASSERT_EQ(ui.openDialogs.size(), 3u);
    // The list's name stays out of the attachment dialog.
    EXPECT_EQ(ui.openDialogs[1].FileName, "");
    EXPECT_EQ(ui.openDialogs[2].FileName, "");
    EXPECT_EQ(ui.openDialogs[2].InitialDir, home.path("anlagen/"));
}

TEST_F(MailingWindowTest, EachKindOfFileDialogOpensWhereThatKindWasLastChosenAlsoAfterARestart) {
    ASSERT_TRUE(create());
    ui.answerOpenFile(home.write("listen/m.csv", "Name;Vorname;Email;Typ\r\n"));
    ASSERT_TRUE(run(&TfrmMessageEditor::Verteilerlisteffnen1Click));
    ui.answerOpenFile(home.write("texte/t.txt", "Hallo\r\n"));
    ASSERT_TRUE(run(&TfrmMessageEditor::Nachrichtffnen1Click));
    ASSERT_TRUE(create());  // the next start
    for (auto [handler, folder] : {std::pair{&TfrmMessageEditor::Verteilerlisteffnen1Click, "listen"},
                                   std::pair{&TfrmMessageEditor::Nachrichtffnen1Click, "texte"},
                                   std::pair{&TfrmMessageEditor::MailingOeffnen1Click, ""}}) {
        SCOPED_TRACE(folder);
        ui.answerOpenFile(std::nullopt);
        ASSERT_TRUE(run(handler));
        EXPECT_EQ(ui.openDialogs.back().InitialDir, *folder ? home.path(folder) : "");
        EXPECT_EQ(ui.openDialogs.back().FileName, "");
    }
}

TEST_F(MailingWindowTest, SavingTheEditedListWritesItBackAndSaysSo) {
    ASSERT_TRUE(create());
    compose();
    const std::string list = home.path("listen/mitglieder.csv");
    form->empfaengerliste.Cells[1][2] = "Anne";
    ASSERT_TRUE(app::runHandler(ui, [&] { form->ListeSpeichern1Click(); }));
    EXPECT_EQ(home.read("listen/mitglieder.csv"),
              "Name;Vorname;Email;Typ\r\nMuster;Anne;anna@example.org;w\r\n");
    EXPECT_EQ(form->StatusBar1.Panels[1], "Empfängerliste gespeichert: " + list);
    // What the list's format cannot hold is refused and the file stays.
    form->empfaengerliste.Cells[1][1] = "Muster;Meier";
    EXPECT_FALSE(app::runHandler(ui, [&] { form->ListeSpeichern1Click(); }));
    EXPECT_EQ(ui.errors.back(),
              "Die Empfängerliste " + list +
                  " wurde nicht gespeichert. Zeile 2: Das Feld Name enthält ein Semikolon; das "
                  "Listenformat \"Name;Vorname;Email;Typ\" kann es nicht speichern.");
    EXPECT_EQ(home.read("listen/mitglieder.csv"),
              "Name;Vorname;Email;Typ\r\nMuster;Anne;anna@example.org;w\r\n");
}

// The send handlers of the main window against the scripted SMTP server:
// the list send with its protocol, progress, log and archive, the failure
// rules, the single address with its history, the send to the current row
// and the test mail.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "app/handler_runner.h"
#include "app/tfrm_message_editor.h"
#include "platform/clock.h"
#include "platform/system_info.h"
#include "platform/text_codec.h"
#include "support/app/scripted_interaction.h"
#include "support/app/test_home.h"
#include "support/scripted_smtp_server.h"

using namespace sendrix;
using app::TfrmMessageEditor;

namespace {

const char* const kList =
    "Name;Vorname;Email;Typ\r\n"
    "Muster;Anna;anna@example.org;w\r\n"
    "Beispiel;Bert;bert@example.org;Herr\r\n"
    "Probe;Dr. Clara;clara@example.org;F\r\n";

class SendHandlersTest : public ::testing::Test {
protected:
    // 8 March 2026, 14:05:31, UTC+1.
    SendHandlersTest() : clock(platform::LocalTime{2026, 3, 8, 14, 5, 31, 0, 60}) {}

    // A program folder whose account points at `server`, the list and body
    // loaded from the command line, the salutation "Sehr geehrte%m/w %Name,".
    TfrmMessageEditor& create(const test::ScriptedSmtpServer& server, bool withList = true) {
        home.write("Mail.ini",
                   "[Smtp]\r\nServerName=127.0.0.1\r\nServerPort=" + std::to_string(server.port()) +
                       "\r\n[Optionen]\r\nAnrede=2\r\nSentObjects=./gesendet\r\n");
        std::vector<std::string> arguments;
        if (withList)
            arguments.push_back(home.write("liste.csv", kList));
        arguments.push_back("/B:" + home.write("text.txt", "Guten Tag.\r\n.\r\nGru\xdf\r\n"));
        arguments.push_back("/s:Rundbrief");
        arguments.push_back("/from:absender@example.org");
        arguments.push_back("/ANREDE");
        form = std::make_unique<TfrmMessageEditor>(ui, clock, arguments);
        EXPECT_TRUE(app::runHandler(ui, [&] { form->FormCreate(); }));
        return *form;
    }
    bool send() {
        return app::runHandler(ui, [&] { form->sendenClick(); });
    }
    std::vector<std::string> logLines() const {
        std::vector<std::string> lines;
        const std::string text = home.read("logs/2026-03_EMail.log");
        for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
             start = end + 2)
            lines.push_back(platform::decodeFileText(text.substr(start, end - start)));
        return lines;
    }
    std::string logLine(int number, const std::string& address) const {
        return "08.03.2026 14:05:31\t" + std::to_string(number) + "\t" + platform::CurrentUserName() + "\t" +
               address + "\tRundbrief";
    }
    static test::ScriptedSmtpServer::Options repeating() {
        test::ScriptedSmtpServer::Options options;
        options.repeatLastScript = true;
        return options;
    }

    test::TestHome home;
    platform::FixedClock clock;
    test::ScriptedInteraction ui;
    std::unique_ptr<TfrmMessageEditor> form;
};

}  // namespace

TEST_F(SendHandlersTest, ListSendSkipsUnmarkedRowsAndNumbersTheMarkedOnes) {
    test::ScriptedSmtpServer server({test::SmtpScript::standard()}, repeating());
    create(server);
    form->RememberedRow = 2;
    form->empfaengerlisteDblClick();  // Bert is not marked any more
    ui.answerConfirm(true);
    ASSERT_TRUE(send()) << ui.errors.back();

    EXPECT_EQ(ui.confirms,
              (std::vector<std::string>{
                  "Wollen Sie diese Mail an 2 Empfänger verschicken?\r\n(absender@example.org)"}));
    ASSERT_TRUE(server.waitForSessions(2));
    const std::vector<std::string> messages = server.messages();
    ASSERT_EQ(messages.size(), 2u);
    // List send: the salutation of the row, a blank line, the body with its
    // leading dot doubled on the wire, 8-bit text quoted-printable; the
    // title is dropped from "Dr. Clara".
    EXPECT_NE(messages[0].find("\r\n\r\nSehr geehrte Frau Muster,\r\n\r\nGuten Tag.\r\n..\r\nGru=DF\r\n"),
              std::string::npos);
    EXPECT_NE(messages[1].find("Sehr geehrte Frau Probe,"), std::string::npos);
    EXPECT_EQ(server.received(0).find("RCPT to:<bert@example.org>"), std::string::npos);

    EXPECT_EQ(
        form->protokollmemo.Lines,
        (std::vector<std::string>{"Beginn der Mailübertragung: 08.03.2026 14:05:31",
                                  "14:05:31: Mail wird an anna@example.org versendet (1)",
                                  "14:05:31: Mail ist an anna@example.org versendet worden.", "",
                                  "14:05:31: Mail wird an clara@example.org versendet (2)",
                                  "14:05:31: Mail ist an clara@example.org versendet worden.", "",
                                  "Ergebnisdatei: " + home.path("gesendet/20260308_140531-Rundbrief.csv")}));
    EXPECT_EQ(logLines(),
              (std::vector<std::string>{logLine(1, "anna@example.org"), logLine(2, "clara@example.org")}));
    EXPECT_EQ(form->StatusBar1.Panels[1], "Sendrix durchgeführt.");
    EXPECT_EQ(form->Control.ActivePageIndex, app::kPageProtokoll);
    EXPECT_FALSE(form->Progress.Visible);
    EXPECT_EQ(form->Progress.Max, 4);
    EXPECT_EQ(form->Progress.Position, 4);
    // The archive holds the body editor's text as loaded: no salutation.
    EXPECT_EQ(home.read("gesendet/20260308_1405-Rundbrief.txt"), home.read("text.txt"));
    EXPECT_EQ(form->LastRunOutcome, TfrmMessageEditor::RunOutcome::Finished);
    EXPECT_TRUE(form->edtto.Items.empty());  // a list send adds nothing to the history
}

TEST_F(SendHandlersTest, PreflightBoxLeavesOutTheFaultyRowsAndSendsTheRest) {
    test::ScriptedSmtpServer server({test::SmtpScript::standard()}, repeating());
    create(server);
    form->empfaengerliste.Cells[2][3] = "bert example.org";  // edited in place
    ui.answerChoose(0);
    ui.answerConfirm(true);
    ASSERT_TRUE(send());
    ASSERT_EQ(ui.events.size(), 2u);
    EXPECT_EQ(ui.events[0],
              "choose: Pr\xc3\xbc"
              "fung vor dem Versand:\r\n\r\nFehler: Zeile 3: \"bert example.org\" ist "
              "keine g\xc3\xbcltige E-Mail-Adresse.\r\n\r\nMit diesen Zeilen wird der Versand nicht "
              "gestartet. [Fehlerhafte Zeilen abw\xc3\xa4hlen und senden]");
    EXPECT_EQ(form->empfaengerliste.Cells[2][0], "");
    ASSERT_TRUE(server.waitForSessions(2));
    EXPECT_EQ(server.messages().size(), 2u);
    EXPECT_EQ(server.received(0).find("bert"), std::string::npos);
}

TEST_F(SendHandlersTest, RefusedRecipientEndsTheRunAndLeavesTheTraceOfTheAttempt) {
    test::SmtpBehaviour refusing;
    refusing.refuseRcptNumber = 2;
    test::ScriptedSmtpServer server({test::SmtpScript::standard(refusing)}, repeating());
    create(server);
    ui.answerConfirm(true);
    ui.answerConfirm(false);  // not on with the next recipient
    EXPECT_FALSE(send());

    ASSERT_EQ(ui.errors.size(), 1u);
    EXPECT_NE(ui.errors[0].find("Recipient address rejected"), std::string::npos) << ui.errors[0];
    ASSERT_TRUE(server.waitForSessions(2));
    EXPECT_EQ(server.messages().size(), 1u);
    EXPECT_EQ(server.sessionCount(), 2u);  // Clara is never tried
    // The log records attempts: Bert's line is there, his delivery is not.
    EXPECT_EQ(logLines(),
              (std::vector<std::string>{logLine(1, "anna@example.org"), logLine(2, "bert@example.org")}));
    EXPECT_EQ(form->StatusBar1.Panels[1], "14:05:31: Mail wird an bert@example.org versendet (2)");
    // The attempt, then the failure with the server's reply.
    const std::vector<std::string>& protocol = form->protokollmemo.Lines;
    const auto attempt =
        std::find(protocol.begin(), protocol.end(), "14:05:31: Mail wird an bert@example.org versendet (2)");
    ASSERT_NE(attempt, protocol.end());
    EXPECT_EQ(*(attempt + 1),
              "14:05:31: Mail an bert@example.org nicht versendet: 550 5.1.1 <refused>: "
              "Recipient address rejected");
    EXPECT_TRUE(form->Progress.Visible);
    EXPECT_EQ(form->LastRunOutcome, TfrmMessageEditor::RunOutcome::Failed);
}

TEST_F(SendHandlersTest, SingleAddressGoesToTheHistoryOnlyAfterItsDelivery) {
    test::SmtpBehaviour refusing;
    refusing.refuseRcptNumber = 2;
    test::ScriptedSmtpServer server({test::SmtpScript::standard(refusing)}, repeating());
    create(server, false);
    form->edtto.Text = "Einzel@Example.ORG";
    ASSERT_TRUE(send());
    // No list: no confirmation, no salutation, no archive, no protocol start.
    EXPECT_TRUE(ui.confirms.empty());
    ASSERT_TRUE(server.waitForSessions(1));
    EXPECT_NE(server.messages()[0].find("\r\n\r\nGuten Tag.\r\n"), std::string::npos);
    EXPECT_FALSE(home.exists("gesendet/20260308_1405-Rundbrief.txt"));
    EXPECT_EQ(form->edtto.Items, (std::vector<std::string>{"einzel@example.org"}));

    form->edtto.Text = "zweiter@example.org";  // the server refuses this one
    EXPECT_FALSE(send());
    EXPECT_EQ(form->edtto.Items, (std::vector<std::string>{"einzel@example.org"}));
    EXPECT_EQ(logLines().size(), 2u);

    form->edtto.Text = "   ";
    ASSERT_TRUE(send());
    EXPECT_EQ(ui.notices, (std::vector<std::string>{"Es ist keine Empfängeradresse angegeben."}));
    EXPECT_EQ(form->LastRunOutcome, TfrmMessageEditor::RunOutcome::Failed);
    EXPECT_EQ(server.sessionCount(), 2u);
}

TEST_F(SendHandlersTest, QuestionsAnsweredNoSendNothing) {
    test::ScriptedSmtpServer server({test::SmtpScript::standard()}, repeating());
    create(server);
    form->edtSubject.Text = "  ";
    form->pnlTopleft.ActivePageIndex = app::kPageKopien;
    ui.answerConfirm(false);
    ASSERT_TRUE(send());
    EXPECT_EQ(ui.confirms.back(), "Wollen Sie wirklich keinen Betreff der E-mail eingeben?");
    EXPECT_EQ(form->pnlTopleft.ActivePageIndex, app::kPageEmpfaenger);
    EXPECT_EQ(ui.focuses, (std::vector<app::ControlId>{app::ControlId::edtSubject}));
    EXPECT_EQ(form->LastRunOutcome, TfrmMessageEditor::RunOutcome::Declined);

    ui.answerConfirm(true);   // no subject, on purpose
    ui.answerConfirm(false);  // but not to three recipients
    ASSERT_TRUE(send());
    EXPECT_EQ(ui.confirms.size(), 3u);
    EXPECT_EQ(form->LastRunOutcome, TfrmMessageEditor::RunOutcome::Declined);
    EXPECT_EQ(server.sessionCount(), 0u);
    EXPECT_TRUE(logLines().empty());
    EXPECT_FALSE(home.exists("gesendet"));
}

TEST_F(SendHandlersTest, SendToTheCurrentRowAsksAndSendsItWhateverItsMark) {
    test::ScriptedSmtpServer server({test::SmtpScript::standard()}, repeating());
    create(server);
    form->empfaengerliste.Row = 3;
    form->empfaengerliste.Cells[3][0] = "";
    form->edtfrom.Text = "neu@example.org";  // typed, the field not left yet
    ui.answerConfirm(true);
    ASSERT_TRUE(app::runHandler(ui, [&] { form->anmarkiertenEmpfngerversenden1Click(); }));

    EXPECT_EQ(ui.confirms, (std::vector<std::string>{
                               "Wollen Sie diese Mail an Probe Dr. Clara (clara@example.org) verschicken?"
                               "\r\n(von neu@example.org)"}));
    ASSERT_TRUE(server.waitForSessions(1));
    EXPECT_NE(server.received(0).find("Mail from:<neu@example.org>"), std::string::npos);
    // The current-row salutation keeps the title.
    EXPECT_NE(server.messages()[0].find("Sehr geehrte Frau Probe,"), std::string::npos);
    EXPECT_EQ(logLines(), (std::vector<std::string>{"08.03.2026 14:05:31\t1\t" + platform::CurrentUserName() +
                                                    "\tclara@example.org\tRundbrief"}));
    EXPECT_FALSE(home.exists("gesendet/20260308_1405-Rundbrief.txt"));
    EXPECT_TRUE(form->protokollmemo.Lines.size() == 2u);  // its two lines, no start line

    // A grid with only its header row has no current recipient.
    form->empfaengerliste.Cells.resize(1);
    ASSERT_TRUE(app::runHandler(ui, [&] { form->anmarkiertenEmpfngerversenden1Click(); }));
    EXPECT_EQ(ui.notices, (std::vector<std::string>{"Die Empfängerliste enthält keinen Empfänger."}));
    EXPECT_EQ(server.sessionCount(), 1u);
}

TEST_F(SendHandlersTest, TestMailGoesToTheTypedAddressAndLeavesTheListMode) {
    test::ScriptedSmtpServer server({test::SmtpScript::standard()}, repeating());
    create(server);
    ui.answerInput(std::string("pruefung@example.org"));
    ASSERT_TRUE(app::runHandler(ui, [&] { form->SpeedButton6Click(); }));
    EXPECT_EQ(ui.inputPrompts, (std::vector<std::string>{"Test-Email|Adresse"}));
    ASSERT_TRUE(server.waitForSessions(1));
    EXPECT_EQ(server.messages().size(), 1u);
    EXPECT_NE(server.received(0).find("RCPT to:<pruefung@example.org>"), std::string::npos);
    EXPECT_EQ(form->edtto.Text, app::kRecipientListMarker);
    EXPECT_TRUE(ui.confirms.empty());

    ui.answerInput(std::nullopt);
    ASSERT_TRUE(app::runHandler(ui, [&] { form->SpeedButton6Click(); }));
    EXPECT_EQ(server.sessionCount(), 1u);
    EXPECT_EQ(form->DefaultTestAddress(), "absender@example.org");
}

TEST_F(SendHandlersTest, UnwritableSendLogStopsTheRunBeforeAnythingIsSent) {
    test::ScriptedSmtpServer server({test::SmtpScript::standard()}, repeating());
    create(server);
    // A folder where the log file should be: refused also for root.
    ASSERT_EQ(::remove(home.path("logs/2026-03_EMail.log").c_str()), 0);
    ASSERT_EQ(::mkdir(home.path("logs/2026-03_EMail.log").c_str(), 0700), 0);
    ui.answerConfirm(true);
    EXPECT_FALSE(send());
    ASSERT_EQ(ui.errors.size(), 1u);
    EXPECT_NE(ui.errors[0].find(home.path("logs/2026-03_EMail.log")), std::string::npos) << ui.errors[0];
    EXPECT_EQ(server.sessionCount(), 0u);
    EXPECT_EQ(form->LastRunOutcome, TfrmMessageEditor::RunOutcome::Failed);
}

TEST_F(SendHandlersTest, ArchiveThatCannotBeWrittenStopsTheRunBeforeAnythingIsSent) {
    test::ScriptedSmtpServer server({test::SmtpScript::standard()}, repeating());
    create(server);
    home.write("gesendet", "a file where the folder should be");
    ui.answerConfirm(true);
    EXPECT_FALSE(send());
    ASSERT_EQ(ui.errors.size(), 1u);
    EXPECT_EQ(ui.errors[0].rfind("Datei " + home.path("gesendet/20260308_1405-Rundbrief.txt"), 0), 0u)
        << ui.errors[0];
    EXPECT_EQ(server.sessionCount(), 0u);
    EXPECT_TRUE(logLines().empty());
    EXPECT_EQ(home.read("gesendet"), "a file where the folder should be");
}

TEST_F(SendHandlersTest, AnAttachmentGoneSinceItWasAddedStopsASingleSendBeforeAnythingIsSent) {
    test::ScriptedSmtpServer server({test::SmtpScript::standard()}, repeating());
    create(server, false);
    form->edtto.Text = "einzel@example.org";
    form->AddAttachmentFile(home.path("rechnung.pdf"));
    EXPECT_FALSE(send());
    ASSERT_EQ(ui.errors.size(), 1u);
    EXPECT_EQ(ui.errors[0],
              "Die Anlage " + home.path("rechnung.pdf") +
                  " kann nicht gelesen werden (Datei nicht gefunden); es wurde nichts gesendet.");
    EXPECT_EQ(server.sessionCount(), 0u);
}

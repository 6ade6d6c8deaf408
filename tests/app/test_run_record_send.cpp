// A list send whose connection breaks after a message's final ".": the row
// is uncertain in the grid, the record and the result file, and the next
// "Senden" asks before mailing that recipient again.
#include <gtest/gtest.h>

#include <regex>

#include "app/handler_runner.h"
#include "app/tfrm_message_editor.h"
#include "platform/clock.h"
#include "support/app/scripted_interaction.h"
#include "support/app/test_home.h"
#include "support/scripted_smtp_server.h"

using namespace sendrix;

TEST(RunRecordSend, ARowWithoutAReplyToItsFinalDotIsResentOnlyWhenTheUserSaysSo) {
    // The second connection ends with the message's text, before any reply.
    test::SmtpScript broken;
    broken.line("220 scripted.test ESMTP ready")
        .answer("250 scripted.test")
        .answer("250 OK")
        .answer("250 OK")
        .answer("250 OK")
        .answer("354 go ahead")
        .awaitData()
        .close();
    test::ScriptedSmtpServer::Options options;
    options.repeatLastScript = true;
    test::ScriptedSmtpServer server({test::SmtpScript::standard(), broken, test::SmtpScript::standard()},
                                    options);
    test::TestHome home;
    home.write("Mail.ini", "[Smtp]\r\nServerName=127.0.0.1\r\nServerPort=" + std::to_string(server.port()) +
                               "\r\nTimeout=5\r\n");
    const std::string list = home.write(
        "liste.csv", "Name;Vorname;Email;Typ\r\nA;V;r1@example.org;w\r\nB;V;r2@example.org;w\r\nC;V;r3@example.org;w\r\n");
    platform::FixedClock clock(platform::LocalTime{2026, 3, 8, 14, 5, 31, 0, 60});
    test::ScriptedInteraction ui;
    app::TfrmMessageEditor form(ui, clock,
                                {list, "/B:" + home.write("text.txt", "Text\r\n"), "/s:Rundbrief",
                                 "/from:absender@example.org"});
    ASSERT_TRUE(app::runHandler(ui, [&] { form.FormCreate(); }));

    ui.answerConfirm(true);
    EXPECT_FALSE(app::runHandler(ui, [&] { form.sendenClick(); }));
    EXPECT_EQ(form.RowStatus[2], "unklar");

    ui.confirms.clear();
    ui.answerConfirm(false);  // not again to r2
    ui.answerConfirm(true);
    EXPECT_TRUE(app::runHandler(ui, [&] { form.sendenClick(); }));
    EXPECT_EQ(ui.confirms,
              (std::vector<std::string>{
                  "Bei 1 Empfänger ist unklar, ob die Mail angekommen ist: r2@example.org\r\nErneut senden?",
                  "Wollen Sie diese Mail an 1 Empfänger verschicken? (1 haben sie bereits erhalten)\r\n"
                  "(absender@example.org)"}));
    ASSERT_TRUE(server.waitForSessions(3));
    EXPECT_EQ(server.sessionCount(), 3u);  // r1, r2 (broken), r3: none twice
    EXPECT_EQ(form.LastRunOutcome, app::TfrmMessageEditor::RunOutcome::Incomplete);
    EXPECT_EQ(form.RowStatus[2], "unklar");
    // Without the Message-IDs, which differ from run to run.
    const std::string results = std::regex_replace(home.read("Ergebnisse/20260308_140531-Rundbrief.csv"),
                                                   std::regex(";(<[^>\r\n]+>)?\r\n"), "\r\n");
    // Rows are numbered as the list file's lines: the title line is line 1.
    EXPECT_EQ(results.substr(0, results.find("3;")),
              "\xEF\xBB\xBFZeile;Adresse;Ergebnis;Antwort des Servers;Message-ID\r\n2;r1@example.org;versendet;\r\n");
    EXPECT_NE(results.find("\r\n3;r2@example.org;unklar;"), std::string::npos) << results;
    EXPECT_NE(results.find("\r\n4;r3@example.org;versendet;\r\n"), std::string::npos) << results;
}

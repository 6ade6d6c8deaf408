// A list send with rows on the suppression list: the pre-flight check names
// them and takes their mark away; a row marked again by hand is sent to.
#include <gtest/gtest.h>

#include "app/handler_runner.h"
#include "app/tfrm_message_editor.h"
#include "platform/clock.h"
#include "support/app/scripted_interaction.h"
#include "support/app/test_home.h"
#include "support/scripted_smtp_server.h"

using namespace sendrix;

TEST(SuppressionSend, ListedRowsLoseTheirMarkUnlessMarkedAgainByHand) {
    test::ScriptedSmtpServer::Options options;
    options.repeatLastScript = true;
    test::ScriptedSmtpServer server({test::SmtpScript::standard()}, options);
    test::TestHome home;
    home.write("Mail.ini", "[Smtp]\r\nServerName=127.0.0.1\r\nServerPort=" + std::to_string(server.port()) +
                               "\r\nTimeout=5\r\n");
    home.write("Sperrliste.txt", "R2@example.org\t2026-12-09\tabgemeldet\n");
    const std::string list = home.write(
        "liste.csv", "Name;Vorname;Email;Typ\r\nA;V;r1@example.org;w\r\nB;V;r2@example.org;w\r\nC;V;r3@example.org;w\r\n");
    platform::FixedClock clock(platform::LocalTime{2026, 3, 8, 14, 5, 31, 0, 60});
    test::ScriptedInteraction ui;
    app::TfrmMessageEditor form(ui, clock,
                                {list, "/B:" + home.write("text.txt", "Text\r\n"), "/s:Rundbrief",
                                 "/from:absender@example.org"});
    ASSERT_TRUE(app::runHandler(ui, [&] { form.FormCreate(); }));

    ui.answerConfirm(false);
    EXPECT_TRUE(app::runHandler(ui, [&] { form.sendenClick(); }));
    ASSERT_EQ(ui.confirms.size(), 1u);
    EXPECT_NE(ui.confirms[0].find("Warnung: Zeile 3: R2@example.org steht auf der Sperrliste (2026-12-09, "
                                  "abgemeldet); die Zeile wurde abgewählt."),
              std::string::npos)
        << ui.confirms[0];
    EXPECT_EQ(form.empfaengerliste.Cells[2][0], "");
    EXPECT_EQ(server.sessionCount(), 0u);

    ui.confirms.clear();
    form.ToggleMarks({2});
    ui.answerConfirm(true);
    ui.answerConfirm(true);
    EXPECT_TRUE(app::runHandler(ui, [&] { form.sendenClick(); }));
    ASSERT_EQ(ui.confirms.size(), 2u);
    EXPECT_NE(ui.confirms[0].find("die Zeile wurde wieder markiert und wird angeschrieben."), std::string::npos);
    EXPECT_NE(ui.confirms[1].find("an 3 Empfänger"), std::string::npos) << ui.confirms[1];
    ASSERT_TRUE(server.waitForSessions(3));
}

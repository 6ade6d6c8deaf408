// The outcomes of a list send against the scripted SMTP server, one table
// row per situation: a refused recipient with and without going on, a
// temporary refusal tried again, one refused on every try, the server gone
// mid-run, several messages per connection, the pace limit and Abbrechen.
// Each row checks what was sent, the grid's status column and send marks,
// the result file, the send log and the exit status. The waits go through
// a run time of the test's own, so nothing sleeps.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "app/handler_runner.h"
#include "app/tfrm_message_editor.h"
#include "merge/run_time.h"
#include "platform/clock.h"
#include "platform/system_info.h"
#include "platform/text_codec.h"
#include "platform/text_file.h"
#include "support/app/scripted_interaction.h"
#include "support/app/test_home.h"
#include "support/scripted_smtp_server.h"

using namespace sendrix;
using app::TfrmMessageEditor;

namespace {

// Time that moves only when the run waits; every wait is recorded.
class StepRunTime : public merge::RunTime {
public:
    std::chrono::milliseconds now() const override { return m_now; }
    bool waitUntil(std::chrono::milliseconds until, const std::function<bool()>& stopRequested) override {
        waits.push_back((until - m_now).count());
        if (until > m_now)
            m_now = until;
        return !(stopRequested && stopRequested());
    }
    std::vector<long long> waits;  // milliseconds

private:
    std::chrono::milliseconds m_now{1'000'000};
};

// Runs `afterFirstRow` once, when the grid shows the first row's outcome.
class HookedInteraction : public test::ScriptedInteraction {
public:
    std::function<void()> afterFirstRow;
    void Repaint(app::ControlId control) override {
        ScriptedInteraction::Repaint(control);
        if (control != app::ControlId::empfaengerliste || !afterFirstRow)
            return;
        std::function<void()> hook = std::move(afterFirstRow);
        afterFirstRow = nullptr;
        hook();
    }
};

struct OutcomeCase {
    const char* name = "";
    int rows = 3;                       // r1@example.org ... rN@example.org
    std::vector<std::string> switches;  // besides the list, body, subject, sender
    std::string smtpKeys;               // more [Smtp] lines
    test::SmtpBehaviour behaviour;
    std::optional<bool> answerGoOn;  // the window's answer to the question
    enum class Hook { None, ServerGone, Abbrechen } hook = Hook::None;

    std::vector<std::string> delivered;  // "To:" of each message the server took
    std::vector<std::string> status;     // status column, row 1 first
    std::string marks;                   // send marks after the run, "+" or "-" per row
    std::vector<std::string> results;    // result file lines after the title
    std::vector<std::string> logged;     // addresses of the send log lines
    std::vector<long long> waits;        // milliseconds
    int exitStatus = 0;
    std::string error;         // part of the error shown; "" none
    std::string protocolLine;  // a line the protocol must hold
    std::size_t sessions = 0;  // 0: not checked
};

test::SmtpBehaviour refusing(int number, const std::string& reply, int count = 1) {
    test::SmtpBehaviour behaviour;
    behaviour.refuseRcptNumber = number;
    behaviour.refuseRcptReply = reply;
    behaviour.refuseRcptCount = count;
    return behaviour;
}

std::vector<OutcomeCase> outcomeCases() {
    const std::string sent = "versendet 14:05:31";
    const std::string malformed = "553 5.1.3 malformed address";
    const std::string busy = "454 4.7.0 Too many login attempts";
    // Row 2 refused with 553: the run goes on, or stops there.
    const auto goesOnAfterRow2 = [&](OutcomeCase& c) {
        c.behaviour = refusing(2, malformed);
        c.delivered = {"r1@example.org", "r3@example.org"};
        c.status = {sent, "Fehler: " + malformed, sent};
        c.marks = "-+-";
        c.results = {"2;r1@example.org;versendet;", "3;r2@example.org;Fehler;" + malformed,
                     "4;r3@example.org;versendet;"};
        c.logged = {"r1@example.org", "r2@example.org", "r3@example.org"};
        c.exitStatus = 1;
    };
    const auto stopsAtRow2 = [&](OutcomeCase& c) {
        c.behaviour = refusing(2, malformed);
        c.delivered = {"r1@example.org"};
        c.status = {sent, "Fehler: " + malformed, ""};
        c.marks = "-++";
        c.results = {"2;r1@example.org;versendet;", "3;r2@example.org;Fehler;" + malformed,
                     "4;r3@example.org;nicht versendet;"};
        c.logged = {"r1@example.org", "r2@example.org"};
        c.exitStatus = 1;
    };
    std::vector<OutcomeCase> cases;
    {
        OutcomeCase c;
        c.name = "553 to RCPT, the window goes on";
        goesOnAfterRow2(c);
        c.answerGoOn = true;
        c.protocolLine = "14:05:31: Mail an r2@example.org nicht versendet: " + malformed;
        cases.push_back(c);
    }
    {
        OutcomeCase c;
        c.name = "553 to RCPT, the window stops";
        stopsAtRow2(c);
        c.answerGoOn = false;
        c.error = malformed + "\nEmpfänger r2@example.org: Die Adresse ist ungültig";
        c.protocolLine =
            "14:05:31: Versand wegen eines Fehlers beendet: 1 von 3 versendet, 2 noch zu senden.";
        cases.push_back(c);
    }
    {
        OutcomeCase c;
        c.name = "553 to RCPT, unattended with /weiter";
        goesOnAfterRow2(c);
        c.switches = {"/sofort", "/weiter"};
        c.protocolLine = "2 von 3 versendet, 1 abgewiesen.";
        cases.push_back(c);
    }
    {
        OutcomeCase c;
        c.name = "553 to RCPT, unattended stops as it always did";
        stopsAtRow2(c);
        c.switches = {"/sofort"};
        c.error = malformed;
        cases.push_back(c);
    }
    {
        OutcomeCase c;
        c.name = "421 once, then 250";
        c.behaviour = refusing(1, "421 4.7.0 Try again later");
        c.delivered = {"r1@example.org", "r2@example.org", "r3@example.org"};
        c.status = {sent, sent, sent};
        c.marks = "---";
        c.results = {"2;r1@example.org;versendet;", "3;r2@example.org;versendet;",
                     "4;r3@example.org;versendet;"};
        c.logged = {"r1@example.org", "r1@example.org", "r2@example.org", "r3@example.org"};
        c.waits = {30'000};
        c.protocolLine =
            "14:05:31: Mail an r1@example.org vorläufig abgewiesen (421 4.7.0 Try "
            "again later), nächster Versuch um 14:06:01";
        c.sessions = 4;
        cases.push_back(c);
    }
    {
        OutcomeCase c;
        c.name = "454 on every try: failed after the back-off";
        c.switches = {"/sofort", "/weiter"};
        c.behaviour = refusing(1, busy, 4);
        c.delivered = {"r2@example.org", "r3@example.org"};
        c.status = {"Fehler: " + busy, sent, sent};
        c.marks = "+--";
        c.results = {"2;r1@example.org;Fehler;" + busy, "3;r2@example.org;versendet;",
                     "4;r3@example.org;versendet;"};
        c.logged = {"r1@example.org", "r1@example.org", "r1@example.org",
                    "r1@example.org", "r2@example.org", "r3@example.org"};
        c.waits = {30'000, 120'000, 300'000};
        c.exitStatus = 1;
        c.protocolLine = "14:05:31: Mail an r1@example.org vorläufig abgewiesen (" + busy +
                         "), nächster Versuch um 14:10:31";
        cases.push_back(c);
    }
    {
        OutcomeCase c;
        c.name = "connection refused mid-run stops it";
        c.switches = {"/sofort", "/weiter"};
        c.hook = OutcomeCase::Hook::ServerGone;
        c.delivered = {"r1@example.org"};
        c.status = {sent, "", ""};
        c.marks = "-++";
        c.results = {"2;r1@example.org;versendet;", "3;r2@example.org;nicht versendet;",
                     "4;r3@example.org;nicht versendet;"};
        c.logged = {"r1@example.org", "r2@example.org"};
        c.exitStatus = 1;
        c.error = "Socket-Fehler # 10061";
        cases.push_back(c);
    }
    {
        OutcomeCase c;
        c.name = "a refused login stops the run and is the reply of its row";
        c.switches = {"/sofort", "/weiter"};
        c.smtpKeys = "ServerUser=anna\r\nSMTPAuthenticationType=1\r\nServerPassword=\"" +
                     app::ScramblePassword("falsch") + "\"\r\n";
        c.behaviour.user = "anna";
        c.behaviour.password = "richtig";
        c.status = {"", "", ""};
        c.marks = "+++";
        c.results = {"2;r1@example.org;nicht versendet;535 5.7.8 Authentication credentials invalid",
                     "3;r2@example.org;nicht versendet;", "4;r3@example.org;nicht versendet;"};
        c.logged = {"r1@example.org"};
        c.exitStatus = 1;
        c.error = "535 5.7.8 Authentication credentials invalid";
        cases.push_back(c);
    }
    {
        OutcomeCase c;
        c.name = "3 messages per connection over 7 rows";
        c.rows = 7;
        c.smtpKeys = "MessagesPerConnection=3\r\n";
        for (int i = 1; i <= 7; ++i) {
            const std::string address = "r" + std::to_string(i) + "@example.org";
            c.delivered.push_back(address);
            c.status.push_back(sent);
            c.results.push_back(std::to_string(i + 1) + ";" + address + ";versendet;");
            c.logged.push_back(address);
        }
        c.marks = "-------";
        c.sessions = 3;
        cases.push_back(c);
    }
    {
        OutcomeCase c;
        c.name = "30 messages per minute: one every 2 s";
        c.smtpKeys = "MessagesPerMinute=30\r\n";
        c.delivered = {"r1@example.org", "r2@example.org", "r3@example.org"};
        c.status = {sent, sent, sent};
        c.marks = "---";
        c.results = {"2;r1@example.org;versendet;", "3;r2@example.org;versendet;",
                     "4;r3@example.org;versendet;"};
        c.logged = {"r1@example.org", "r2@example.org", "r3@example.org"};
        c.waits = {2'000, 2'000};
        cases.push_back(c);
    }
    {
        OutcomeCase c;
        c.name = "Abbrechen after the first message";
        c.hook = OutcomeCase::Hook::Abbrechen;
        c.delivered = {"r1@example.org"};
        c.status = {sent, "", ""};
        c.marks = "-++";
        c.results = {"2;r1@example.org;versendet;", "3;r2@example.org;nicht versendet;",
                     "4;r3@example.org;nicht versendet;"};
        c.logged = {"r1@example.org"};
        c.exitStatus = 1;
        c.protocolLine = "14:05:31: Versand abgebrochen: 1 von 3 versendet, 2 noch zu senden.";
        cases.push_back(c);
    }
    return cases;
}

std::vector<std::string> crlfLines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::string headerValue(const std::string& message, const std::string& name) {
    const std::size_t at = message.find("\r\n" + name + ": ");
    if (at == std::string::npos)
        return {};
    const std::size_t start = at + name.size() + 4;
    return message.substr(start, message.find("\r\n", start) - start);
}

// The "To" of every message the server took, in order.
std::vector<std::string> deliveredTo(const test::ScriptedSmtpServer& server) {
    std::vector<std::string> delivered;
    for (const std::string& message : server.messages())
        delivered.push_back(headerValue(message, "To"));
    return delivered;
}

test::ScriptedSmtpServer::Options repeatingScript() {
    test::ScriptedSmtpServer::Options options;
    options.repeatLastScript = true;
    return options;
}

// A list sent unattended to a well-behaved server that serves every
// connection; `smtpKeys` are further [Smtp] lines of Mail.ini.
struct StandardServerRun {
    test::ScriptedSmtpServer server{{test::SmtpScript::standard()}, repeatingScript()};
    test::TestHome home;
    platform::FixedClock clock{platform::LocalTime{2026, 3, 8, 14, 5, 31, 0, 60}};
    test::ScriptedInteraction ui;
    std::optional<TfrmMessageEditor> form;

    // Starts the window with the list and `switches` and sends; false when
    // either step showed an error.
    bool send(const std::string& smtpKeys, const std::string& list, std::vector<std::string> switches) {
        home.write("Mail.ini", "[Smtp]\r\nServerName=127.0.0.1\r\nServerPort=" +
                                   std::to_string(server.port()) + "\r\n" + smtpKeys);
        switches.insert(switches.begin(), home.write("liste.csv", list));
        form.emplace(ui, clock, switches);
        return app::runHandler(ui, [&] { form->FormCreate(); }) &&
               app::runHandler(ui, [&] { form->sendenClick(); });
    }
};

}  // namespace

TEST(SendOutcomes, EachSituationEndsWithItsMessagesStatusResultFileLogAndExitStatus) {
    for (const OutcomeCase& c : outcomeCases()) {
        SCOPED_TRACE(c.name);
        test::ScriptedSmtpServer::Options options;
        options.repeatLastScript = true;
        if (c.hook == OutcomeCase::Hook::ServerGone)
            options.sessionLimit = 1;
        test::ScriptedSmtpServer server({test::SmtpScript::standard(c.behaviour)}, options);
        test::TestHome home;
        home.write("Mail.ini",
                   "[Smtp]\r\nServerName=127.0.0.1\r\nServerPort=" + std::to_string(server.port()) + "\r\n" +
                       c.smtpKeys + "[Optionen]\r\nSentObjects=./gesendet\r\n");
        std::string list = "Name;Vorname;Email;Typ\r\n";
        for (int i = 1; i <= c.rows; ++i)
            list += "N" + std::to_string(i) + ";V;r" + std::to_string(i) + "@example.org;w\r\n";
        std::vector<std::string> arguments = {home.write("liste.csv", list),
                                              "/B:" + home.write("text.txt", "Text\r\n"), "/s:Rundbrief",
                                              "/from:absender@example.org"};
        arguments.insert(arguments.end(), c.switches.begin(), c.switches.end());

        platform::FixedClock clock(platform::LocalTime{2026, 3, 8, 14, 5, 31, 0, 60});
        HookedInteraction ui;
        StepRunTime time;
        TfrmMessageEditor form(ui, clock, arguments);
        ASSERT_TRUE(app::runHandler(ui, [&] { form.FormCreate(); }));
        form.SendTime = &time;
        if (!form.SendImmediately)
            ui.answerConfirm(true);  // "an 3 Empfänger verschicken?"
        if (c.answerGoOn)
            ui.answerConfirm(*c.answerGoOn);
        if (c.hook == OutcomeCase::Hook::ServerGone)
            ui.afterFirstRow = [&] { EXPECT_TRUE(server.waitForListenerClosed()); };
        if (c.hook == OutcomeCase::Hook::Abbrechen)
            ui.afterFirstRow = [&] { form.AbbrechenClick(); };

        const bool ok = app::runHandler(ui, [&] { form.sendenClick(); });

        // What was sent.
        EXPECT_EQ(deliveredTo(server), c.delivered);
        if (c.sessions) {
            EXPECT_TRUE(server.waitForSessions(c.sessions));
            EXPECT_EQ(server.sessionCount(), c.sessions);
        }
        // The grid.
        std::vector<std::string> status(form.RowStatus.begin() + 1, form.RowStatus.end());
        EXPECT_EQ(status, c.status);
        std::string marks;
        for (int r = 1; r <= c.rows; ++r)
            marks += form.empfaengerliste.Cells[r][0] == "+" ? "+" : "-";
        EXPECT_EQ(marks, c.marks);
        // The result file beside the archive, named in the protocol.
        const std::string resultFile = home.path("gesendet/20260308_140531-Rundbrief.csv");
        std::vector<std::string> results = crlfLines(platform::readFileBytes(resultFile));
        ASSERT_FALSE(results.empty());
        EXPECT_EQ(results.front(), "\xEF\xBB\xBFZeile;Adresse;Ergebnis;Antwort des Servers;Message-ID");
        results.erase(results.begin());
        // The Message-ID column holds each delivery's own identifier.
        for (std::string& line : results) {
            const std::size_t last = line.rfind(';');
            EXPECT_EQ(line.find(";versendet;") != std::string::npos, line.size() > last + 1) << line;
            line.resize(last);
        }
        EXPECT_EQ(results, c.results);
        const std::vector<std::string>& protocol = form.protokollmemo.Lines;
        EXPECT_NE(std::find(protocol.begin(), protocol.end(), "Ergebnisdatei: " + resultFile),
                  protocol.end());
        if (!c.protocolLine.empty()) {
            EXPECT_NE(std::find(protocol.begin(), protocol.end(), c.protocolLine), protocol.end())
                << c.protocolLine;
        }
        // The send log: one line of five fields per attempt.
        std::vector<std::string> logged;
        for (const std::string& line : crlfLines(home.read("logs/2026-03_EMail.log"))) {
            const std::string text = platform::decodeFileText(line);
            std::vector<std::string> fields;
            for (std::size_t start = 0;;) {
                const std::size_t tab = text.find('\t', start);
                fields.push_back(text.substr(start, tab - start));
                if (tab == std::string::npos)
                    break;
                start = tab + 1;
            }
            ASSERT_EQ(fields.size(), 5u) << text;
            logged.push_back(fields[3]);
        }
        EXPECT_EQ(logged, c.logged);
        EXPECT_EQ(time.waits, c.waits);
        // The exit status and the error.
        EXPECT_EQ(ok, c.error.empty());
        if (!c.error.empty()) {
            ASSERT_EQ(ui.errors.size(), 1u);
            EXPECT_NE(ui.errors[0].find(c.error), std::string::npos) << ui.errors[0];
        }
        EXPECT_EQ(form.ExitStatus(), c.exitStatus);
        EXPECT_EQ(ui.unusedAnswers(), 0u);
        if (c.answerGoOn) {
            ASSERT_EQ(ui.confirms.size(), 2u);
            EXPECT_EQ(ui.confirms[1], c.results[1].substr(c.results[1].rfind(';') + 1) +
                                          "\nEmpfänger r2@example.org: Die Adresse ist ungültig; "
                                          "bitte die Schreibweise in der Empfängerliste prüfen.\n"
                                          "Mit dem nächsten Empfänger fortfahren?");
        }
    }
}

TEST(SendOutcomes, ThreeMessagesPerConnectionAreSeparatedByRset) {
    std::string list = "Name;Vorname;Email;Typ\r\n";
    for (int i = 1; i <= 7; ++i)
        list += "N;V;r" + std::to_string(i) + "@example.org;w\r\n";
    StandardServerRun run;
    ASSERT_TRUE(
        run.send("MessagesPerConnection=3\r\n", list, {"/s:Rundbrief", "/from:a@example.org", "/sofort"}));
    test::ScriptedSmtpServer& server = run.server;
    ASSERT_TRUE(server.waitForSessions(3));
    const auto count = [](const std::string& text, const std::string& what) {
        std::size_t n = 0;
        for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    for (std::size_t session = 0; session < 3; ++session) {
        SCOPED_TRACE(session);
        const std::string received = server.received(session);
        const std::size_t messages = session < 2 ? 3 : 1;
        EXPECT_EQ(count(received, "Mail from:"), messages);
        EXPECT_EQ(count(received, "Rset\r\n"), messages);  // one before each transaction
        EXPECT_EQ(count(received, "ehlo "), 1u);
        EXPECT_EQ(count(received, "Quit\r\n"), 1u);
    }
    EXPECT_EQ(run.form->ExitStatus(), 0);
}

// An address the envelope cannot carry, met on an open connection: refused
// before a word of its transaction is said, and the connection goes on.
TEST(SendOutcomes, AnAddressTooLongForTheEnvelopeIsRefusedWithoutAWordOnTheOpenConnection) {
    // A domain without an A-label: the check before the run lets it pass.
    const std::string tooLong = std::string(10, 'x') + "@\u2603.example.org";
    const std::string list =
        "Name;Vorname;Email;Typ\r\nN;V;r1@example.org;w\r\nN;V;" + tooLong + ";w\r\nN;V;r3@example.org;w\r\n";
    StandardServerRun run;
    ASSERT_TRUE(run.send("MessagesPerConnection=3\r\n", list,
                         {"/s:Rundbrief", "/from:a@example.org", "/sofort", "/weiter"}));
    test::ScriptedSmtpServer& server = run.server;
    TfrmMessageEditor& form = *run.form;
    ASSERT_TRUE(server.waitForSessions(1));
    EXPECT_EQ(server.sessionCount(), 1u);
    EXPECT_EQ(deliveredTo(server), (std::vector<std::string>{"r1@example.org", "r3@example.org"}));
    EXPECT_EQ(server.received(0).find("xxxxxxxx"), std::string::npos);
    EXPECT_EQ(form.RowStatus[2].rfind("Fehler: ", 0), 0u) << form.RowStatus[2];
    EXPECT_EQ(form.ExitStatus(), 1);
}

// A connection of its own for each message, begun while the message is
// prepared. The one begun for a row its envelope refuses goes unused: the
// server sees it closed without a word.
TEST(SendOutcomes, ConnectionsBegunAheadCarryOneMessageEachAndARefusedRowsOneGoesUnused) {
    const std::string tooLong = std::string(10, 'x') + "@\u2603.example.org";
    const std::string list = "Name;Vorname;Email;Typ\r\nN;V;r1@example.org;w\r\nN;V;" + tooLong +
                             ";w\r\nN;V;r3@example.org;w\r\nN;V;r4@example.org;w\r\n";
    StandardServerRun run;
    ASSERT_TRUE(run.send("", list, {"/s:Rundbrief", "/from:a@example.org", "/sofort", "/weiter"}));
    test::ScriptedSmtpServer& server = run.server;
    ASSERT_TRUE(server.waitForSessions(4));
    EXPECT_EQ(server.sessionCount(), 4u);
    EXPECT_EQ(server.received(1), "");
    for (std::size_t session : {0u, 2u, 3u}) {
        SCOPED_TRACE(session);
        EXPECT_EQ(server.received(session).find("ehlo "), 0u);
        EXPECT_EQ(
            server.received(session).find("Mail from:", server.received(session).find("Mail from:") + 1),
            std::string::npos);
    }
    EXPECT_EQ(deliveredTo(server),
              (std::vector<std::string>{"r1@example.org", "r3@example.org", "r4@example.org"}));
    EXPECT_EQ(run.form->ExitStatus(), 1);
}

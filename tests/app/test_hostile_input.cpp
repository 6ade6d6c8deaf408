// Hostile and careless input in an unattended run ("/sofort") against the
// scripted SMTP server: what the server received, the exit status and the
// text on standard error. Nothing goes to an address that was damaged,
// nothing goes out without a recipient, and a misread reply never ends as
// delivered.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <sstream>

#include "app/unattended_run.h"
#include "platform/text_codec.h"
#include "support/app/test_home.h"
#include "support/scripted_smtp_server.h"

using namespace sendrix;
using test::ScriptedSmtpServer;
using test::SmtpScript;

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

class HostileInputTest : public ::testing::Test {
protected:
    Outcome run(const ScriptedSmtpServer& server, std::vector<std::string> arguments) {
        home.write("Mail.ini",
                   "[Smtp]\r\nServerName=127.0.0.1\r\nServerPort=" + std::to_string(server.port()) + "\r\n");
        arguments.push_back("/s:Rundbrief");
        arguments.push_back("/from:absender@example.org");
        arguments.push_back("/B:" + home.write("text.txt", "Guten Tag.\r\n"));
        arguments.push_back("/sofort");
        std::ostringstream out, err;
        const int status = app::RunWithoutWindow(arguments, out, err);
        return {status, out.str(), err.str()};
    }
    test::TestHome home;
};

std::string rcptLines(const std::string& received) {
    std::string lines;
    for (std::size_t at = received.find("RCPT to:"); at != std::string::npos;
         at = received.find("RCPT to:", at + 1))
        lines += received.substr(at, received.find("\r\n", at) - at) + "\n";
    return lines;
}

}  // namespace

TEST_F(HostileInputTest, DamagedRecipientsAreRefusedAndNothingIsSent) {
    const std::string longLocal(95, 'k');
    struct Row {
        std::vector<std::string> arguments;
        std::string error;
    } rows[] = {
        {{"/to:kunde@example.com\r\nopfer@example.net"},
         "Fehler: Der Wert von /to: enthält ein Steuerzeichen (etwa ein Zeilenende); an diese Adressen wird "
         "nicht gesendet: \"kunde@example.com<CR><LF>opfer@example.net\""},
        {{"/to:kunde@example.com", "/cc:chef@example.com\nopfer@example.net"},
         "Fehler: Der Wert von /cc: enthält ein Steuerzeichen (etwa ein Zeilenende); an diese Adressen wird "
         "nicht gesendet: \"chef@example.com<LF>opfer@example.net\""},
        {{"/to:kunde@example.com", "/BCC:a@example.com\rb@example.net"},
         "Fehler: Der Wert von /BCC: enthält ein Steuerzeichen"},
        {{"/to:" + longLocal + "@example.com"},
         "Fehler: Der Wert von /to: ist länger als 100 Zeichen; an die gekürzten Adressen wird nicht "
         "gesendet: \"" +
             longLocal + "@exam\""},
        {{"/to:kunde@example.com opfer@example.net"},
         "Fehler: Die Empfängeradresse \"kunde@example.com opfer@example.net\" ist ungültig: sie enthält ein "
         "Leerzeichen; es wurde nichts gesendet."},
        {{"/to:@example.com"}, "ist ungültig: vor dem @ steht nichts; es wurde nichts gesendet."},
        {{"/to:kunde@"}, "ist ungültig: nach dem @ steht nichts; es wurde nichts gesendet."},
        {{"/to:kunde@example.com", "/cc:" + std::string(65, 'c') + "@example.com"},
         "ist ungültig: der Teil vor dem @ ist länger als 64 Zeichen; es wurde nichts gesendet."},
        // A calling program's invoice never goes out without the invoice.
        {{"/to:kunde@example.com", "/A:/nicht/da/rechnung.pdf"},
         "Fehler: Die Anlage /nicht/da/rechnung.pdf kann nicht gelesen werden (Datei nicht gefunden); es "
         "wurde nichts gesendet."},
    };
    ScriptedSmtpServer server({});
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments.front());
        const Outcome outcome = run(server, row.arguments);
        EXPECT_EQ(outcome.status, 1);
        EXPECT_NE(outcome.err.find(row.error), std::string::npos) << outcome.err;
        EXPECT_TRUE(platform::isValidUtf8(outcome.err));
        EXPECT_EQ(outcome.out.find("versendet worden"), std::string::npos) << outcome.out;
    }
    EXPECT_EQ(server.sessionCount(), 0u);
}

TEST_F(HostileInputTest, NoEnvelopeWithoutARecipientAndEachMailboxOnce) {
    {
        ScriptedSmtpServer server({});
        for (const char* to : {"/to: , ,", "/to:,"}) {
            SCOPED_TRACE(to);
            const Outcome outcome = run(server, {to});
            EXPECT_EQ(outcome.status, 1);
            EXPECT_NE(outcome.err.find("Hinweis: Es ist keine Empfängeradresse angegeben."),
                      std::string::npos)
                << outcome.err;
        }
        // A list whose marked rows have no address at all.
        const Outcome outcome = run(server, {home.write("leer.csv",
                                                        "Name;Vorname;Email;Typ\r\nMuster;Anna;;w\r\n"
                                                        "Probe;Bert; ;m\r\n")});
        EXPECT_EQ(outcome.status, 1);
        EXPECT_NE(outcome.err.find("Hinweis: Kein markierter Empfänger der Liste hat eine Adresse; es wurde "
                                   "nichts gesendet."),
                  std::string::npos)
            << outcome.err;
        EXPECT_EQ(server.sessionCount(), 0u);
    }
    ScriptedSmtpServer server({SmtpScript::standard()});
    const Outcome outcome = run(
        server,
        {"/to:anna@example.org", "/cc:Anna <anna@EXAMPLE.org>, bert@example.org", "/bcc:bert@example.org"});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    ASSERT_TRUE(server.waitForSessions(1));
    EXPECT_EQ(rcptLines(server.received(0)), "RCPT to:<anna@example.org>\nRCPT to:<bert@example.org>\n");
}

TEST_F(HostileInputTest, AMisreadReplyEndsWithTheServersTextAndStatusOne) {
    const SmtpScript untilData = SmtpScript()
                                     .line("220 mail.test")
                                     .answer("250 mail.test")
                                     .answer("250 reset")
                                     .answer("250 sender")
                                     .answer("250 rcpt");
    struct Row {
        const char* name;
        SmtpScript script;
        std::string error;
        bool dotSent;
    } rows[] = {
        {"250Ok", SmtpScript(untilData).answer("354 go").awaitData().line("250Ok"), "Fehler: 250Ok", true},
        {"doubled", SmtpScript(untilData).answer("354 go\n250 queued").awaitData().line("554 refused"),
         "Fehler: Der Server hat geantwortet, bevor der Befehl gesendet war: \"250 queued\"", false},
        {"421",
         SmtpScript()
             .line("220 mail.test")
             .answer("250 mail.test")
             .answer("421 4.3.2 Wartung, bis "
                     "gleich")
             .close(),
         "Fehler: 421 4.3.2 Wartung, bis gleich", false},
        {"Latin-1",
         SmtpScript(untilData).answer("354 go").awaitData().line("554 Nachricht abgelehnt: "
                                                                 "ung\xfcltig"),
         "Fehler: 554 Nachricht abgelehnt: ungültig", true},
    };
    for (auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedSmtpServer server({row.script});
        const Outcome outcome = run(server, {"/to:kunde@example.com"});
        EXPECT_EQ(outcome.status, 1);
        EXPECT_NE(outcome.err.find(row.error), std::string::npos) << outcome.err;
        EXPECT_TRUE(platform::isValidUtf8(outcome.err));
        EXPECT_EQ(outcome.out.find("versendet worden"), std::string::npos) << outcome.out;
        ASSERT_TRUE(server.waitForSessions(1));
        EXPECT_EQ(server.received(0).find("\r\n.\r\n") != std::string::npos, row.dotSent);
    }
}

TEST_F(HostileInputTest, ABodyThatCannotBeReadOrAServerNameWithABlankSendsNothing) {
    ScriptedSmtpServer server({});
    home.write("ordner/x.txt", "x");
    struct Row {
        std::vector<std::string> arguments;
        std::string error;
    } rows[] = {
        {{"/to:kunde@example.com", "/B:" + home.path("fehlt.txt")},
         "Fehler: Die Textdatei " + home.path("fehlt.txt") +
             " ist keine lesbare Datei; es wurde nichts gesendet."},
        {{"/to:kunde@example.com", "/B:" + home.path("ordner")},
         "Fehler: Die Textdatei " + home.path("ordner") +
             " ist keine lesbare Datei; es wurde nichts gesendet."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments.back());
        // The fixture's own body comes after the broken one: it must not cover it.
        const Outcome outcome = run(server, row.arguments);
        EXPECT_EQ(outcome.status, 1);
        EXPECT_NE(outcome.err.find(row.error), std::string::npos) << outcome.err;
    }
    // A blank in the server name would extend the name sent and the
    // commands built from it.
    std::ostringstream out, err;
    home.write("Mail.ini",
               "[Smtp]\r\nServerName=127.0.0.1 RCPT\r\nServerPort=" + std::to_string(server.port()) + "\r\n");
    const int status = app::RunWithoutWindow(
        {"/to:kunde@example.com", "/s:x", "/from:a@example.org", "/B:" + home.write("t.txt", "x"), "/sofort"},
        out, err);
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.str().find("Fehler: Der Servername \"127.0.0.1 RCPT\" enthält ein Leerzeichen oder "
                             "Steuerzeichen; es wurde keine Verbindung aufgebaut."),
              std::string::npos)
        << err.str();
    EXPECT_EQ(server.sessionCount(), 0u);
}

TEST_F(HostileInputTest, AnAttachmentThatIsNoRegularFileStopsTheStart) {
    ScriptedSmtpServer server({});
    const std::string fifo = home.path("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    home.write("ordner/x.txt", "x");
    for (const std::string& path : {fifo, std::string("/dev/zero"), home.path("ordner")}) {
        SCOPED_TRACE(path);
        const Outcome outcome = run(server, {"/to:kunde@example.com", "/A:" + path});
        EXPECT_EQ(outcome.status, 1);
        EXPECT_NE(outcome.err.find("Fehler: Die Anlage " + path +
                                   " ist keine gewöhnliche Datei (etwa ein Ordner, "
                                   "eine Pipe oder ein Gerät); es wurde nichts gesendet."),
                  std::string::npos)
            << outcome.err;
    }
    // A missing attachment stops the start too (DamagedRecipientsAreRefusedAndNothingIsSent).
    EXPECT_EQ(server.sessionCount(), 0u);
}

TEST_F(HostileInputTest, AnAttachmentThatChangesDuringTheRunStopsItWithoutAHalfMessage) {
    const std::string list = home.write("liste.csv",
                                        "Name;Vorname;Email;Typ\r\nMuster;Anna;anna@example.org;w\r\n"
                                        "Probe;Bert;bert@example.org;m\r\n");
    const std::string attachment = home.path("preise.pdf");
    struct Row {
        const char* name;
        std::function<void()> change;
        std::string error;
    } rows[] = {
        {"grown", [&] { home.write("preise.pdf", "%PDF-1.4 und noch mehr"); },
         "Fehler: Die Anlage " + attachment +
             " hat sich während des Versands geändert (zuvor 8 Bytes, jetzt 22 Bytes); die begonnene Mail "
             "wird nicht abgeschlossen."},
        {"vanished", [&] { ::unlink(attachment.c_str()); },
         "Fehler: Die Anlage " + attachment +
             " ist während des Versands verschwunden oder nicht mehr lesbar; die begonnene Mail wird nicht "
             "abgeschlossen."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        home.write("preise.pdf", "%PDF-1.4");
        // The file changes while the server holds back its 250 to the first
        // message's ".": the second message finds it changed.
        ScriptedSmtpServer server({SmtpScript()
                                       .line("220 mail.test")
                                       .answer("250 mail.test")
                                       .answer("250 reset")
                                       .answer("250 sender")
                                       .answer("250 rcpt")
                                       .answer("354 go")
                                       .awaitData()
                                       .act(row.change)
                                       .line("250 queued"),
                                   SmtpScript::standard()});
        const Outcome outcome = run(server, {list, "/A:" + attachment});
        EXPECT_EQ(outcome.status, 1);
        EXPECT_NE(outcome.err.find(row.error), std::string::npos) << outcome.err;
        EXPECT_NE(outcome.out.find("Mail ist an anna@example.org versendet worden."), std::string::npos)
            << outcome.out;
        EXPECT_EQ(outcome.out.find("an bert@example.org versendet worden"), std::string::npos) << outcome.out;
        ASSERT_TRUE(server.waitForSessions(2));
        EXPECT_NE(server.received(0).find("\r\n.\r\n"), std::string::npos);
        // The second message was begun and never ended: no "." and no
        // command the server could read as text.
        const std::string second = server.received(1);
        EXPECT_NE(second.find("RCPT to:<bert@example.org>\r\nData\r\n"), std::string::npos) << second;
        EXPECT_EQ(second.find("\r\n.\r\n"), std::string::npos) << second;
        EXPECT_EQ(second.find("Quit"), std::string::npos) << second;
        EXPECT_TRUE(server.messages().empty());
    }
}

TEST_F(HostileInputTest, APasswordFileOthersMayReadIsWarnedOfOnceAndTheRunGoesOn) {
    ScriptedSmtpServer server({SmtpScript::standard()});
    const std::string mailIni = home.write(
        "Mail.ini", "[Smtp]\r\nServerName=127.0.0.1\r\nServerPort=" + std::to_string(server.port()) +
                        "\r\nServerPassword=\"xzlzrv\"\r\n");
    ASSERT_EQ(::chmod(mailIni.c_str(), 0644), 0);
    std::ostringstream out, err;
    const int status = app::RunWithoutWindow(
        {"/to:kunde@example.com", "/s:x", "/from:a@example.org", "/B:" + home.write("t.txt", "x"), "/sofort"},
        out, err);
    EXPECT_EQ(status, 0) << err.str();
    const std::string warning = "Warnung: Die Datei " + mailIni +
                                " enthält das SMTP-Passwort und ist für Gruppe oder andere Benutzer lesbar "
                                "(Rechte 0644).";
    const std::size_t at = err.str().find(warning);
    EXPECT_NE(at, std::string::npos) << err.str();
    EXPECT_EQ(err.str().find(warning, at + 1), std::string::npos) << err.str();
    // Neither the password nor its scrambled form is shown.
    EXPECT_EQ(err.str().find("xzlzrv"), std::string::npos);
    EXPECT_EQ(out.str().find("xzlzrv"), std::string::npos);
    ASSERT_TRUE(server.waitForSessions(1));
    EXPECT_NE(server.received(0).find("RCPT to:<kunde@example.com>\r\n"), std::string::npos);
    // An unattended run stores nothing, so the file stays as it is.
    EXPECT_EQ(test::TempFolder::modeOf(mailIni), 0644u);
}

TEST_F(HostileInputTest, ListRowsAreNeverMergedInventedOrFilledTwice) {
    // With the salutation "Hallo %Vorname %Name,".
    const auto runList = [&](const ScriptedSmtpServer& server, const std::string& list,
                             const std::string& body) {
        home.write("Mail.ini",
                   "[Smtp]\r\nServerName=127.0.0.1\r\nServerPort=" + std::to_string(server.port()) +
                       "\r\n[Optionen]\r\nAnrede=1\r\nBenutzeAnrede=1\r\n");
        std::ostringstream out, err;
        const int status = app::RunWithoutWindow(
            {home.write("liste.csv", list), "/s:Rundbrief", "/from:absender@example.org",
             "/B:" + home.write("text.txt", body), "/sofort"},
            out, err);
        return Outcome{status, out.str(), err.str()};
    };
    const std::string titles = "Name;Vorname;Email;Beitrag\r\n";
    const std::string both = "RCPT to:<anna@example.org>\nRCPT to:<bert@example.org>\n";
    struct Row {
        const char* name;
        std::string list;
        std::string body;
        int status;
        std::string rcpts;  // the RCPT lines of every session
        std::string shown;  // delivered: in the second message; else on standard error
    } rows[] = {
        {"lone CR, titled list",
         "Name;Vorname;Email;Beitrag\rMuster;Anna;anna@example.org;12\rProbe;%Name;bert@example.org;{{Email}}"
         "\r",
         "Beitrag: {{Beitrag}}\r\n", 0, both, "Hallo %Name Probe,\r\n\r\nBeitrag: {{Email}}\r\n"},
        {"lone CR, the program's own list",
         "Muster;Anna;anna@example.org;w\rProbe;{{Email}};bert@example.org;m\r\n", "Guten Tag.\r\n", 0, both,
         "Hallo {{Email}} Probe,\r\n"},
        {"address without @", titles + "Muster;Anna;anna@example.org;1\r\nProbe;Bert;bert;2\r\n", "x\r\n", 1,
         "", "Fehler: Zeile 3: \"bert\" ist keine gültige E-Mail-Adresse."},  // the file's line
        {"address with a blank", titles + "Muster;Anna;anna@example.org opfer@example.net;1\r\n", "x\r\n", 1,
         "", "Fehler: Zeile 2: \"anna@example.org opfer@example.net\" ist keine gültige E-Mail-Adresse."},
        {"line break inside a quoted address",
         titles + "Muster;Anna;\"anna@example.org\r\nopfer@example.net\";1\r\n", "x\r\n", 1, "",
         "ist keine gültige E-Mail-Adresse."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedSmtpServer server({SmtpScript::standard()}, {.repeatLastScript = true});
        const Outcome outcome = runList(server, row.list, row.body);
        EXPECT_EQ(outcome.status, row.status) << outcome.err;
        if (row.status != 0) {
            EXPECT_NE(outcome.err.find(row.shown), std::string::npos) << outcome.err;
            EXPECT_EQ(server.sessionCount(), 0u);
            continue;
        }
        ASSERT_TRUE(server.waitForSessions(2));
        EXPECT_EQ(rcptLines(server.received(0)) + rcptLines(server.received(1)), row.rcpts);
        ASSERT_EQ(server.messages().size(), 2u);
        EXPECT_NE(server.messages()[1].find(row.shown), std::string::npos) << server.messages()[1];
    }
}

TEST_F(HostileInputTest, ABodyFileTheConfigurationNamesThatIsMissingStopsAnUnattendedRun) {
    ScriptedSmtpServer server({SmtpScript::standard()});
    home.write("ordner/x.txt", "x");
    struct Row {
        const char* named;
        bool withBodySwitch;
        int status;
    } rows[] = {
        {"fehlt.txt", false, 1},
        {"./ordner", false, 1},
        // The text of "/B:" stands, as before.
        {"fehlt.txt", true, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.named) + (row.withBodySwitch ? " with /B:" : ""));
        const std::string mailIni = home.write(
            "Mail.ini", "[Smtp]\r\nServerName=127.0.0.1\r\nServerPort=" + std::to_string(server.port()) +
                            "\r\n[Dateien]\r\nNachricht=" + row.named + "\r\n");
        std::vector<std::string> arguments = {"/to:kunde@example.com", "/s:x", "/from:a@example.org",
                                              "/sofort"};
        if (row.withBodySwitch)
            arguments.push_back("/B:" + home.write("t.txt", "Der Text.\r\n"));
        std::ostringstream out, err;
        EXPECT_EQ(app::RunWithoutWindow(arguments, out, err), row.status) << err.str();
        if (row.status == 0) {
            ASSERT_TRUE(server.waitForSessions(1));
            ASSERT_EQ(server.messages().size(), 1u);
            EXPECT_NE(server.messages()[0].find("\r\n\r\nDer Text.\r\n"), std::string::npos);
            continue;
        }
        // "./" is the program folder; another relative name stays as it is.
        const std::string named = row.named[0] == '.' ? home.path("ordner") : std::string(row.named);
        EXPECT_NE(err.str().find("Fehler: Die Textdatei " + named + " ([Dateien] Nachricht in " + mailIni +
                                 ") ist keine lesbare Datei; es wurde nichts gesendet."),
                  std::string::npos)
            << err.str();
        EXPECT_EQ(server.sessionCount(), 0u);
    }
}

TEST_F(HostileInputTest, AServerThatStopsReadingEndsTheRunAfterTheConfiguredTimeout) {
    // [Smtp] Timeout=1 bounds the time without progress while the message
    // is written: the server takes DATA, then reads nothing more, so the
    // socket buffers fill and the client must give up after a second (not
    // after the fixed three minutes of before). The scripted server stops
    // ignoring after its step limit at the latest.
    ScriptedSmtpServer server({SmtpScript()
                                   .line("220 mail.test")
                                   .answer("250 mail.test")
                                   .answer("250 reset")
                                   .answer("250 sender")
                                   .answer("250 rcpt")
                                   .answer("354 go")
                                   .ignore()},
                              {.stepTimeout = std::chrono::milliseconds(20000)});
    home.write("Mail.ini", "[Smtp]\r\nServerName=127.0.0.1\r\nServerPort=" + std::to_string(server.port()) +
                               "\r\nTimeout=1\r\n");
    // More than loopback's socket buffers can hold on both sides.
    const std::string attachment = home.write("gross.bin", std::string(24 * 1024 * 1024, 'x'));
    std::ostringstream out, err;
    const auto started = std::chrono::steady_clock::now();
    const int status =
        app::RunWithoutWindow({"/to:kunde@example.com", "/s:x", "/from:a@example.org",
                               "/B:" + home.write("t.txt", "x"), "/A:" + attachment, "/sofort"},
                              out, err);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.str().find("Fehler: Socket-Fehler # 10060 Zeitüberschreitung bei Verbindung."),
              std::string::npos)
        << err.str();
    EXPECT_EQ(out.str().find("versendet worden"), std::string::npos) << out.str();
    // Well below the server's step limit: the setting ended it.
    EXPECT_LT(took, std::chrono::seconds(15));
    // The server still ignores the connection, so what it recorded ends
    // where it stopped reading.
    EXPECT_NE(server.received(0).find("RCPT to:<kunde@example.com>\r\nData\r\n"), std::string::npos);
    EXPECT_EQ(server.received(0).find("\r\n.\r\n"), std::string::npos);
}

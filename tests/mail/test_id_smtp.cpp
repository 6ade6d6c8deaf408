#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "mail/id_coder_3to4.h"
#include "mail/id_exception.h"
#include "mail/id_message.h"
#include "mail/id_message_writer.h"
#include "mail/id_smtp.h"
#include "mail/memory_write_target.h"
#include "platform/clock.h"
#include "support/expect_throw.h"
#include "support/scripted_smtp_server.h"

using sendrix::test::expectThrowText;
using ::testing::_;

using namespace sendrix::mail;
using sendrix::test::ScriptedSmtpServer;
using sendrix::test::SmtpBehaviour;
using sendrix::test::SmtpScript;

namespace {

const sendrix::platform::FixedClock kClock({2026, 12, 8, 14, 5, 31, 2, 60});

class Smtp : public ::testing::Test {
protected:
    void connect(const ScriptedSmtpServer& server) {
        smtp.SetHost("127.0.0.1");
        smtp.SetPort(server.port());
        smtp.Open();
    }
    void deliver(const SmtpEnvelope& envelope) {
        smtp.deliverEnvelope(envelope, [this] {
            smtp.WriteLine("Subject: test");
            smtp.WriteLine("");
            smtp.WriteLine("body");
        });
    }
    // The caller's clean-up: Close runs whether Deliver returned or raised.
    void deliverAndClose(const SmtpEnvelope& envelope) {
        sendrix::mail::deliverAndClose(smtp, [&] { deliver(envelope); });
    }
    // What the client introduces itself with on this machine (the test
    // servers listen on 127.0.0.1, so that is the address literal's).
    std::string host() { return HeloName(smtp.Stack().FullyQualifiedHostName(), "127.0.0.1"); }
    std::string recorded(ScriptedSmtpServer& server, size_t session = 0) {
        EXPECT_TRUE(server.waitForSessions(session + 1));
        return server.received(session);
    }

    TIdSMTP smtp;
    const std::string kText = "Subject: test\r\n\r\nbody\r\n.\r\n";
};

// The replies of a well-behaved server for a dialogue without login.
SmtpScript plainServer() {
    return SmtpScript()
        .line("220 mail.test ESMTP")
        .answer("250-mail.test\n250 SIZE 1000000")
        .answer("250 2.0.0 reset")
        .answer("250 2.1.0 sender ok")
        .answer("250 2.1.5 recipient ok")
        .answer("354 go ahead")
        .awaitData()
        .line("250 2.0.0 queued");
}

}  // namespace

TEST_F(Smtp, WholeDialogueWithoutLoginByteForByte) {
    ScriptedSmtpServer server({plainServer()});
    connect(server);
    deliverAndClose({"ich@example.org", {"du@example.org"}});
    EXPECT_EQ(recorded(server), "ehlo " + host() +
                                    "\r\nRset\r\nMail from:<ich@example.org>\r\n"
                                    "RCPT to:<du@example.org>\r\nData\r\n" +
                                    kText + "Quit\r\n");
    EXPECT_TRUE(server.clientClosed(0));
    EXPECT_FALSE(smtp.IsOpen());
    EXPECT_EQ(smtp.AuthMechanisms(), std::vector<std::string>{});
}

TEST_F(Smtp, WholeDialogueWithAuthLoginByteForByte) {
    SmtpBehaviour behaviour;
    behaviour.user = "ich";
    behaviour.password = "geheim";
    ScriptedSmtpServer server({SmtpScript::standard(behaviour)});
    smtp.SetAuthenticationType(atLogin);
    smtp.SetUserId("ich");
    smtp.SetPassword("geheim");
    connect(server);
    EXPECT_TRUE(smtp.MechanismOffered(atLogin));
    EXPECT_FALSE(smtp.MechanismOffered(atNone));
    deliver({"ich@example.org", {"a@example.org", "b@example.org"}});
    EXPECT_TRUE(smtp.LoggedIn());
    smtp.Close();
    EXPECT_FALSE(smtp.LoggedIn());
    EXPECT_EQ(recorded(server), "ehlo " + host() +
                                    "\r\nRset\r\nauth LOGIN\r\naWNo\r\nZ2VoZWlt\r\n"
                                    "Mail from:<ich@example.org>\r\nRCPT to:<a@example.org>\r\n"
                                    "RCPT to:<b@example.org>\r\nData\r\n" +
                                    kText + "Quit\r\n");
    ASSERT_EQ(server.messages().size(), 1u);
    EXPECT_EQ(server.messages()[0], "Subject: test\r\n\r\nbody\r\n");
}

TEST_F(Smtp, WrongPasswordIsTheServersReplyLine) {
    SmtpBehaviour behaviour;
    behaviour.user = "ich";
    behaviour.password = "richtig";
    ScriptedSmtpServer server({SmtpScript::standard(behaviour)});
    smtp.SetAuthenticationType(atLogin);
    smtp.SetUserId("ich");
    smtp.SetPassword("falsch");
    connect(server);
    expectThrowText<EIdProtocolReplyError>(
        [&] {
            deliverAndClose({"ich@example.org", {"du@example.org"}});
        },
        "535 5.7.8 Authentication credentials invalid",
        [&](const EIdProtocolReplyError& error) { EXPECT_EQ(error.ReplyCode(), 535); });
    EXPECT_FALSE(smtp.LoggedIn());
    EXPECT_EQ(recorded(server), "ehlo " + host() + "\r\nRset\r\nauth LOGIN\r\naWNo\r\nZmFsc2No\r\nQuit\r\n");
}

TEST_F(Smtp, EmptyLoginDataIsSentAsEmptyBase64AndLoginNotOfferedStopsBeforeMail) {
    SmtpBehaviour noAuth;
    noAuth.ehloReply = {"250-mail.test", "250 SIZE 100"};
    ScriptedSmtpServer server({SmtpScript::standard(), SmtpScript::standard(noAuth)});
    smtp.SetAuthenticationType(atLogin);
    connect(server);
    deliverAndClose({"", {"du@example.org"}});
    EXPECT_EQ(recorded(server, 0), "ehlo " + host() +
                                       "\r\nRset\r\nauth LOGIN\r\n\r\n\r\n"
                                       "Mail from:<>\r\nRCPT to:<du@example.org>\r\nData\r\n" +
                                       kText + "Quit\r\n");
    connect(server);
    EXPECT_FALSE(smtp.MechanismOffered(atLogin));
    // A login that is set but not offered is an error, never a send without it.
    try {
        deliverAndClose({"ich@example.org", {"du@example.org"}});
        ADD_FAILURE() << "no error";
    } catch (const EIdLoginNotOffered& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Der Server bietet die Anmeldung LOGIN nicht an; es wurde nichts gesendet.\r\n"
                  "Server 127.0.0.1:" +
                      std::to_string(server.port()) +
                      " bietet keine Anmeldung an – Verschlüsselung in den Optionen einstellen (viele Server "
                      "nehmen die Anmeldung erst über TLS an)");
    }
    EXPECT_EQ(recorded(server, 1), "ehlo " + host() + "\r\nRset\r\nQuit\r\n");
}

TEST_F(Smtp, LongLoginDataGoesOutAsOneBase64Line) {
    SmtpBehaviour behaviour;
    behaviour.user = std::string(100, 'u') + "@example.org";
    behaviour.password = std::string(80, 'p') + "\xe4\xf6\xfc";
    ScriptedSmtpServer server({SmtpScript::standard(behaviour)});
    smtp.SetAuthenticationType(atLogin);
    smtp.SetUserId(behaviour.user);
    smtp.SetPassword(behaviour.password);
    connect(server);
    EXPECT_NO_THROW(deliverAndClose({"ich@example.org", {"du@example.org"}}));
    EXPECT_TRUE(server.problems().empty());
}

TEST_F(Smtp, TokenLoginsSendTheirExactBytesAndAnswerAnErrorChallengeWithoutTheToken) {
    // Google's XOAUTH2 error challenge: base64 JSON with the status.
    const std::string challenge =
        "334 "
        "eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiQmVhcmVyIiwic2NvcGUiOiJodHRwczovL21haWwuZ29vZ2xlLmNvbS8ifQ==";
    const std::string refusal = "535 5.7.8 Username and Password not accepted";
    struct Row {
        const char* name;
        TAuthenticationType type;
        bool refused;  // the server answers the token with its error challenge
        // The initial response before base64; "PORT" stands for the port.
        std::string response;
        // What the client answers the challenge with.
        std::string afterChallenge;
    } rows[] = {
        {"XOAUTH2 accepted", atXOAuth2, false,
         "user=ich,team=x@example.org\x01"
         "auth=Bearer tok-1\x01\x01",
         ""},
        {"XOAUTH2 error challenge", atXOAuth2, true,
         "user=ich,team=x@example.org\x01"
         "auth=Bearer tok-1\x01\x01",
         "\r\n"},
        // RFC 7628 3.1: gs2 header "n,a=<authzid>," with "," and "=" escaped,
        // then ^A-separated host, port and auth, closed by ^A^A.
        {"OAUTHBEARER accepted", atOAuthBearer, false,
         "n,a=ich=2Cteam=3Dx@example.org,\x01host=127.0.0.1\x01port=PORT\x01"
         "auth=Bearer tok-1\x01\x01",
         ""},
        // RFC 7628 3.2.3: the client ends a failed exchange with a lone ^A.
        {"OAUTHBEARER error challenge", atOAuthBearer, true,
         "n,a=ich=2Cteam=3Dx@example.org,\x01host=127.0.0.1\x01port=PORT\x01"
         "auth=Bearer tok-1\x01\x01",
         "AQ==\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SmtpScript script = SmtpScript()
                                .line("220 mail.test ESMTP")
                                .answer("250-mail.test\n250 AUTH XOAUTH2 OAUTHBEARER")
                                .answer("250 reset");
        if (row.refused)
            script.answer(challenge).answer(refusal);
        else
            script.answer("235 2.7.0 Accepted").serve();
        ScriptedSmtpServer server({script});
        TIdSMTP client;
        client.SetHost("127.0.0.1");
        client.SetPort(server.port());
        client.SetAuthenticationType(row.type);
        client.SetUserId("ich,team=x@example.org");
        client.SetAccessToken("tok-1");
        client.Open();
        std::string response = row.response;
        if (const size_t at = response.find("PORT"); at != std::string::npos)
            response.replace(at, 4, std::to_string(server.port()));
        const auto send = [&] {
            sendrix::mail::deliverAndClose(client, [&] {
                client.deliverEnvelope({"ich@example.org", {"du@example.org"}}, [&] {
                    client.WriteLine("Subject: test");
                    client.WriteLine("");
                    client.WriteLine("body");
                });
            });
        };
        const std::string start = "ehlo " + host() + "\r\nRset\r\nauth " + MechanismName(row.type) + " " +
                                  EncodeBase64Text(response) + "\r\n";
        if (row.refused) {
            // The server's own reply is the first line; the token went out once.
            expectThrowText<EIdProtocolReplyError>(
                send, ::testing::StartsWith(refusal + "\r\nServer 127.0.0.1:"),
                [](const EIdProtocolReplyError& error) { EXPECT_EQ(error.ReplyCode(), 535); });
            EXPECT_FALSE(client.LoggedIn());
            EXPECT_EQ(recorded(server), start + row.afterChallenge + "Quit\r\n");
        } else {
            EXPECT_NO_THROW(send());
            EXPECT_EQ(recorded(server),
                      start + "Mail from:<ich@example.org>\r\nRCPT to:<du@example.org>\r\nData\r\n" + kText +
                          "Quit\r\n");
        }
    }
}

TEST_F(Smtp, EhloRefusedFallsBackToHeloAndNeverLogsIn) {
    ScriptedSmtpServer server({SmtpScript()
                                   .line("220 old.test")
                                   .answer("500 5.5.1 what?")
                                   .answer("250 old.test")
                                   .answer("250 reset")
                                   .answer("250 sender")
                                   .answer("250 rcpt")
                                   .answer("354 go")
                                   .awaitData()
                                   .line("250 ok")});
    smtp.SetAuthenticationType(atLogin);
    connect(server);
    EXPECT_TRUE(smtp.AuthMechanisms().empty());
    // Without service extensions there is no login: the send stops there.
    EXPECT_THROW(deliverAndClose({"ich@example.org", {"du@example.org"}}), EIdLoginNotOffered);
    EXPECT_EQ(recorded(server), "ehlo " + host() + "\r\nHelo " + host() + "\r\nRset\r\nQuit\r\n");
}

TEST_F(Smtp, MechanismsComeFromAuthLinesAfterTheFirst) {
    struct Row {
        const char* name;
        const char* ehlo;
        std::vector<std::string> mechanisms;
    } rows[] = {
        {"AUTH= after dash", "250-mail.test\n250-AUTH=LOGIN\n250 SIZE 10", {"LOGIN"}},
        {"last line", "250-mail.test\n250 AUTH PLAIN LOGIN", {"PLAIN", "LOGIN"}},
        {"X-AUTH", "250-mail.test\n250 X-AUTH LOGIN", {}},
        {"lower case", "250-mail.test\n250 auth login", {"LOGIN"}},
        {"first line only", "250 AUTH LOGIN", {}},
        {"first line of several", "250-AUTH LOGIN\n250 SIZE 10", {}},
        {"each name once",
         "250-mail.test\n250-AUTH LOGIN PLAIN\n250 AUTH=LOGIN CRAM-MD5",
         {"LOGIN", "PLAIN", "CRAM-MD5"}},
        {"no separator", "250-mail.test\n250 AUTHLOGIN", {}},
        {"AUTH later in the line", "250-mail.test\n250 SIZE AUTH LOGIN", {}},
    };
    std::vector<SmtpScript> scripts;
    for (const auto& row : rows)
        scripts.push_back(SmtpScript().line("220 mail.test").answer(row.ehlo).awaitLine());
    ScriptedSmtpServer server(scripts);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        connect(server);
        EXPECT_EQ(smtp.AuthMechanisms(), row.mechanisms);
        smtp.Close();
    }
}

TEST_F(Smtp, AcceptsMultiLineGreetingAndAnyCodeToRset) {
    ScriptedSmtpServer server({SmtpScript()
                                   .line("220-mail.test welcome")
                                   .line("220-no spam please")
                                   .line("220 ready")
                                   .answer("250 mail.test")
                                   .answer("500 5.5.1 Rset? never heard of it")
                                   .answer("250 sender")
                                   .answer("250 rcpt")
                                   .answer("354 go")
                                   .awaitData()
                                   .line("250 ok")});
    connect(server);
    EXPECT_NO_THROW(deliverAndClose({"ich@example.org", {"du@example.org"}}));
}

TEST_F(Smtp, RefusalAtEachStepRaisesTheReplyAndSendsNothingMoreButQuit) {
    // The dialogue with login; the step at `refuse` gets `reply` instead.
    const std::vector<std::string> good = {"250-mail.test\n250 AUTH LOGIN",
                                           "250 reset",
                                           "334 VXNlcg==",
                                           "334 UGFzcw==",
                                           "235 ok",
                                           "250 sender",
                                           "250 rcpt",
                                           "250 rcpt",
                                           "354 go"};
    const std::vector<std::string> sent = {"ehlo " + host(),
                                           "Rset",
                                           "auth LOGIN",
                                           "dXNlcg==",
                                           "cGFzcw==",
                                           "Mail from:<a@x.test>",
                                           "RCPT to:<b@x.test>",
                                           "RCPT to:<c@x.test>",
                                           "Data"};
    struct Row {
        size_t refuse;
        const char* reply;
        int code;
    } rows[] = {{2, "535 5.7.0 no AUTH for you", 535},
                {3, "501 5.5.2 bad", 501},
                {4, "535 5.7.8 wrong", 535},
                {5, "550 5.7.1 not you", 550},
                {6, "251 2.1.5 will forward", 251},
                {7, "550 5.1.1 no such user", 550},
                {8, "554 5.5.1 no valid recipients", 554},
                {9, "552 5.3.4 too big", 552}};
    std::vector<SmtpScript> scripts;
    for (const auto& row : rows) {
        SmtpScript script;
        script.line("220 mail.test");
        for (size_t i = 0; i < good.size() && i < row.refuse; ++i)
            script.answer(good[i]);
        if (row.refuse < good.size())
            script.answer(row.reply);
        else
            script.awaitData().line(row.reply);
        scripts.push_back(script);
    }
    ScriptedSmtpServer server(scripts);
    smtp.SetAuthenticationType(atLogin);
    smtp.SetUserId("user");
    smtp.SetPassword("pass");
    for (size_t r = 0; r < std::size(rows); ++r) {
        const auto& row = rows[r];
        SCOPED_TRACE(row.reply);
        connect(server);
        expectThrowText<EIdProtocolReplyError>(
            [&] {
                deliverAndClose({"a@x.test", {"b@x.test", "c@x.test"}});
            },
            row.reply, [&](const EIdProtocolReplyError& error) { EXPECT_EQ(error.ReplyCode(), row.code); });
        std::string expected;
        for (size_t i = 0; i < sent.size() && i <= row.refuse; ++i)
            expected += sent[i] + "\r\n";
        if (row.refuse == good.size())
            expected += kText;
        expected += "Quit\r\n";
        EXPECT_EQ(recorded(server, r), expected);
        EXPECT_TRUE(server.clientClosed(r));
        EXPECT_FALSE(smtp.IsOpen());
    }
}

TEST_F(Smtp, GreetingAndHeloRefusalsCloseTheConnectionInsideOpen) {
    ScriptedSmtpServer server({SmtpScript().line("554 5.3.2 busy"),
                               SmtpScript().line("220 ok").answer("502 no").answer("501 no HELO")});
    smtp.SetHost("127.0.0.1");
    smtp.SetPort(server.port());
    expectThrowText<EIdProtocolReplyError>([&] { smtp.Open(); }, "554 5.3.2 busy");
    EXPECT_FALSE(smtp.IsOpen());
    EXPECT_EQ(recorded(server, 0), "Quit\r\n");
    expectThrowText<EIdProtocolReplyError>(
        [&] { smtp.Open(); }, _,
        [&](const EIdProtocolReplyError& error) { EXPECT_EQ(error.ReplyCode(), 501); });
    EXPECT_EQ(recorded(server, 1), "ehlo " + host() + "\r\nHelo " + host() + "\r\nQuit\r\n");
}

TEST_F(Smtp, ServerClosingWithoutGreetingIsClosedGracefully) {
    ScriptedSmtpServer server({SmtpScript().close()});
    smtp.SetHost("localhost");
    smtp.SetPort(server.port());
    expectThrowText<EIdConnClosedGracefully>([&] { smtp.Open(); },
                                             "Die Verbindung wurde erfolgreich geschlossen.");
    EXPECT_FALSE(smtp.IsOpen());
}

TEST_F(Smtp, CloseAfterTheServerHasClosedWritesAndRaisesNothing) {
    ScriptedSmtpServer server({SmtpScript().line("220 hi").answer("250 hi").awaitLine().close()});
    connect(server);
    EXPECT_THROW(deliver({"a@x.test", {"b@x.test"}}), EIdConnClosedGracefully);
    EXPECT_NO_THROW(smtp.Close());
    EXPECT_EQ(recorded(server), "ehlo " + host() + "\r\nRset\r\n");
}

TEST_F(Smtp, OpenOnAnOpenClientRaisesAlreadyConnected) {
    ScriptedSmtpServer server({plainServer()});
    connect(server);
    EXPECT_THROW(smtp.Open(), EIdAlreadyConnected);
    EXPECT_TRUE(smtp.IsOpen());
    EXPECT_NO_THROW(deliverAndClose({"ich@example.org", {"du@example.org"}}));
}

TEST_F(Smtp, RefusedConnectionIs10061) {
    int port;
    {
        // A port that was just free again: nobody listens there any more.
        ScriptedSmtpServer gone({});
        port = gone.port();
    }
    smtp.SetHost("127.0.0.1");
    smtp.SetPort(port);
    expectThrowText<EIdSocketError>(
        [&] { smtp.Open(); }, "Socket-Fehler # 10061\r\nVerbindung abgelehnt.",
        [&](const EIdSocketError& error) { EXPECT_EQ(error.ErrorNumber(), 10061); });
    EXPECT_FALSE(smtp.IsOpen());
}

TEST_F(Smtp, AddressesThatWouldSmuggleCommandsAreRefusedBeforeTheTransaction) {
    const std::string bad[] = {"a@x.test\r\nRCPT to:<evil@x.test>", "a@x.test\nDATA",
                               std::string("a@x.test\0b", 10), "a@x.test> SIZE=1", "<a@x.test"};
    std::vector<SmtpScript> scripts;
    for (size_t i = 0; i < 2 * std::size(bad); ++i)
        scripts.push_back(SmtpScript().line("220 hi").answer("250 hi"));
    ScriptedSmtpServer server(scripts);
    size_t session = 0;
    for (const auto& address : bad) {
        for (bool asSender : {true, false}) {
            SCOPED_TRACE(address + (asSender ? " as sender" : " as recipient"));
            connect(server);
            SmtpEnvelope envelope{"ok@x.test", {"ok@x.test", "ok2@x.test"}};
            if (asSender)
                envelope.from = address;
            else
                envelope.recipients[1] = address;
            EXPECT_THROW(deliverAndClose(envelope), EIdInvalidEnvelopeAddress);
            EXPECT_EQ(recorded(server, session++), "ehlo " + host() + "\r\nQuit\r\n");
        }
    }
    // The message's own lists are checked the same way, BCC included.
    TIdMessage message;
    message.From.SetAddress("ok@x.test");
    message.Recipients.Add().SetAddress("ok@x.test");
    message.BccList.Add().SetAddress("hidden@x.test>\r\nRCPT to:<evil@x.test");
    ScriptedSmtpServer second({SmtpScript().line("220 hi").answer("250 hi")});
    connect(second);
    EXPECT_THROW(smtp.Deliver(message), EIdInvalidEnvelopeAddress);
    smtp.Close();
    EXPECT_EQ(recorded(second), "ehlo " + host() + "\r\nQuit\r\n");

    try {
        checkEnvelopeAddress("a@x.test\r\nQUIT");
        ADD_FAILURE() << "accepted";
    } catch (const EIdInvalidEnvelopeAddress& error) {
        EXPECT_STREQ(error.what(),
                     "Die E-Mail-Adresse \"a@x.test<CR><LF>QUIT\" enthält ein unzulässiges "
                     "Zeichen (Zeilenende, NUL, \"<\" oder \">\"); es wurde nichts gesendet.");
    }
}

TEST_F(Smtp, ConnectionLostDuringTheMessageTextIsASocketError) {
    ScriptedSmtpServer server({SmtpScript()
                                   .line("220 hi")
                                   .answer("250 hi")
                                   .answer("250 reset")
                                   .answer("250 from")
                                   .answer("250 rcpt")
                                   .answer("354 go")
                                   .reset()});
    connect(server);
    expectThrowText<EIdException>(
        [&] {
            deliverAndClose({"a@x.test", {"b@x.test"}});
        },
        _,
        [&](const EIdException& error) {
            // The reset shows as 10054 on the reply's read or as 10058 on a
            // later send; either way it is a socket error, not a crash.
            const auto* socketError = dynamic_cast<const EIdSocketError*>(&error);
            ASSERT_NE(socketError, nullptr) << error.what();
            EXPECT_TRUE(socketError->ErrorNumber() == 10054 || socketError->ErrorNumber() == 10058);
        });
    EXPECT_FALSE(smtp.IsOpen());
}

TEST_F(Smtp, AFailureWhileWritingTheTextDropsTheConnectionWithoutTheFinalDot) {
    // An attachment that cannot be read half-way through the text: a "."
    // or any command (RSET, QUIT) now would be taken as text, or end a
    // half message the server would then deliver.
    ScriptedSmtpServer server({SmtpScript()
                                   .line("220 hi")
                                   .answer("250 hi")
                                   .answer("250 reset")
                                   .answer("250 from")
                                   .answer("250 rcpt")
                                   .answer("354 go")
                                   .awaitData()
                                   .line("250 queued")});
    connect(server);
    const std::string line(998, 'x');
    expectThrowText<sendrix::FileError>(
        [&] {
            sendrix::mail::deliverAndClose(smtp, [&] {
                smtp.deliverEnvelope({"a@x.test", {"b@x.test"}}, [&] {
                    // More than the send buffer: part of the text is on the wire.
                    for (int i = 0; i < 100; ++i)
                        smtp.WriteLine(line);
                    throw sendrix::FileError("Die Anlage /x/a.pdf hat sich geändert");
                });
            });
        },
        "Die Anlage /x/a.pdf hat sich geändert");
    EXPECT_FALSE(smtp.IsOpen());
    const std::string received = recorded(server);
    const std::string upToData =
        "ehlo " + host() + "\r\nRset\r\nMail from:<a@x.test>\r\nRCPT to:<b@x.test>\r\nData\r\n";
    ASSERT_EQ(received.substr(0, upToData.size()), upToData);
    const std::string text = received.substr(upToData.size());
    EXPECT_GT(text.size(), 0u);
    EXPECT_LT(text.size(), 100u * 1000u);
    EXPECT_EQ(text.find_first_not_of("x\r\n"), std::string::npos) << text.substr(text.size() - 20);
    EXPECT_TRUE(server.clientClosed(0));
}

TEST_F(Smtp, EachWaitHasTheLimitOfItsStepAndRunningOutClosesTheConnection) {
    // Every other limit is far longer than the server's stall, so a wait
    // with the wrong limit ends with the server's close, not with 10060.
    ScriptedSmtpServer::Options options;
    options.stepTimeout = std::chrono::milliseconds(3000);
    const auto untilData = [] {
        return SmtpScript()
            .line("220 hi")
            .answer("250 hi")
            .answer("250 reset")
            .answer("250 from")
            .answer("250 rcpt");
    };
    ScriptedSmtpServer server({SmtpScript().stall(), untilData().awaitLine().stall(),
                               untilData().answer("354 go").awaitData().stall()},
                              options);
    smtp.SetHost("127.0.0.1");
    smtp.SetPort(server.port());
    const IdTimeouts patient{20000, 20000, 20000, 20000, 20000};

    struct Row {
        const char* name;
        int IdTimeouts::*limit;
        std::string sentAfterEhlo;
    } rows[] = {
        {"greeting", &IdTimeouts::replyMs, ""},
        {"reply to Data", &IdTimeouts::dataReplyMs,
         "Rset\r\nMail from:<a@x.test>\r\nRCPT to:<b@x.test>\r\nData\r\n"},
        {"reply to the final dot", &IdTimeouts::endOfDataReplyMs,
         "Rset\r\nMail from:<a@x.test>\r\nRCPT to:<b@x.test>\r\nData\r\n" + kText},
    };
    for (size_t r = 0; r < std::size(rows); ++r) {
        const auto& row = rows[r];
        SCOPED_TRACE(row.name);
        IdTimeouts limits = patient;
        limits.*row.limit = 150;
        smtp.SetTimeouts(limits);
        expectThrowText<EIdSocketError>(
            [&] {
                smtp.Open();
                deliverAndClose({"a@x.test", {"b@x.test"}});
            },
            "Socket-Fehler # 10060\r\nZeitüberschreitung bei Verbindung.",
            [&](const EIdSocketError& error) { EXPECT_EQ(error.ErrorNumber(), 10060); });
        EXPECT_FALSE(smtp.IsOpen());
        // Closed at once, without "Quit" (the server is not listening).
        EXPECT_EQ(recorded(server, r), r == 0 ? "" : "ehlo " + host() + "\r\n" + row.sentAfterEhlo);
        EXPECT_TRUE(server.clientClosed(r));
    }
}

TEST_F(Smtp, DeliverSendsToThenCcThenBccAndExactlyTheWritersText) {
    TIdMessage message;
    message.From.SetText("Ich Selbst <ich@example.org>");
    message.Recipients.SetAddresses("Anna <anna@example.org>, bert@example.org");
    message.CCList.SetAddresses("carla@example.org");
    message.BccList.SetAddresses("dora@example.org");
    message.Subject =
        "Gr\xfc\xdf"
        "e";
    message.MsgId = "<1@example.org>";  // the same in both writings
    message.Body = {"Hallo,", ".eine Zeile mit Punkt", ".", "Ende"};
    message.Date = kClock.now();

    ScriptedSmtpServer server({SmtpScript::standard()});
    smtp.SetClock(&kClock);
    connect(server);
    smtp.Deliver(message);
    smtp.Close();

    MemoryWriteTarget expected;
    WriteMessage(expected, message, kClock);
    EXPECT_NE(expected.Bytes().find("\r\n..eine Zeile mit Punkt\r\n"), std::string::npos);
    EXPECT_EQ(recorded(server), "ehlo " + host() +
                                    "\r\nRset\r\nMail from:<ich@example.org>\r\n"
                                    "RCPT to:<anna@example.org>\r\nRCPT to:<bert@example.org>\r\n"
                                    "RCPT to:<carla@example.org>\r\nRCPT to:<dora@example.org>\r\n"
                                    "Data\r\n" +
                                    expected.Bytes() + ".\r\nQuit\r\n");
    ASSERT_EQ(server.messages().size(), 1u);
    EXPECT_EQ(server.messages()[0], expected.Bytes());
}

TEST_F(Smtp, MailAgentSetsTheXMailerEntryAndAnEmptyOneRemovesIt) {
    TIdMessage message;
    message.From.SetAddress("ich@example.org");
    message.Recipients.SetAddresses("du@example.org");
    message.Body = {"Text"};
    message.ExtraHeaders.SetHeaderValue("X-Mailer", "left over");

    ScriptedSmtpServer server({SmtpScript::standard(), SmtpScript::standard()});
    smtp.SetClock(&kClock);
    connect(server);
    smtp.Deliver(message);
    smtp.Close();
    EXPECT_EQ(message.ExtraHeaders.GetHeaderValue("X-Mailer"), "");

    smtp.SetMailAgent("Sendrix 1.2");
    connect(server);
    smtp.Deliver(message);
    smtp.Close();
    EXPECT_EQ(message.ExtraHeaders.GetHeaderValue("X-Mailer"), "Sendrix 1.2");

    ASSERT_TRUE(server.waitForSessions(2));
    ASSERT_EQ(server.messages().size(), 2u);
    EXPECT_EQ(server.messages()[0].find("X-Mailer"), std::string::npos);
    EXPECT_NE(server.messages()[1].find("\r\nX-Mailer: Sendrix 1.2\r\n"), std::string::npos);
}

TEST_F(Smtp, RepliesAreReadStrictlyAndAMisreadOneNeverCountsAsDelivered) {
    const std::string ehlo = "ehlo " + host() + "\r\n";
    const std::string upToData = ehlo + "Rset\r\nMail from:<a@x.test>\r\nRCPT to:<b@x.test>\r\nData\r\n";
    struct Row {
        const char* name;
        SmtpScript script;
        int code;
        std::string text;
        std::string received;
    };
    const SmtpScript untilData = SmtpScript()
                                     .line("220 mail.test")
                                     .answer("250 mail.test")
                                     .answer("250 reset")
                                     .answer("250 sender")
                                     .answer("250 rcpt");
    std::vector<Row> rows = {
        {"250Ok after the final dot", SmtpScript(untilData).answer("354 go").awaitData().line("250Ok"), 0,
         "250Ok", upToData + kText + "Quit\r\n"},
        {"a four-digit code",
         SmtpScript().line("220 mail.test").answer("250 mail.test").answer("250 reset").answer("2500 queued"),
         0, "2500 queued", ehlo + "Rset\r\nMail from:<a@x.test>\r\nQuit\r\n"},
        // The 250 sent along with the 354 would have been taken as the reply
        // to ".", which the server refuses: neither the dot nor anything
        // else follows ("Quit" would be message text).
        {"a doubled reply to Data",
         SmtpScript(untilData).answer("354 go\n250 queued").awaitData().line("554 no"), 0,
         "Der Server hat geantwortet, bevor der Befehl gesendet war: \"250 queued\"", upToData},
        {"a reply sent before its command",
         SmtpScript().line("220 mail.test").answer("250 mail.test").answer("250 reset\n250 sender"), 0,
         "Der Server hat geantwortet, bevor der Befehl gesendet war: \"250 sender\"",
         ehlo + "Rset\r\nQuit\r\n"},
        {"421 to Rset",
         SmtpScript()
             .line("220 mail.test")
             .answer("250 mail.test")
             .answer("421 4.3.2 mail.test shutting down")
             .close(),
         421, "421 4.3.2 mail.test shutting down", ehlo + "Rset\r\n"},
        {"421 unasked",
         SmtpScript()
             .line("220 mail.test")
             .answer("250 mail.test")
             .answer("250 reset")
             .answer("250 sender\n421 4.4.2 idle too long"),
         421, "421 4.4.2 idle too long", ehlo + "Rset\r\nMail from:<a@x.test>\r\nQuit\r\n"},
        {"8-bit and control bytes", SmtpScript(untilData).answer("550 Empf\xe4nger\x07 fehlt\x1b[2J"), 550,
         "550 Empfänger<0x07> fehlt<ESC>[2J", upToData + "Quit\r\n"},
    };
    std::vector<SmtpScript> scripts;
    for (const auto& row : rows)
        scripts.push_back(row.script);
    ScriptedSmtpServer server(scripts);
    for (size_t r = 0; r < rows.size(); ++r) {
        SCOPED_TRACE(rows[r].name);
        connect(server);
        try {
            deliverAndClose({"a@x.test", {"b@x.test"}});
            ADD_FAILURE() << "delivered";
        } catch (const EIdProtocolReplyError& error) {
            EXPECT_EQ(error.ReplyCode(), rows[r].code);
            EXPECT_EQ(error.what(), rows[r].text);
        }
        EXPECT_EQ(recorded(server, r), rows[r].received);
    }
}

TEST_F(Smtp, AnEnvelopeWithoutARecipientOrWithADamagedOneOpensNoConnection) {
    ScriptedSmtpServer server({plainServer()});
    smtp.SetHost("127.0.0.1");
    smtp.SetPort(server.port());
    struct Row {
        std::vector<std::string> to;
        std::string text;
        std::string replyTo = {};
    } rows[] = {
        {{}, "Die Nachricht hat keinen Empfänger; es wurde nichts gesendet."},
        {{"kunde@example.com opfer@example.net"},
         "Die Empfängeradresse \"kunde@example.com opfer@example.net\" ist ungültig: sie enthält ein "
         "Leerzeichen; es wurde nichts gesendet."},
        {{"ok@example.com", "lokal"},
         "Die Empfängeradresse \"lokal\" ist ungültig: das Zeichen @ fehlt; es wurde nichts gesendet."},
        {{"ok@example.com"},
         "Die Antwortadresse \"a@example.org<CR><LF>Bcc: x@example.net\" enthält ein Zeilenende oder NUL; es "
         "wurde nichts gesendet.",
         "a@example.org\r\nBcc: x@example.net"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        TIdMessage message;
        message.From.SetAddress("ich@example.org");
        for (const auto& address : row.to)
            message.Recipients.Add().SetAddress(address);
        message.ReplyTo.SetAddresses(row.replyTo);
        try {
            deliverOnce(smtp, message);
            ADD_FAILURE() << "sent";
        } catch (const EIdInvalidEnvelopeAddress& error) {
            EXPECT_EQ(error.what(), row.text);
        }
    }
    EXPECT_EQ(server.sessionCount(), 0u);
}

TEST_F(Smtp, AMailboxNamedTwiceGetsOneRcpt) {
    ScriptedSmtpServer server({SmtpScript::standard()});
    TIdMessage message;
    message.From.SetAddress("ich@example.org");
    message.Recipients.SetAddresses("anna@example.org, bert@example.org");
    message.CCList.SetAddresses("Anna <anna@EXAMPLE.org>");
    message.BccList.SetAddresses("bert@example.org");
    smtp.SetHost("127.0.0.1");
    smtp.SetPort(server.port());
    deliverOnce(smtp, message);
    const std::string received = recorded(server);
    EXPECT_NE(received.find("Mail from:<ich@example.org>\r\nRCPT to:<anna@example.org>\r\n"
                            "RCPT to:<bert@example.org>\r\nData\r\n"),
              std::string::npos)
        << received;
    EXPECT_EQ(server.messages().size(), 1u);
}

TEST_F(Smtp, AServerNameWithALineEndOrBlankIsRefusedBeforeConnecting) {
    ScriptedSmtpServer server({});
    for (const char* name : {"127.0.0.1\r\nQUIT", "127.0.0.1 x", "127.0.0.1\t"}) {
        SCOPED_TRACE(name);
        smtp.SetHost(name);
        smtp.SetPort(server.port());
        EXPECT_THROW(smtp.Open(), EIdException);
        EXPECT_FALSE(smtp.IsOpen());
    }
    EXPECT_EQ(server.sessionCount(), 0u);
}

TEST(HeloName, AFullyQualifiedNameOrTheAddressLiteral) {
    struct Row {
        const char* fqdn;
        const char* localIp;
        const char* expected;
    };
    const Row rows[] = {
        {"mail.example.org", "10.0.0.5", "mail.example.org"},
        {"Host.Example.DE", "10.0.0.5", "Host.Example.DE"},
        {"", "192.168.1.20", "[192.168.1.20]"},  // no name with a dot
        {"vm", "127.0.0.1", "[127.0.0.1]"},      // a bare host name
        {"localhost.localdomain", "127.0.0.1", "[127.0.0.1]"},
        {"10.0.0.5", "10.0.0.5", "[10.0.0.5]"},  // an address is no name
        {"example.org.", "10.0.0.5", "[10.0.0.5]"},
        {"", "", "[127.0.0.1]"},
        // Only letters, digits, hyphens and dots make a name.
        {"mail.example.org\r\nRCPT to:<x@y.test>", "10.0.0.5", "[10.0.0.5]"},
        {"mail example.org", "10.0.0.5", "[10.0.0.5]"},
        {"mail_1.example.org", "10.0.0.5", "[10.0.0.5]"},
        {"mail-1.example.org", "10.0.0.5", "mail-1.example.org"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fqdn);
        EXPECT_EQ(HeloName(row.fqdn, row.localIp), row.expected);
    }
}

TEST_F(Smtp, EnvelopeCarriesALabelsAndSmtpUtf8OnlyWhereALocalPartNeedsIt) {
    const std::vector<std::string> plain = {"250-scripted.test", "250 AUTH LOGIN PLAIN"};
    const std::vector<std::string> utf8 = {"250-scripted.test", "250-SMTPUTF8", "250 AUTH LOGIN PLAIN"};
    struct Row {
        const char* name;
        std::vector<std::string> ehlo;
        std::string from;
        std::string to;
        std::string envelope;  // MAIL and RCPT as sent; "" when refused
        std::string error;
    } rows[] = {
        {"IDN domains as A-labels", plain, "info@müller-bäckerei.de", "kunde@straße.de",
         "Mail from:<info@xn--mller-bckerei-hfb76a.de>\r\nRCPT to:<kunde@xn--strae-oqa.de>\r\n", ""},
        {"ASCII stays as typed, no parameter even when offered", utf8, "ich@Example.org", "du@example.org",
         "Mail from:<ich@Example.org>\r\nRCPT to:<du@example.org>\r\n", ""},
        {"local part outside ASCII with SMTPUTF8", utf8, "ich@example.org", "jörg@bäcker.de",
         "Mail from:<ich@example.org> SMTPUTF8\r\nRCPT to:<jörg@xn--bcker-gra.de>\r\n", ""},
        {"sender's local part outside ASCII with SMTPUTF8", utf8, "büro@example.org", "du@example.org",
         "Mail from:<büro@example.org> SMTPUTF8\r\nRCPT to:<du@example.org>\r\n", ""},
        {"local part outside ASCII without SMTPUTF8", plain, "ich@example.org", "jörg@example.de", "",
         "Die E-Mail-Adresse \"jörg@example.de\" hat vor dem @ Zeichen außerhalb von ASCII, und der "
         "Server bietet SMTPUTF8 nicht an; es wurde nichts gesendet."},
        {"SMTPUTF8 only as part of another keyword",
         {"250-scripted.test", "250 X-SMTPUTF8"},
         "ich@example.org",
         "jörg@example.de",
         "",
         "Die E-Mail-Adresse \"jörg@example.de\" hat vor dem @ Zeichen außerhalb von ASCII, und der "
         "Server bietet SMTPUTF8 nicht an; es wurde nichts gesendet."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SmtpBehaviour behaviour;
        behaviour.ehloReply = row.ehlo;
        ScriptedSmtpServer server({SmtpScript::standard(behaviour)});
        TIdSMTP client;
        client.SetHost("127.0.0.1");
        client.SetPort(server.port());
        client.Open();
        const SmtpEnvelope envelope{row.from, {row.to}};
        const auto send = [&] {
            sendrix::mail::deliverAndClose(
                client, [&] { client.deliverEnvelope(envelope, [&] { client.WriteLine("x"); }); });
        };
        if (row.error.empty()) {
            send();
            EXPECT_NE(recorded(server).find("Rset\r\n" + row.envelope + "Data\r\n"), std::string::npos)
                << recorded(server);
        } else {
            expectThrowText<EIdSmtpUtf8NotOffered>(send, row.error);
            // Nothing of the transaction went out, not even RSET.
            EXPECT_EQ(recorded(server), "ehlo " + host() + "\r\nQuit\r\n");
        }
    }
}

TEST_F(Smtp, ADomainWithoutALabelOrTooLongAsALabelIsRefusedBeforeConnecting) {
    struct Row {
        std::string to;
        std::string text;
    } rows[] = {
        {"kunde@a\xe2\x80\x8d"
         "b.de",
         "hat keinen gültigen internationalen Domainnamen"},
        {"kunde@" + std::string(120, 'a') + "." + std::string(50, 'a') + "\xc3\xa4" + std::string(50, 'a') +
             ".de",
         "hat keinen gültigen internationalen Domainnamen"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.to);
        expectThrowText<EIdInvalidEnvelopeAddress>(
            [&] {
                checkEnvelope({"ich@example.org", {row.to}});
            },
            ::testing::HasSubstr(row.text));
    }
}

namespace {

// A server that names PIPELINING and answers only once it has read the
// whole group ("Rset", MAIL, `recipients` RCPTs, "Data"), then `replies`.
// A client that waited for each reply would wait in vain.
SmtpScript pipeliningServer(std::size_t recipients, const std::string& replies, bool takesText) {
    SmtpScript script;
    script.line("220 mail.test ESMTP").answer("250-mail.test\n250 PIPELINING");
    for (std::size_t i = 0; i < recipients + 3; ++i)
        script.awaitLine();
    script.send(replies);
    if (takesText)
        script.awaitData().line("250 2.0.0 queued");
    return script;
}

}  // namespace

TEST_F(Smtp, PipeliningSendsTheGroupInOneGoWithTheBytesOfTheDialogueOneAtATime) {
    ScriptedSmtpServer server(
        {pipeliningServer(2, "250 reset\r\n250 sender\r\n250 rcpt\r\n250 rcpt\r\n354 go\r\n", true),
         plainServer()});
    smtp.SetPipelining(true);
    connect(server);
    EXPECT_TRUE(smtp.OffersPipelining());
    deliverAndClose({"ich@example.org", {"a@example.org", "b@example.org"}});
    EXPECT_EQ(recorded(server), "ehlo " + host() +
                                    "\r\nRset\r\nMail from:<ich@example.org>\r\nRCPT to:<a@example.org>\r\n"
                                    "RCPT to:<b@example.org>\r\nData\r\n" +
                                    kText + "Quit\r\n");
    // A server without PIPELINING gets one command at a time.
    connect(server);
    EXPECT_FALSE(smtp.OffersPipelining());
    deliverAndClose({"ich@example.org", {"du@example.org"}});
    EXPECT_EQ(server.messages().size(), 0u);  // scripted sessions: no "serve"
    EXPECT_NE(recorded(server, 1).find("Data\r\n" + kText), std::string::npos);
}

TEST_F(Smtp, APipelinedRefusalRaisesTheFirstRefusedStepAndNeverSendsTheText) {
    struct Row {
        const char* name;
        std::size_t recipients;
        const char* replies;
        const char* error;  // the start of the error text
        int code;
        bool open;  // the connection after the refusal
    } rows[] = {
        {"recipient refused, Data refused", 1,
         "250 reset\r\n250 sender\r\n550 5.1.1 no such user\r\n554 5.5.1 no valid recipients\r\n",
         "550 5.1.1 no such user", 550, true},
        // The server waits for text now: closing is the only way out that
        // delivers nothing to the recipient it took.
        {"one of two refused, Data taken", 2,
         "250 reset\r\n250 sender\r\n250 rcpt\r\n550 5.1.1 no such user\r\n354 go\r\n",
         "550 5.1.1 no such user", 550, false},
        {"sender refused with 530", 1,
         "250 reset\r\n530 5.7.0 Must issue a STARTTLS command first\r\n503 5.5.1 sender first\r\n503 5.5.1 "
         "sender first\r\n",
         "530 5.7.0 Must issue a STARTTLS command first\r\n", 530, true},
    };
    std::vector<SmtpScript> scripts;
    for (const Row& row : rows)
        scripts.push_back(pipeliningServer(row.recipients, row.replies, false));
    ScriptedSmtpServer server(scripts);
    smtp.SetPipelining(true);
    for (std::size_t r = 0; r < std::size(rows); ++r) {
        const Row& row = rows[r];
        SCOPED_TRACE(row.name);
        connect(server);
        SmtpEnvelope envelope{"ich@example.org", {"a@example.org"}};
        if (row.recipients == 2)
            envelope.recipients.push_back("b@example.org");
        expectThrowText<EIdProtocolReplyError>(
            [&] { deliver(envelope); }, ::testing::StartsWith(row.error),
            [&](const EIdProtocolReplyError& error) { EXPECT_EQ(error.ReplyCode(), row.code); });
        EXPECT_EQ(smtp.IsOpen(), row.open);
        smtp.Close();
        const std::string sent = recorded(server, r);
        EXPECT_TRUE(sent.ends_with("Data\r\n" + std::string(row.open ? "Quit\r\n" : ""))) << sent;
        EXPECT_EQ(sent.find("Subject: test"), std::string::npos);
    }
}

namespace {

// Every lookup counted; each name stands for the scripted server's address.
class CountingSmtp : public TIdSMTP {
public:
    int addressLookups = 0;
    int ownNameLookups = 0;

protected:
    std::string lookUpAddress(const std::string&) const override {
        ++const_cast<CountingSmtp*>(this)->addressLookups;
        return "127.0.0.1";
    }
    std::string lookUpOwnName() const override {
        ++const_cast<CountingSmtp*>(this)->ownNameLookups;
        return "client.example.org";
    }
};

}  // namespace

TEST(SmtpLookups, ARunLooksUpServerAndOwnNameOnceAndForgetsThemWhenItEnds) {
    std::vector<SmtpScript> scripts(4, SmtpScript().line("220 mail.test").answer("250 mail.test"));
    ScriptedSmtpServer server(scripts);
    CountingSmtp smtp;
    smtp.SetPort(server.port());
    const auto session = [&](const std::string& host) {
        smtp.SetHost(host);
        smtp.Open();
        smtp.Close();
    };
    smtp.SetRememberLookups(true);
    session("mail.test");
    session("mail.test");
    EXPECT_EQ(smtp.addressLookups, 1);
    EXPECT_EQ(smtp.ownNameLookups, 1);
    session("other.test");  // another server is looked up anew
    EXPECT_EQ(smtp.addressLookups, 2);
    smtp.SetRememberLookups(false);
    session("other.test");
    EXPECT_EQ(smtp.addressLookups, 3);
    EXPECT_EQ(smtp.ownNameLookups, 2);
    for (size_t i = 0; i < scripts.size(); ++i) {
        ASSERT_TRUE(server.waitForSessions(i + 1));
        EXPECT_EQ(server.received(i), "ehlo client.example.org\r\nQuit\r\n");
    }
}

TEST_F(Smtp, AnRsetSentAheadLeavesTheBytesOfTheDialogueAsTheyWere) {
    const std::string second = "Rset\r\nMail from:<ich@example.org>\r\nRCPT to:<du@example.org>\r\nData\r\n";
    struct Row {
        const char* name;
        SmtpScript script;
        bool pipelining;
        std::string sentAfterFirst;  // after the first message's text
    } rows[] = {
        {"one command at a time",
         plainServer()
             .answer("250 2.0.0 reset")
             .answer("250 2.1.0 sender ok")
             .answer("250 2.1.5 recipient ok")
             .answer("354 go ahead")
             .awaitData()
             .line("250 2.0.0 queued"),
         false, second + kText + "Quit\r\n"},
        // "Rset" stays in the group: nothing goes ahead.
        {"pipelined",
         pipeliningServer(1, "250 reset\r\n250 sender\r\n250 rcpt\r\n354 go\r\n", true)
             .awaitLine()
             .awaitLine()
             .awaitLine()
             .awaitLine()
             .send("250 reset\r\n250 sender\r\n250 rcpt\r\n354 go\r\n")
             .awaitData()
             .line("250 2.0.0 queued"),
         true, second + kText + "Quit\r\n"},
    };
    std::vector<SmtpScript> scripts;
    for (const Row& row : rows)
        scripts.push_back(row.script);
    ScriptedSmtpServer server(scripts);
    for (size_t r = 0; r < std::size(rows); ++r) {
        SCOPED_TRACE(rows[r].name);
        smtp.SetPipelining(rows[r].pipelining);
        connect(server);
        deliver({"ich@example.org", {"du@example.org"}});
        smtp.SendRsetAhead();
        deliverAndClose({"ich@example.org", {"du@example.org"}});
        const std::string sent = recorded(server, r);
        EXPECT_TRUE(sent.ends_with(kText + rows[r].sentAfterFirst)) << sent;
    }
}

TEST_F(Smtp, NoRsetGoesAheadWhenTheServerHasSpokenUnasked) {
    // The next transaction meets the server's own words as it always did.
    ScriptedSmtpServer server({SmtpScript()
                                   .line("220 mail.test ESMTP")
                                   .answer("250 mail.test")
                                   .answer("250 reset")
                                   .answer("250 sender")
                                   .answer("250 rcpt")
                                   .answer("354 go")
                                   .awaitData()
                                   .send("250 queued\r\n421 4.3.2 shutting down\r\n")});
    connect(server);
    deliver({"ich@example.org", {"du@example.org"}});
    smtp.SendRsetAhead();
    expectThrowText<EIdProtocolReplyError>(
        [&] {
            deliver({"ich@example.org", {"du@example.org"}});
        },
        ::testing::StartsWith("421 4.3.2 shutting down"));
    smtp.Close();
    EXPECT_TRUE(recorded(server).ends_with(kText + "Quit\r\n"));
}

namespace {

// Says when the message writer has asked for the time (for the Date line).
class WatchedClock : public sendrix::platform::Clock {
public:
    sendrix::platform::LocalTime now() const override {
        {
            std::lock_guard lock(m_mutex);
            m_read = true;
        }
        m_changed.notify_all();
        return kClock.now();
    }
    // Whether the clock is read within a few seconds.
    bool waitForRead() const {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_read; });
    }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    mutable bool m_read = false;
};

}  // namespace

TEST_F(Smtp, AMessageWithoutAttachmentsIsWrittenWhileTheServerAnswersMail) {
    WatchedClock clock;
    bool writtenBeforeTheReply = false;
    ScriptedSmtpServer server({SmtpScript()
                                   .line("220 hi")
                                   .answer("250 hi")
                                   .answer("250 reset")
                                   .awaitLine()
                                   .act([&] { writtenBeforeTheReply = clock.waitForRead(); })
                                   .line("250 from")
                                   .answer("250 rcpt")
                                   .answer("354 go")
                                   .awaitData()
                                   .line("250 queued")});
    TIdMessage message;
    message.From.SetAddress("ich@example.org");
    message.Recipients.SetAddresses("du@example.org");
    message.Body = {"Hallo"};
    smtp.SetClock(&clock);
    connect(server);
    smtp.Deliver(message);
    smtp.Close();
    EXPECT_TRUE(writtenBeforeTheReply);
    EXPECT_EQ(server.messages().size(), 0u);  // scripted: the text is in the record
    EXPECT_NE(recorded(server).find("Data\r\n"), std::string::npos);
}

TEST_F(Smtp, AMessageThatCannotBeWrittenAheadDropsTheConnectionBeforeRcpt) {
    // A single alternative text is refused by the writer.
    ScriptedSmtpServer server({SmtpScript().line("220 hi").answer("250 hi").answer("250 reset").awaitLine()});
    TIdMessage message;
    message.From.SetAddress("ich@example.org");
    message.Recipients.SetAddresses("du@example.org");
    message.MessageParts.AddText();
    connect(server);
    EXPECT_THROW(smtp.Deliver(message), EIdTextInvalidCount);
    EXPECT_FALSE(smtp.IsOpen());
    EXPECT_TRUE(recorded(server).ends_with("Rset\r\nMail from:<ich@example.org>\r\n"));
    EXPECT_TRUE(server.clientClosed(0));
}

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "mail/id_exception.h"
#include "mail/id_reply_reader.h"
#include "mail/id_tcp_client.h"
#include "mail/socket_error_map.h"
#include "support/expect_throw.h"
#include "support/scripted_smtp_server.h"

using sendrix::test::expectThrowText;
using ::testing::_;

using namespace sendrix::mail;
using sendrix::test::ScriptedSmtpServer;
using sendrix::test::SmtpScript;

namespace {

// A loopback port that nobody listens on: bound, then released.
int unusedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

class Connection : public ::testing::Test {
protected:
    void open(const ScriptedSmtpServer& server, const std::string& host = "127.0.0.1") {
        client.SetHost(host);
        client.SetPort(server.port());
        client.Open();
    }
    TIdTCPClient client;
};

}  // namespace

TEST_F(Connection, ReadsAMultiLineReplyAndItsCode) {
    ScriptedSmtpServer server({SmtpScript().line("220-one").line("220-two").line("220 three")});
    open(server);
    EXPECT_EQ(client.ReadReply({220}), 220);
    EXPECT_EQ(client.ReplyLines(), (std::vector<std::string>{"220-one", "220-two", "220 three"}));
    EXPECT_EQ(client.LastReplyLine(), "220 three");
}

TEST_F(Connection, SkipsBlankLinesAndReadsLfOnlyLikeCrLf) {
    ScriptedSmtpServer server({SmtpScript().send("\r\n   \r\n\n\t\r\n250-a\n250-b\r\n250 c\n")});
    open(server);
    EXPECT_EQ(client.ReadReply({}), 250);
    EXPECT_EQ(client.ReplyLines(), (std::vector<std::string>{"250-a", "250-b", "250 c"}));
}

TEST_F(Connection, UnexpectedCodeRaisesWithTheTrimmedLastLine) {
    struct Row {
        const char* reply;
        int code;
        const char* message;
    } rows[] = {{"  554 5.7.1 go away  \t\r\n", 554, "554 5.7.1 go away"},
                {"+OK pop\r\n", 1, "+OK pop"},
                {"-ERR pop\r\n", 0, "-ERR pop"},
                {"hello world\r\n", 0, "hello world"},
                {"220-a\r\n220-b\r\n451 x\r\n220 last \r\n", 220, "220 last"}};
    std::vector<SmtpScript> scripts;
    for (const auto& row : rows)
        scripts.push_back(SmtpScript().send(row.reply).awaitLine());
    ScriptedSmtpServer server(scripts);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply);
        open(server);
        expectThrowText<EIdProtocolReplyError>(
            [&] { client.ReadReply({250}); }, row.message,
            [&](const EIdProtocolReplyError& error) { EXPECT_EQ(error.ReplyCode(), row.code); });
        client.Close();
    }
}

TEST_F(Connection, ServerClosingWithoutReplyIsClosedGracefully) {
    ScriptedSmtpServer server({SmtpScript().close(), SmtpScript().send("250 partial").close()});
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        open(server);
        expectThrowText<EIdConnClosedGracefully>([&] { client.ReadReply({}); },
                                                 "Die Verbindung wurde erfolgreich geschlossen.");
        EXPECT_FALSE(client.IsOpen());
        // Writing after the closing was noticed fails before anything is sent.
        EXPECT_THROW(client.WriteLine("Quit"), EIdConnClosedGracefully);
        EXPECT_NO_THROW(client.Close());
    }
}

TEST_F(Connection, CompleteLinesBeforeThePeersCloseAreStillRead) {
    ScriptedSmtpServer server({SmtpScript().send("250-a\r\n250 b\r\n220 c\r\n").close()});
    open(server);
    ASSERT_TRUE(server.waitForSessions(1));
    EXPECT_EQ(client.ReadReply({250}), 250);
    EXPECT_EQ(client.ReadReply({220}), 220);
    EXPECT_THROW(client.ReadReply({}), EIdConnClosedGracefully);
}

TEST_F(Connection, SendCommandPutsTheCommandOnTheWireBeforeAwaitingItsReply) {
    ScriptedSmtpServer server({SmtpScript().answer("250-x\n250 y").answer("354 go")});
    open(server);
    EXPECT_EQ(client.SendCommand("ehlo me", -1), 250);
    EXPECT_EQ(client.SendCommand("Data", 354), 354);
    client.Close();
    ASSERT_TRUE(server.waitForSessions(1));
    EXPECT_EQ(server.received(0), "ehlo me\r\nData\r\n");
}

// The look for an early reply before a command leaves the collected text
// collected: text and command go to the socket in one piece, so the short
// command never waits behind a segment the peer acknowledges late.
TEST_F(Connection, TheCheckForAnEarlyReplyHandsNoCollectedTextToTheSocket) {
    ScriptedSmtpServer server({SmtpScript().line("220 go").answer("354 go").awaitLine().line("250 early")});
    open(server);
    EXPECT_EQ(client.ReadReply({220}), 220);
    EXPECT_EQ(client.SendCommand("Data", 354), 354);
    client.WriteLine("NOOP");
    client.FlushOutput();
    // The early line waits in the socket, not yet read.
    ASSERT_EQ(client.Binding().WaitReadable(5000), 1);
    ASSERT_EQ(client.PendingInput(), "");
    client.WriteText("Subject: x\r\n\r\ntext\r\n");
    EXPECT_THROW(client.SendCommand(".", 250), EIdProtocolReplyError);
    client.DropConnection();  // discards what is still collected
    ASSERT_TRUE(server.waitForSessions(1));
    EXPECT_EQ(server.received(0), "Data\r\nNOOP\r\n");
}

TEST_F(Connection, OpenOnAnOpenConnectionRaisesAndLeavesItAlone) {
    ScriptedSmtpServer server({SmtpScript().line("220 hi").answer("250 still here")});
    open(server);
    expectThrowText<EIdAlreadyConnected>([&] { client.Open(); }, "Verbindung besteht bereits.");
    EXPECT_TRUE(client.IsOpen());
    EXPECT_EQ(client.ReadReply({220}), 220);
    EXPECT_EQ(client.SendCommand("noop", 250), 250);
}

TEST_F(Connection, RefusedPortIsSocketError10061AndLeavesTheConnectionClosed) {
    client.SetHost("127.0.0.1");
    client.SetPort(unusedPort());
    expectThrowText<EIdSocketError>(
        [&] { client.Open(); }, "Socket-Fehler # 10061\r\nVerbindung abgelehnt.",
        [&](const EIdSocketError& error) { EXPECT_EQ(error.ErrorNumber(), 10061); });
    EXPECT_FALSE(client.IsOpen());
    EXPECT_FALSE(client.Binding().SocketOpen());
}

// A connection begun ahead is the one the next Open uses: one session on
// the server, and not open (so nothing is said over it) before that Open.
TEST_F(Connection, OpenUsesTheConnectionBegunAhead) {
    ScriptedSmtpServer server({SmtpScript().line("220 ahead").answer("250 ok")});
    client.SetHost("127.0.0.1");
    client.SetPort(server.port());
    client.ConnectAhead();
    EXPECT_FALSE(client.IsOpen());
    client.ConnectAhead();  // begun already: no second connection
    client.Open();
    EXPECT_EQ(client.ReadReply({220}), 220);
    EXPECT_EQ(client.SendCommand("noop", 250), 250);
    client.Close();
    ASSERT_TRUE(server.waitForSessions(1));
    EXPECT_EQ(server.sessionCount(), 1u);
    EXPECT_EQ(server.received(0), "noop\r\n");
}

// Close drops a connection begun ahead without a word; the next Open
// connects anew.
TEST_F(Connection, CloseDropsTheConnectionBegunAheadUnused) {
    ScriptedSmtpServer server({SmtpScript().line("220 unused"), SmtpScript().line("220 second")});
    client.SetHost("127.0.0.1");
    client.SetPort(server.port());
    client.ConnectAhead();
    client.Close();
    ASSERT_TRUE(server.waitForSessions(1));
    EXPECT_EQ(server.received(0), "");
    EXPECT_TRUE(server.clientClosed(0));
    client.Open();
    EXPECT_EQ(client.ReadReply({220}), 220);
    EXPECT_EQ(client.LastReplyLine(), "220 second");
}

// One begun for another server goes unused: Open connects to the server set.
TEST_F(Connection, OpenAfterTheServerChangedConnectsAnew) {
    ScriptedSmtpServer first({SmtpScript().line("220 first")});
    ScriptedSmtpServer second({SmtpScript().line("220 second")});
    client.SetHost("127.0.0.1");
    client.SetPort(first.port());
    client.ConnectAhead();
    client.SetPort(second.port());
    client.Open();
    EXPECT_EQ(client.ReadReply({220}), 220);
    EXPECT_EQ(client.LastReplyLine(), "220 second");
    ASSERT_TRUE(first.waitForSessions(1));
    EXPECT_EQ(first.received(0), "");
}

// A refused connection begun ahead is reported by Open as one made there.
TEST_F(Connection, RefusedConnectionBegunAheadFailsInOpen) {
    client.SetHost("127.0.0.1");
    client.SetPort(unusedPort());
    client.ConnectAhead();
    expectThrowText<EIdSocketError>([&] { client.Open(); }, "Socket-Fehler # 10061\r\nVerbindung abgelehnt.");
    EXPECT_FALSE(client.Binding().SocketOpen());
}

TEST_F(Connection, UnresolvableHostRaisesALookupNumberWithoutText) {
    client.SetHost("no-such-host.invalid");
    client.SetPort(25);
    expectThrowText<EIdSocketError>(
        [&] { client.Open(); }, _,
        [&](const EIdSocketError& error) {
            std::string message = error.what();
            EXPECT_GE(error.ErrorNumber(), kWsaHostNotFound);
            EXPECT_LE(error.ErrorNumber(), kWsaNoData);
            EXPECT_EQ(message, "Socket-Fehler # " + std::to_string(error.ErrorNumber()) + "\r\n");
        });
    EXPECT_FALSE(client.IsOpen());
}

TEST_F(Connection, LocalhostInAnyCaseConnectsToLoopback) {
    ScriptedSmtpServer server({SmtpScript().line("220 a"), SmtpScript().line("220 b")});
    for (const char* host : {"LocalHost", "LOCALHOST"}) {
        SCOPED_TRACE(host);
        open(server, host);
        EXPECT_EQ(client.Binding().RemoteIP(), "127.0.0.1");
        EXPECT_EQ(client.Binding().RemotePort(), server.port());
        EXPECT_EQ(client.Binding().LocalIP(), "127.0.0.1");
        EXPECT_NE(client.Binding().Port(), 0);
        EXPECT_EQ(client.ReadReply({220}), 220);
        client.Close();
    }
}

TEST(Stack, DottedQuadNeedsExactlyFourNumbersUpTo255) {
    struct Row {
        const char* text;
        bool dotted;
    } rows[] = {{"1.2.3.4", true},    {"0.0.0.0", true},    {"255.255.255.255", true}, {"010.1.1.1", true},
                {"256.1.1.1", false}, {"1.2.3.256", false}, {"1.2.3", false},          {"1.2.3.4.5", false},
                {"1..3.4", false},    {"a.b.c.d", false},   {"1.2.3.4 ", false},       {"", false},
                {"-1.2.3.4", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(TIdStack::IsDottedQuad(row.text), row.dotted);
    }
    for (const char* text : {"1.2.3.4", "0.0.0.0", "255.255.255.255", "127.0.0.1"})
        EXPECT_EQ(addressToDottedQuad(dottedQuadToAddress(text)), text);
    EXPECT_EQ(addressToDottedQuad(dottedQuadToAddress("010.1.1.1")), "10.1.1.1");
    TIdTCPClient holder;  // the stack lives while a component does
    EXPECT_EQ(holder.Stack().ResolveAddress("10.1.2.3"), "10.1.2.3");
    // Not a dotted address, so it goes to the host lookup, which fails.
    EXPECT_THROW(holder.Stack().ResolveAddress("1.2.3.256"), EIdSocketError);
    EXPECT_FALSE(holder.Stack().LocalHostName().empty());
}

TEST(Stack, ErrorTextsAndTheErrnoMapping) {
    EXPECT_EQ(TIdStack::SocketErrorText(10035), "Die Operation würde blockieren. ");
    EXPECT_EQ(TIdStack::SocketErrorText(10066), "Verzeichnis ist nicht leer");
    EXPECT_EQ(TIdStack::SocketErrorText(10047),
              "Die Adreßfamilie wird von der Protokollfamilie nicht unterstützt.");
    EXPECT_EQ(TIdStack::SocketErrorText(10003), "");
    EXPECT_EQ(TIdStack::SocketErrorText(10067), "");
    EXPECT_EQ(TIdStack::SocketErrorText(kWsaHostNotFound), "");

    struct Row {
        int errnoValue;
        int number;
    } rows[] = {{ECONNREFUSED, 10061}, {ETIMEDOUT, 10060}, {EHOSTUNREACH, 10065}, {ECONNRESET, 10054},
                {EPIPE, 10058},        {ESHUTDOWN, 10058}, {EADDRINUSE, 10048},   {EAGAIN, 10035},
                {EINTR, 10004},        {ENOTEMPTY, 10066}, {EIO, 20000 + EIO},    {ENOENT, 20000 + ENOENT}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.errnoValue);
        EXPECT_EQ(winsockErrorFromErrno(row.errnoValue), row.number);
    }

    errno = ECONNRESET;
    TIdTCPClient holder;
    EXPECT_FALSE(holder.Stack().CheckSocketResult(0));
    errno = EAGAIN;
    EXPECT_TRUE(holder.Stack().CheckSocketResult(-1, {10035}));
    errno = ECONNRESET;
    expectThrowText<EIdSocketError>(
        [&] { holder.Stack().CheckSocketResult(-1, {10035}); },
        "Socket-Fehler # 10054\r\nDie Verbindung wurde von Peer zurückgesetzt.",
        [&](const EIdSocketError& error) { EXPECT_EQ(error.ErrorNumber(), 10054); });
}

TEST_F(Connection, TakeInputBeyondThePendingBytesRaisesAndRemovesNothing) {
    ScriptedSmtpServer server({SmtpScript().send("abc\r\ndef\r\n")});
    open(server);
    for (int i = 0; i < 100 && client.PendingInput().size() < 10; ++i)
        client.FillInput(true, 100);
    ASSERT_EQ(client.PendingInput(), "abc\r\ndef\r\n");
    expectThrowText<EIdNotEnoughDataInBuffer>([&] { client.TakeInput(11); },
                                              "Nicht genügend Daten im Puffer.");
    EXPECT_EQ(client.PendingInput().size(), 10u);
    EXPECT_EQ(client.TakeInput(4), "abc\r");
    EXPECT_EQ(client.TakeInput(6), "\ndef\r\n");
    EXPECT_EQ(client.PendingInput(), "");
}

TEST_F(Connection, ReadLineWithATerminatorKeepsCarriageReturns) {
    ScriptedSmtpServer server({SmtpScript().send("ab\rc||de\r\nf\rg\r\n")});
    open(server);
    EXPECT_EQ(client.ReadLine("||"), "ab\rc");
    EXPECT_EQ(client.ReadLine("\n"), "de\r");
    EXPECT_EQ(client.ReadLine(), "f\rg");
}

TEST_F(Connection, ReadLineWithATimeoutGivesEmptyAndStaysOpen) {
    ScriptedSmtpServer server({SmtpScript().stall()});
    open(server);
    EXPECT_EQ(client.ReadLine({}, 50), "");
    EXPECT_TRUE(client.IsOpen());
}

TEST_F(Connection, SilentServerRunsIntoTheReplyLimitAndIsClosed) {
    ScriptedSmtpServer server({SmtpScript().stall()});
    IdTimeouts limits;
    limits.replyMs = 150;
    client.SetTimeouts(limits);
    open(server);
    expectThrowText<EIdSocketError>(
        [&] { client.ReadReply({220}); }, "Socket-Fehler # 10060\r\nZeitüberschreitung bei Verbindung.",
        [&](const EIdSocketError& error) { EXPECT_EQ(error.ErrorNumber(), 10060); });
    EXPECT_FALSE(client.IsOpen());
    EXPECT_TRUE(server.waitForSessions(1));
    EXPECT_TRUE(server.clientClosed(0));
}

TEST_F(Connection, ReplyLimitCoversTheWholeReplyNotEachRead) {
    // Every gap is shorter than the limit, the whole reply takes longer.
    ScriptedSmtpServer server(
        {SmtpScript().send("2").pause(80).send("2").pause(80).send("0-").pause(80).send(" x\r\n")});
    IdTimeouts limits;
    limits.replyMs = 200;
    client.SetTimeouts(limits);
    open(server);
    expectThrowText<EIdSocketError>(
        [&] { client.ReadReply({220}); }, _,
        [&](const EIdSocketError& error) { EXPECT_EQ(error.ErrorNumber(), 10060); });
}

TEST_F(Connection, OverlongLineAndEndlessReplyAreRefused) {
    std::string atLimit = "250 " + std::string(kMaxReplyLineLength - 4, 'a') + "\r\n";
    std::string overLimit = "250 " + std::string(kMaxReplyLineLength + 10, 'a');
    std::string flood;
    for (size_t i = 0; i < kMaxReplyLines + 5; ++i)
        flood += "250-again and again\r\n";
    ScriptedSmtpServer server(
        {SmtpScript().send(atLimit).send(overLimit).stall(), SmtpScript().send(flood).stall()});
    open(server);
    EXPECT_EQ(client.ReadReply({250}), 250);
    EXPECT_EQ(client.LastReplyLine().size(), kMaxReplyLineLength);
    expectThrowText<EIdProtocolReplyError>([&] { client.ReadReply({250}); },
                                           "Der Server hat eine Zeile von mehr als 65536 Zeichen gesendet.");
    client.Close();
    open(server);
    expectThrowText<EIdProtocolReplyError>([&] { client.ReadReply({250}); },
                                           "Die Antwort des Servers hat mehr als 1000 Zeilen.");
}

TEST_F(Connection, GatheredWritesReachTheServerByteForByte) {
    char path[] = "/tmp/sendrix_stream_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    std::string content;
    for (int i = 0; i < 20000; ++i)
        content += "line " + std::to_string(i) + "\r\n";
    ASSERT_EQ(write(fd, content.data(), content.size()), ssize_t(content.size()));
    lseek(fd, 1234, SEEK_SET);  // the stream is sent from its start anyway

    ScriptedSmtpServer server({SmtpScript().awaitData().line("250 ok")});
    client.SetSendBufferSize(1000);
    open(server);
    client.WriteText("text ");
    client.WriteLine("line");
    client.WriteLines({"one", "", "three"});
    client.WriteBytes("xyz", 2);
    client.WriteFromStream(fd);
    client.WriteLine(".");
    // Awaiting the reply hands the collected rest to the socket first.
    EXPECT_EQ(client.ReadReply({250}), 250);
    client.Close();
    close(fd);
    unlink(path);
    ASSERT_TRUE(server.waitForSessions(1));
    std::string expected = "text line\r\none\r\n\r\nthree\r\nxy" + content + ".\r\n";
    std::string received = server.received(0);
    EXPECT_EQ(received.size(), expected.size());
    EXPECT_TRUE(received == expected) << "the bytes differ";
    EXPECT_TRUE(server.clientClosed(0));
}

TEST_F(Connection, ALookForEarlyBytesLeavesTheGatheredTextGathered) {
    // Sent with the next command, not alone: a lone "." after the text would
    // wait for the server's delayed acknowledgement.
    ScriptedSmtpServer server({SmtpScript().line("220 ready")});
    open(server);
    EXPECT_EQ(client.ReadReply({220}), 220);
    client.WriteText("message text\r\n");
    EXPECT_EQ(client.FillInput(false, 0), 0u);
    // Dropping discards what was gathered: the server sees nothing of it.
    client.DropConnection();
    ASSERT_TRUE(server.waitForSessions(1));
    EXPECT_EQ(server.received(0), "");
}

TEST_F(Connection, PeerThatDoesNotReadRunsIntoTheSendLimit) {
    ScriptedSmtpServer server({SmtpScript().ignore()});
    IdTimeouts limits;
    limits.sendStallMs = 200;
    client.SetTimeouts(limits);
    open(server);
    std::string block(1 << 20, 'x');
    expectThrowText<EIdSocketError>(
        [&] {
            for (int i = 0; i < 64; ++i)
                client.WriteText(block);
            client.FlushOutput();
        },
        _, [&](const EIdSocketError& error) { EXPECT_EQ(error.ErrorNumber(), 10060); });
    EXPECT_FALSE(client.IsOpen());
}

TEST_F(Connection, ResetByPeerIsASocketErrorNotACrash) {
    ScriptedSmtpServer server({SmtpScript().line("220 hi").awaitLine().reset()});
    open(server);
    EXPECT_EQ(client.ReadReply({220}), 220);
    expectThrowText<EIdSocketError>(
        [&] { client.SendCommand("noop", 250); },
        "Socket-Fehler # 10054\r\nDie Verbindung wurde von Peer zurückgesetzt.",
        [&](const EIdSocketError& error) { EXPECT_EQ(error.ErrorNumber(), 10054); });
    // A reset connection is dead and closed at once, so a later "Quit"
    // cannot replace the reset with a second error.
    EXPECT_FALSE(client.IsOpen());
    EXPECT_THROW(client.WriteLine("Quit"), EIdConnClosedGracefully);
    EXPECT_NO_THROW(client.Close());
}

TEST_F(Connection, WritingIntoAClosedPeerIsASocketErrorAndNeverSigpipe) {
    ScriptedSmtpServer server({SmtpScript().line("220 hi").close()});
    open(server);
    EXPECT_EQ(client.ReadReply({220}), 220);
    ASSERT_TRUE(server.waitForSessions(1));
    // The first send still goes out; the peer answers it with a reset, and
    // a later send fails (EPIPE, which would raise SIGPIPE without
    // MSG_NOSIGNAL and end this test program).
    int number = 0;
    for (int i = 0; i < 1000 && number == 0; ++i) {
        try {
            client.WriteLine("noop");
            client.FlushOutput();
        } catch (const EIdSocketError& error) {
            number = error.ErrorNumber();
        }
    }
    EXPECT_TRUE(number == 10058 || number == 10054) << number;
    EXPECT_FALSE(client.IsOpen());
}

TEST_F(Connection, UnansweredConnectRunsIntoTheConnectLimit) {
    // A listener whose accept queue is full drops further connection
    // requests unanswered, like a host behind a silent firewall.
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::vector<int> fillers;
    for (int i = 0; i < 2; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers.push_back(fd);
    }
    IdTimeouts limits;
    limits.connectMs = 200;
    client.SetTimeouts(limits);
    client.SetHost("127.0.0.1");
    client.SetPort(ntohs(address.sin_port));
    try {
        client.Open();
        ADD_FAILURE() << "connected to a full queue";
    } catch (const EIdSocketError& error) {
        EXPECT_EQ(error.ErrorNumber(), 10060);
        EXPECT_STREQ(error.what(), "Socket-Fehler # 10060\r\nZeitüberschreitung bei Verbindung.");
    }
    EXPECT_FALSE(client.IsOpen());
    for (int fd : fillers)
        ::close(fd);
    ::close(listener);
}

TEST(Timeouts, SettingReplacesConnectAndReplyLimitsWithinRange) {
    IdTimeouts defaults;
    EXPECT_EQ(defaults.connectMs, 30000);
    EXPECT_EQ(defaults.replyMs, 60000);
    EXPECT_EQ(defaults.dataReplyMs, 120000);
    EXPECT_EQ(defaults.endOfDataReplyMs, 600000);
    EXPECT_EQ(defaults.sendStallMs, 180000);
    for (int seconds : {0, -5, 3601}) {
        SCOPED_TRACE(seconds);
        IdTimeouts t = IdTimeouts::FromSetting(seconds);
        EXPECT_EQ(t.connectMs, 30000);
        EXPECT_EQ(t.replyMs, 60000);
    }
    IdTimeouts one = IdTimeouts::FromSetting(1);
    EXPECT_EQ(one.connectMs, 1000);
    EXPECT_EQ(one.replyMs, 1000);
    // Giving up on the final "." early would make a mass mailing send
    // duplicates, so a short setting never shortens it.
    EXPECT_EQ(one.dataReplyMs, 120000);
    EXPECT_EQ(one.endOfDataReplyMs, 600000);
    // The setting also bounds the time without progress while sending.
    EXPECT_EQ(one.sendStallMs, 1000);
    IdTimeouts hour = IdTimeouts::FromSetting(3600);
    EXPECT_EQ(hour.connectMs, 3600000);
    EXPECT_EQ(hour.replyMs, 3600000);
    EXPECT_EQ(hour.dataReplyMs, 3600000);
    EXPECT_EQ(hour.endOfDataReplyMs, 3600000);
    EXPECT_EQ(hour.sendStallMs, 3600000);
}

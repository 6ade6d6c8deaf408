#pragma once
// An in-process SMTP server for tests: a thread on 127.0.0.1 at a port the
// system picks, playing one script per connection and recording every byte
// the client sends. Every wait is bounded and the server stops by itself.
//
// A script is a list of steps run in order on one connection:
//
//   SmtpScript()
//       .line("220 test ESMTP")                 // send text + CR LF
//       .answer("250-test\n250 AUTH LOGIN")     // await a client line, then
//                                               // send these lines (split at
//                                               // "\n", each + CR LF)
//       .answer("250 ok")
//       .close();                               // close the connection
//
// `send` writes raw bytes (LF-only line ends, blank lines, half a reply),
// `awaitLine`/`awaitData` wait for a client line / the data block ending in
// "." alone on a line, `pause` drips (waits a while before the next step),
// `stall` says nothing more until the client gives up, `ignore` neither
// reads nor answers until the client gives up (its sending runs full),
// `reset` aborts the connection (RST), `act` runs a function on the server's
// thread at that point of the dialogue (to change a file between two
// replies, say), and `serve` answers the rest of the
// session like an ordinary server (SmtpBehaviour: EHLO with AUTH LOGIN,
// checked login, refusing the n-th RCPT of the server's life, ...).
// SmtpScript::standard() is a whole well-behaved session.
//
//   ScriptedSmtpServer server({SmtpScript::standard()});
//   ... client.SetPort(server.port()); deliver ...
//   server.waitForSessions(1);
//   EXPECT_EQ(server.received(0), "ehlo host\r\n...");
//
// After its script the server keeps reading (and recording) until the
// client closes, so the "Quit" and the close are in the record.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sendrix::test {

// How `serve` answers. Replies are single lines unless noted.
struct SmtpBehaviour {
    std::string greeting = "220 scripted.test ESMTP ready";
    // The lines of the reply to EHLO; HELO gets "250 scripted.test".
    std::vector<std::string> ehloReply = {"250-scripted.test", "250 AUTH LOGIN PLAIN"};
    // When not empty, AUTH LOGIN accepts only these (235, else 535).
    std::string user;
    std::string password;
    // The n-th RCPT (counted over all sessions, 1-based) is refused; 0: none.
    int refuseRcptNumber = 0;
    std::string refuseRcptReply = "550 5.1.1 <refused>: Recipient address rejected";
    // How many RCPT from refuseRcptNumber on are refused.
    int refuseRcptCount = 1;
    // The reply to each message's final "." is held back until the test
    // lets it go (ScriptedSmtpServer::release): a slow server without
    // sleeping. A hold nobody releases ends after Options::stepTimeout.
    bool holdFinalReply = false;
};

class SmtpScript {
public:
    struct Step {
        enum Kind { Send, AwaitLine, AwaitData, Pause, Close, Reset, Stall, Ignore, Serve, Act } kind;
        std::string text;
        int ms = 0;
        std::function<void()> action{};
    };

    SmtpScript& send(std::string bytes);
    SmtpScript& line(const std::string& text);
    SmtpScript& awaitLine();
    SmtpScript& awaitData();
    // awaitLine, then the lines of `lines` (split at "\n"), each + CR LF.
    SmtpScript& answer(const std::string& lines);
    SmtpScript& pause(int ms);
    SmtpScript& close();
    SmtpScript& reset();
    SmtpScript& stall();
    SmtpScript& ignore();
    SmtpScript& act(std::function<void()> action);
    // Answers the rest of the session as an ordinary server. Without a
    // preceding greeting step it sends behaviour.greeting first.
    SmtpScript& serve(const SmtpBehaviour& behaviour = {});

    // Greeting plus serve(): a whole well-behaved session.
    static SmtpScript standard(const SmtpBehaviour& behaviour = {});

    const std::vector<Step>& steps() const { return m_steps; }
    const SmtpBehaviour& behaviour() const { return m_behaviour; }

private:
    std::vector<Step> m_steps;
    SmtpBehaviour m_behaviour;
};

class ScriptedSmtpServer {
public:
    struct Options {
        // Longest wait of one step for the client (awaitLine, awaitData,
        // reading after the script); a stall or ignore waits this long at
        // most.
        std::chrono::milliseconds stepTimeout{5000};
        // The server stops by itself after this time.
        std::chrono::milliseconds lifetime{30000};
        // Connections beyond the scripts get the last script again
        // (otherwise they are closed at once).
        bool repeatLastScript = false;
        // When not 0: after this many sessions the server stops listening,
        // so a further connection is refused.
        std::size_t sessionLimit = 0;
    };

    explicit ScriptedSmtpServer(std::vector<SmtpScript> scripts);
    ScriptedSmtpServer(std::vector<SmtpScript> scripts, Options options);
    ~ScriptedSmtpServer();
    ScriptedSmtpServer(const ScriptedSmtpServer&) = delete;
    ScriptedSmtpServer& operator=(const ScriptedSmtpServer&) = delete;

    int port() const { return m_port; }

    // Waits until `count` sessions have ended (script done and the client
    // closed, or the server closed); false when `limit` passed first.
    bool waitForSessions(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5));

    size_t sessionCount() const;
    // Waits until the server has stopped listening (Options::sessionLimit).
    bool waitForListenerClosed(std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Every byte the client sent in that session ("" for an unknown one).
    std::string received(size_t session = 0) const;
    // True when the client closed its side of that session.
    bool clientClosed(size_t session = 0) const;
    // The message texts taken by `serve` after "Data", as received (dots
    // still doubled), without the final ".\r\n"; over all sessions.
    std::vector<std::string> messages() const;
    // Steps that ran out of time or lost the client, for failure messages.
    std::vector<std::string> problems() const;

    // Held replies (SmtpBehaviour::holdFinalReply): how many the server has
    // reached so far, released or not.
    std::size_t holdsReached() const;
    // Lets the next held reply go; a release given ahead of its hold lets
    // that hold pass at once.
    void release();

private:
    struct Session {
        std::string received;
        bool clientClosed = false;
        bool ended = false;
    };
    class Runner;
    friend class Runner;

    void run();
    void note(const std::string& problem);

    std::vector<SmtpScript> m_scripts;
    Options m_options;
    int m_listenFd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::chrono::steady_clock::time_point m_endOfLife;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Session> m_sessions;
    std::vector<std::string> m_messages;
    std::vector<std::string> m_problems;
    int m_rcptCount = 0;
    std::size_t m_holdsReached = 0;
    std::size_t m_releases = 0;
    bool m_listenerClosed = false;
    std::thread m_thread;
};

}  // namespace sendrix::test

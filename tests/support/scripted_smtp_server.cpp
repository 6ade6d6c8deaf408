#include "support/scripted_smtp_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace sendrix::test {

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr int kSliceMs = 20;  // how often a wait looks at the stop flag

std::string upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return text;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string base64Encode(const std::string& bytes) {
    static const char* table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        unsigned v =
            (unsigned char)bytes[i] << 16 | (unsigned char)bytes[i + 1] << 8 | (unsigned char)bytes[i + 2];
        out += table[v >> 18];
        out += table[(v >> 12) & 63];
        out += table[(v >> 6) & 63];
        out += table[v & 63];
    }
    if (i + 1 == bytes.size()) {
        unsigned v = (unsigned char)bytes[i] << 16;
        out += table[v >> 18];
        out += table[(v >> 12) & 63];
        out += "==";
    } else if (i + 2 == bytes.size()) {
        unsigned v = (unsigned char)bytes[i] << 16 | (unsigned char)bytes[i + 1] << 8;
        out += table[v >> 18];
        out += table[(v >> 12) & 63];
        out += table[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

}  // namespace

// ---- SmtpScript ----

SmtpScript& SmtpScript::send(std::string bytes) {
    m_steps.push_back({Step::Send, std::move(bytes)});
    return *this;
}

SmtpScript& SmtpScript::line(const std::string& text) {
    return send(text + "\r\n");
}

SmtpScript& SmtpScript::awaitLine() {
    m_steps.push_back({Step::AwaitLine, {}});
    return *this;
}

SmtpScript& SmtpScript::awaitData() {
    m_steps.push_back({Step::AwaitData, {}});
    return *this;
}

SmtpScript& SmtpScript::answer(const std::string& lines) {
    awaitLine();
    std::string bytes;
    size_t start = 0;
    for (;;) {
        size_t end = lines.find('\n', start);
        bytes += lines.substr(start, end == std::string::npos ? std::string::npos : end - start);
        bytes += "\r\n";
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return send(bytes);
}

SmtpScript& SmtpScript::pause(int ms) {
    m_steps.push_back({Step::Pause, {}, ms});
    return *this;
}

SmtpScript& SmtpScript::close() {
    m_steps.push_back({Step::Close, {}});
    return *this;
}

SmtpScript& SmtpScript::reset() {
    m_steps.push_back({Step::Reset, {}});
    return *this;
}

SmtpScript& SmtpScript::stall() {
    m_steps.push_back({Step::Stall, {}});
    return *this;
}

SmtpScript& SmtpScript::ignore() {
    m_steps.push_back({Step::Ignore, {}});
    return *this;
}

SmtpScript& SmtpScript::act(std::function<void()> action) {
    m_steps.push_back({Step::Act, {}, 0, std::move(action)});
    return *this;
}

SmtpScript& SmtpScript::serve(const SmtpBehaviour& behaviour) {
    m_behaviour = behaviour;
    if (m_steps.empty())
        line(behaviour.greeting);
    m_steps.push_back({Step::Serve, {}});
    return *this;
}

SmtpScript SmtpScript::standard(const SmtpBehaviour& behaviour) {
    SmtpScript script;
    script.serve(behaviour);
    return script;
}

// ---- one session ----

class ScriptedSmtpServer::Runner {
public:
    Runner(ScriptedSmtpServer& server, int fd, size_t index, const SmtpScript& script)
        : m_server(server), m_fd(fd), m_index(index), m_script(script) {}

    void run() {
        bool open = true;
        for (const auto& step : m_script.steps()) {
            open = runStep(step);
            if (!open)
                break;
        }
        if (open && m_fd != -1)
            drainUntilClientCloses(m_server.m_options.stepTimeout);
        if (m_fd != -1)
            ::close(m_fd);
        std::lock_guard lock(m_server.m_mutex);
        m_server.m_sessions[m_index].ended = true;
        m_server.m_changed.notify_all();
    }

private:
    // False when the session is over (closed by either side or timed out).
    bool runStep(const SmtpScript::Step& step) {
        switch (step.kind) {
            case SmtpScript::Step::Send: return sendBytes(step.text);
            case SmtpScript::Step::AwaitLine: {
                std::string ignored;
                return takeLine(ignored, "awaitLine");
            }
            case SmtpScript::Step::AwaitData: {
                std::string ignored;
                return takeData(ignored);
            }
            case SmtpScript::Step::Pause: waitForHangUp(std::chrono::milliseconds(step.ms)); return true;
            case SmtpScript::Step::Act: step.action(); return true;
            case SmtpScript::Step::Close:
                ::shutdown(m_fd, SHUT_RDWR);
                ::close(m_fd);
                m_fd = -1;
                return false;
            case SmtpScript::Step::Reset: {
                linger hard{1, 0};
                setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
                ::close(m_fd);
                m_fd = -1;
                return false;
            }
            case SmtpScript::Step::Stall:
                drainUntilClientCloses(m_server.m_options.stepTimeout);
                return false;
            case SmtpScript::Step::Ignore: waitForHangUp(m_server.m_options.stepTimeout); return false;
            case SmtpScript::Step::Serve: serve(m_script.behaviour()); return false;
        }
        return false;
    }

    void serve(const SmtpBehaviour& b) {
        std::string line;
        while (takeLine(line, "serve")) {
            std::string command = upper(line);
            bool ok = true;
            if (startsWith(command, "EHLO")) {
                std::string reply;
                for (const auto& l : b.ehloReply)
                    reply += l + "\r\n";
                ok = sendBytes(reply);
            } else if (startsWith(command, "HELO")) {
                ok = sendBytes("250 scripted.test\r\n");
            } else if (startsWith(command, "AUTH LOGIN")) {
                std::string user, password;
                ok = sendBytes("334 VXNlcm5hbWU6\r\n") && takeLine(user, "auth user") &&
                     sendBytes("334 UGFzc3dvcmQ6\r\n") && takeLine(password, "auth password");
                if (ok) {
                    bool accepted = b.user.empty() ||
                                    (user == base64Encode(b.user) && password == base64Encode(b.password));
                    ok = sendBytes(accepted ? "235 2.7.0 Authentication successful\r\n"
                                            : "535 5.7.8 Authentication credentials invalid\r\n");
                }
            } else if (startsWith(command, "MAIL FROM:") || startsWith(command, "RSET")) {
                ok = sendBytes("250 2.0.0 Ok\r\n");
            } else if (startsWith(command, "RCPT TO:")) {
                int number;
                {
                    std::lock_guard lock(m_server.m_mutex);
                    number = ++m_server.m_rcptCount;
                }
                const bool refused = b.refuseRcptNumber > 0 && number >= b.refuseRcptNumber &&
                                     number < b.refuseRcptNumber + b.refuseRcptCount;
                ok = sendBytes(refused ? b.refuseRcptReply + "\r\n" : std::string("250 2.1.5 Ok\r\n"));
            } else if (command == "DATA") {
                std::string message;
                ok = sendBytes("354 End data with <CR><LF>.<CR><LF>\r\n") && takeData(message);
                if (ok) {
                    {
                        std::lock_guard lock(m_server.m_mutex);
                        m_server.m_messages.push_back(message);
                    }
                    if (b.holdFinalReply)
                        holdUntilReleased();
                    ok = sendBytes("250 2.0.0 Ok: queued\r\n");
                }
            } else if (command == "QUIT") {
                sendBytes("221 2.0.0 Bye\r\n");
                drainUntilClientCloses(m_server.m_options.stepTimeout);
                return;
            } else {
                ok = sendBytes("500 5.5.2 Error: command not recognized\r\n");
            }
            if (!ok)
                return;
        }
    }

    bool sendBytes(const std::string& bytes) {
        size_t sent = 0;
        while (sent < bytes.size()) {
            ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                m_server.note("send failed: the client is gone");
                return false;
            }
            sent += size_t(n);
        }
        return true;
    }

    // Receives more bytes into the inbox and the record; false on EOF, error,
    // stop or when `deadline` passes.
    bool receiveMore(SteadyClock::time_point deadline) {
        while (!m_server.m_stop && SteadyClock::now() < deadline &&
               SteadyClock::now() < m_server.m_endOfLife) {
            pollfd entry{m_fd, POLLIN, 0};
            int rc = poll(&entry, 1, kSliceMs);
            if (rc < 0 && errno != EINTR)
                return false;
            if (rc <= 0)
                continue;
            char buffer[16384];
            ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR)
                continue;
            std::lock_guard lock(m_server.m_mutex);
            if (n <= 0) {
                m_server.m_sessions[m_index].clientClosed = true;
                m_server.m_changed.notify_all();
                return false;
            }
            m_inbox.append(buffer, size_t(n));
            m_server.m_sessions[m_index].received.append(buffer, size_t(n));
            return true;
        }
        return false;
    }

    bool takeUntil(const std::string& mark, std::string& out, const char* what) {
        auto deadline = SteadyClock::now() + m_server.m_options.stepTimeout;
        for (;;) {
            size_t at = m_inbox.find(mark);
            if (at != std::string::npos) {
                out = m_inbox.substr(0, at);
                m_inbox.erase(0, at + mark.size());
                return true;
            }
            if (!receiveMore(deadline)) {
                if (!clientHasClosed())
                    m_server.note(std::string(what) + ": nothing from the client in time");
                return false;
            }
        }
    }

    bool takeLine(std::string& line, const char* what) {
        if (!takeUntil("\n", line, what))
            return false;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return true;
    }

    // The data block up to a line holding only "."; `message` without it.
    bool takeData(std::string& message) {
        if (startsWith(m_inbox, ".\r\n")) {
            message.clear();
            m_inbox.erase(0, 3);
            return true;
        }
        if (!takeUntil("\r\n.\r\n", message, "awaitData"))
            return false;
        message += "\r\n";
        return true;
    }

    // Waits without reading until the client closes its side, the time is
    // up or the server stops; nothing is taken from the socket.
    void waitForHangUp(std::chrono::milliseconds limit) {
        auto deadline = SteadyClock::now() + limit;
        while (!m_server.m_stop && SteadyClock::now() < deadline &&
               SteadyClock::now() < m_server.m_endOfLife) {
            pollfd entry{m_fd, POLLRDHUP, 0};
            int rc = poll(&entry, 1, kSliceMs);
            if (rc < 0 && errno != EINTR)
                return;
            if (rc > 0 && (entry.revents & (POLLRDHUP | POLLHUP | POLLERR)))
                return;
        }
    }

    void drainUntilClientCloses(std::chrono::milliseconds limit) {
        auto deadline = SteadyClock::now() + limit;
        while (receiveMore(deadline)) {}
    }

    // Counts this hold and waits for its release (or the step's time).
    void holdUntilReleased() {
        std::unique_lock lock(m_server.m_mutex);
        const std::size_t number = ++m_server.m_holdsReached;
        m_server.m_changed.notify_all();
        if (!m_server.m_changed.wait_for(lock, m_server.m_options.stepTimeout,
                                         [&] { return m_server.m_releases >= number || m_server.m_stop; }))
            m_server.m_problems.push_back("hold " + std::to_string(number) + ": never released");
    }

    bool clientHasClosed() {
        std::lock_guard lock(m_server.m_mutex);
        return m_server.m_sessions[m_index].clientClosed;
    }

    ScriptedSmtpServer& m_server;
    int m_fd;
    size_t m_index;
    SmtpScript m_script;
    std::string m_inbox;
};

// ---- the server ----

ScriptedSmtpServer::ScriptedSmtpServer(std::vector<SmtpScript> scripts)
    : ScriptedSmtpServer(std::move(scripts), Options()) {}

ScriptedSmtpServer::ScriptedSmtpServer(std::vector<SmtpScript> scripts, Options options)
    : m_scripts(std::move(scripts)), m_options(options) {
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0)
        throw std::runtime_error("scripted SMTP server: no socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listenFd, 16) != 0 ||
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(m_listenFd);
        throw std::runtime_error("scripted SMTP server: cannot listen on 127.0.0.1");
    }
    m_port = ntohs(address.sin_port);
    m_endOfLife = SteadyClock::now() + m_options.lifetime;
    m_thread = std::thread([this] { run(); });
}

ScriptedSmtpServer::~ScriptedSmtpServer() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_changed.notify_all();
    }
    m_thread.join();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
}

void ScriptedSmtpServer::run() {
    size_t next = 0;
    while (!m_stop && SteadyClock::now() < m_endOfLife) {
        pollfd entry{m_listenFd, POLLIN, 0};
        if (poll(&entry, 1, kSliceMs) <= 0)
            continue;
        int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        size_t index;
        {
            std::lock_guard lock(m_mutex);
            index = m_sessions.size();
            m_sessions.emplace_back();
        }
        const SmtpScript* script = nullptr;
        if (next < m_scripts.size())
            script = &m_scripts[next++];
        else if (m_options.repeatLastScript && !m_scripts.empty())
            script = &m_scripts.back();
        if (script) {
            Runner(*this, fd, index, *script).run();
            if (m_options.sessionLimit != 0 && index + 1 >= m_options.sessionLimit) {
                ::close(m_listenFd);
                std::lock_guard lock(m_mutex);
                m_listenFd = -1;
                m_listenerClosed = true;
                m_changed.notify_all();
                return;
            }
        } else {
            note("connection beyond the scripts closed");
            ::close(fd);
            std::lock_guard lock(m_mutex);
            m_sessions[index].ended = true;
            m_changed.notify_all();
        }
    }
}

void ScriptedSmtpServer::note(const std::string& problem) {
    std::lock_guard lock(m_mutex);
    m_problems.push_back(problem);
}

bool ScriptedSmtpServer::waitForListenerClosed(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [this] { return m_listenerClosed; });
}

bool ScriptedSmtpServer::waitForSessions(size_t count, std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] {
        size_t ended = 0;
        for (const auto& s : m_sessions)
            ended += s.ended ? 1 : 0;
        return ended >= count;
    });
}

size_t ScriptedSmtpServer::sessionCount() const {
    std::lock_guard lock(m_mutex);
    return m_sessions.size();
}

std::string ScriptedSmtpServer::received(size_t session) const {
    std::lock_guard lock(m_mutex);
    return session < m_sessions.size() ? m_sessions[session].received : std::string();
}

bool ScriptedSmtpServer::clientClosed(size_t session) const {
    std::lock_guard lock(m_mutex);
    return session < m_sessions.size() && m_sessions[session].clientClosed;
}

std::vector<std::string> ScriptedSmtpServer::messages() const {
    std::lock_guard lock(m_mutex);
    return m_messages;
}

std::size_t ScriptedSmtpServer::holdsReached() const {
    std::lock_guard lock(m_mutex);
    return m_holdsReached;
}

void ScriptedSmtpServer::release() {
    std::lock_guard lock(m_mutex);
    ++m_releases;
    m_changed.notify_all();
}

std::vector<std::string> ScriptedSmtpServer::problems() const {
    std::lock_guard lock(m_mutex);
    return m_problems;
}

}  // namespace sendrix::test

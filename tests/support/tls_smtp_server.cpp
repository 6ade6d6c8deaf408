#include "support/tls_smtp_server.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace sendrix::test {

namespace {

// Reads up to the first line end from `fd` within `limit`; "" on timeout.
std::string readLine(int fd, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::string line;
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return {};
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return {};
        line.append(buffer, static_cast<std::size_t>(n));
    }
    return line.substr(0, line.find('\n'));
}

}  // namespace

TlsSmtpServer::TlsSmtpServer(const std::string& user, const std::string& password) {
    const char* source = std::getenv("SENDRIX_SOURCE_DIR");
    const std::string script = std::string(source ? source : ".") + "/tests/support/tls_smtp_server.py";
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0)
        throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    for (int fd : {in[0], in[1], out[0], out[1]})
        posix_spawn_file_actions_addclose(&actions, fd);
    const std::string folder = m_folder.folder();
    std::string python = "/usr/bin/python3";
    const char* argv[] = {python.c_str(), script.c_str(),   folder.c_str(),
                          user.c_str(),   password.c_str(), nullptr};
    const int failed =
        ::posix_spawn(&m_pid, argv[0], &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    m_input = in[1];
    const std::string line = failed ? std::string() : readLine(out[0], std::chrono::seconds(60));
    ::close(out[0]);
    std::istringstream fields(line);
    fields >> m_port >> m_ca;
    if (failed || m_port <= 0 || m_ca.empty()) {
        if (failed)
            m_pid = -1;
        stop();
        throw std::runtime_error("the TLS SMTP server did not start: " + script);
    }
}

TlsSmtpServer::~TlsSmtpServer() {
    stop();
}

void TlsSmtpServer::stop() {
    if (m_input >= 0)
        ::close(m_input);
    m_input = -1;
    if (m_pid <= 0)
        return;
    // It ends when its input closes; a server that hangs is killed after
    // 10 s (the process descriptor becomes readable when it has ended).
    const int process = static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0));
    pollfd p{process, POLLIN, 0};
    if (process < 0 || ::poll(&p, 1, 10'000) <= 0)
        ::kill(m_pid, SIGKILL);
    if (process >= 0)
        ::close(process);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

void TlsSmtpServer::trustCa() const {
    ::setenv("SSL_CERT_FILE", m_ca.c_str(), 1);
}

}  // namespace sendrix::test

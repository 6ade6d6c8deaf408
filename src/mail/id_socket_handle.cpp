#include "mail/id_socket_handle.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

#include "mail/id_stack.h"

namespace sendrix::mail {

namespace {

// poll() for one event, restarting after signals with the time that is left.
int waitFor(int handle, short events, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        int wait = -1;
        if (timeoutMs >= 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            wait = left.count() < 0 ? 0 : int(left.count());
        }
        pollfd entry{handle, events, 0};
        int rc = poll(&entry, 1, wait);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc <= 0)
            return rc;
        // An error or hang-up counts as ready: the next call reports it.
        return 1;
    }
}

}  // namespace

TIdSocketHandle::~TIdSocketHandle() {
    if (m_handle != -1)
        ::close(m_handle);
}

TIdSocketHandle& TIdSocketHandle::operator=(TIdSocketHandle&& other) noexcept {
    if (this == &other)
        return *this;
    Reset(true);
    m_handle = std::exchange(other.m_handle, -1);
    m_localIP = std::move(other.m_localIP);
    m_port = other.m_port;
    m_remoteIP = std::move(other.m_remoteIP);
    m_remotePort = other.m_remotePort;
    other.Reset(true);
    return *this;
}

void TIdSocketHandle::SetRemote(const std::string& ip, int port) {
    m_remoteIP = ip;
    m_remotePort = port;
}

void TIdSocketHandle::Reset(bool includeLocal) {
    // A descriptor forgotten while open would stay with the process until
    // it ends.
    if (m_handle != -1)
        ::close(m_handle);
    m_handle = -1;
    m_remoteIP.clear();
    m_remotePort = 0;
    if (includeLocal) {
        m_localIP.clear();
        m_port = 0;
    }
}

bool TIdSocketHandle::Allocate() {
    // Non-blocking for its whole life: every wait is a poll() with a time
    // limit, and sends never block on a full buffer.
    m_handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    return m_handle != -1;
}

int TIdSocketHandle::Bind(const std::string& ip) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0;
    if (ip.empty()) {
        address.sin_addr.s_addr = htonl(INADDR_ANY);
    } else if (TIdStack::IsDottedQuad(ip)) {
        address.sin_addr.s_addr = dottedQuadToAddress(ip);
    } else {
        errno = EADDRNOTAVAIL;
        return -1;
    }
    return ::bind(m_handle, reinterpret_cast<sockaddr*>(&address), sizeof address);
}

int TIdSocketHandle::Connect(int timeoutMs) {
    int rc = StartConnect();
    if (rc != 0 && errno == EINPROGRESS)
        rc = FinishConnect(timeoutMs);
    return rc;
}

int TIdSocketHandle::StartConnect() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(m_remotePort));
    address.sin_addr.s_addr = dottedQuadToAddress(m_remoteIP);
    return ::connect(m_handle, reinterpret_cast<sockaddr*>(&address), sizeof address);
}

int TIdSocketHandle::FinishConnect(int timeoutMs) {
    // The socket does not block: wait for the outcome with a limit.
    int ready = waitFor(m_handle, POLLOUT, timeoutMs);
    if (ready == 0) {
        errno = ETIMEDOUT;
        return -1;
    }
    if (ready < 0)
        return -1;
    int error = 0;
    socklen_t length = sizeof error;
    getsockopt(m_handle, SOL_SOCKET, SO_ERROR, &error, &length);
    errno = error;
    return error == 0 ? 0 : -1;
}

void TIdSocketHandle::SetNoDelay() {
    int on = 1;
    setsockopt(m_handle, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

void TIdSocketHandle::UpdateBinding() {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getsockname(m_handle, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    m_localIP = addressToDottedQuad(address.sin_addr.s_addr);
    m_port = ntohs(address.sin_port);
}

int TIdSocketHandle::WaitReadable(int timeoutMs) const {
    return waitFor(m_handle, POLLIN, timeoutMs);
}

int TIdSocketHandle::WaitWritable(int timeoutMs) const {
    return waitFor(m_handle, POLLOUT, timeoutMs);
}

ssize_t TIdSocketHandle::Receive(char* buffer, size_t size) const {
    ssize_t n;
    do {
        n = ::recv(m_handle, buffer, size, 0);
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t TIdSocketHandle::Send(const char* data, size_t size) const {
    ssize_t n;
    do {
        n = ::send(m_handle, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    return n;
}

void TIdSocketHandle::ShutdownAndClose() {
    if (m_handle == -1)
        return;
    ::shutdown(m_handle, SHUT_WR);
    ::close(m_handle);
    m_handle = -1;
}

}  // namespace sendrix::mail

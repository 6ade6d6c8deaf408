#pragma once
// The record of one socket and the few POSIX calls made on it. Non-blocking
// IPv4 TCP: every wait is a poll(), with a limit where one is given. Errors
// are left in errno for the caller, which maps them (socket_error_map.h) and
// raises.
#include <string>
#include <sys/types.h>

namespace sendrix::mail {

class TIdSocketHandle {
public:
    TIdSocketHandle() = default;
    ~TIdSocketHandle();
    TIdSocketHandle(const TIdSocketHandle&) = delete;
    TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;
    // Takes over the other's socket and addresses; the other is then closed.
    TIdSocketHandle& operator=(TIdSocketHandle&& other) noexcept;

    int SocketHandle() const { return m_handle; }
    bool SocketOpen() const { return m_handle != -1; }
    const std::string& LocalIP() const { return m_localIP; }
    int Port() const { return m_port; }
    const std::string& RemoteIP() const { return m_remoteIP; }
    int RemotePort() const { return m_remotePort; }
    void SetRemote(const std::string& ip, int port);

    // Closes an open socket and forgets it and the peer; with `includeLocal`
    // also the local address and port.
    void Reset(bool includeLocal);

    // Creates an IPv4 stream socket; false (errno set) on failure.
    bool Allocate();
    // Binds to `ip` (empty: any address) and port 0; -1 and errno on failure.
    int Bind(const std::string& ip);
    // Connects to RemoteIP():RemotePort(), waiting at most `timeoutMs`.
    // 0 on success; -1 with errno set (ETIMEDOUT when the time ran out).
    int Connect(int timeoutMs);
    // Connect in two halves, for a connection begun before it is needed:
    // StartConnect does not wait (0 connected; -1 with errno, EINPROGRESS
    // while under way), FinishConnect waits for one under way as Connect.
    int StartConnect();
    int FinishConnect(int timeoutMs);
    // Switches the Nagle algorithm off.
    void SetNoDelay();
    // Refreshes LocalIP/Port. The peer is the one connected to (SetRemote).
    void UpdateBinding();

    // Waits until the socket is readable / writable: 1 ready, 0 time ran
    // out, -1 error. A negative timeout waits without limit.
    int WaitReadable(int timeoutMs) const;
    int WaitWritable(int timeoutMs) const;
    // One recv / one non-blocking send without SIGPIPE (MSG_NOSIGNAL).
    ssize_t Receive(char* buffer, size_t size) const;
    ssize_t Send(const char* data, size_t size) const;

    // Shuts down sending and closes; results are not looked at. The socket
    // is then no longer open.
    void ShutdownAndClose();

private:
    int m_handle = -1;
    std::string m_localIP;
    int m_port = 0;
    std::string m_remoteIP;
    int m_remotePort = 0;
};

}  // namespace sendrix::mail

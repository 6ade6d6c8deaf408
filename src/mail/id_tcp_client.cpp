#include "mail/id_tcp_client.h"

#include <cerrno>

#include "mail/id_exception.h"
#include "mail/socket_error_map.h"

namespace sendrix::mail {

void TIdTCPClient::SetRememberLookups(bool on) {
    m_rememberLookups = on;
    m_lookedUpHost.clear();
    m_hostAddress.clear();
    m_ownName.reset();
    m_ownHostName.reset();
}

std::string TIdTCPClient::lookUpAddress(const std::string& host) const {
    return Stack().ResolveAddress(host);
}

std::string TIdTCPClient::lookUpOwnName() const {
    return Stack().FullyQualifiedHostName();
}

std::string TIdTCPClient::hostAddress() {
    if (m_rememberLookups && !m_hostAddress.empty() && m_lookedUpHost == m_host)
        return m_hostAddress;
    std::string address = lookUpAddress(m_host);
    if (m_rememberLookups) {
        m_lookedUpHost = m_host;
        m_hostAddress = address;
    }
    return address;
}

std::string TIdTCPClient::remembered(std::optional<std::string>& slot,
                                     const std::function<std::string()>& lookUp) {
    if (m_rememberLookups && slot)
        return *slot;
    std::string value = lookUp();
    if (m_rememberLookups)
        slot = value;
    return value;
}

std::string TIdTCPClient::ownFullyQualifiedName() {
    return remembered(m_ownName, [this] { return lookUpOwnName(); });
}

std::string TIdTCPClient::ownHostName() {
    return remembered(m_ownHostName, [this] { return Stack().LocalHostName(); });
}

void TIdTCPClient::ConnectAhead() {
    if (m_socket.SocketOpen() || m_ahead.SocketOpen() || !m_boundIP.empty())
        return;
    m_aheadFor = {m_host, m_port};
    try {
        m_ahead.SetRemote(hostAddress(), m_port);
    } catch (...) {
        return;  // Open looks up again and reports
    }
    if (!m_ahead.Allocate())
        return;
    if (!m_useNagle)
        m_ahead.SetNoDelay();
    m_aheadError = m_ahead.StartConnect() == 0 ? 0 : errno;
}

void TIdTCPClient::DropConnection() {
    m_ahead.Reset(true);
    TIdTCPConnection::DropConnection();
}

void TIdTCPClient::Open() {
    if (m_socket.SocketOpen())
        throw EIdAlreadyConnected("Verbindung besteht bereits.");
    ResetState();
    // Begun for this server, and still no local address to bind.
    const bool begun = m_ahead.SocketOpen() && m_aheadFor == std::pair(m_host, m_port) && m_boundIP.empty();
    if (begun)
        m_socket = std::move(m_ahead);
    m_ahead.Reset(true);  // one begun for another server goes unused
    if (!begun && !m_socket.Allocate())
        throw EIdInvalidSocket("Socket kann nicht zugewiesen werden.");
    try {
        if (begun) {
            // Connected at once, refused at once, or still under way.
            errno = m_aheadError;
            int rc = m_aheadError == 0 ? 0 : -1;
            if (m_aheadError == EINPROGRESS)
                rc = m_socket.FinishConnect(Timeouts().connectMs);
            if (rc != 0)
                TIdStack::RaiseSocketError(TIdStack::LastErrorNumber());
        } else {
            connectSocket();
        }
        m_socket.UpdateBinding();
    } catch (...) {
        // The socket never got connected: release it first, so that Close
        // of the object at hand (for SMTP it writes "Quit" when open) has
        // nothing to write into a half-made connection. Its own failure
        // must not hide why the connection could not be made.
        DropConnection();
        try {
            Close();
        } catch (...) {}
        throw;
    }
}

void TIdTCPClient::connectSocket() {
    // Without a local address, connect picks address and port itself; a
    // bind to port 0 first would search the ports a second time (a long
    // search once a mass mailing has left thousands of closed connections
    // waiting out their time).
    if (!m_boundIP.empty()) {
        if (m_socket.Bind(m_boundIP) != 0) {
            int number = TIdStack::LastErrorNumber();
            if (number == kWsaEAddrInUse)
                throw EIdCouldNotBindSocket(
                    "Socket konnte nicht gebunden werden. Adresse und Port werden bereits benutzt.");
            TIdStack::RaiseSocketError(number);
        }
        m_socket.UpdateBinding();
    }
    m_socket.SetRemote(hostAddress(), m_port);
    if (!m_useNagle)
        m_socket.SetNoDelay();
    if (m_socket.Connect(Timeouts().connectMs) != 0)
        TIdStack::RaiseSocketError(TIdStack::LastErrorNumber());
}

}  // namespace sendrix::mail

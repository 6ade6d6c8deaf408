#include "mail/id_tcp_client.h"

#include "mail/id_exception.h"
#include "mail/socket_error_map.h"

namespace sendrix::mail {

void TIdTCPClient::Open() {
    if (m_socket.SocketOpen())
        throw EIdAlreadyConnected("Verbindung besteht bereits.");
    ResetState();
    if (!m_socket.Allocate())
        throw EIdInvalidSocket("Socket kann nicht zugewiesen werden.");
    try {
        // Without a local address, connect picks address and port itself;
        // a bind to port 0 first would search the ports a second time (a
        // long search once a mass mailing has left thousands of closed
        // connections waiting out their time).
        if (!m_boundIP.empty()) {
            if (m_socket.Bind(m_boundIP) != 0) {
                int number = TIdStack::LastErrorNumber();
                if (number == kWsaEAddrInUse)
                    throw EIdCouldNotBindSocket(
                        "Socket konnte nicht gebunden werden. Adresse und Port werden bereits benutzt.");
                TIdStack::RaiseSocketError(number);
            }
            m_socket.UpdateBinding(false);
        }
        m_socket.SetRemote(Stack().ResolveAddress(m_host), m_port);
        if (!m_useNagle)
            m_socket.SetNoDelay();
        if (m_socket.Connect(Timeouts().connectMs) != 0)
            TIdStack::RaiseSocketError(TIdStack::LastErrorNumber());
        m_socket.UpdateBinding(true);
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

}  // namespace sendrix::mail

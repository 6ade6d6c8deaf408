#pragma once
// A TCP connection that opens itself to Host:Port.
#include <string>

#include "mail/id_tcp_connection.h"

namespace sendrix::mail {

class TIdTCPClient : public TIdTCPConnection {
public:
    TIdTCPClient() = default;

    const std::string& Host() const { return m_host; }
    void SetHost(const std::string& host) { m_host = host; }
    int Port() const { return m_port; }
    void SetPort(int port) { m_port = port; }
    // Local address to bind; empty leaves the choice to the connect.
    const std::string& BoundIP() const { return m_boundIP; }
    void SetBoundIP(const std::string& ip) { m_boundIP = ip; }
    // Off unless set: the connection gathers its writes itself and hands
    // them over before every wait for a reply, so Nagle's rule could only
    // hold back the short last piece of a message (after its full blocks)
    // until the peer's delayed acknowledgement, once per message.
    bool UseNagle() const { return m_useNagle; }
    void SetUseNagle(bool on) { m_useNagle = on; }

    // Connects to Host:Port within Timeouts().connectMs. Throws
    // EIdAlreadyConnected (leaving the connection alone) when a socket is
    // allocated, EIdInvalidSocket, EIdCouldNotBindSocket, or EIdSocketError
    // (10061 refused, 10060 no answer in time, a lookup number for an
    // unknown host); on failure Close has run and the socket is closed.
    virtual void Open();

private:
    std::string m_host;
    int m_port = 0;
    std::string m_boundIP;
    bool m_useNagle = false;
};

}  // namespace sendrix::mail

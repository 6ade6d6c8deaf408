#pragma once
// A TCP connection that opens itself to Host:Port.
#include <functional>
#include <optional>
#include <string>
#include <utility>

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

    // While on (a send run), the server's address and this host's name and
    // fully qualified name are looked up for the first connection only and
    // remembered for the next ones; switching it on or off forgets them.
    // Off by default: every Open looks up again.
    void SetRememberLookups(bool on);

    // Connects to Host:Port within Timeouts().connectMs. Throws
    // EIdAlreadyConnected (leaving the connection alone) when a socket is
    // allocated, EIdInvalidSocket, EIdCouldNotBindSocket, or EIdSocketError
    // (10061 refused, 10060 no answer in time, a lookup number for an
    // unknown host); on failure Close has run and the socket is closed.
    virtual void Open();

    // Begins the TCP connection of the next Open now, without waiting for
    // it: its handshake and the server's greeting then arrive while the
    // caller prepares what it will send (a list send, between messages).
    // Nothing is said over it before Open; DropConnection (and so Close)
    // drops it unused. Does nothing while a connection is open or begun, or
    // with a local address to bind; a failure is left to Open to report.
    void ConnectAhead();

    // Also drops a connection begun by ConnectAhead.
    void DropConnection() override;

protected:
    // This host's fully qualified name, or the remembered one.
    std::string ownFullyQualifiedName();
    // This host's name (TIdStack::LocalHostName), or the remembered one.
    std::string ownHostName();
    // The lookups themselves (TIdStack::ResolveAddress and
    // FullyQualifiedHostName).
    virtual std::string lookUpAddress(const std::string& host) const;
    virtual std::string lookUpOwnName() const;

private:
    // `slot`'s value while lookups are remembered and it holds one; else
    // `lookUp()`, kept in `slot` while they are remembered.
    std::string remembered(std::optional<std::string>& slot, const std::function<std::string()>& lookUp);
    // Open's own connect: bind when asked, look up, connect within the limit.
    void connectSocket();
    // The address of Host(), or the remembered one.
    std::string hostAddress();

    std::string m_host;
    int m_port = 0;
    std::string m_boundIP;
    bool m_useNagle = false;
    bool m_rememberLookups = false;
    std::string m_lookedUpHost;  // the Host() m_hostAddress belongs to
    std::string m_hostAddress;
    std::optional<std::string> m_ownName;
    std::optional<std::string> m_ownHostName;
    // The connection ConnectAhead began, and its connect's errno (0:
    // connected, EINPROGRESS: under way).
    TIdSocketHandle m_ahead;
    int m_aheadError = 0;
    std::pair<std::string, int> m_aheadFor;  // the Host() and Port() it was begun for
};

}  // namespace sendrix::mail

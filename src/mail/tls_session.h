#pragma once
// TLS under a TCP connection (OpenSSL 3): the client context with its trust
// settings and the sessions it may resume, and one TLS session over a
// connected non-blocking socket. The connection drives the handshake and
// every read and write with its own waits and deadlines; nothing here waits.
//
// Certificate policy: the chain is checked against the system trust store
// (OpenSSL's default paths, so SSL_CERT_FILE / SSL_CERT_DIR are honoured),
// the name against the host the user configured (a DNS name, or an IPv4
// address matched against the certificate's IP entries), and only TLS 1.2 or
// newer is spoken. A certificate whose SHA-256 fingerprint equals the pinned
// one is trusted in addition to what the trust store vouches for.
#include <map>
#include <memory>
#include <string>
#include <sys/types.h>

#include "mail/id_exception.h"

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;
typedef struct ssl_session_st SSL_SESSION;
typedef struct x509_st X509;

namespace sendrix::mail {

// How the connection to the SMTP server is encrypted ([Smtp] "Encryption").
enum class TlsMode { None = 0, StartTls = 1, Implicit = 2 };

// A TLS handshake or a TLS record failed; the message is complete (what
// failed, the server and what to check).
class EIdTlsError : public EIdException {
public:
    explicit EIdTlsError(const std::string& message) : EIdException(message) {}
};

// The server's certificate is not trusted. Fingerprint() is its SHA-256
// fingerprint as "AB:CD:...", which the user may decide to pin.
class EIdCertificateError : public EIdTlsError {
public:
    EIdCertificateError(const std::string& message, std::string fingerprint)
        : EIdTlsError(message), m_fingerprint(std::move(fingerprint)) {}
    const std::string& Fingerprint() const { return m_fingerprint; }

private:
    std::string m_fingerprint;
};

// "AB:CD:..." (32 pairs of upper-case hex digits) for a fingerprint written
// with or without colons, blanks or lower case; empty when `text` is not 64
// hex digits.
std::string normalizeFingerprint(const std::string& text);

// The SHA-256 fingerprint of `cert` as "AB:CD:...".
std::string certificateFingerprint(X509* cert);

// The error for a server certificate that OpenSSL's check refused with
// `result` (X509_V_ERR_...): the reason, then "Server `where` –" with the
// fingerprint and what to check. `host` is the configured name.
EIdCertificateError certificateRefusal(long result, X509* cert, const std::string& host,
                                       const std::string& where);

// The SSL_CTX of one client, kept across its connections so that a run can
// resume the TLS session of its previous connection to the same server.
class TlsClientContext {
public:
    // Throws EIdTlsError when OpenSSL cannot set up a context.
    TlsClientContext();
    ~TlsClientContext();
    TlsClientContext(const TlsClientContext&) = delete;
    TlsClientContext& operator=(const TlsClientContext&) = delete;

    SSL_CTX* Handle() const { return m_ctx; }
    // Keeps `session` (taking its reference) for connections to `peer`.
    void StoreSession(const std::string& peer, SSL_SESSION* session);
    // The session kept for `peer`, or null; still owned by the context.
    SSL_SESSION* SessionFor(const std::string& peer) const;
    void ForgetSessions();

private:
    SSL_CTX* m_ctx = nullptr;
    std::map<std::string, SSL_SESSION*> m_sessions;
};

// What a read, write or handshake step is waiting for.
enum class TlsWant { Nothing, Read, Write };

class TlsSession {
public:
    // Over the connected socket `fd` to `host` (the configured name; SNI and
    // the name check get its A-label when it is an internationalised name);
    // `where` is "host:port" for messages. Throws EIdTlsError for a name
    // that has no A-label.
    TlsSession(TlsClientContext& context, int fd, const std::string& host, const std::string& where);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // One step of the handshake: true when it is complete; false with `want`
    // set when the socket must become readable/writable first. Throws
    // EIdTlsError naming the reason (protocol version, no TLS on the port,
    // connection closed, ...).
    bool HandshakeStep(TlsWant& want);

    // After the handshake: throws EIdCertificateError unless the chain and
    // name check passed or the certificate's fingerprint is `pinned`
    // (normalized form). A trusted session may be resumed later.
    void CheckPeer(const std::string& pinned);

    bool Resumed() const;
    // Bytes that are buffered and can be read without waiting: decrypted
    // ones, or whole records read ahead (not the start of one whose rest is
    // still to come).
    bool HasPending() const;

    // > 0 bytes; 0 the peer closed; -1 nothing now (`want` set) or a socket
    // error (`want` Nothing, errno set). Throws EIdTlsError on a bad record.
    ssize_t Read(char* buffer, size_t size, TlsWant& want);
    // > 0 bytes taken; -1 as for Read. Throws EIdTlsError on a TLS failure.
    ssize_t Write(const char* data, size_t size, TlsWant& want);

    // Sends close_notify without waiting for the peer's; nothing after a
    // fatal error, when OpenSSL forbids it.
    void SendCloseNotify();

private:
    ssize_t finish(int result, TlsWant& want, const char* what);
    [[noreturn]] void raiseFailure(const std::string& what);
    friend class TlsClientContext;
    static int onNewSession(SSL* ssl, SSL_SESSION* session);

    TlsClientContext& m_context;
    SSL* m_ssl = nullptr;
    std::string m_host;
    std::string m_where;
    bool m_fatal = false;
    bool m_trusted = false;
    // The last read found only part of a record: wait for the socket.
    bool m_starved = false;
};

}  // namespace sendrix::mail

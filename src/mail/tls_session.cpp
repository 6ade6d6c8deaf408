#include "mail/tls_session.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include "mail/id_stack.h"
#include "mail/idn_address.h"
#include "platform/ascii.h"

namespace sendrix::mail {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// The place where the user changes what the hints talk about.
constexpr const char* kCheckEncryption =
    "Verschlüsselung und Port in den Optionen prüfen (STARTTLS meist 587, SSL/TLS meist 465)";

struct X509Deleter {
    void operator()(X509* cert) const { X509_free(cert); }
};

}  // namespace

std::string certificateFingerprint(X509* cert) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(cert, EVP_sha256(), digest, &length) != 1)
        return {};
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        if (i > 0)
            text += ':';
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}

namespace {

std::string dateOf(const ASN1_TIME* time) {
    std::tm parts{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1)
        return "?";
    char text[48];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d", parts.tm_mday, parts.tm_mon + 1, parts.tm_year + 1900);
    return text;
}

// The DNS and IP entries of the certificate, or its common name when it
// has none; for the name-mismatch message.
std::string namesOf(X509* cert) {
    std::string names;
    auto add = [&names](const std::string& name) {
        if (!names.empty())
            names += ", ";
        names += name;
    };
    auto* entries =
        static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(cert, NID_subject_alt_name, nullptr, nullptr));
    for (int i = 0; entries != nullptr && i < sk_GENERAL_NAME_num(entries); ++i) {
        const GENERAL_NAME* entry = sk_GENERAL_NAME_value(entries, i);
        if (entry->type == GEN_DNS) {
            const ASN1_IA5STRING* dns = entry->d.dNSName;
            add(std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(dns)),
                            size_t(ASN1_STRING_length(dns))));
        } else if (entry->type == GEN_IPADD && ASN1_STRING_length(entry->d.iPAddress) == 4) {
            const unsigned char* ip = ASN1_STRING_get0_data(entry->d.iPAddress);
            add(std::to_string(ip[0]) + "." + std::to_string(ip[1]) + "." + std::to_string(ip[2]) + "." +
                std::to_string(ip[3]));
        }
    }
    GENERAL_NAMES_free(entries);
    if (names.empty()) {
        char common[256] = {};
        if (X509_NAME_get_text_by_NID(X509_get_subject_name(cert), NID_commonName, common, sizeof common) > 0)
            names = common;
    }
    return names.empty() ? "keinen Namen" : names;
}

// The first line of a refused certificate: what is wrong with it.
std::string certificateReason(long result, X509* cert, const std::string& host) {
    switch (result) {
        case X509_V_ERR_CERT_HAS_EXPIRED:
            return "Das Zertifikat des Servers ist abgelaufen (gültig bis " +
                   dateOf(X509_get0_notAfter(cert)) + ").";
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return "Das Zertifikat des Servers ist noch nicht gültig (gültig ab " +
                   dateOf(X509_get0_notBefore(cert)) + ").";
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
            return "Das Zertifikat des Servers ist selbst signiert; kein bekannter Aussteller bestätigt es.";
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
            return "Das Zertifikat des Servers stammt von einem unbekannten Aussteller.";
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return "Das Zertifikat des Servers gilt nicht für \"" + host + "\", sondern für " +
                   namesOf(cert) + ".";
        default:
            return std::string("Das Zertifikat des Servers ist ungültig: ") +
                   X509_verify_cert_error_string(result) + ".";
    }
}

// Empties OpenSSL's error queue before a call whose failure is read from
// it; a look first, since the queue is nearly always empty and clearing it
// costs more than a record's read or write of a short reply.
void clearErrors() {
    if (ERR_peek_error() != 0)
        ERR_clear_error();
}

// The text of the first queued OpenSSL error, then the queue cleared.
unsigned long takeError(std::string& text) {
    unsigned long code = ERR_peek_error();
    const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
    text = reason != nullptr ? reason : "";
    ERR_clear_error();
    return code;
}

}  // namespace

EIdCertificateError certificateRefusal(long result, X509* cert, const std::string& host,
                                       const std::string& where) {
    const std::string fingerprint = certificateFingerprint(cert);
    return EIdCertificateError(certificateReason(result, cert, host) + "\r\nServer " + where +
                                   " – SHA-256-Fingerabdruck " + fingerprint +
                                   "; Servername und Uhrzeit prüfen oder dem Zertifikat in den "
                                   "Optionen vertrauen",
                               fingerprint);
}

std::string normalizeFingerprint(const std::string& text) {
    std::string digits;
    for (char c : text) {
        if (c == ':' || c == ' ' || c == '\t')
            continue;
        c = platform::asciiUpper(c);
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return {};
        digits += c;
    }
    if (digits.size() != 64)
        return {};
    std::string normalized;
    for (size_t i = 0; i < digits.size(); i += 2) {
        if (i > 0)
            normalized += ':';
        normalized.append(digits, i, 2);
    }
    return normalized;
}

TlsClientContext::TlsClientContext() {
    m_ctx = SSL_CTX_new(TLS_client_method());
    if (m_ctx == nullptr)
        throw EIdTlsError("TLS kann nicht eingerichtet werden (OpenSSL).");
    SSL_CTX_set_min_proto_version(m_ctx, TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(m_ctx);
    // The chain is still verified; its result is looked at after the
    // handshake, so that the error can name the reason and the fingerprint
    // and a pinned certificate can be accepted. Nothing is sent before.
    SSL_CTX_set_verify(m_ctx, SSL_VERIFY_NONE, nullptr);
    // Writes hand over what the socket takes and are retried from wherever
    // the gathered output has moved to.
    SSL_CTX_set_mode(m_ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // Each read takes what the socket holds, not a record's header and then
    // its body: two system calls fewer per reply, and pipelined replies
    // come in one read.
    SSL_CTX_set_read_ahead(m_ctx, 1);
    // Many servers close after QUIT without close_notify; SMTP's own framing
    // (reply lines, the final ".") tells a cut reply from a whole one.
    SSL_CTX_set_options(m_ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_session_cache_mode(m_ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(m_ctx, &TlsSession::onNewSession);
}

TlsClientContext::~TlsClientContext() {
    ForgetSessions();
    SSL_CTX_free(m_ctx);
}

void TlsClientContext::StoreSession(const std::string& peer, SSL_SESSION* session) {
    auto [it, inserted] = m_sessions.emplace(peer, session);
    if (!inserted) {
        SSL_SESSION_free(it->second);
        it->second = session;
    }
}

SSL_SESSION* TlsClientContext::SessionFor(const std::string& peer) const {
    auto it = m_sessions.find(peer);
    return it == m_sessions.end() ? nullptr : it->second;
}

void TlsClientContext::ForgetSessions() {
    for (auto& [peer, session] : m_sessions)
        SSL_SESSION_free(session);
    m_sessions.clear();
}

TlsSession::TlsSession(TlsClientContext& context, int fd, const std::string& host, const std::string& where)
    : m_context(context), m_host(host), m_where(where) {
    const bool address = TIdStack::IsDottedQuad(host);
    // The certificate and SNI hold a name outside ASCII as its A-label
    // (RFC 6066 3, RFC 6125 6.4.2); the messages keep the configured name.
    std::string reason;
    const std::string name = address ? host : AsciiDomain(host, &reason);
    if (name.empty())
        throw EIdTlsError("Der Servername \"" + host + "\" ist kein gültiger Domainname (" + reason +
                          ").\r\nServer " + where + " – Servernamen in den Optionen prüfen");
    m_ssl = SSL_new(context.Handle());
    if (m_ssl == nullptr || SSL_set_fd(m_ssl, fd) != 1) {
        SSL_free(m_ssl);
        throw EIdTlsError("TLS kann nicht eingerichtet werden (OpenSSL).");
    }
    SSL_set_app_data(m_ssl, this);
    SSL_set_hostflags(m_ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (address) {
        // RFC 6066 3: SNI carries host names only, never an address.
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_ssl), name.c_str());
    } else {
        SSL_set_tlsext_host_name(m_ssl, name.c_str());
        SSL_set1_host(m_ssl, name.c_str());
    }
    if (SSL_SESSION* session = context.SessionFor(where))
        SSL_set_session(m_ssl, session);
}

TlsSession::~TlsSession() {
    SSL_free(m_ssl);
}

int TlsSession::onNewSession(SSL* ssl, SSL_SESSION* session) {
    // TLS 1.3 tickets arrive after the handshake; only a connection whose
    // certificate passed may offer its session to the next one.
    auto* self = static_cast<TlsSession*>(SSL_get_app_data(ssl));
    if (self == nullptr || !self->m_trusted)
        return 0;
    self->m_context.StoreSession(self->m_where, session);
    return 1;
}

bool TlsSession::HandshakeStep(TlsWant& want) {
    ERR_clear_error();
    errno = 0;
    int result = SSL_connect(m_ssl);
    if (result == 1) {
        want = TlsWant::Nothing;
        return true;
    }
    int error = SSL_get_error(m_ssl, result);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        want = error == SSL_ERROR_WANT_READ ? TlsWant::Read : TlsWant::Write;
        return false;
    }
    m_fatal = true;
    std::string text;
    const unsigned long code = takeError(text);
    const int reason = ERR_GET_REASON(code);
    std::string why;
    std::string check = kCheckEncryption;
    if (reason == SSL_R_UNSUPPORTED_PROTOCOL || reason == SSL_R_TLSV1_ALERT_PROTOCOL_VERSION ||
        reason == SSL_R_NO_PROTOCOLS_AVAILABLE) {
        why = "Der Server beherrscht nur TLS-Versionen unter 1.2, die als unsicher gelten.";
        check = "den Betreiber des Servers nach TLS 1.2 oder neuer fragen";
    } else if (reason == SSL_R_WRONG_VERSION_NUMBER || reason == SSL_R_PACKET_LENGTH_TOO_LONG ||
               reason == SSL_R_RECORD_LENGTH_MISMATCH) {
        why = "Der Server spricht an diesem Port kein TLS.";
    } else if (error == SSL_ERROR_SYSCALL || error == SSL_ERROR_ZERO_RETURN || code == 0) {
        why = "Der Server hat die Verbindung während des TLS-Aufbaus getrennt.";
    } else {
        why = "Der TLS-Aufbau ist fehlgeschlagen (" + text + ").";
    }
    throw EIdTlsError(why + "\r\nServer " + m_where + " – " + check);
}

void TlsSession::CheckPeer(const std::string& pinned) {
    std::unique_ptr<X509, X509Deleter> cert(SSL_get1_peer_certificate(m_ssl));
    if (!cert)
        throw EIdCertificateError(
            "Der Server hat kein Zertifikat vorgelegt.\r\nServer " + m_where + " – " + kCheckEncryption, "");
    const std::string fingerprint = certificateFingerprint(cert.get());
    const long result = SSL_get_verify_result(m_ssl);
    const bool pinMatches = !pinned.empty() && pinned == fingerprint;
    if (result != X509_V_OK && !pinMatches)
        throw certificateRefusal(result, cert.get(), m_host, m_where);
    m_trusted = true;
    // Before TLS 1.3 the session is complete with the handshake, before the
    // check: keep it now.
    if (SSL_version(m_ssl) < TLS1_3_VERSION && !SSL_session_reused(m_ssl))
        if (SSL_SESSION* session = SSL_get1_session(m_ssl))
            m_context.StoreSession(m_where, session);
}

bool TlsSession::Resumed() const {
    return SSL_session_reused(m_ssl) == 1;
}

bool TlsSession::HasPending() const {
    // Read ahead, the buffer may hold whole records not yet decrypted; a
    // part of one alone needs the socket first.
    return SSL_pending(m_ssl) > 0 || (SSL_has_pending(m_ssl) == 1 && !m_starved);
}

ssize_t TlsSession::Read(char* buffer, size_t size, TlsWant& want) {
    clearErrors();
    errno = 0;
    size_t done = 0;
    int result = SSL_read_ex(m_ssl, buffer, size, &done);
    if (result == 1) {
        want = TlsWant::Nothing;
        m_starved = false;
        return ssize_t(done);
    }
    const ssize_t n = finish(result, want, "Lesen");
    m_starved = want == TlsWant::Read;
    return n;
}

ssize_t TlsSession::Write(const char* data, size_t size, TlsWant& want) {
    clearErrors();
    errno = 0;
    size_t done = 0;
    int result = SSL_write_ex(m_ssl, data, size, &done);
    if (result == 1) {
        want = TlsWant::Nothing;
        return ssize_t(done);
    }
    return finish(result, want, "Senden");
}

ssize_t TlsSession::finish(int result, TlsWant& want, const char* what) {
    want = TlsWant::Nothing;
    switch (SSL_get_error(m_ssl, result)) {
        case SSL_ERROR_WANT_READ: want = TlsWant::Read; return -1;
        case SSL_ERROR_WANT_WRITE: want = TlsWant::Write; return -1;
        case SSL_ERROR_ZERO_RETURN: return 0;
        case SSL_ERROR_SYSCALL:
            m_fatal = true;
            ERR_clear_error();
            if (errno == 0)
                return 0;  // the peer closed
            return -1;     // errno tells the socket error
        default: m_fatal = true; raiseFailure(what);
    }
}

void TlsSession::raiseFailure(const std::string& what) {
    std::string text;
    takeError(text);
    throw EIdTlsError("TLS-Fehler beim " + what + " (" + text + ").\r\nServer " + m_where +
                      " – Verbindung und Server prüfen");
}

void TlsSession::SendCloseNotify() {
    if (m_fatal)
        return;
    // One call: sends close_notify and does not wait for the peer's answer.
    ERR_clear_error();
    SSL_shutdown(m_ssl);
    ERR_clear_error();
}

}  // namespace sendrix::mail

#include "mail/imap_connection.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include "mail/id_stack.h"
#include "mail/idn_address.h"
#include "platform/ascii.h"
#include "platform/visible_text.h"

namespace sendrix::mail {

namespace {

// A line longer than this without its literals is no IMAP server's answer.
constexpr std::size_t kMaxLine = 1u << 20;
// A literal longer than this (a fetched message) is refused, not held.
constexpr std::size_t kMaxLiteral = 256u << 20;
// RFC 7888 LITERAL-: a literal up to this size needs no go-ahead.
constexpr std::size_t kLiteralMinusLimit = 4096;

// The certificate check of one connection: the same rules as TlsSession
// (trust store, host name, pinned fingerprint), applied in OpenSSL's
// verify callback so that libcurl never sends a login to an untrusted peer.
struct PeerCheck {
    std::string name;  // A-label or address, for the check
    std::string pinned;
    long error = X509_V_OK;
    X509* refused = nullptr;  // the leaf of a refused chain, owned

    void reset() {
        error = X509_V_OK;
        X509_free(refused);
        refused = nullptr;
    }
    ~PeerCheck() { X509_free(refused); }
};

int checkIndex() {
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

int verifyPeer(int ok, X509_STORE_CTX* store) {
    auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* check = static_cast<PeerCheck*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), checkIndex()));
    if (ok == 1 || check == nullptr)
        return ok;
    X509* leaf = X509_STORE_CTX_get0_cert(store);
    if (!check->pinned.empty() && certificateFingerprint(leaf) == check->pinned) {
        X509_STORE_CTX_set_error(store, X509_V_OK);
        return 1;
    }
    if (check->error == X509_V_OK) {
        check->error = X509_STORE_CTX_get_error(store);
        X509_up_ref(leaf);
        check->refused = leaf;
    }
    return 0;
}

CURLcode setUpTls(CURL*, void* sslContext, void* user) {
    auto* ctx = static_cast<SSL_CTX*>(sslContext);
    auto* check = static_cast<PeerCheck*>(user);
    check->reset();
    SSL_CTX_set_ex_data(ctx, checkIndex(), check);
    // OpenSSL's default paths, as for SMTP (SSL_CERT_FILE / SSL_CERT_DIR).
    SSL_CTX_set_default_verify_paths(ctx);
    X509_VERIFY_PARAM* param = SSL_CTX_get0_param(ctx);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (TIdStack::IsDottedQuad(check->name))
        X509_VERIFY_PARAM_set1_ip_asc(param, check->name.c_str());
    else
        X509_VERIFY_PARAM_set1_host(param, check->name.c_str(), 0);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, &verifyPeer);
    return CURLE_OK;
}

// The server's words without the command tag ("A005 NO [OVERQUOTA] ..."
// gives "NO [OVERQUOTA] ...").
std::string withoutTag(const std::string& line) {
    size_t pos = 0;
    if (!line.empty() && ((line[0] >= 'A' && line[0] <= 'Z') || (line[0] >= 'a' && line[0] <= 'z'))) {
        pos = 1;
        while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9')
            ++pos;
        if (pos < line.size() && line[pos] == ' ' && pos > 1)
            ++pos;
        else
            pos = 0;
    }
    return line.substr(pos);
}

// Keeps the server's last refusal during the login (a tagged NO or BAD);
// never what the client sent, which holds the login.
int watch(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    if (type != CURLINFO_HEADER_IN)
        return 0;
    std::string line(data, size);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    const std::string words = withoutTag(line);
    if (words.size() < line.size() && (words.rfind("NO ", 0) == 0 || words.rfind("BAD ", 0) == 0))
        *static_cast<std::string*>(user) = words;
    return 0;
}

void initCurlOnce() {
    static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (result != CURLE_OK)
        throw EIdImapError("IMAP kann nicht eingerichtet werden (libcurl).", ImapFailure::Setup);
}

// The size of a literal announced at the end of `line` ("... {123}"), or
// npos when the line ends otherwise.
std::size_t announcedLiteral(const std::string& line) {
    if (line.empty() || line.back() != '}')
        return std::string::npos;
    const std::size_t open = line.rfind('{');
    // Up to 18 digits: more could not be counted, and a size that large is
    // refused as too large anyway.
    if (open == std::string::npos || open + 2 > line.size() - 1 || line.size() - open > 20)
        return std::string::npos;
    std::size_t size = 0;
    for (std::size_t i = open + 1; i + 1 < line.size(); ++i) {
        if (line[i] < '0' || line[i] > '9')
            return std::string::npos;
        size = size * 10 + std::size_t(line[i] - '0');
    }
    return size;
}

}  // namespace

struct ImapConnection::Curl {
    CURL* handle = nullptr;
    curl_socket_t socket = CURL_SOCKET_BAD;
    PeerCheck check;
    std::string lastReply;
    char error[CURL_ERROR_SIZE] = {};
    ~Curl() {
        if (handle != nullptr)
            curl_easy_cleanup(handle);  // sends LOGOUT on a connection still open
    }
};

ImapConnection::ImapConnection(const ImapAccount& account, std::string where)
    : m_account(account), m_where(std::move(where)), m_curl(std::make_unique<Curl>()) {
    initCurlOnce();
    m_curl->handle = curl_easy_init();
    if (m_curl->handle == nullptr)
        throw EIdImapError("IMAP kann nicht eingerichtet werden (libcurl).", ImapFailure::Setup);
    std::string reason;
    const bool address = TIdStack::IsDottedQuad(account.host);
    m_curl->check.name = address ? account.host : AsciiDomain(account.host, &reason);
    m_curl->check.pinned = normalizeFingerprint(account.pinnedFingerprint);
    if (m_curl->check.name.empty())
        throw EIdImapError("Der IMAP-Servername \"" + account.host + "\" ist kein gültiger Domainname (" + reason +
                               ").",
                           ImapFailure::Setup);
}

ImapConnection::~ImapConnection() {
    // A broken connection gets no LOGOUT: libcurl would wait for its answer.
    if (!m_usable && m_curl->socket != CURL_SOCKET_BAD)
        ::shutdown(m_curl->socket, SHUT_RDWR);
}

void ImapConnection::Open() {
    CURL* h = m_curl->handle;
    const ImapAccount& account = m_account;
    const std::string scheme = account.encryption == TlsMode::Implicit ? "imaps://" : "imap://";
    const std::string url = scheme + m_curl->check.name + ":" + std::to_string(account.port) + "/";
    const long seconds = limitSeconds();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, m_curl->error);
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, &watch);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, &m_curl->lastReply);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, seconds);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, seconds);
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, seconds);
    curl_easy_setopt(h, CURLOPT_USE_SSL, long(account.encryption == TlsMode::None ? CURLUSESSL_NONE : CURLUSESSL_ALL));
    curl_easy_setopt(h, CURLOPT_SSLVERSION, long(CURL_SSLVERSION_TLSv1_2));
    // The check is made in verifyPeer, with the SMTP client's rules and
    // messages; libcurl's own would refuse a pinned certificate.
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(h, CURLOPT_SSL_CTX_FUNCTION, &setUpTls);
    curl_easy_setopt(h, CURLOPT_SSL_CTX_DATA, &m_curl->check);
    curl_easy_setopt(h, CURLOPT_USERNAME, account.user.c_str());
    if (account.accessToken.empty()) {
        curl_easy_setopt(h, CURLOPT_PASSWORD, account.password.c_str());
    } else {
        curl_easy_setopt(h, CURLOPT_XOAUTH2_BEARER, account.accessToken.c_str());
        curl_easy_setopt(h, CURLOPT_LOGIN_OPTIONS, "AUTH=*");
    }
    const CURLcode result = curl_easy_perform(h);
    // Only the login is libcurl's: nothing after it may reach the log callback.
    curl_easy_setopt(h, CURLOPT_VERBOSE, 0L);
    if (result == CURLE_OK && curl_easy_getinfo(h, CURLINFO_ACTIVESOCKET, &m_curl->socket) == CURLE_OK &&
        m_curl->socket != CURL_SOCKET_BAD) {
        m_usable = true;
        m_capabilities.clear();
        for (const ImapResponse& response : Command("CAPABILITY", {{"CAPABILITY"}}))
            if (response.text.rfind("* CAPABILITY ", 0) == 0)
                for (std::size_t start = 13; start < response.text.size();) {
                    const std::size_t end = std::min(response.text.find(' ', start), response.text.size());
                    m_capabilities.push_back(response.text.substr(start, end - start));
                    start = end + 1;
                }
        return;
    }

    const PeerCheck& check = m_curl->check;
    if (check.error != X509_V_OK && check.refused != nullptr)
        throw certificateRefusal(check.error, check.refused, account.host, m_where);
    const std::string words = platform::visibleText(m_curl->lastReply);
    const std::string detail = platform::visibleText(m_curl->error[0] != '\0' ? m_curl->error : curl_easy_strerror(result));
    switch (result) {
        case CURLE_LOGIN_DENIED:
            throw EIdImapError("Der IMAP-Server " + m_where + " hat die Anmeldung abgelehnt" +
                                   (words.empty() ? "." : ": " + words) + "\r\nBenutzername und Passwort prüfen",
                               ImapFailure::Login);
        case CURLE_OPERATION_TIMEDOUT:
            throw EIdImapError("Der IMAP-Server " + m_where + " hat nicht innerhalb von " + std::to_string(seconds) +
                                   " s geantwortet (Anmeldung).",
                               ImapFailure::Timeout);
        case CURLE_USE_SSL_FAILED:
            throw EIdImapError("Der IMAP-Server " + m_where + " bietet kein STARTTLS an.\r\nVerschlüsselung und Port prüfen",
                               ImapFailure::Connection);
        case CURLE_SSL_CONNECT_ERROR:
            throw EIdImapError("Der TLS-Aufbau zum IMAP-Server " + m_where + " ist fehlgeschlagen (" + detail +
                                   ").\r\nVerschlüsselung und Port prüfen",
                               ImapFailure::Connection);
        default:
            throw EIdImapError("Keine Verbindung zum IMAP-Server " + m_where + " (" + detail + ").",
                               ImapFailure::Connection);
    }
}

int ImapConnection::limitSeconds() const {
    return std::clamp(m_account.timeoutSeconds, 1, 3600);
}

bool ImapConnection::Offers(const std::string& capability) const {
    return std::any_of(m_capabilities.begin(), m_capabilities.end(),
                       [&](const std::string& each) { return platform::equalsNoCase(each, capability); });
}

std::vector<ImapResponse> ImapConnection::Command(const std::string& what, const std::vector<ImapPart>& parts) {
    if (!m_usable)
        broken(what, Fault::Lost);
    const std::string tag = "S" + std::to_string(++m_tag);
    const bool literalPlus = Offers("LITERAL+");
    const bool literalMinus = Offers("LITERAL-");
    std::vector<ImapResponse> untagged;
    std::string pending = tag + " ";
    // Reads up to a go-ahead ("+"); the tagged reply instead ends the command.
    const auto awaitGoAhead = [&]() -> bool {
        for (;;) {
            ImapResponse response = readResponse(what);
            if (response.text.rfind("+", 0) == 0)
                return true;
            if (response.text.rfind(tag + " ", 0) == 0) {
                untagged.push_back(std::move(response));
                return false;
            }
            untagged.push_back(std::move(response));
        }
    };
    for (const ImapPart& part : parts) {
        if (!part.literal) {
            pending += part.bytes;
            continue;
        }
        const bool withoutGoAhead = literalPlus || (literalMinus && part.bytes.size() <= kLiteralMinusLimit);
        pending += "{" + std::to_string(part.bytes.size()) + (withoutGoAhead ? "+}\r\n" : "}\r\n");
        if (!withoutGoAhead) {
            send(pending, what);
            pending.clear();
            if (!awaitGoAhead())
                break;
        }
        // A large literal goes from its own buffer; a small one joins the
        // text around it, so that a batch of messages is a few large writes.
        if (part.bytes.size() >= (64u << 10)) {
            send(pending, what);
            pending.clear();
            send(part.bytes, what);
        } else {
            pending += part.bytes;
        }
    }
    if (untagged.empty() || untagged.back().text.rfind(tag + " ", 0) != 0) {
        send(pending + "\r\n", what);
        for (;;) {
            ImapResponse response = readResponse(what);
            const bool done = response.text.rfind(tag + " ", 0) == 0;
            untagged.push_back(std::move(response));
            if (done)
                break;
        }
    }
    const std::string words = platform::visibleText(withoutTag(untagged.back().text));
    untagged.pop_back();
    if (words.rfind("OK", 0) != 0)
        throw EIdImapError("Der IMAP-Server " + m_where + " lehnt " + what + " ab: " + words, ImapFailure::Refused);
    return untagged;
}

void ImapConnection::send(std::string_view bytes, const std::string& what) {
    const int limit = limitSeconds() * 1000;
    while (!bytes.empty()) {
        size_t sent = 0;
        const CURLcode result = curl_easy_send(m_curl->handle, bytes.data(), bytes.size(), &sent);
        if (result == CURLE_AGAIN) {
            pollfd want{m_curl->socket, POLLOUT, 0};
            if (::poll(&want, 1, limit) == 0)
                broken(what, Fault::TimedOut);
            continue;
        }
        if (result != CURLE_OK)
            broken(what, Fault::Lost);
        bytes.remove_prefix(sent);
    }
}

void ImapConnection::receiveMore(const std::string& what) {
    const int limit = limitSeconds() * 1000;
    char buffer[64 << 10];
    for (;;) {
        size_t received = 0;
        const CURLcode result = curl_easy_recv(m_curl->handle, buffer, sizeof buffer, &received);
        if (result == CURLE_AGAIN) {
            pollfd want{m_curl->socket, POLLIN, 0};
            if (::poll(&want, 1, limit) == 0)
                broken(what, Fault::TimedOut);
            continue;
        }
        if (result != CURLE_OK || received == 0)
            broken(what, Fault::Lost);
        m_input.append(buffer, received);
        return;
    }
}

ImapResponse ImapConnection::readResponse(const std::string& what) {
    ImapResponse response;
    std::size_t scanned = 0;
    for (;;) {
        const std::size_t end = m_input.find("\r\n", scanned);
        if (end == std::string::npos) {
            if (m_input.size() > kMaxLine)
                broken(what, Fault::Unreadable);
            scanned = m_input.empty() ? 0 : m_input.size() - 1;
            receiveMore(what);
            continue;
        }
        const std::string line = m_input.substr(0, end);
        m_input.erase(0, end + 2);
        scanned = 0;
        response.text += line;
        const std::size_t size = announcedLiteral(line);
        if (size == std::string::npos)
            return response;
        if (size > kMaxLiteral)
            broken(what, Fault::Unreadable);
        while (m_input.size() < size)
            receiveMore(what);
        response.text += "\r\n";
        response.literals.emplace_back(response.text.size(), size);
        response.text.append(m_input, 0, size);
        m_input.erase(0, size);
    }
}

void ImapConnection::broken(const std::string& what, Fault fault) {
    m_usable = false;
    if (fault == Fault::Unreadable)
        throw EIdImapError("Der IMAP-Server " + m_where + " antwortet mit einer zu langen Zeile oder Nachricht (" +
                               what + ").",
                           ImapFailure::Connection);
    if (fault == Fault::TimedOut)
        throw EIdImapError("Der IMAP-Server " + m_where + " hat nicht innerhalb von " +
                               std::to_string(limitSeconds()) + " s geantwortet (" +
                               what + ").",
                           ImapFailure::Timeout);
    throw EIdImapError("Die Verbindung zum IMAP-Server " + m_where + " ist abgebrochen (" + what + ").",
                       ImapFailure::Connection);
}

}  // namespace sendrix::mail

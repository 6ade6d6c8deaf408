#include "mail/imap_client.h"

#include <algorithm>
#include <cstring>
#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include "mail/id_stack.h"
#include "mail/idn_address.h"
#include "platform/ascii.h"
#include "platform/text_codec.h"
#include "platform/visible_text.h"

namespace sendrix::mail {

namespace {

constexpr const char* kBase64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";

// UTF-8 into code points; false for bytes that are no UTF-8.
bool codePointsOf(const std::string& text, std::vector<char32_t>& out) {
    for (size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const size_t length = platform::utf8SequenceAt(text, i, cp);
        if (length == 0)
            return false;
        out.push_back(cp);
        i += length;
    }
    return true;
}

// The base64 run of modified UTF-7: UTF-16 big endian, "," for "/", no padding.
std::string shiftedRun(const std::vector<char32_t>& run) {
    std::string bytes;
    const auto unit = [&bytes](char32_t u) {
        bytes += char(u >> 8);
        bytes += char(u & 0xFF);
    };
    for (char32_t cp : run) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 + (cp >> 10));
            unit(0xDC00 + (cp & 0x3FF));
        } else {
            unit(cp);
        }
    }
    std::string out = "&";
    unsigned bits = 0;
    int count = 0;
    for (unsigned char b : bytes) {
        bits = (bits << 8) | b;
        count += 8;
        while (count >= 6) {
            count -= 6;
            out += kBase64[(bits >> count) & 0x3F];
        }
    }
    if (count > 0)
        out += kBase64[(bits << (6 - count)) & 0x3F];
    return out + "-";
}

// "*" or "ALL" are wildcards in LIST; a percent-encoded path carries the
// folder into libcurl's URL, which it decodes and quotes for the command.
std::string urlEncoded(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '.' || c == '_' || c == '~') {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// An IMAP quoted string (RFC 3501 4.3) of `text`.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// Reads an atom or quoted string at `pos` of a response line.
std::string readString(const std::string& line, size_t& pos) {
    std::string out;
    if (pos < line.size() && line[pos] == '"') {
        for (++pos; pos < line.size() && line[pos] != '"'; ++pos) {
            if (line[pos] == '\\' && pos + 1 < line.size())
                ++pos;
            out += line[pos];
        }
        ++pos;
        return out;
    }
    while (pos < line.size() && line[pos] != ' ')
        out += line[pos++];
    return out;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

// "* LIST (\HasNoChildren \Sent) "/" "Sent"" into a folder; false for
// another line, or a name sent as a literal (which libcurl does not pass on).
bool parseListLine(const std::string& line, ImapFolder& folder) {
    if (line.rfind("* LIST (", 0) != 0)
        return false;
    const size_t close = line.find(')', 8);
    if (close == std::string::npos)
        return false;
    const std::string flags = line.substr(8, close - 8);
    size_t pos = close + 2;
    readString(line, pos);  // the hierarchy delimiter (or NIL)
    ++pos;
    if (pos >= line.size() || line[pos] == '{')
        return false;
    folder.name = decodeImapFolderName(readString(line, pos));
    folder.flags.clear();
    size_t start = 0;
    while (start < flags.size()) {
        size_t end = flags.find(' ', start);
        if (end == std::string::npos)
            end = flags.size();
        if (end > start)
            folder.flags.push_back(flags.substr(start, end - start));
        start = end + 1;
    }
    return true;
}

bool sameFolderName(const std::string& a, const std::string& b) {
    return platform::equalsNoCase(a, b);
}

// The first of `folders` flagged `flag` ("\Sent", ...), "" if none.
std::string folderFlagged(const std::vector<ImapFolder>& folders, const std::string& flag) {
    for (const ImapFolder& folder : folders)
        for (const std::string& each : folder.flags)
            if (sameFolderName(each, flag))
                return folder.name;
    return {};
}

// The certificate check of one connection: the same rules as TlsSession
// (trust store, host name, pinned fingerprint), applied in OpenSSL's
// verify callback so that libcurl never sends a login to an untrusted peer.
struct PeerCheck {
    std::string host;   // as configured, for messages
    std::string name;   // A-label or address, for the check
    std::string where;  // "host:port"
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

size_t collect(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

struct Upload {
    const std::string* bytes = nullptr;
    size_t offset = 0;
};

size_t supply(char* buffer, size_t size, size_t count, void* user) {
    auto* upload = static_cast<Upload*>(user);
    const size_t n = std::min(size * count, upload->bytes->size() - upload->offset);
    std::memcpy(buffer, upload->bytes->data() + upload->offset, n);
    upload->offset += n;
    return n;
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

// Keeps the server's last refusal (a tagged NO or BAD); never what the
// client sent, which holds the login. libcurl ends a failed transfer with
// LOGOUT, whose OK must not hide the refusal.
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

}  // namespace

struct ImapClient::Curl {
    CURL* handle = nullptr;
    PeerCheck check;
    std::string lastReply;
    char error[CURL_ERROR_SIZE] = {};
    ~Curl() {
        if (handle != nullptr)
            curl_easy_cleanup(handle);  // sends LOGOUT on an open connection
    }
};

ImapClient::ImapClient(ImapAccount account) : m_account(std::move(account)) {
    initCurlOnce();
}

ImapClient::~ImapClient() = default;

std::string ImapClient::Where() const {
    return m_account.host + ":" + std::to_string(m_account.port);
}

namespace {

// The wire name of `folder` as a URL path after the server's part.
std::string folderPath(const std::string& folder) {
    return urlEncoded(encodeImapFolderName(folder));
}

}  // namespace

std::string ImapClient::command(const std::string& path, const std::string& what, const std::string& line) {
    return run(path, what, [&](void* h) { curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, line.c_str()); });
}

void ImapClient::Connect() {
    command("", "NOOP", "NOOP");
}

void ImapClient::Disconnect() noexcept {
    m_curl.reset();
}

std::vector<ImapFolder> ImapClient::ListFolders() {
    // RFC 6154 2: servers without SPECIAL-USE in CAPABILITY may still list
    // the flags in a plain LIST; "RETURN (SPECIAL-USE)" is RFC 5258 syntax,
    // which servers without LIST-EXTENDED refuse, so the plain form is used.
    const std::string text = command("", "LIST", "LIST \"\" \"*\"");
    std::vector<ImapFolder> folders;
    ImapFolder folder;
    for (const std::string& line : linesOf(text))
        if (parseListLine(line, folder))
            folders.push_back(folder);
    return folders;
}

std::string ImapClient::FindSpecialUse(const std::string& specialUse) {
    return folderFlagged(ListFolders(), specialUse);
}

std::string ImapClient::FindOrCreateSentFolder(bool* created) {
    if (created != nullptr)
        *created = false;
    const std::vector<ImapFolder> folders = ListFolders();
    if (std::string sent = folderFlagged(folders, "\\Sent"); !sent.empty())
        return sent;
    static const char* const kNames[] = {"Sent", "Gesendet", "Gesendete Objekte", "Gesendete Elemente"};
    for (const char* name : kNames)
        for (const ImapFolder& folder : folders)
            for (const char* prefix : {"", "INBOX.", "INBOX/"})
                if (sameFolderName(folder.name, std::string(prefix) + name))
                    return folder.name;
    // The names above were looked for in this very list: no second LIST.
    create("Sent");
    if (created != nullptr)
        *created = true;
    return "Sent";
}

void ImapClient::CreateFolder(const std::string& folder) {
    for (const ImapFolder& existing : ListFolders())
        if (existing.name == folder)
            return;
    create(folder);
}

void ImapClient::create(const std::string& folder) {
    command("", "CREATE", "CREATE " + quoted(encodeImapFolderName(folder)));
}

void ImapClient::Append(const std::string& folder, const std::string& message) {
    Upload upload{&message, 0};
    // libcurl's APPEND sends the flag list "(\Seen)" and the size as a
    // synchronizing literal.
    run(folderPath(folder), "APPEND", [&](void* h) {
        curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(h, CURLOPT_READFUNCTION, &supply);
        curl_easy_setopt(h, CURLOPT_READDATA, &upload);
        curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, curl_off_t(message.size()));
    });
}

std::vector<std::uint32_t> ImapClient::SearchSince(const std::string& folder, const ImapDate& since) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int month = std::clamp(since.month, 1, 12);
    const std::string text = command(folderPath(folder), "SEARCH",
                                     "UID SEARCH SINCE " + std::to_string(since.day) + "-" + kMonths[month - 1] +
                                         "-" + std::to_string(since.year));
    std::vector<std::uint32_t> uids;
    for (const std::string& line : linesOf(text)) {
        if (line.rfind("* SEARCH", 0) != 0)
            continue;
        size_t pos = 8;
        while (pos < line.size()) {
            while (pos < line.size() && line[pos] == ' ')
                ++pos;
            std::uint64_t value = 0;
            size_t digits = 0;
            while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9' && digits < 10) {
                value = value * 10 + std::uint64_t(line[pos++] - '0');
                ++digits;
            }
            if (digits == 0 || value == 0 || value > 0xFFFFFFFFu)
                break;
            uids.push_back(std::uint32_t(value));
        }
    }
    std::sort(uids.begin(), uids.end());
    return uids;
}

std::string ImapClient::FetchMessage(const std::string& folder, std::uint32_t uid) {
    return run(folderPath(folder) + "/;UID=" + std::to_string(uid), "FETCH",
                   [](void*) {});
}

namespace {

std::string uidSet(const std::vector<std::uint32_t>& uids) {
    std::string set;
    for (std::uint32_t uid : uids)
        set += (set.empty() ? "" : ",") + std::to_string(uid);
    return set;
}

}  // namespace

void ImapClient::CopyMessages(const std::string& folder, const std::vector<std::uint32_t>& uids,
                              const std::string& target) {
    if (uids.empty())
        return;
    CreateFolder(target);
    command(folderPath(folder), "COPY", "UID COPY " + uidSet(uids) + " " + quoted(encodeImapFolderName(target)));
}

void ImapClient::MoveMessages(const std::string& folder, const std::vector<std::uint32_t>& uids,
                              const std::string& target) {
    if (uids.empty())
        return;
    CreateFolder(target);
    const std::string path = folderPath(folder);
    const std::string to = uidSet(uids) + " " + quoted(encodeImapFolderName(target));
    try {
        command(path, "MOVE", "UID MOVE " + to);
        return;
    } catch (const EIdImapError&) {
        // RFC 6851 is an extension: without it, COPY, mark deleted, expunge.
    }
    command(path, "COPY", "UID COPY " + to);
    command(path, "STORE", "UID STORE " + uidSet(uids) + " +FLAGS.SILENT (\\Deleted)");
    command(path, "EXPUNGE", "EXPUNGE");
}

std::string ImapClient::run(const std::string& path, const std::string& what,
                            const std::function<void(void*)>& setUp) {
    const std::string where = Where();
    const ImapAccount& account = m_account;
    std::unique_ptr<Curl>& curl = m_curl;
    if (!curl) {
        curl = std::make_unique<Curl>();
        curl->handle = curl_easy_init();
        if (curl->handle == nullptr)
            throw EIdImapError("IMAP kann nicht eingerichtet werden (libcurl).", ImapFailure::Setup);
        std::string reason;
        const bool address = TIdStack::IsDottedQuad(account.host);
        curl->check.host = account.host;
        curl->check.name = address ? account.host : AsciiDomain(account.host, &reason);
        curl->check.where = where;
        curl->check.pinned = normalizeFingerprint(account.pinnedFingerprint);
        if (curl->check.name.empty()) {
            curl.reset();
            throw EIdImapError("Der IMAP-Servername \"" + account.host + "\" ist kein gültiger Domainname (" +
                               reason + ").",
                               ImapFailure::Setup);
        }
    } else {
        curl_easy_reset(curl->handle);
    }
    CURL* h = curl->handle;
    const std::string scheme = account.encryption == TlsMode::Implicit ? "imaps://" : "imap://";
    const std::string url = scheme + curl->check.name + ":" + std::to_string(account.port) + "/" + path;
    std::string received;
    curl->lastReply.clear();
    curl->error[0] = '\0';
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, curl->error);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &received);
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, &watch);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, &curl->lastReply);
    const long seconds = std::clamp(account.timeoutSeconds, 1, 3600);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, seconds);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, seconds);
    curl_easy_setopt(h, CURLOPT_USE_SSL, long(account.encryption == TlsMode::None ? CURLUSESSL_NONE : CURLUSESSL_ALL));
    curl_easy_setopt(h, CURLOPT_SSLVERSION, long(CURL_SSLVERSION_TLSv1_2));
    // The check is made in verifyPeer, with the SMTP client's rules and
    // messages; libcurl's own would refuse a pinned certificate.
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(h, CURLOPT_SSL_CTX_FUNCTION, &setUpTls);
    curl_easy_setopt(h, CURLOPT_SSL_CTX_DATA, &curl->check);
    curl_easy_setopt(h, CURLOPT_USERNAME, account.user.c_str());
    if (account.accessToken.empty()) {
        curl_easy_setopt(h, CURLOPT_PASSWORD, account.password.c_str());
    } else {
        curl_easy_setopt(h, CURLOPT_XOAUTH2_BEARER, account.accessToken.c_str());
        curl_easy_setopt(h, CURLOPT_LOGIN_OPTIONS, "AUTH=*");
    }
    setUp(h);
    const CURLcode result = curl_easy_perform(h);
    if (result == CURLE_OK)
        return received;

    const PeerCheck& check = curl->check;
    if (check.error != X509_V_OK && check.refused != nullptr) {
        EIdCertificateError error = certificateRefusal(check.error, check.refused, account.host, where);
        curl.reset();
        throw error;
    }
    const std::string words = platform::visibleText(curl->lastReply);
    std::string text;
    ImapFailure kind = ImapFailure::Connection;
    switch (result) {
        case CURLE_LOGIN_DENIED:
            // libcurl reports a refused SELECT (no such folder) with the
            // code of a refused login; its message tells them apart.
            if (std::strstr(curl->error, "Select") != nullptr) {
                text = "Der IMAP-Server " + where + " lehnt SELECT ab: " + (words.empty() ? "NO" : words);
                kind = ImapFailure::Refused;
                break;
            }
            text = "Der IMAP-Server " + where + " hat die Anmeldung abgelehnt" +
                   (words.empty() ? "." : ": " + words) + "\r\nBenutzername und Passwort prüfen";
            kind = ImapFailure::Login;
            break;
        case CURLE_OPERATION_TIMEDOUT:
            text = "Der IMAP-Server " + where + " hat nicht innerhalb von " + std::to_string(seconds) +
                   " s geantwortet (" + what + ").";
            kind = ImapFailure::Timeout;
            break;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_CONNECT:
            text = "Keine Verbindung zum IMAP-Server " + where + " (" + platform::visibleText(curl->error) + ").";
            break;
        case CURLE_USE_SSL_FAILED:
            text = "Der IMAP-Server " + where + " bietet kein STARTTLS an.\r\nVerschlüsselung und Port prüfen";
            break;
        case CURLE_SSL_CONNECT_ERROR:
            text = "Der TLS-Aufbau zum IMAP-Server " + where + " ist fehlgeschlagen (" +
                   platform::visibleText(curl->error) + ").\r\nVerschlüsselung und Port prüfen";
            break;
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
            text = "Die Verbindung zum IMAP-Server " + where + " ist abgebrochen (" + what + ").";
            break;
        default:
            // A tagged NO or BAD: the server's own words say why.
            if (!words.empty()) {
                text = "Der IMAP-Server " + where + " lehnt " + what + " ab: " + words;
                kind = ImapFailure::Refused;
            } else {
                text = "IMAP " + what + " bei " + where + " fehlgeschlagen (" +
                       platform::visibleText(curl->error[0] != '\0' ? curl->error : curl_easy_strerror(result)) +
                       ").";
            }
    }
    throw EIdImapError(text, kind);
}

std::string encodeImapFolderName(const std::string& utf8) {
    std::vector<char32_t> points;
    if (!codePointsOf(utf8, points))
        return utf8;
    std::string out;
    std::vector<char32_t> run;
    for (char32_t cp : points) {
        if (cp >= 0x20 && cp <= 0x7E) {
            if (!run.empty()) {
                out += shiftedRun(run);
                run.clear();
            }
            out += cp == '&' ? std::string("&-") : std::string(1, char(cp));
        } else {
            run.push_back(cp);
        }
    }
    if (!run.empty())
        out += shiftedRun(run);
    return out;
}

std::string decodeImapFolderName(const std::string& wire) {
    std::string out;
    for (size_t i = 0; i < wire.size(); ++i) {
        if (wire[i] != '&') {
            out += wire[i];
            continue;
        }
        const size_t end = wire.find('-', i + 1);
        if (end == std::string::npos)
            return wire;
        if (end == i + 1) {
            out += '&';
            i = end;
            continue;
        }
        std::vector<unsigned> units;
        unsigned bits = 0;
        int count = 0;
        for (size_t k = i + 1; k < end; ++k) {
            const char* at = std::strchr(kBase64, wire[k]);
            if (at == nullptr || wire[k] == '\0')
                return wire;
            bits = (bits << 6) | unsigned(at - kBase64);
            count += 6;
            if (count >= 16) {
                count -= 16;
                units.push_back((bits >> count) & 0xFFFF);
            }
        }
        for (size_t k = 0; k < units.size(); ++k) {
            char32_t cp = units[k];
            if (cp >= 0xD800 && cp < 0xDC00 && k + 1 < units.size()) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (units[++k] - 0xDC00);
            }
            platform::appendUtf8(out, cp);
        }
        i = end;
    }
    return out;
}

}  // namespace sendrix::mail

#pragma once
// The IMAP client (RFC 3501): one connection kept for many commands,
// opened by Debian's libcurl (mail/imap_connection.h) with STARTTLS or TLS
// from the first byte under the same certificate policy as the SMTP client
// (trust store, host name, pinned SHA-256 fingerprint), login with
// LOGIN/PLAIN or an OAuth 2 token (XOAUTH2/OAUTHBEARER). Folder names are
// given and returned as UTF-8; the client writes them in IMAP's modified
// UTF-7 on the wire.
//
// Every command has its own time limit (ImapAccount::timeoutSeconds). A
// command that fails throws; the next command opens a new connection when
// the old one is gone (and logs in again).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mail/id_exception.h"
#include "mail/tls_session.h"

namespace sendrix::mail {

class ImapConnection;
struct ImapResponse;

struct ImapAccount {
    std::string host;
    int port = 143;
    TlsMode encryption = TlsMode::StartTls;
    std::string pinnedFingerprint;  // empty: the trust store alone decides
    std::string user;
    std::string password;
    // Not empty: login with this OAuth 2 access token instead of the password.
    std::string accessToken;
    // Limit of connecting and of each command, in seconds (1..3600).
    int timeoutSeconds = 30;
};

// What made an IMAP command fail.
enum class ImapFailure {
    Refused,     // the server answered NO or BAD (its words in the text)
    Login,       // the login was refused
    Connection,  // no connection, or it broke (also a TLS failure)
    Timeout,     // no answer within the time limit
    Setup,       // libcurl or the account's values cannot be used
};

// An IMAP command failed. The text is complete German: what failed, the
// server ("host:port"), the reason.
class EIdImapError : public EIdException {
public:
    EIdImapError(const std::string& message, ImapFailure kind) : EIdException(message), m_kind(kind) {}
    ImapFailure Kind() const { return m_kind; }

private:
    ImapFailure m_kind;
};

// One folder of a LIST reply.
struct ImapFolder {
    std::string name;                // UTF-8, hierarchy delimiter as the server has it
    std::vector<std::string> flags;  // as listed: "\HasNoChildren", "\Sent", ...
};

// A date for SEARCH SINCE (the server's own day boundaries apply).
struct ImapDate {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
};

class ImapClient {
public:
    // Throws EIdImapError when libcurl cannot be set up.
    explicit ImapClient(ImapAccount account);
    ~ImapClient();
    ImapClient(const ImapClient&) = delete;
    ImapClient& operator=(const ImapClient&) = delete;

    const ImapAccount& Account() const { return m_account; }
    // "host:port" for messages.
    std::string Where() const;

    // Connects and logs in (the other commands do so themselves when no
    // connection is open). Throws EIdCertificateError for a certificate
    // that is not trusted (with its fingerprint, as SMTP), EIdImapError for
    // anything else.
    void Connect();
    // Logs out and closes; never throws.
    void Disconnect() noexcept;

    // Every folder (LIST "" "*", with RFC 6154 special-use flags where the
    // server offers them).
    std::vector<ImapFolder> ListFolders();
    // The folder flagged `specialUse` ("\Sent", "\Junk", ...), "" if none.
    std::string FindSpecialUse(const std::string& specialUse);
    // The Sent folder: flagged \Sent, else the first existing of "Sent",
    // "Gesendet", "Gesendete Objekte", "Gesendete Elemente" (any case, also
    // below "INBOX"), else "Sent" created. `created` tells which.
    std::string FindOrCreateSentFolder(bool* created = nullptr);
    // CREATE; a folder that exists already is no error.
    void CreateFolder(const std::string& folder);

    // APPEND of `message` (exact bytes, CR LF line ends) to `folder`, flagged
    // \Seen. Throws EIdImapError with the server's reason when refused.
    void Append(const std::string& folder, const std::string& message);
    // Whether the server takes several messages in one APPEND (RFC 3502
    // MULTIAPPEND); connects first.
    bool AppendsMany();
    // One APPEND of all `messages`, each flagged \Seen; with MULTIAPPEND
    // only. The server stores all of them or, when it refuses, none.
    void AppendAll(const std::string& folder, const std::vector<std::string_view>& messages);

    // UIDs of the messages in `folder` that arrived on or after `since`
    // (UID SEARCH SINCE), ascending.
    std::vector<std::uint32_t> SearchSince(const std::string& folder, const ImapDate& since);
    // The whole message `uid` of `folder`, byte for byte (UID FETCH
    // BODY.PEEK[]: its flags stay as they are).
    std::string FetchMessage(const std::string& folder, std::uint32_t uid);
    // UID COPY / UID MOVE of `uids` from `folder` to `target`; `target` is
    // created first when missing. MOVE is COPY, \Deleted and EXPUNGE where
    // the server lacks RFC 6851 MOVE.
    void CopyMessages(const std::string& folder, const std::vector<std::uint32_t>& uids,
                      const std::string& target);
    void MoveMessages(const std::string& folder, const std::vector<std::uint32_t>& uids,
                      const std::string& target);

private:
    // The open connection, opened (and logged in) anew when there is none
    // or the last one broke.
    ImapConnection& connection();
    // One command line; returns the untagged responses.
    std::vector<ImapResponse> command(const std::string& what, const std::string& line);
    // `folder` as a command's argument (modified UTF-7, quoted).
    std::string mailbox(const std::string& folder) const;
    // SELECT unless `folder` is selected on this connection already.
    void select(const std::string& folder);
    // CREATE without looking whether the folder exists.
    void create(const std::string& folder);
    ImapAccount m_account;
    std::unique_ptr<ImapConnection> m_connection;
    std::string m_selected;
};

// IMAP's modified UTF-7 (RFC 3501 5.1.3) of a UTF-8 folder name, and back;
// the decoder returns the input unchanged when it is not valid modified UTF-7.
std::string encodeImapFolderName(const std::string& utf8);
std::string decodeImapFolderName(const std::string& wire);

}  // namespace sendrix::mail

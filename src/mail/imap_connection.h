#pragma once
// One IMAP connection: Debian's libcurl connects, speaks TLS (STARTTLS or
// from the first byte) under the SMTP client's certificate rules and logs
// in (LOGIN/PLAIN, XOAUTH2/OAUTHBEARER); then the connection is handed
// over (CURLOPT_CONNECT_ONLY) and the commands are written here, so that
// they may carry several literals (MULTIAPPEND, RFC 3502) and read what
// libcurl would not pass on (BODY.PEEK[], folder names sent as literals).
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mail/imap_client.h"

namespace sendrix::mail {

// One response line of the server with every literal's bytes in place.
struct ImapResponse {
    std::string text;  // without the final CR LF
    // Offset and length in `text` of each literal's bytes.
    std::vector<std::pair<std::size_t, std::size_t>> literals;
};

// A part of a command: text sent as it is, or the bytes of a literal (the
// connection writes "{n}" or "{n+}" before them and waits for the server's
// go-ahead where the server needs to give one).
struct ImapPart {
    std::string_view bytes;
    bool literal = false;
};

class ImapConnection {
public:
    // `where` is "host:port" for messages. Throws EIdImapError (Setup)
    // when libcurl or the host name cannot be used.
    ImapConnection(const ImapAccount& account, std::string where);
    // Logs out (libcurl does) unless the connection broke.
    ~ImapConnection();
    ImapConnection(const ImapConnection&) = delete;
    ImapConnection& operator=(const ImapConnection&) = delete;

    // Connects, secures and logs in, then asks for the capabilities.
    // Throws EIdCertificateError for an untrusted certificate, EIdImapError
    // for anything else.
    void Open();
    // A capability the server offers after the login ("MULTIAPPEND").
    bool Offers(const std::string& capability) const;
    // False once a command failed on the connection itself (broken, timed
    // out, unreadable): it takes no further command.
    bool Usable() const { return m_usable; }

    // Sends the command made of `parts` under a tag of its own and reads
    // up to its tagged reply; returns the untagged responses. A NO or BAD
    // throws EIdImapError (Refused) with the server's words and `what`.
    std::vector<ImapResponse> Command(const std::string& what, const std::vector<ImapPart>& parts);

private:
    struct Curl;
    // The account's time limit of each wait, in seconds (1..3600).
    int limitSeconds() const;
    void send(std::string_view bytes, const std::string& what);
    // Reads one response line with its literals.
    ImapResponse readResponse(const std::string& what);
    void receiveMore(const std::string& what);
    enum class Fault { Lost, TimedOut, Unreadable };
    // Marks the connection unusable and throws the fault's error.
    [[noreturn]] void broken(const std::string& what, Fault fault);
    ImapAccount m_account;
    std::string m_where;
    std::unique_ptr<Curl> m_curl;
    std::vector<std::string> m_capabilities;
    std::string m_input;  // received and not yet read
    unsigned m_tag = 0;
    bool m_usable = false;
};

}  // namespace sendrix::mail

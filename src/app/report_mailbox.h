#pragma once
// The inbox as "Rückläufer prüfen" reads it: whole messages since a day,
// and the move of handled ones into a folder of their own. The window model
// asks this interface; the real one speaks IMAP (mail/imap_client.h), tests
// may hand their own.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mail/imap_client.h"

namespace sendrix::app {

struct InboxMessage {
    std::uint32_t uid = 0;
    std::string bytes;  // the whole message
};

class ReportMailbox {
public:
    virtual ~ReportMailbox() = default;
    // Every inbox message that arrived on or after `since`. Throws
    // EIdImapError (or EIdCertificateError) naming the server and the reason.
    virtual std::vector<InboxMessage> InboxSince(const mail::ImapDate& since) = 0;
    // Moves the messages into `folder` (created when missing); throws as above.
    virtual void MoveToFolder(const std::vector<std::uint32_t>& uids, const std::string& folder) = 0;
};

// The inbox ("INBOX", RFC 3501 5.1) of `account` over one IMAP connection.
std::unique_ptr<ReportMailbox> imapReportMailbox(const mail::ImapAccount& account);

}  // namespace sendrix::app

#pragma once
// Delivery reports ("bounces") read from a mailbox: what a receiving system
// says about a message it could not deliver. Parsed with GMime 3 (Debian's
// libgmime-3.0), a MIME parser that has met decades of broken mail; the
// program's own code here only picks the fields out of what GMime parsed.
#include <string>
#include <string_view>
#include <vector>

namespace sendrix::mail {

// One recipient of an RFC 3464 report (message/delivery-status).
struct ReportedRecipient {
    std::string address;     // Final-Recipient (else Original-Recipient), without "rfc822;"
    std::string action;      // lower case: "failed", "delayed", "delivered", "relayed", "expanded"
    std::string status;      // "5.1.1" (RFC 3463), as the report gives it
    std::string diagnostic;  // Diagnostic-Code without its type ("smtp;"), may be empty
};

struct DeliveryReport {
    enum class Kind {
        None,          // no delivery report
        Structured,    // RFC 3464: multipart/report with message/delivery-status
        Unstructured,  // from a mailer daemon, but without a machine-readable part
    };
    Kind kind = Kind::None;
    std::vector<ReportedRecipient> recipients;  // Structured only
    // The Message-ID of the message the report is about, "<...>": the report's
    // Original-Message-ID, else that of the returned message or headers
    // (message/rfc822, text/rfc822-headers), else (Unstructured) a
    // "Message-ID:" line quoted in the report's text. Empty: unknown.
    std::string originalMessageId;
    // Unstructured: the first RFC 3463 status of class 4 or 5 in the text
    // ("5.1.1"), empty when there is none, and the text line holding it (else
    // the first line of the text) as the diagnostic.
    std::string status;
    std::string diagnostic;
};

// Who sent a message and what it is about; for unsubscribe requests.
struct MessageSummary {
    std::string fromAddress;               // the first From mailbox, empty when there is none
    std::vector<std::string> toAddresses;  // To and Cc mailboxes
    std::string subject;                   // decoded, UTF-8
    std::string messageId;                 // "<...>", may be empty
};

// Reads one whole message (RFC 5322 bytes, as an IMAP FETCH gives it). A
// message that is no delivery report, or that GMime cannot read, gives
// Kind::None; never throws for bad input.
DeliveryReport parseDeliveryReport(std::string_view message);

MessageSummary summarizeMessage(std::string_view message);

}  // namespace sendrix::mail

// Delivery reports as systems send them, written from RFC 3464 / RFC 3462
// (multipart/report) and the shapes providers document: what the parser
// takes from each, one row per rule.
#include <gtest/gtest.h>

#include <string>

#include "mail/delivery_report.h"

namespace sendrix::mail {
namespace {

const std::string kOriginal = "Message-ID: <1.2.3@example.org>\nFrom: verein@example.org\nSubject: Einladung\n\n";

// A multipart/report around a delivery-status body and a returned part.
std::string dsn(const std::string& statusFields, const std::string& returned = "text/rfc822-headers",
                const std::string& statusHeaders = "") {
    return "From: Mail Delivery System <MAILER-DAEMON@mx.example.net>\n"
           "To: verein@example.org\nSubject: Undelivered Mail Returned to Sender\nMIME-Version: 1.0\n"
           "Content-Type: multipart/report; report-type=delivery-status; boundary=\"B\"\n\n"
           "--B\nContent-Type: text/plain\n\nYour message could not be delivered.\n\n"
           "--B\nContent-Type: message/delivery-status\n" + statusHeaders + "\n" + statusFields +
           "\n--B\nContent-Type: " + returned + "\n\n" + kOriginal + "Hallo\n--B--\n";
}

TEST(DeliveryReport, ReadsWhatEachKindOfReportSays) {
    struct Row {
        const char* name;
        std::string message;
        DeliveryReport::Kind kind;
        std::string messageId;
        std::vector<ReportedRecipient> recipients;
        std::string status = {};  // unstructured only
        std::string diagnostic = {};
    };
    using K = DeliveryReport::Kind;
    const std::string exim =
        "Reporting-MTA: dns; mx.example.net\n\n"
        "Action: failed\nFinal-Recipient: rfc822;weg@example.net\nStatus: 5.0.0\n"
        "Remote-MTA: dns; in.example.net\nDiagnostic-Code: smtp; 550 5.1.1 <weg@example.net>:\n"
        " Recipient address rejected: User unknown\n";
    const Row rows[] = {
        {"one failed recipient, returned headers", dsn(
             "Reporting-MTA: dns; mx.example.net\n\nFinal-Recipient: rfc822; anna@example.net\n"
             "Original-Recipient: rfc822;Anna@example.net\nAction: Failed\nStatus: 5.1.1 (bad mailbox)\n"
             "Diagnostic-Code: smtp; 550 5.1.1 user unknown\n"),
         K::Structured, "<1.2.3@example.org>", {{"anna@example.net", "failed", "5.1.1", "550 5.1.1 user unknown"}}},
        {"shaped like Exim: folded diagnostic, whole message returned", dsn(exim, "message/rfc822"),
         K::Structured, "<1.2.3@example.org>",
         {{"weg@example.net", "failed", "5.0.0",
           "550 5.1.1 <weg@example.net>: Recipient address rejected: User unknown"}}},
        {"delayed and failed recipients, Original-Message-ID wins", dsn(
             "Reporting-MTA: dns; mx\nOriginal-Message-ID: <named@example.org>\n\n"
             "Final-Recipient: rfc822; a@example.net\nAction: delayed\nStatus: 4.4.7\n\n"
             "Original-Recipient: rfc822; b@example.net\nAction: failed\nStatus: 5.2.2\n"),
         K::Structured, "<named@example.org>",
         {{"a@example.net", "delayed", "4.4.7", ""}, {"b@example.net", "failed", "5.2.2", ""}}},
        {"base64-encoded status part", dsn("UmVwb3J0aW5nLU1UQTogZG5zOyBteAoKRmluYWwtUmVjaXBpZW50OiByZmM4MjI7IGNA"
                                            "ZXhhbXBsZS5uZXQKQWN0aW9uOiBmYWlsZWQKU3RhdHVzOiA1LjEuMQo=\n",
                                            "text/rfc822-headers", "Content-Transfer-Encoding: base64\n"),
         K::Structured, "<1.2.3@example.org>", {{"c@example.net", "failed", "5.1.1", ""}}},
        {"provider without status part: code and quoted Message-ID from the text",
         "From: MAILER-DAEMON@provider.example\nTo: verein@example.org\nSubject: Unzustellbar\n\n"
         "Die Nachricht konnte nicht zugestellt werden.\n"
         "Grund: host in.example.net said: 550 5.1.1 mailbox unavailable\n\n"
         "--- Kopf der Nachricht ---\n> Message-ID: <1.2.3@example.org>\n> Subject: Einladung\n",
         K::Unstructured, "<1.2.3@example.org>", {}, "5.1.1",
         "Grund: host in.example.net said: 550 5.1.1 mailbox unavailable"},
        {"provider report saying nothing a program can match",
         "From: Postmaster <postmaster@provider.example>\nSubject: Fehler\n\nAn 10.5.1.1 ging nichts.\n",
         K::Unstructured, "", {}, "", "An 10.5.1.1 ging nichts."},
        {"read receipt", "From: anna@example.net\nMIME-Version: 1.0\nContent-Type: multipart/report; "
                         "report-type=disposition-notification; boundary=B\n\n--B\nContent-Type: text/plain\n\n"
                         "gelesen\n--B--\n",
         K::None, "", {}},
        {"an ordinary reply", "From: anna@example.net\nSubject: Re: Einladung\nIn-Reply-To: <1.2.3@example.org>\n\nJa\n",
         K::None, "", {}},
        {"no message at all", std::string("\0\1\2", 3), K::None, "", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const DeliveryReport report = parseDeliveryReport(row.message);
        EXPECT_EQ(report.kind, row.kind);
        EXPECT_EQ(report.originalMessageId, row.messageId);
        ASSERT_EQ(report.recipients.size(), row.recipients.size());
        for (std::size_t i = 0; i < row.recipients.size(); ++i) {
            EXPECT_EQ(report.recipients[i].address, row.recipients[i].address);
            EXPECT_EQ(report.recipients[i].action, row.recipients[i].action);
            EXPECT_EQ(report.recipients[i].status, row.recipients[i].status);
            EXPECT_EQ(report.recipients[i].diagnostic, row.recipients[i].diagnostic);
        }
        EXPECT_EQ(report.status, row.status);
        if (row.kind == K::Unstructured) {
            EXPECT_EQ(report.diagnostic, row.diagnostic);
        }
    }
}

}  // namespace
}  // namespace sendrix::mail

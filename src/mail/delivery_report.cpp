#include "mail/delivery_report.h"

#include <gmime/gmime.h>

#include <memory>
#include <mutex>

#include "platform/ascii.h"
#include "platform/text_codec.h"
#include "platform/text_file.h"
#include "platform/text_trim.h"
#include "platform/visible_text.h"

namespace sendrix::mail {

namespace {

// A diagnostic is shown in a grid cell and a result file; longer ones are
// a server's whole transcript.
constexpr std::size_t kDiagnosticCharacters = 300;

struct Unref {
    void operator()(void* object) const {
        if (object)
            g_object_unref(object);
    }
};
template <class T>
using GPtr = std::unique_ptr<T, Unref>;

GPtr<GMimeMessage> parseMessage(std::string_view bytes) {
    static std::once_flag initialized;
    std::call_once(initialized, [] { g_mime_init(); });
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size());
    GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream));
    g_object_unref(stream);
    return GPtr<GMimeMessage>(g_mime_parser_construct_message(parser.get(), nullptr));
}

// The decoded bytes of a leaf part (its transfer encoding undone).
std::string partBytes(GMimePart* part) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (!content)
        return {};
    GPtr<GMimeStream> out(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, out.get());
    const GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
    return std::string(reinterpret_cast<const char*>(array->data), array->len);
}

std::string headerOf(GMimeObject* object, const char* name) {
    const char* value = g_mime_object_get_header(object, name);
    return value ? platform::trimControl(platform::repairUtf8(value)) : std::string();
}

// A Message-ID as the program writes it, with its angle brackets.
std::string bracketed(std::string id) {
    id = platform::trimControl(id);
    if (id.empty() || id.front() == '<')
        return id;
    return "<" + id + ">";
}

std::string messageIdOf(GMimeMessage* message) {
    const char* id = message ? g_mime_message_get_message_id(message) : nullptr;
    return id ? bracketed(id) : std::string();
}

// "rfc822; anna@example.org" gives "anna@example.org" (RFC 3464 2.3: a
// field of this kind starts with its type).
std::string afterType(const std::string& value) {
    const std::size_t semicolon = value.find(';');
    return platform::trimControl(semicolon == std::string::npos ? value : value.substr(semicolon + 1));
}

std::string shortened(std::string_view text) {
    const std::string visible = platform::visibleText(platform::trimControl(text));
    return std::string(platform::leftCharacters(visible, kDiagnosticCharacters));
}

// The field groups of a delivery-status body (RFC 3464 2.1): the
// per-message group, then one per recipient, separated by empty lines.
// GMime reads each group as a header block (folding, encoded words).
std::vector<GPtr<GMimeMessage>> fieldGroups(const std::string& body) {
    std::vector<GPtr<GMimeMessage>> groups;
    std::string group;
    const auto flush = [&] {
        if (!group.empty())
            groups.push_back(parseMessage(group + "\n"));
        group.clear();
    };
    for (const std::string& line : platform::splitLines(body)) {
        if (platform::trimControl(line).empty())
            flush();
        else
            group += line + "\n";
    }
    flush();
    return groups;
}

ReportedRecipient recipientOf(GMimeObject* fields) {
    ReportedRecipient recipient;
    recipient.address = afterType(headerOf(fields, "Final-Recipient"));
    if (recipient.address.empty())
        recipient.address = afterType(headerOf(fields, "Original-Recipient"));
    recipient.action = platform::asciiLowered(headerOf(fields, "Action"));
    // Some systems add a comment after the code: "5.1.1 (bad destination)".
    const std::string status = headerOf(fields, "Status");
    recipient.status = status.substr(0, status.find_first_of(" \t("));
    recipient.diagnostic = shortened(afterType(headerOf(fields, "Diagnostic-Code")));
    return recipient;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The first "class.subject.detail" code of class 4 or 5 in `line` (RFC 3463
// 2: class one digit, subject and detail one to three digits each).
std::string statusCodeIn(std::string_view line) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        if ((line[i] != '4' && line[i] != '5') || (i > 0 && (isDigit(line[i - 1]) || line[i - 1] == '.')))
            continue;
        std::size_t j = i + 1;
        bool code = true;
        for (int group = 0; group < 2 && code; ++group) {
            if (j >= line.size() || line[j] != '.') {
                code = false;
                break;
            }
            const std::size_t start = ++j;
            while (j < line.size() && isDigit(line[j]))
                ++j;
            code = j > start && j - start <= 3;
        }
        // "5.1.1.1" is an address, not a code.
        const bool longer = j + 1 < line.size() && line[j] == '.' && isDigit(line[j + 1]);
        if (code && !longer)
            return std::string(line.substr(i, j - i));
    }
    return {};
}

// A report whose machine-readable part is missing: the code and the line
// holding it, and a Message-ID the text quotes from the returned message.
void readExplanation(const std::string& text, DeliveryReport& report) {
    std::string firstLine;
    for (const std::string& line : platform::splitLines(text)) {
        std::string_view content = platform::trimBlanks(line);
        while (!content.empty() && content.front() == '>')
            content = platform::trimBlanks(content.substr(1));
        if (content.empty())
            continue;
        if (firstLine.empty())
            firstLine = content;
        if (report.originalMessageId.empty() && platform::startsWithNoCase(content, "Message-ID:"))
            report.originalMessageId = bracketed(std::string(content.substr(11)));
        if (report.status.empty()) {
            report.status = statusCodeIn(content);
            if (!report.status.empty())
                report.diagnostic = shortened(content);
        }
    }
    if (report.diagnostic.empty())
        report.diagnostic = shortened(firstLine);
}

// Mail systems send their reports as this sender (RFC 5321 4.5.5, and the
// conventions of RFC 2142 for "postmaster").
bool fromMailerDaemon(GMimeMessage* message) {
    InternetAddressList* from = g_mime_message_get_from(message);
    if (!from || internet_address_list_length(from) < 1)
        return false;
    InternetAddress* first = internet_address_list_get_address(from, 0);
    if (!INTERNET_ADDRESS_IS_MAILBOX(first))
        return false;
    const std::string address = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(first));
    const std::string local = platform::asciiLowered(address.substr(0, address.find('@')));
    return local == "mailer-daemon" || local == "postmaster";
}

struct Walk {
    DeliveryReport* report = nullptr;
    bool structured = false;
    std::string returnedId;
    std::string text;
};

void visitPart(GMimeObject* /*parent*/, GMimeObject* part, gpointer data) {
    Walk& walk = *static_cast<Walk*>(data);
    GMimeContentType* type = g_mime_object_get_content_type(part);
    if (g_mime_content_type_is_type(type, "message", "delivery-status") ||
        g_mime_content_type_is_type(type, "message", "global-delivery-status")) {
        if (!GMIME_IS_PART(part))
            return;
        walk.structured = true;
        std::vector<GPtr<GMimeMessage>> groups = fieldGroups(partBytes(GMIME_PART(part)));
        for (std::size_t i = 0; i < groups.size(); ++i) {
            GMimeObject* fields = GMIME_OBJECT(groups[i].get());
            if (!fields)
                continue;
            if (i == 0) {
                // Not in RFC 3464, but some systems name the message so.
                for (const char* name : {"Original-Message-ID", "X-Original-Message-ID"})
                    if (walk.report->originalMessageId.empty())
                        walk.report->originalMessageId = bracketed(headerOf(fields, name));
                continue;
            }
            ReportedRecipient recipient = recipientOf(fields);
            if (!recipient.action.empty() || !recipient.status.empty())
                walk.report->recipients.push_back(std::move(recipient));
        }
    } else if (GMIME_IS_MESSAGE_PART(part)) {
        if (walk.returnedId.empty())
            walk.returnedId = messageIdOf(g_mime_message_part_get_message(GMIME_MESSAGE_PART(part)));
    } else if (g_mime_content_type_is_type(type, "text", "rfc822-headers") && GMIME_IS_PART(part)) {
        if (walk.returnedId.empty())
            walk.returnedId = messageIdOf(parseMessage(partBytes(GMIME_PART(part)) + "\n").get());
    } else if (g_mime_content_type_is_type(type, "text", "plain") && GMIME_IS_TEXT_PART(part)) {
        if (char* text = g_mime_text_part_get_text(GMIME_TEXT_PART(part))) {
            walk.text += platform::repairUtf8(text) + "\n";
            g_free(text);
        }
    }
}

std::vector<std::string> mailboxesOf(InternetAddressList* list) {
    std::vector<std::string> out;
    const int count = list ? internet_address_list_length(list) : 0;
    for (int i = 0; i < count; ++i) {
        InternetAddress* address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_MAILBOX(address))
            out.push_back(platform::trimControl(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address))));
        else if (INTERNET_ADDRESS_IS_GROUP(address))
            for (std::string& member : mailboxesOf(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address))))
                out.push_back(std::move(member));
    }
    return out;
}

}  // namespace

DeliveryReport parseDeliveryReport(std::string_view bytes) {
    DeliveryReport report;
    GPtr<GMimeMessage> message = parseMessage(bytes);
    if (!message)
        return report;
    GMimeObject* body = g_mime_message_get_mime_part(message.get());
    const bool multipartReport =
        body && g_mime_content_type_is_type(g_mime_object_get_content_type(body), "multipart", "report");
    // Read receipts (report-type=disposition-notification, RFC 8098) come as
    // reports too; they say a message arrived.
    if (multipartReport) {
        const char* reportType = g_mime_object_get_content_type_parameter(body, "report-type");
        if (reportType && platform::equalsNoCase(reportType, "disposition-notification"))
            return report;
    }
    if (!multipartReport && !fromMailerDaemon(message.get()))
        return report;

    Walk walk;
    walk.report = &report;
    g_mime_message_foreach(message.get(), visitPart, &walk);
    // A named Original-Message-ID first, then the returned message, then a
    // Message-ID line the text quotes.
    if (report.originalMessageId.empty())
        report.originalMessageId = walk.returnedId;
    report.kind = walk.structured ? DeliveryReport::Kind::Structured : DeliveryReport::Kind::Unstructured;
    if (!walk.structured)
        readExplanation(walk.text, report);
    return report;
}

MessageSummary summarizeMessage(std::string_view bytes) {
    MessageSummary summary;
    GPtr<GMimeMessage> message = parseMessage(bytes);
    if (!message)
        return summary;
    const std::vector<std::string> from = mailboxesOf(g_mime_message_get_from(message.get()));
    if (!from.empty())
        summary.fromAddress = from.front();
    summary.toAddresses = mailboxesOf(g_mime_message_get_to(message.get()));
    for (std::string& cc : mailboxesOf(g_mime_message_get_cc(message.get())))
        summary.toAddresses.push_back(std::move(cc));
    if (const char* subject = g_mime_message_get_subject(message.get()))
        summary.subject = platform::trimControl(platform::repairUtf8(subject));
    summary.messageId = messageIdOf(message.get());
    return summary;
}

}  // namespace sendrix::mail

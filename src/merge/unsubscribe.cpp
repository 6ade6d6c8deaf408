#include "merge/unsubscribe.h"

#include "mail/envelope_address.h"
#include "mail/idn_address.h"
#include "mail/mail_html.h"
#include "merge/bounce_check.h"
#include "merge/preflight.h"
#include "platform/ascii.h"
#include "platform/text_trim.h"

namespace sendrix::merge {

namespace {

constexpr const char* kLineStart = "Wer diese Mails nicht mehr erhalten möchte, schreibt an ";
constexpr const char* kLineEnd = " mit dem Betreff „Abmelden“.";

// RFC 6068 2: "%", "?", "#", "&" and anything outside the unreserved and
// a few sub-delimiters must be percent-encoded in a mailto address.
std::string mailtoEncoded(const std::string& address) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : address) {
        const unsigned char byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || std::string_view("-._~@!$'()*+,;=").find(c) !=
                                                                std::string_view::npos;
        if (plain) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

}  // namespace

std::string unsubscribeAddressFault(const std::string& address) {
    if (!plausibleAddress(address))
        return "sie ist keine gültige E-Mail-Adresse";
    return mail::recipientAddressFault(mail::WithAsciiDomain(address));
}

std::string unsubscribeHeaderValue(const std::string& address) {
    return "<mailto:" + mailtoEncoded(mail::WithAsciiDomain(address)) + "?subject=" + kUnsubscribeSubject + ">";
}

void appendUnsubscribeLine(std::vector<std::string>& body, const std::string& address, bool html) {
    if (!html) {
        body.push_back("");
        body.push_back(kLineStart + address + kLineEnd);
        return;
    }
    const std::string link = "<a href=\"mailto:" + mail::EscapeHtml(mailtoEncoded(mail::WithAsciiDomain(address))) +
                             "?subject=" + kUnsubscribeSubject + "\">" + mail::EscapeHtml(address) + "</a>";
    std::string paragraph = std::string("<p>") + kLineStart + link + kLineEnd + "</p>";
    for (auto line = body.rbegin(); line != body.rend(); ++line) {
        const std::size_t close = platform::asciiLowered(*line).rfind("</body>");
        if (close != std::string::npos) {
            line->insert(close, paragraph);
            return;
        }
    }
    body.push_back(std::move(paragraph));
}

}  // namespace sendrix::merge

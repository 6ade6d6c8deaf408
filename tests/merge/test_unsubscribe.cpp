// The unsubscribe address: what reaches the List-Unsubscribe header and the
// body, and what the check keeps out of them.
#include "merge/unsubscribe.h"

#include <gtest/gtest.h>

using namespace sendrix;

TEST(Unsubscribe, HeaderIsOneMailtoUriOfACheckedAddress) {
    struct Row {
        const char* address;
        const char* header;  // empty: refused
    };
    const Row rows[] = {
        {"abmelden@example.org", "<mailto:abmelden@example.org?subject=Abmelden>"},
        // RFC 6068: "%", "?", "#", "&" would end or change the URI.
        {"a%b?c#d&e@example.org", "<mailto:a%25b%3Fc%23d%26e@example.org?subject=Abmelden>"},
        {"info@m\xC3\xBCller.de", "<mailto:info@xn--mller-kva.de?subject=Abmelden>"},
        {"a>, <mailto:evil@x.de", ""},
        {"a@x.de\r\nBcc: evil@x.de", ""},
        {"kein-at.example.org", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.address);
        const std::string fault = merge::unsubscribeAddressFault(row.address);
        EXPECT_EQ(fault.empty(), *row.header != '\0') << fault;
        if (fault.empty()) {
            EXPECT_EQ(merge::unsubscribeHeaderValue(row.address), row.header);
        }
    }
}

TEST(Unsubscribe, LineEndsTheTextOrTheHtmlBody) {
    std::vector<std::string> text = {"Hallo"};
    merge::appendUnsubscribeLine(text, "a@x.de", false);
    EXPECT_EQ(text, (std::vector<std::string>{"Hallo", "",
                                              "Wer diese Mails nicht mehr erhalten möchte, schreibt an a@x.de mit "
                                              "dem Betreff „Abmelden“."}));
    std::vector<std::string> html = {"<html><body><p>Hallo</p>", "</BODY></html>"};
    merge::appendUnsubscribeLine(html, "a&b@x.de", true);
    EXPECT_EQ(html[1], "<p>Wer diese Mails nicht mehr erhalten möchte, schreibt an <a href=\"mailto:a%26b@x.de"
                       "?subject=Abmelden\">a&amp;b@x.de</a> mit dem Betreff „Abmelden“.</p></BODY></html>");
}

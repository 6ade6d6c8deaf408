// The "Vorschau" of an HTML mailing names the charset the message is sent in.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/message_preview.h"

using namespace sendrix;

TEST(MessagePreview, HtmlHeadLineNamesTheCharsetTheMessageIsSentIn) {
    struct Row {
        const char* text;
        const char* charset;
    };
    for (const Row& row : {Row{"Beitrag 12 €", "charset=windows-1252"}, Row{"Łukasz", "charset=UTF-8"}}) {
        SCOPED_TRACE(row.text);
        merge::Mailing mailing;
        mailing.senderAddress = "fest@example.org";
        mailing.body.html = true;
        mailing.body.body = {std::string("<p>") + row.text + "</p>"};
        mailing.rows = {{"+", "Schön", "Anna", "anna@example.org", "w", {}}};
        const std::vector<std::string> lines = app::MessagePreview(mailing).Lines();
        const auto head = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
            return line.starts_with("<html><head>");
        });
        ASSERT_NE(head, lines.end());
        EXPECT_NE(head->find(row.charset), std::string::npos) << *head;
        EXPECT_EQ(head->find("iso-8859-1"), std::string::npos);
    }
}

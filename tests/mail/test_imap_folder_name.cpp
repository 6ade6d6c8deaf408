// Folder names on the IMAP wire (modified UTF-7, RFC 3501 5.1.3) and the
// message text a Sent copy is made of (the SMTP dot doubling undone).
#include <gtest/gtest.h>

#include "mail/id_smtp.h"
#include "mail/imap_client.h"

using namespace sendrix::mail;

TEST(ImapFolderName, EncodesOutsideAsciiAndAmpersandAndDecodesBack) {
    struct Row {
        const char* name;
        std::string utf8;
        std::string wire;
    } rows[] = {
        {"ASCII with blank", "Gesendete Objekte", "Gesendete Objekte"},
        {"umlauts apart", "Sendrix/R\xC3\xBC" "ckl\xC3\xA4ufer", "Sendrix/R&APw-ckl&AOQ-ufer"},
        {"ampersand", "A&B", "A&-B"},
        {"RFC 3501 example", "~peter/mail/\xE5\x8F\xB0\xE5\x8C\x97/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",
         "~peter/mail/&U,BTFw-/&ZeVnLIqe-"},
        {"outside the BMP (surrogate pair)", "\xF0\x9F\x93\xAC", "&2D3c7A-"},
        {"control character", "a\tb", "a&AAk-b"},
        {"empty", "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(encodeImapFolderName(row.utf8), row.wire);
        EXPECT_EQ(decodeImapFolderName(row.wire), row.utf8);
    }
}

TEST(ImapFolderName, LeavesBrokenModifiedUtf7AsItStands) {
    for (const std::string wire : {"&AOQ", "a&A?Q-b"}) {
        SCOPED_TRACE(wire);
        EXPECT_EQ(decodeImapFolderName(wire), wire);
    }
}

TEST(SentText, TakesAwayTheDotDoubledAtEachLineStartOnly) {
    struct Row {
        const char* name;
        std::string wire;
        std::string stored;
    } rows[] = {
        {"leading dot", "..punkt\r\n", ".punkt\r\n"},
        {"line of dots", "a\r\n...\r\n", "a\r\n..\r\n"},
        {"dot inside a line", "a.b\r\n", "a.b\r\n"},
        {"empty", "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(withoutDoubledDots(row.wire), row.stored);
    }
}

// The stored form of a message: the transparency dots the writer doubled
// for SMTP are single again, wherever a line begins.
#include "mail/message_file_target.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

using namespace sendrix::mail;

TEST(MessageBytesTarget, UndoesTheDoubledDotAtEveryLineStart) {
    MessageBytesTarget target;
    target.WriteLine("Subject: a.b");
    target.WriteLines({"..", "...x", "a..b", ""});
    target.WriteText("..in");
    target.WriteText(" Stuecken\r\n.");
    target.WriteText(".ende\r\n");

    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::fputs("..aus der Datei\r\nzweite\r\n", file);
    std::fflush(file);  // read from its start, wherever the position stands
    target.WriteFromStream(fileno(file));
    std::fclose(file);

    EXPECT_EQ(
        target.Bytes(),
        "Subject: a.b\r\n.\r\n..x\r\na..b\r\n\r\n.in Stuecken\r\n.ende\r\n.aus der Datei\r\nzweite\r\n");
}

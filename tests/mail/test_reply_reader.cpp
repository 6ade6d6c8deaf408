#include <gtest/gtest.h>

#include "mail/id_exception.h"
#include "mail/id_reply_reader.h"
#include "platform/text_trim.h"
#include "support/expect_throw.h"

using sendrix::test::expectThrowText;

using namespace sendrix::mail;

TEST(ReplyCode, ReadsNumbersPop3WordsAndRefusesLetters) {
    struct Row {
        const char* line;
        int code;
    } rows[] = {
        {"250 OK", 250}, {"220-first", 220}, {"354", 354}, {"+OK ready", 1}, {"+ok", 1}, {"-ERR no such", 0},
        {"-err", 0},     {"abc def", 0},     {"25", 0},    {"2x0 x", 0},     {"", 0},    {"999 odd", 999},
        {"-ER", 0},      {"+O", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(replyCodeOfLine(row.line), row.code);
    }
}

TEST(ReplyCode, ThreeDigitsMustBeFollowedByABlankADashOrTheLineEnd) {
    struct Row {
        const char* line;
        int code;
        bool wellFormed;
    } rows[] = {
        {"250Ok", 0, false},   {"2500 queued", 0, false}, {"250\tqueued", 0, false}, {"250.ok", 0, false},
        {"250 ok", 250, true}, {"250-more", 250, true},   {"250", 250, true},        {"-ERR gone", 0, true},
        {"+OK", 1, true},      {"ok 250", 0, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(replyCodeOfLine(row.line), row.code);
        EXPECT_EQ(wellFormedReplyLine(row.line), row.wellFormed);
    }
}

TEST(ReplyCode, TrimRemovesControlCharactersAndBlanksAtBothEnds) {
    EXPECT_EQ(sendrix::platform::trimControl(std::string("\t \x01 250 ok \r\n\0", 14)), "250 ok");
    EXPECT_EQ(sendrix::platform::trimControl(" \r\n\t "), "");
    EXPECT_EQ(sendrix::platform::trimControl("a\tb"), "a\tb");
}

TEST(ReplyReader, SingleLineRepliesEndAtOnce) {
    for (const char* line : {"250 ok", "250", "5", "+OK hi", "hello there"}) {
        SCOPED_TRACE(line);
        IdReplyReader reader;
        EXPECT_TRUE(reader.AddLine(line));
        EXPECT_EQ(reader.Lines().size(), 1u);
    }
}

TEST(ReplyReader, ThreeLineReplyEndsAtTheLineWithTheEndMark) {
    IdReplyReader reader;
    EXPECT_FALSE(reader.AddLine("250-mail.example"));
    EXPECT_FALSE(reader.AddLine("250-SIZE 1000"));
    EXPECT_TRUE(reader.AddLine("250 AUTH LOGIN"));
    ASSERT_EQ(reader.Lines().size(), 3u);
    EXPECT_EQ(reader.Lines()[2], "250 AUTH LOGIN");
    EXPECT_EQ(reader.Code(), 250);
}

TEST(ReplyReader, MiddleLineWithAnotherCodeDoesNotEndButTheBareCodeDoes) {
    IdReplyReader reader;
    EXPECT_FALSE(reader.AddLine("220-welcome"));
    EXPECT_FALSE(reader.AddLine("550 not the end"));
    EXPECT_FALSE(reader.AddLine("anything at all"));
    EXPECT_TRUE(reader.AddLine("220"));
    EXPECT_EQ(reader.Lines().size(), 4u);
    EXPECT_EQ(reader.Code(), 220);
}

TEST(ReplyReader, EndMarkIgnoresLetterCase) {
    IdReplyReader reader;
    EXPECT_FALSE(reader.AddLine("abc-first"));
    EXPECT_TRUE(reader.AddLine("ABC last"));
    EXPECT_EQ(reader.Code(), 0);  // letters are no code, so no expected code matches
}

TEST(ReplyReader, RefusesTheLineBeyondTheLimit) {
    IdReplyReader reader(4);
    EXPECT_FALSE(reader.AddLine("250-1"));
    EXPECT_FALSE(reader.AddLine("250-2"));
    EXPECT_FALSE(reader.AddLine("250-3"));
    EXPECT_TRUE(reader.AddLine("250 4"));  // at the limit: accepted

    IdReplyReader flood(4);
    for (int i = 0; i < 4; ++i)
        flood.AddLine("250-more");
    expectThrowText<EIdProtocolReplyError>([&] { flood.AddLine("250-more"); },
                                           "Die Antwort des Servers hat mehr als 4 Zeilen.");
}

TEST(ReplyReader, DefaultLimitIsAThousandLines) {
    IdReplyReader reader;
    for (size_t i = 0; i + 1 < kMaxReplyLines; ++i)
        ASSERT_FALSE(reader.AddLine("250-x"));
    EXPECT_TRUE(reader.AddLine("250 x"));
}

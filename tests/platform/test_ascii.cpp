#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/ascii.h"

namespace sendrix::platform {
namespace {

TEST(Ascii, OnlyLettersAToZChangeCase) {
    // UTF-8 umlauts and Windows-1252 bytes stay as they are: a locale's
    // tolower would turn "\xC4" into "\xE4" under Latin-1.
    EXPECT_EQ(asciiLowered("ÄrgerMÜLLER Z@[\x40\x5B\xC4]"), "ÄrgermÜller z@[\x40\x5B\xC4]");
    EXPECT_EQ(asciiUppered("mail from:<ä`{>"), "MAIL FROM:<ä`{>");
    EXPECT_TRUE(equalsNoCase("LocalHost", "localhOST"));
    EXPECT_FALSE(equalsNoCase("localhost", "localhost."));
    EXPECT_FALSE(equalsNoCase("\xC4", "\xE4"));
    EXPECT_FALSE(equalsNoCase("@", "`"));  // 0x40 and 0x60 differ by the case bit alone
    EXPECT_TRUE(startsWithNoCase("/Sofort", "/sofort"));
    EXPECT_TRUE(startsWithNoCase("/sofort", ""));
    EXPECT_FALSE(startsWithNoCase("/so", "/sofort"));
}

TEST(Ascii, IsAsciiStopsAtTheFirstByteFromHex80) {
    EXPECT_TRUE(isAscii(""));
    EXPECT_TRUE(isAscii(std::string("\x7F\x00 ~", 4)));
    EXPECT_FALSE(isAscii("abc\x80"));  // a Windows-1252 euro sign
    EXPECT_FALSE(isAscii("M\xC3\xBCller"));
}

TEST(Ascii, AsciiPrefixEndsAtTheFirstHighByteWhereverItStands) {
    // Eight bytes are looked at together: a high byte in each place of a
    // word, in the second word and in the tail behind the last whole word.
    for (size_t at = 0; at < 19; ++at) {
        SCOPED_TRACE(at);
        std::string text(19, 'a');
        text[at] = '\xC3';
        EXPECT_EQ(asciiPrefixLength(text), at);
        EXPECT_FALSE(isAscii(text));
    }
    EXPECT_EQ(asciiPrefixLength(std::string(19, '\x7F')), 19u);
    EXPECT_EQ(asciiPrefixLength(""), 0u);
}

TEST(Ascii, FindLineBreakFindsTheFirstCrOrLf) {
    EXPECT_EQ(findLineBreak("abc\r\n\n"), 3u);
    EXPECT_EQ(findLineBreak("abc\n\r"), 3u);  // a CR behind the first LF is no earlier break
    EXPECT_EQ(findLineBreak("abc\rd", 4), std::string_view::npos);
    EXPECT_EQ(findLineBreak("ab\ncd\r\n"), 2u);
    EXPECT_EQ(findLineBreak("ab\ncd\r\n", 3), 5u);
    EXPECT_EQ(findLineBreak("ab\rcd\n"), 2u);
    EXPECT_EQ(findLineBreak("abc"), std::string_view::npos);
    EXPECT_EQ(findLineBreak("a\n", 2), std::string_view::npos);
    EXPECT_EQ(findLineBreak("a\n", 9), std::string_view::npos);  // beyond the end
}

TEST(Ascii, WholeNumbers) {
    struct Row {
        const char* text;
        bool isNumber;
        bool negative;
        bool hexadecimal;
        std::uint64_t magnitude;
    };
    const Row rows[] = {
        {"0", true, false, false, 0},
        {"+25", true, false, false, 25},
        {"-2147483648", true, true, false, 2147483648ull},
        {"0x19", true, false, true, 25},
        {"0XfF", true, false, true, 255},
        {"-0x10", true, true, true, 16},
        {"007", true, false, false, 7},
        {"18446744073709551615", true, false, false, 18446744073709551615ull},
        {"18446744073709551616", false, false, false, 0},
        {"", false, false, false, 0},
        {"+", false, false, false, 0},
        {"0x", false, false, false, 0},
        {"--1", false, false, false, 0},
        {"+-1", false, false, false, 0},
        {"0x-1", false, false, false, 0},
        {"0x0x1", false, false, false, 0},
        {" 1", false, false, false, 0},
        {"1 ", false, false, false, 0},
        {"12a", false, false, false, 0},
        {"1e3", false, false, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const std::optional<ParsedInteger> got = parseInteger(row.text);
        ASSERT_EQ(got.has_value(), row.isNumber);
        if (!got)
            continue;
        EXPECT_EQ(got->hasSign, row.text[0] == '+' || row.text[0] == '-');
        EXPECT_EQ(got->negative, row.negative);
        EXPECT_EQ(got->hexadecimal, row.hexadecimal);
        EXPECT_EQ(got->magnitude, row.magnitude);
    }
}

}  // namespace
}  // namespace sendrix::platform

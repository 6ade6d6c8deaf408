#include <gtest/gtest.h>

#include "platform/text_codec.h"

namespace sendrix::platform {
namespace {

// Every byte 0x00-0xFF with the character Windows-1252 gives it.
std::string allBytes() {
    std::string bytes;
    for (int i = 0; i < 256; ++i)
        bytes += char(i);
    return bytes;
}

TEST(TextCodec, Cp1252TableOfTheHighControlRange) {
    EXPECT_EQ(cp1252ToUtf8("\x80"), "€");
    EXPECT_EQ(cp1252ToUtf8("\x84\x93\x94"), "„“”");
    EXPECT_EQ(cp1252ToUtf8("\x8A\x8C\x8E\x9A\x9C\x9E\x9F"), "ŠŒŽšœžŸ");
    EXPECT_EQ(cp1252ToUtf8("\x96\x97\x99\x85"), "–—™…");
    EXPECT_EQ(cp1252ToUtf8("\xC4\xD6\xDC\xE4\xF6\xFC\xDF"), "ÄÖÜäöüß");
    EXPECT_EQ(cp1252ToUtf8("\xA0\xA7\xFF"), "\u00A0§ÿ");
    // The five undefined bytes stand for the control characters of their number.
    EXPECT_EQ(cp1252ToUtf8("\x81\x8D\x8F\x90\x9D"), "\u0081\u008D\u008F\u0090\u009D");
}

TEST(TextCodec, EveryByteRoundTrips) {
    const std::string bytes = allBytes();
    const std::string text = cp1252ToUtf8(bytes);
    EXPECT_TRUE(isValidUtf8(text));
    EXPECT_TRUE(fitsCp1252(text));
    EXPECT_EQ(utf8ToCp1252(text), bytes);
    EXPECT_EQ(encodeFileText(text), bytes);
}

TEST(TextCodec, CharactersWithoutAByte) {
    EXPECT_FALSE(fitsCp1252("Łódź"));
    EXPECT_FALSE(fitsCp1252("日本"));
    EXPECT_FALSE(fitsCp1252("😀"));
    // U+0080 is no Windows-1252 character (0x80 is the euro sign).
    EXPECT_FALSE(fitsCp1252("\u0080"));
    EXPECT_TRUE(fitsCp1252("€ ß Ä"));
    EXPECT_EQ(utf8ToCp1252("a€Łb😀"), "a\x80?b?");
    EXPECT_EQ(utf8ToCp1252("Łx", '_'), "_x");
}

TEST(TextCodec, EveryTwoByteLatinCharacterFitsExactlyWhenItHasAByte) {
    // U+00A0 to U+00FF are their own byte; of U+0080 to U+009F only the five
    // the code page leaves undefined have one (they stand for themselves).
    for (char32_t cp = 0x80; cp <= 0xFF; ++cp) {
        SCOPED_TRACE(static_cast<int>(cp));
        std::string text = "a";
        appendUtf8(text, cp);
        const bool undefinedByte = cp == 0x81 || cp == 0x8D || cp == 0x8F || cp == 0x90 || cp == 0x9D;
        EXPECT_EQ(fitsCp1252(text + "b"), cp >= 0xA0 || undefinedByte);
    }
    // A lead byte without its continuation is a Windows-1252 letter itself.
    EXPECT_TRUE(fitsCp1252("\xC3"));
    EXPECT_TRUE(fitsCp1252("\xC3\x41\xC2"));
}

TEST(TextCodec, Utf8Validity) {
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("plain ASCII"));
    EXPECT_TRUE(isValidUtf8("Grüße 😀"));
    EXPECT_FALSE(isValidUtf8("\xE4"));              // Windows-1252 "ä"
    EXPECT_FALSE(isValidUtf8("\xC3"));              // cut off
    EXPECT_FALSE(isValidUtf8("\x80"));              // stray continuation
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));          // overlong "/"
    EXPECT_FALSE(isValidUtf8("\xE0\x80\xAF"));      // overlong "/"
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
    EXPECT_FALSE(isValidUtf8("\xFF"));
    EXPECT_TRUE(isValidUtf8(std::string("a\0b", 3)));
}

TEST(TextCodec, DecodingFilesOfEitherCharacterSet) {
    const std::string expected = "Sehr geehrte Frau Müller, 50 € für Straße und Äpfel";
    const std::string cp1252 =
        "Sehr geehrte Frau M\xFCller, 50 \x80 f\xFCr Stra\xDF"
        "e und \xC4pfel";
    EXPECT_EQ(decodeFileText(cp1252), expected);
    EXPECT_EQ(decodeFileText(expected), expected);
    EXPECT_EQ(decodeFileText("\xEF\xBB\xBF" + expected), expected);
    EXPECT_EQ(decodeFileText("plain"), "plain");
    EXPECT_EQ(decodeFileText(""), "");
    EXPECT_EQ(decodeFileText("\xEF\xBB\xBF"), "");
    // One invalid byte makes the whole text Windows-1252: "Ã¤" stays as it is read.
    EXPECT_EQ(decodeFileText("ä \xE4"), "Ã¤ ä");
    // A byte-order mark followed by stray bytes still gives valid text.
    const std::string repaired = decodeFileText(
        "\xEF\xBB\xBF"
        "ä\xFC");
    EXPECT_TRUE(isValidUtf8(repaired));
    EXPECT_EQ(repaired, std::string("ä") + "ü");
}

TEST(TextCodec, EncodingForFiles) {
    EXPECT_EQ(encodeFileText("€ß Ä"), "\x80\xDF \xC4");
    EXPECT_EQ(decodeFileText(encodeFileText("€")), "€");
    EXPECT_EQ(decodeFileText(encodeFileText("ß")), "ß");
    EXPECT_EQ(decodeFileText(encodeFileText("Ä")), "Ä");
    // One character outside Windows-1252 keeps the whole text UTF-8, so it survives.
    const std::string mixed = "Grüße aus Łódź €";
    EXPECT_EQ(encodeFileText(mixed), mixed);
    EXPECT_EQ(decodeFileText(encodeFileText(mixed)), mixed);
    const std::string emoji = "Hallo 😀";
    EXPECT_EQ(decodeFileText(encodeFileText(emoji)), emoji);
}

TEST(TextCodec, StrayBytesInProgramTextAreKept) {
    // Text that is not valid UTF-8 (a Windows-1252 byte taken over unconverted)
    // is read as Windows-1252 and loses nothing.
    EXPECT_TRUE(fitsCp1252("M\xFCller"));
    EXPECT_EQ(utf8ToCp1252("M\xFCller"), "M\xFCller");
    EXPECT_EQ(encodeFileText("M\xFCller"), "M\xFCller");
    // Mixed with a character that needs UTF-8, the stray byte is converted.
    EXPECT_EQ(encodeFileText("\xFC Ł"), "ü Ł");
}

TEST(TextCodec, CountingAndCuttingCharacters) {
    struct Row {
        const char* text;
        size_t count;
        size_t bytesOfFirstTwo;
    };
    const Row rows[] = {
        {"", 0, 0},
        {"abc", 3, 2},
        {"ä€𝄞", 3, 5},           // 2, 3 and 4 bytes
        {"\xE4\x80l", 3, 2},     // Windows-1252 "ä€l": no UTF-8, a byte each
        {"\xC0\x80x", 3, 2},     // an overlong form is no character
        {"\xED\xA0\x80", 3, 2},  // nor is a surrogate
        {"\x80\x80", 2, 2},      // stray continuation bytes
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(characterCount(row.text), row.count);
        EXPECT_EQ(leftCharacters(row.text, 2).size(), row.bytesOfFirstTwo);
        EXPECT_EQ(leftCharacters(row.text, row.count), row.text);
    }
}

}  // namespace
}  // namespace sendrix::platform

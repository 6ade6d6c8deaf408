// The wire charset chosen from the text: every locale family against ASCII,
// Windows-1252, Latin-1, Japanese and text outside all of them; the bytes
// that go out; encoded words that keep UTF-8 characters whole; the body's
// transfer encoding.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/id_header_coder.h"
#include "mail/wire_charset.h"
#include "platform/text_codec.h"

namespace sendrix::mail {
namespace {

using platform::LocaleLanguage;
using platform::PrimaryLanguage;
using platform::SubLanguage;
using Kind = WireCharsetKind;

const LocaleLanguage kGerman{PrimaryLanguage::German, SubLanguage::Other};
const LocaleLanguage kEnglish{PrimaryLanguage::English, SubLanguage::Other};
const LocaleLanguage kOther{PrimaryLanguage::Other, SubLanguage::Other};
const LocaleLanguage kJapanese{PrimaryLanguage::Japanese, SubLanguage::Other};
const LocaleLanguage kSimplifiedChinese{PrimaryLanguage::Chinese, SubLanguage::ChineseSimplified};
const LocaleLanguage kTraditionalChinese{PrimaryLanguage::Chinese, SubLanguage::ChineseTraditional};
const LocaleLanguage kKorean{PrimaryLanguage::Korean, SubLanguage::Other};

TEST(ChooseWireCharset, TheTextDecidesInEveryLocaleFamily) {
    struct Row {
        const char* what;
        std::string text;
        Kind western;  // German, English, any other language, Chinese, Korean
        Kind japanese;
    };
    const Row rows[] = {
        {"empty", "", Kind::Ascii, Kind::Ascii},
        {"ASCII", "Termin am Montag", Kind::Ascii, Kind::Ascii},
        {"Latin-1 umlauts",
         "Gr\xC3\xBC\xC3\x9F"
         "e aus K\xC3\xB6ln",
         Kind::Windows1252, Kind::Windows1252},
        {"en dash and euro (Windows-1252 only)", "5 \xE2\x82\xAC \xE2\x80\x93 Eintritt", Kind::Windows1252,
         Kind::Windows1252},
        {"Turkish",
         "Ay\xC5\x9F"
         "e \xC5\x9E"
         "ahin",
         Kind::Utf8, Kind::Utf8},
        {"Polish and Czech", "\xC5\x81ukasz Dvo\xC5\x99\xC3\xA1k", Kind::Utf8, Kind::Utf8},
        {"Vietnamese", "Nguy\xE1\xBB\x85n", Kind::Utf8, Kind::Utf8},
        {"emoji", "Fest \xF0\x9F\x8E\x89", Kind::Utf8, Kind::Utf8},
        {"Japanese", "\xE6\x97\xA5\xE6\x9C\xAC", Kind::Utf8, Kind::Iso2022Jp},
        {"Japanese with an umlaut", "\xE6\x97\xA5 \xC3\xBC", Kind::Utf8, Kind::Utf8},
        {"half-width katakana has no ISO-2022-JP form", "\xEF\xBD\xB1", Kind::Utf8, Kind::Utf8},
        // A control character Windows-1252 leaves undefined would not decode.
        {"U+0081", "a\xC2\x81", Kind::Utf8, Kind::Utf8},
        {"stray undefined byte", "a\x9D", Kind::Utf8, Kind::Iso2022Jp},
        {"\xC3\x81 and \xC3\x8D hold 0x81 and 0x8D but are defined", "\xC3\x81lvaro \xC3\x8D",
         Kind::Windows1252, Kind::Windows1252},
        {"stray Windows-1252 byte",
         "Gr\xFC\xDF"
         "e",
         Kind::Windows1252, Kind::Iso2022Jp},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        for (const LocaleLanguage& language :
             {kGerman, kEnglish, kOther, kSimplifiedChinese, kTraditionalChinese, kKorean})
            EXPECT_EQ(ChooseWireCharset(row.text, language).kind, row.western);
        EXPECT_EQ(ChooseWireCharset(row.text, kJapanese).kind, row.japanese);
    }
}

TEST(ChooseWireCharset, NamesAndLettersOfEachCharset) {
    struct Row {
        std::string text;
        LocaleLanguage language;
        const char* name;
        char letter;
        bool eightBit;
    };
    const Row rows[] = {
        {"abc", kGerman, "us-ascii", 'Q', false},
        {"K\xC3\xB6ln", kGerman, "windows-1252", 'Q', true},
        {"\xC5\x81ukasz", kGerman, "UTF-8", 'Q', true},  // mostly Latin: readable "Q"
        {"\xE6\x97\xA5\xE6\x9C\xAC", kGerman, "UTF-8", 'B', true},
        {"\xE6\x97\xA5\xE6\x9C\xAC", kJapanese, "ISO-2022-JP", 'B', false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const WireCharset charset = ChooseWireCharset(row.text, row.language);
        EXPECT_EQ(charset.name, row.name);
        EXPECT_EQ(charset.headerEncoding, row.letter);
        EXPECT_EQ(charset.eightBit(), row.eightBit);
    }
}

TEST(ToWireBytes, NothingIsReplacedOrDropped) {
    struct Row {
        const char* what;
        std::string text;
        LocaleLanguage language;
        std::string wire;
    };
    const Row rows[] = {
        {"Windows-1252 bytes", "5 \xE2\x82\xAC \xE2\x80\x93 K\xC3\xB6ln", kGerman, "5 \x80 \x96 K\xF6ln"},
        {"UTF-8 unchanged", "\xC5\x81ukasz \xF0\x9F\x8E\x89", kGerman, "\xC5\x81ukasz \xF0\x9F\x8E\x89"},
        {"stray byte in UTF-8 text becomes its character", "\xC5\x81 \xFC", kGerman, "\xC5\x81 \xC3\xBC"},
        {"ISO-2022-JP", "\xE6\x97\xA5 a", kJapanese, "\x1b$BF|\x1b(B a"},
        // Shift_JIS bytes, as Japanese text came from the code page.
        {"legacy Shift_JIS", "\x93\xfa", kJapanese, "\x1b$BF|\x1b(B"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(ToWireBytes(row.text, ChooseWireCharset(row.text, row.language)), row.wire);
    }
    // Back again: the Windows-1252 bytes are the typed text.
    const std::string typed =
        "\xE2\x80\x9E"
        "Gr\xC3\xBC\xC3\x9F"
        "e\xE2\x80\x9C \xE2\x80\xA6";
    EXPECT_EQ(platform::cp1252ToUtf8(ToWireBytes(typed, ChooseWireCharset(typed, kGerman))), typed);
}

TEST(EncodeHeaderWords, EachTextInItsOwnCharset) {
    EXPECT_EQ(EncodeHeaderWords("Termin am Montag", "", kJapanese), "Termin am Montag");
    EXPECT_EQ(EncodeHeaderWords("Gr\xC3\xBC\xC3\x9F"
                                "e aus K\xC3\xB6ln",
                                "", kGerman),
              "=?windows-1252?Q?Gr=FC=DFe?= aus =?windows-1252?Q?K=F6ln?=");
    // Japanese locale, umlauts: no longer deleted, and labelled as they go.
    EXPECT_EQ(EncodeHeaderWords("Gr\xC3\xBC\xC3\x9F"
                                "e",
                                "", kJapanese),
              "=?windows-1252?Q?Gr=FC=DFe?=");
    EXPECT_EQ(EncodeHeaderWords("\xE6\x97\xA5 \xC3\xBC", "", kJapanese), "=?UTF-8?B?5pelIMO8?=");
    EXPECT_EQ(EncodeHeaderWords("\xE6\x97\xA5", "", kJapanese), "=?ISO-2022-JP?B?GyRCRnwbKEI=?=");
    EXPECT_EQ(EncodeHeaderWords("Fest \xF0\x9F\x8E\x89", "", kKorean), "Fest =?UTF-8?B?8J+OiQ==?=");
}

// The UTF-8 bytes of one encoded word's text, "Q" or "B".
std::string decodeWord(const std::string& word) {
    const size_t letter = word.find('?', 2) + 1;
    const std::string text = word.substr(letter + 2, word.size() - letter - 4);
    std::string out;
    if (word[letter] == 'B') {
        static const std::string alphabet =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        unsigned bits = 0;
        int count = 0;
        for (char c : text) {
            if (c == '=')
                break;
            bits = (bits << 6) | unsigned(alphabet.find(c));
            count += 6;
            if (count >= 8) {
                count -= 8;
                out += char((bits >> count) & 0xFF);
            }
        }
        return out;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '=') {
            out += char(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i] == '_' ? ' ' : text[i];
        }
    }
    return out;
}

TEST(EncodeHeaderText, UtfEightWordsEndOnlyBetweenCharactersAndStayWithin75) {
    // 40 emoji (4 bytes each) and 60 "ř" (2 bytes each): many words each.
    std::string emoji;
    for (int i = 0; i < 40; ++i)
        emoji += "\xF0\x9F\x8E\x89";
    std::string latin;
    for (int i = 0; i < 60; ++i)
        latin += "\xC5\x99";
    for (char letter : {'B', 'Q'}) {
        for (const std::string& text : {emoji, latin}) {
            SCOPED_TRACE(std::string(1, letter) + " " + std::to_string(text.size()));
            const std::string encoded = EncodeHeaderText(text, "", letter, false, "UTF-8");
            std::string joined;
            size_t start = 0;
            int words = 0;
            while (start < encoded.size()) {
                size_t end = encoded.find("\r\n\t", start);
                const std::string word = encoded.substr(start, end == std::string::npos ? end : end - start);
                EXPECT_LE(word.size(), 75u);
                const std::string bytes = decodeWord(word);
                EXPECT_TRUE(platform::isValidUtf8(bytes)) << word;
                joined += bytes;
                ++words;
                start = end == std::string::npos ? encoded.size() : end + 3;
            }
            EXPECT_GT(words, 1);
            EXPECT_EQ(joined, text);
        }
    }
}

TEST(ChooseTextEncoding, EightBitOrLongLinesGoQuotedPrintable) {
    struct Row {
        const char* what;
        std::vector<std::string> lines;
        LocaleLanguage language;
        bool declared;
        const char* transfer;
    };
    const Row rows[] = {
        {"ASCII stays undeclared", {"Hallo", "Welt"}, kGerman, false, "7bit"},
        {"a line of 998 octets", {std::string(998, 'a')}, kGerman, false, "7bit"},
        {"a line of 999 octets", {std::string(999, 'a')}, kGerman, true, "quoted-printable"},
        {"Windows-1252 text", {"K\xC3\xB6ln"}, kGerman, true, "quoted-printable"},
        {"UTF-8 text", {"\xC5\x81ukasz"}, kEnglish, true, "quoted-printable"},
        {"ISO-2022-JP is 7-bit", {"\xE6\x97\xA5"}, kJapanese, true, "7bit"},
        // 997 Windows-1252 characters of 2 UTF-8 bytes are 997 octets there.
        {"counted in wire octets",
         {[] {
             std::string s;
             for (int i = 0; i < 997; ++i)
                 s += "\xC3\xA4";
             return s;
         }()},
         kGerman,
         true,
         "quoted-printable"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const TextEncoding encoding = ChooseTextEncoding(row.lines, row.language);
        EXPECT_EQ(encoding.declared(), row.declared);
        EXPECT_EQ(encoding.transferEncoding(), row.transfer);
    }
    // The 997 umlauts fit on one line without quoted-printable's help: it is
    // the 8-bit bytes that need it, not the length.
    EXPECT_EQ(ToWireBytes(rows[6].lines[0], ChooseWireCharset(rows[6].lines, kGerman)).size(), 997u);
}

}  // namespace
TEST(ChooseTextEncoding, TheLinesFactsChooseAsTheWholeJoinedText) {
    // The charset of the lines joined by LF and the old rule for the
    // transfer encoding, against the choice from each line's facts.
    const std::vector<std::vector<std::string>> bodies = {
        {},
        {""},
        {"Hallo", "", "Welt"},
        {"K\xC3\xB6ln", "plain"},
        {"plain", "\xC5\x81ukasz"},
        {"\xE2\x82\xAC 100", "\xC2\x81"},  // euro sign, U+0081 (an undefined byte)
        {"stray \x81 byte", "ok"},         // a byte that is no UTF-8
        {"\xC2\x80"},                      // U+0080 has no Windows-1252 byte
        {"\xC3", "\xBC"},                  // a sequence cut by the line end
        {std::string("a\0b", 3)},
        {std::string(999, 'a')},
        {std::string(998, 'a'), "\xF0\x9F\x98\x80\xF0\x9F\x98\x80 x"},
        {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},  // mostly multi-byte: "B" in headers
    };
    for (const LocaleLanguage& language : {kGerman, kEnglish}) {
        for (const std::vector<std::string>& lines : bodies) {
            SCOPED_TRACE(::testing::PrintToString(lines));
            const WireCharset whole = ChooseWireCharset(lines, language);
            const TextEncoding chosen = ChooseTextEncoding(lines, language);
            EXPECT_EQ(chosen.charset.kind, whole.kind);
            EXPECT_EQ(chosen.charset.name, whole.name);
            EXPECT_EQ(chosen.charset.headerEncoding, whole.headerEncoding);
            EXPECT_EQ(chosen.quotedPrintable, whole.eightBit() || !FitsUnencoded(lines, whole));
        }
    }
}

}  // namespace sendrix::mail

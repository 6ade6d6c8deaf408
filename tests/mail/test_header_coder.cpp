// Header text encoding: the character set label for each locale, RFC 2047
// encoded words in "Q" and "B" with their 75-character limit, and the
// Shift_JIS to ISO-2022-JP conversion with half-width katakana.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "mail/id_header_coder.h"

namespace sendrix::mail {
namespace {

using platform::LocaleLanguage;
using platform::PrimaryLanguage;
using platform::SubLanguage;

std::string repeat(std::string_view piece, int count) {
    std::string out;
    for (int i = 0; i < count; ++i)
        out += piece;
    return out;
}

// Western label as the German program uses it.
std::string q(std::string_view text, std::string_view specials = "") {
    return EncodeHeaderText(text, specials, 'Q', false, "ISO-8859-1");
}

// ---------------------------------------------------------------------------
// Character set choice

TEST(ChooseHeaderCharset, EachLanguageGetsItsLabelLetterAndConversion) {
    struct Case {
        LocaleLanguage language;
        const char* name;
        char letter;
        bool convert;
    };
    const Case cases[] = {
        {{PrimaryLanguage::Chinese, SubLanguage::ChineseSimplified}, "GB2312", 'B', false},
        {{PrimaryLanguage::Chinese, SubLanguage::ChineseTraditional}, "Big5", 'B', false},
        {{PrimaryLanguage::Chinese, SubLanguage::Other}, "Big5", 'B', false},
        {{PrimaryLanguage::Japanese, SubLanguage::Other}, "ISO-2022-JP", 'B', true},
        {{PrimaryLanguage::Korean, SubLanguage::Other}, "EUC-KR", 'B', false},
        {{PrimaryLanguage::German, SubLanguage::Other}, "ISO-8859-1", 'Q', false},
        {{PrimaryLanguage::English, SubLanguage::Other}, "ISO-8859-1", 'Q', false},
        {{PrimaryLanguage::Other, SubLanguage::Other}, "ISO-8859-1", 'Q', false},
        // A sub-language only matters for Chinese.
        {{PrimaryLanguage::German, SubLanguage::ChineseSimplified}, "ISO-8859-1", 'Q', false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const HeaderCharset charset = ChooseHeaderCharset(c.language);
        EXPECT_EQ(charset.charsetName, c.name);
        EXPECT_EQ(charset.encoding, c.letter);
        EXPECT_EQ(charset.convertToIso2022Jp, c.convert);
    }
}

// Restores LC_ALL when a test is done with it.
class LocaleVariable {
public:
    LocaleVariable() {
        if (const char* value = std::getenv("LC_ALL"))
            m_saved = value;
    }
    ~LocaleVariable() {
        if (m_saved)
            ::setenv("LC_ALL", m_saved->c_str(), 1);
        else
            ::unsetenv("LC_ALL");
    }
    void set(const char* value) { ::setenv("LC_ALL", value, 1); }

private:
    std::optional<std::string> m_saved;
};

TEST(ChooseHeaderCharset, FollowsTheUsersLocaleAnewOnEveryCall) {
    LocaleVariable locale;
    struct Case {
        const char* locale;
        const char* name;
        char letter;
        bool convert;
    };
    const Case cases[] = {
        {"de_DE.UTF-8", "ISO-8859-1", 'Q', false}, {"ja_JP.UTF-8", "ISO-2022-JP", 'B', true},
        {"zh_CN.UTF-8", "GB2312", 'B', false},     {"zh_TW.UTF-8", "Big5", 'B', false},
        {"ko_KR.EUC-KR", "EUC-KR", 'B', false},    {"de_AT@euro", "ISO-8859-1", 'Q', false},
        {"C", "ISO-8859-1", 'Q', false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        locale.set(c.locale);
        const HeaderCharset charset = ChooseHeaderCharset();
        EXPECT_EQ(charset.charsetName, c.name);
        EXPECT_EQ(charset.encoding, c.letter);
        EXPECT_EQ(charset.convertToIso2022Jp, c.convert);
    }
}

// ---------------------------------------------------------------------------
// Encoded words, "Q"

struct EncodeCase {
    const char* what;
    std::string text;
    std::string specials;
    std::string expected;
};

TEST(EncodeHeaderTextQ, WordsThatNeedEncodingAndTheWhiteSpaceBetweenThemFormOneRun) {
    const EncodeCase cases[] = {
        {"two runs around a plain word",
         "Gr\xfc\xdf"
         "e aus K\xf6ln",
         "", "=?ISO-8859-1?Q?Gr=FC=DFe?= aus =?ISO-8859-1?Q?K=F6ln?="},
        {"two encoded words joined by their blank",
         "Sch\xf6ne Gr\xfc\xdf"
         "e",
         "", "=?ISO-8859-1?Q?Sch=F6ne_Gr=FC=DFe?="},
        {"every blank between run words becomes _", "\xe4  \xf6", "", "=?ISO-8859-1?Q?=E4__=F6?="},
        {"a tab inside a run", "\xe4\tb\xe4", "", "=?ISO-8859-1?Q?=E4=09b=E4?="},
        {"white space around a run stays as it is",
         "  Gr\xfc\xdf"
         "e  Welt\t",
         "", "  =?ISO-8859-1?Q?Gr=FC=DFe?=  Welt\t"},
        {"white space after a run at the end is not part of it",
         "Gr\xfc\xdf"
         "e ",
         "", "=?ISO-8859-1?Q?Gr=FC=DFe?= "},
        {"DEL and control bytes need encoding", "a\x7f b\x01 c", "", "=?ISO-8859-1?Q?a=7F_b=01?= c"},
        {"byte 126 and the blank need none", "a~ b", "", "a~ b"},
        {"ASCII text comes back unchanged, double blanks and tabs too", "Newsletter  Mai\t2024: Ausgabe ?=_",
         "", "Newsletter  Mai\t2024: Ausgabe ?=_"},
        {"empty text", "", "", ""},
        {"= ? _ inside a run are escaped", "Gr\xfc=?_", "", "=?ISO-8859-1?Q?Gr=FC=3D=3F=5F?="},
        {"= ? _ alone do not pull a word into the run", "\xe4 a=b?c_d", "", "=?ISO-8859-1?Q?=E4?= a=b?c_d"},
        {"= ? _ outside a run stay", "a=b ?_ \xe4", "", "a=b ?_ =?ISO-8859-1?Q?=E4?="},
        {"a question mark after an umlaut", "Fertig\xdf?", "", "=?ISO-8859-1?Q?Fertig=DF=3F?="},
        {"without specials a full stop is plain", "Dr. M\xfcller", "", "Dr. =?ISO-8859-1?Q?M=FCller?="},
        {"with specials a full stop makes its word join the run", "Dr. M\xfcller",
         std::string(kAddressSpecials), "=?ISO-8859-1?Q?Dr=2E_M=FCller?="},
        {"a comma is escaped, the plain word after it is not encoded", "M\xfcller, Hans",
         std::string(kAddressSpecials), "=?ISO-8859-1?Q?M=FCller=2C?= Hans"},
        {"parentheses, quote, backslash", "J\xfcrgen von M\xfcller (GF) \"x\\y\"",
         std::string(kAddressSpecials),
         "=?ISO-8859-1?Q?J=FCrgen?= von =?ISO-8859-1?Q?M=FCller_=28GF=29_=22x=5Cy=22?="},
        {"specials alone make a word need encoding", "Team <Vertrieb>", std::string(kAddressSpecials),
         "Team =?ISO-8859-1?Q?=3CVertrieb=3E?="},
    };
    for (const EncodeCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(q(c.text, c.specials), c.expected);
    }
}

TEST(EncodeHeaderTextQ, EncodedWordsStayWithinSeventyFiveCharacters) {
    const std::string open = "=?ISO-8859-1?Q?";
    const std::string next = "?=\r\n\t" + open;
    const EncodeCase cases[] = {
        // 15 + 2 leaves 58 columns: 19 tokens of 3 (57), the 20th would make 77.
        {"30 times A umlaut", std::string(30, '\xc4'), "",
         open + repeat("=C4", 19) + next + repeat("=C4", 11) + "?="},
        {"19 tokens fit exactly, a 20th starts a word", std::string(19, '\xc4'), "",
         open + repeat("=C4", 19) + "?="},
        {"20 tokens", std::string(20, '\xc4'), "", open + repeat("=C4", 19) + next + "=C4?="},
        // 17 + 3 + 55 reaches 75 exactly; the 56th letter exceeds it.
        {"a word filled to exactly 75", "\xe4" + std::string(70, 'a'), "",
         open + "=E4" + std::string(55, 'a') + next + std::string(15, 'a') + "?="},
        // 17 + 3 + 54 = 74; a three-character token would make 77 and is not split.
        {"an escape is never split", "\xe4" + std::string(54, 'a') + "\xf6", "",
         open + "=E4" + std::string(54, 'a') + next + "=F6?="},
        {"60 tokens make four words", std::string(60, '\xdf'), "",
         open + repeat("=DF", 19) + next + repeat("=DF", 19) + next + repeat("=DF", 19) + next +
             repeat("=DF", 3) + "?="},
    };
    for (const EncodeCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string encoded = q(c.text);
        EXPECT_EQ(encoded, c.expected);
        size_t start = 0;
        while (start <= encoded.size()) {
            size_t end = encoded.find("\r\n\t", start);
            const std::string word =
                encoded.substr(start, end == std::string::npos ? std::string::npos : end - start);
            EXPECT_LE(word.size(), 75u) << word;
            EXPECT_EQ(word.rfind(open, 0), 0u) << word;
            EXPECT_EQ(word.substr(word.size() - 2), "?=") << word;
            if (end == std::string::npos)
                break;
            start = end + 3;
        }
    }
}

TEST(EncodeHeaderTextQ, LongerCharsetNameLeavesLessRoom) {
    // "=?windows-1252?Q?" is 17 long: 17 + 2 leaves 56 columns, 18 tokens.
    EXPECT_EQ(EncodeHeaderText(std::string(20, '\xe9'), "", 'Q', false, "windows-1252"),
              "=?windows-1252?Q?" + repeat("=E9", 18) + "?=\r\n\t=?windows-1252?Q?=E9=E9?=");
}

// ---------------------------------------------------------------------------
// Encoded words, "B"

TEST(EncodeHeaderTextB, GroupsOfThreeBecomeFourCharactersWithinSeventyFive) {
    const std::string open = "=?GB2312?B?";
    const std::string next = "?=\r\n\t" + open;
    // C4 C4 C4 = 110001 001100 010011 000100; C4 alone 110001 00....; C4 C4
    // 110001 001100 0100..
    const EncodeCase cases[] = {
        {"one byte", "\xc4", "", open + "xA==?="},
        {"two bytes", "\xc4\xc4", "", open + "xMQ=?="},
        {"three bytes", "\xc4\xc4\xc4", "", open + "xMTE?="},
        {"a blank inside the run is data", "\xc4 \xc4", "", open + "xCDE?="},
        {"plain words stay", "ab \xc4 cd", "", "ab " + open + "xA==?= cd"},
        // 11 + 2 leaves 62 columns: 15 groups (60), the 16th would make 77.
        {"45 bytes fill one word", std::string(45, '\xc4'), "", open + repeat("xMTE", 15) + "?="},
        {"46 bytes", std::string(46, '\xc4'), "", open + repeat("xMTE", 15) + next + "xA==?="},
        {"47 bytes", std::string(47, '\xc4'), "", open + repeat("xMTE", 15) + next + "xMQ=?="},
        {"91 bytes", std::string(91, '\xc4'), "",
         open + repeat("xMTE", 15) + next + repeat("xMTE", 15) + next + "xA==?="},
    };
    for (const EncodeCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(EncodeHeaderText(c.text, c.specials, 'B', false, "GB2312"), c.expected);
    }
}

TEST(EncodeHeaderTextB, AGroupThatReachesSeventyFiveExactlyStillFits) {
    // "=?Big5?B?" is 9 long: 9 + 2 + 16 * 4 makes 75, so 16 groups fit and
    // the word is 75 characters long.
    const std::string word = "=?Big5?B?" + repeat("xMTE", 16) + "?=";
    ASSERT_EQ(word.size(), 75u);
    EXPECT_EQ(EncodeHeaderText(std::string(48, '\xc4'), "", 'B', false, "Big5"), word);
    EXPECT_EQ(EncodeHeaderText(std::string(49, '\xc4'), "", 'B', false, "Big5"),
              word + "\r\n\t=?Big5?B?xA==?=");
}

TEST(EncodeHeaderTextB, JapaneseTextIsConvertedToIso2022JpFirst) {
    const HeaderCharset japanese = ChooseHeaderCharset({PrimaryLanguage::Japanese, SubLanguage::Other});
    // Shift_JIS 93FA 967B is JIS 467C 4B5C; ESC $ B F | K \ ESC ( B in base64
    // is GyRC RnxL XBso Qg==.
    EXPECT_EQ(EncodeHeaderText("\x93\xfa\x96\x7b", "", japanese), "=?ISO-2022-JP?B?GyRCRnxLXBsoQg==?=");
    EXPECT_EQ(EncodeHeaderText("Re: \x93\xfa\x96\x7b", "", japanese),
              "Re: =?ISO-2022-JP?B?GyRCRnxLXBsoQg==?=");
    EXPECT_EQ(EncodeHeaderText("Termin am Montag", "", japanese), "Termin am Montag");
    // Without the flag the same bytes are encoded as they are.
    EXPECT_EQ(EncodeHeaderText("\x93\xfa", "", 'B', false, "Shift_JIS"), "=?Shift_JIS?B?k/o=?=");
}

// ---------------------------------------------------------------------------
// ISO-2022-JP

const std::string kToJis = "\x1b$B";
const std::string kToAscii = "\x1b(B";

std::string jis(std::string_view bytes) {
    return kToJis + std::string(bytes) + kToAscii;
}

struct JisCase {
    const char* what;
    std::string input;
    std::string expected;
};

TEST(ConvertToIso2022Jp, ShiftJisPairsFollowTheRowArithmetic) {
    const JisCase cases[] = {
        {"ASCII alone needs no escapes", "Hallo 123", "Hallo 123"},
        {"empty", "", ""},
        {"Nihon", "\x93\xfa\x96\x7b", jis("\x46\x7c\x4b\x5c")},
        {"hiragana a (82A0, second row)", "\x82\xa0", jis("\x24\x22")},
        {"ideographic space (8140, first row)", "\x81\x40", jis("\x21\x21")},
        {"trail 7E and 80 are adjacent cells", "\x81\x7e\x81\x80", jis("\x21\x5f\x21\x60")},
        {"trail 9E is the last cell of the first row", "\x81\x9e", jis("\x21\x7e")},
        {"trail 9F is the first cell of the second row", "\x81\x9f", jis("\x22\x21")},
        {"trail FC is the last cell of the second row", "\x9f\xfc", jis("\x5e\x7e")},
        {"lead E0 continues after 9F", "\xe0\x40", jis("\x5f\x21")},
        {"lead EF", "\xef\xfc", jis("\x7e\x7e")},
        {"switches back for ASCII and again for JIS",
         "a\x82\xa0"
         "b\x82\xa0",
         "a" + jis("$\"") + "b" + jis("$\"")},
        {"one escape for consecutive characters", "\x82\xa0\x82\xa2", jis("$\"$$")},
    };
    for (const JisCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ConvertToIso2022Jp(c.input), c.expected);
    }
}

TEST(ConvertToIso2022Jp, HalfWidthKatakanaBecomeFullWidthWithTheirSoundMarks) {
    const JisCase cases[] = {
        {"ideographic full stop", "\xa1", jis("!#")},
        {"corner brackets", "\xa2\xa3", jis("!V!W")},
        {"comma and middle dot", "\xa4\xa5", jis("!\"!&")},
        {"wo", "\xa6", jis("%r")},
        {"small a", "\xa7", jis("%!")},
        {"small tsu", "\xaf", jis("%C")},
        {"prolonged sound mark", "\xb0", jis("!<")},
        {"a", "\xb1", jis("%\"")},
        {"ka", "\xb6", jis("%+")},
        {"ma", "\xcf", jis("%^")},
        {"wa", "\xdc", jis("%o")},
        {"n", "\xdd", jis("%s")},
        {"marks alone", "\xde\xdf", jis("!+!,")},
        {"ka + voiced mark = ga", "\xb6\xde", jis("%,")},
        {"sa + voiced mark = za", "\xbb\xde", jis("%6")},
        {"tsu + voiced mark = du", "\xc2\xde", jis("%E")},
        {"to + voiced mark = do", "\xc4\xde", jis("%I")},
        {"u + voiced mark = vu", "\xb3\xde", jis("%t")},
        {"ha + voiced mark = ba", "\xca\xde", jis("%P")},
        {"ha + semi-voiced mark = pa", "\xca\xdf", jis("%Q")},
        {"ho + semi-voiced mark = po", "\xce\xdf", jis("%]")},
        {"ho + voiced mark = bo", "\xce\xde", jis("%\\")},
        {"a has no voiced form: the mark stays", "\xb1\xde", jis("%\"!+")},
        {"ka has no semi-voiced form: the mark stays", "\xb6\xdf", jis("%+!,")},
        {"na has no voiced form", "\xc5\xde", jis("%J!+")},
        {"one mark is consumed, a second one stays", "\xb6\xde\xde", jis("%,!+")},
        {"katakana between ASCII",
         "x\xb6\xde"
         "y",
         "x" + jis("%,") + "y"},
        {"katakana then a Shift_JIS pair in one JIS stretch", "\xb1\x93\xfa", jis("%\"F|")},
    };
    for (const JisCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ConvertToIso2022Jp(c.input), c.expected);
    }
}

TEST(ConvertToIso2022Jp, BytesWithoutJisCharacterGiveNoOutput) {
    const JisCase cases[] = {
        {"80, A0, FD, FE, FF alone",
         "a\x80"
         "b\xa0"
         "c\xfd"
         "d\xfe"
         "e\xff"
         "f",
         "abcdef"},
        {"user-defined area with its trail byte", "x\xf0\x40y\xfc\xfcz", "xyz"},
        {"lead byte at the very end", "a\x82", "a"},
        {"lead byte at the end after JIS text", "\x82\xa0\x82", jis("$\"")},
        {"a trail byte above FC makes the pair invalid", "\x81\xfdX", "X"},
        {"dropped bytes do not switch modes", "\x82\xa0\xf0\x40\x80\x82\xa2", jis("$\"$$")},
    };
    for (const JisCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ConvertToIso2022Jp(c.input), c.expected);
    }
}

}  // namespace
}  // namespace sendrix::mail

namespace sendrix::mail {
namespace {

TEST(EncodeHeaderText, AsciiThatLooksLikeAnEncodedWordOrIsTooLongToFoldIsEncoded) {
    const std::string longWord(kLongestPlainHeaderWord + 1, 'a');
    const struct {
        const char* what;
        std::string text;
        std::string expected;
    } rows[] = {
        {"plain text stays", "Hallo Welt", "Hallo Welt"},
        {"a lone = or ? stays", "a = b? c", "a = b? c"},
        {"an encoded word as typed", "=?UTF-8?B?SGk=?= du",
         "=?us-ascii?Q?=3D=3FUTF-8=3FB=3FSGk=3D=3F=3D?= du"},
        {"=? inside a word", "x=?y", "=?us-ascii?Q?x=3D=3Fy?="},
        {"a word at the limit stays", std::string(kLongestPlainHeaderWord, 'a'),
         std::string(kLongestPlainHeaderWord, 'a')},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(EncodeHeaderText(row.text, "", 'Q', false, "us-ascii"), row.expected);
    }
    // One past the limit: encoded words of at most 75 characters.
    const std::string encoded = EncodeHeaderText(longWord, "", 'Q', false, "us-ascii");
    size_t start = 0;
    for (size_t end; (end = encoded.find("\r\n\t", start)) != std::string::npos; start = end + 3)
        EXPECT_LE(end - start, 75u);
    EXPECT_LE(encoded.size() - start, 75u);
    EXPECT_EQ(encoded.substr(0, 14), "=?us-ascii?Q?a");
}

}  // namespace
}  // namespace sendrix::mail

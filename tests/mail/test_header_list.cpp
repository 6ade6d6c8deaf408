// Header lines: lookup by name in any letter case with unfolding, replacing
// and removing a header with its continuation lines, the 78-column folding
// and the wrap walk under it, and line breaks inside values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/id_header_coder.h"
#include "mail/id_header_list.h"

namespace sendrix::mail {
namespace {

using Lines = std::vector<std::string>;

const std::string kBreak = "\r\n ";
const std::string kBreakChars = " \t";

Lines fold(std::string_view line) {
    return FoldHeaderLine(line, 78, LeadBytes::None);
}

// What every header block must look like on the wire: a first line with a
// name, then only continuation lines, none empty, no CR or LF inside.
void expectOneHeader(const Lines& lines, std::string_view name) {
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].rfind(std::string(name) + ":", 0), 0u) << lines[0];
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        EXPECT_FALSE(lines[i].empty());
        EXPECT_EQ(lines[i].find_first_of("\r\n"), std::string::npos);
        if (i > 0) {
            EXPECT_TRUE(lines[i][0] == ' ' || lines[i][0] == '\t');
        }
    }
}

// ---------------------------------------------------------------------------
// The wrap walk

struct WrapCase {
    const char* what;
    std::string line;
    int limit;
    std::string expected;
};

TEST(WrapAtWhitespace, BreaksAtTheLastBlankOutsideQuotesOnceTheLimitIsPassed) {
    const WrapCase cases[] = {
        {"short line", "aaa bbb", 10, "aaa bbb"},
        {"every time the limit is passed", "aaa bbb ccc", 5, "aaa \r\n bbb \r\n ccc"},
        {"the break stays at the last blank seen", "a b cdef", 5, "a b \r\n cdef"},
        {"a tab is a break character", "aaa\tbbb ccc", 5, "aaa\t\r\n bbb \r\n ccc"},
        {"no blank: never broken", "abcdefghijklmnop", 5, "abcdefghijklmnop"},
        {"a blank at the start is no break place", " abcdefgh", 5, " abcdefgh"},
        // The break is found while scanning the last character: one
        // character after it is a continuation too (a line of limit + 1).
        {"break found at the last character", "aaaa b", 5, "aaaa \r\n b"},
        {"one character more", "aaaa bc", 5, "aaaa \r\n bc"},
        // The blank after the break is passed over, and stays in the text.
        {"blanks after the break are passed over", "aaaa  b", 5, "aaaa \r\n  b"},
        {"no break inside double quotes", "a \"b c d e f\" g", 5, "a \r\n \"b c d e f\" \r\n g"},
        {"no break inside double quotes, more behind", "a \"b c d e f\" gh", 5,
         "a \r\n \"b c d e f\" \r\n gh"},
        {"an unclosed quote prevents every later break", "a \"b c d e f g h", 5, "a \"b c d e f g h"},
        {"single quotes are ordinary", "a 'b c' d", 5, "a 'b \r\n c' d"},
        // CR LF blank already in the line is a break of its own; the column
        // starts again after it.
        {"an existing break", "ab\r\n cdef gh", 5, "ab\r\n cdef \r\n gh"},
        {"CR LF tab is no existing break", "ab\r\n\tcd", 10, "ab\r\n\tcd"},
        // A quoted pair inside quotes neither closes them nor opens new ones.
        {"an escaped quote keeps the quoted string whole", "a \"b \\\" c d\" e f", 5,
         "a \r\n \"b \\\" c d\" \r\n e f"},
        {"an escaped backslash before the closing quote", "a \"b c\\\\\" d e", 5,
         "a \r\n \"b c\\\\\" \r\n d e"},
    };
    for (const WrapCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(WrapAtWhitespace(c.line, kBreak, kBreakChars, c.limit), c.expected);
    }
}

TEST(WrapAtWhitespace, TheByteAfterALeadByteIsNeverABreak) {
    // 81 20 is no real Shift_JIS character, but shows that the byte after a
    // lead byte is not looked at.
    const std::string line = "aaa\x81 bbbbb";
    EXPECT_EQ(WrapAtWhitespace(line, kBreak, kBreakChars, 5, LeadBytes::ShiftJis), line);
    EXPECT_EQ(WrapAtWhitespace(line, kBreak, kBreakChars, 5, LeadBytes::None), "aaa\x81 \r\n bbbbb");
}

// ---------------------------------------------------------------------------
// Folding at 78 columns

TEST(FoldHeaderLine, LongAsciiSubjectBreaksAtTheLastBlankBeforeTheLimit) {
    // Blanks at 74 and 81, then at 140 and 154: the first line ends before
    // column 78, the second within 78 columns after the first break.
    const Lines lines = fold(
        "Subject: Rundschreiben an alle Mitglieder: Bitte meldet euch bis Ende des Monats fuer die "
        "Helferliste "
        "beim Sommerfest an, damit wir Aufbau, Kuchenbuffet, Grillstand und Abbau rechtzeitig planen "
        "koennen");
    EXPECT_EQ(lines, (Lines{"Subject: Rundschreiben an alle Mitglieder: Bitte meldet euch bis Ende des",
                            " Monats fuer die Helferliste beim Sommerfest an, damit wir Aufbau,",
                            " Kuchenbuffet, Grillstand und Abbau rechtzeitig planen koennen"}));
}

TEST(FoldHeaderLine, BoundaryAroundTheFoldLength) {
    const std::string a60(60, 'a');
    struct Case {
        const char* what;
        std::string line;
        Lines expected;
    };
    const Case cases[] = {
        // The blank in column 78 is still a break place.
        {"blank in column 78",
         "Subject: Einladung zur ordentlichen Mitgliederversammlung des Sportvereins am Freitag, dem 14. "
         "Juni",
         {"Subject: Einladung zur ordentlichen Mitgliederversammlung des Sportvereins am",
          " Freitag, dem 14. Juni"}},
        {"78 characters stay",
         "Subject: " + a60 + " " + std::string(8, 'b'),
         {"Subject: " + a60 + " " + std::string(8, 'b')}},
        // RFC 5322 2.1.1: 78 at most, so 79 with a fold point folds.
        {"79 characters break",
         "Subject: " + a60 + " " + std::string(9, 'b'),
         {"Subject: " + a60, " " + std::string(9, 'b')}},
        {"80 characters break",
         "Subject: " + a60 + " " + std::string(10, 'b'),
         {"Subject: " + a60, " " + std::string(10, 'b')}},
        {"80 characters with a blank in column 79 break",
         "Subject: " + a60 + " " + std::string(8, 'b') + " c",
         {"Subject: " + a60, " " + std::string(8, 'b') + " c"}},
        {"no blank after the name's",
         "X-Token:" + std::string(100, 'x'),
         {"X-Token:" + std::string(100, 'x')}},
        {"only the blank after the name",
         "X-Token: " + std::string(100, 'x'),
         {"X-Token:", " " + std::string(100, 'x')}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(fold(c.line), c.expected);
    }
}

TEST(FoldHeaderLine, ContentTypeLinesWithQuotedBoundariesGoOutWhole) {
    const std::string mixed =
        "Content-Type: multipart/mixed; boundary=\"=_NextPart_2rfkqmtzsadvnqw3nerasdf\";";
    const std::string alternative =
        "Content-Type: multipart/alternative; boundary=\"=_NextPart_2rfkqmtzsadvnqw3nerasdf\";";
    const std::string related =
        "Content-Type: multipart/related; type=\"multipart/alternative\"; "
        "boundary=\"=_NextPart_2relrfksadvnqqmtzw3nerasdf\";";
    ASSERT_EQ(mixed.size(), 77u);
    ASSERT_EQ(alternative.size(), 83u);
    ASSERT_EQ(related.size(), 112u);
    EXPECT_EQ(fold(mixed), Lines{mixed});
    // The break is found only at the closing quote: as the writer writes
    // them (no ";" after the last parameter) the lines end there and stay
    // whole; with a ";" still to come they are folded before "boundary".
    const std::string written = alternative.substr(0, alternative.size() - 1);
    EXPECT_EQ(fold(written), Lines{written});
    EXPECT_EQ(fold(alternative), (Lines{"Content-Type: multipart/alternative;",
                                        " boundary=\"=_NextPart_2rfkqmtzsadvnqw3nerasdf\";"}));
    EXPECT_EQ(fold(related), (Lines{"Content-Type: multipart/related; type=\"multipart/alternative\";",
                                    " boundary=\"=_NextPart_2relrfksadvnqqmtzw3nerasdf\";"}));
    // With more text behind the closing quote the same line is broken at the
    // blank before "boundary".
    EXPECT_EQ(fold(alternative + " a"), (Lines{"Content-Type: multipart/alternative;",
                                               " boundary=\"=_NextPart_2rfkqmtzsadvnqw3nerasdf\"; a"}));

    TIdHeaderList headers;
    headers.SetHeaderValue("Content-Type", related.substr(14, related.size() - 15));
    EXPECT_EQ(headers.Lines(), Lines{related.substr(0, related.size() - 1)});
}

TEST(FoldHeaderLine, QuotedDisplayNameLongerThanTheLimitIsNotBrokenInside) {
    const std::string name =
        "\"Arbeitsgemeinschaft der Freunde und Foerderer des Staedtischen Gymnasiums Musterstadt\"";
    TIdHeaderList headers;
    headers.SetHeaderValue("From", name + " <info@example.org>");
    EXPECT_EQ(headers.Lines(), (Lines{"From:", " " + name, " <info@example.org>"}));
    EXPECT_EQ(headers.GetHeaderValue("From"), name + " <info@example.org>");
}

TEST(FoldHeaderLine, EncodedWordsOverSeveralLinesGiveContinuationLinesAndNoEmptyOne) {
    const std::string value = EncodeHeaderText(std::string(30, '\xc4'), "", 'Q', false, "ISO-8859-1");
    std::string word1 = "=?ISO-8859-1?Q?";
    std::string word2 = word1;
    for (int i = 0; i < 19; ++i)
        word1 += "=C4";
    for (int i = 0; i < 11; ++i)
        word2 += "=C4";
    word1 += "?=";
    word2 += "?=";
    ASSERT_EQ(value, word1 + "\r\n\t" + word2);

    TIdHeaderList headers;
    headers.SetHeaderValue("Subject", value);
    // The first word does not fit behind the name; the tab after CR LF is a
    // break place, and the piece it leaves alone is dropped.
    EXPECT_EQ(headers.Lines(), (Lines{"Subject:", " " + word1, " " + word2}));
    EXPECT_EQ(headers.GetHeaderValue("Subject"), word1 + " " + word2);

    // The same behind an ASCII word: the encoded words start on the next line.
    headers.SetHeaderValue("Subject", "Einladung " + value);
    EXPECT_EQ(headers.Lines(), (Lines{"Subject: Einladung", " " + word1, " " + word2}));
    expectOneHeader(headers.Lines(), "Subject");
}

TEST(FoldHeaderLine, UnfoldingGivesBackEveryCharacter) {
    const std::string a60(60, 'a');
    for (const std::string& line : {"Subject: " + a60 + "  " + std::string(9, 'b'),
                                    "Subject: " + a60 + "   " + std::string(20, 'b') + "\t c",
                                    "Subject: " + std::string(66, 'a') + " \t " + std::string(20, 'b')}) {
        SCOPED_TRACE(line);
        const Lines lines = fold(line);
        EXPECT_GT(lines.size(), 1u);
        std::string unfolded;  // RFC 5322 2.2.3: only the CR LF goes
        for (const std::string& piece : lines)
            unfolded += piece;
        EXPECT_EQ(unfolded, line);
    }
}

// ---------------------------------------------------------------------------
// The header list

TEST(HeaderList, GetHeaderValueFindsTheFirstLineOfTheNameInAnyCaseAndUnfoldsIt) {
    TIdHeaderList headers;
    headers.Add("Received: x");
    headers.Add("subject: Erste Zeile");
    headers.Add("\tzweite Zeile");
    headers.Add("    dritte Zeile");
    headers.Add("Subject: zweiter Betreff");
    headers.Add("X-Ende: Ende ");
    headers.Add(" weiter");
    headers.Add("X-Leer:");
    headers.Add("  Fortsetzung");
    headers.Add("X-Doppelpunkt: Re: Fwd: a:b");
    headers.Add("X-Name : mit Blank");
    headers.Add("X-Tab:\t\twert\t");
    headers.Add("\t\tnoch");

    struct Case {
        const char* name;
        const char* expected;
    };
    const Case cases[] = {
        {"SUBJECT", "Erste Zeile zweite Zeile dritte Zeile"},
        {"Subject", "Erste Zeile zweite Zeile dritte Zeile"},
        // A line that already ends in a blank gets no second one.
        {"x-ende", "Ende weiter"},
        {"X-Leer", "Fortsetzung"},
        {"X-Doppelpunkt", "Re: Fwd: a:b"},
        // The name is everything before the first ":".
        {"X-Name", ""},
        {"X-Name ", "mit Blank"},
        {"X-Tab", "wert\tnoch"},
        {"Received", "x"},
        {"Subj", ""},
        {"Fortsetzung", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(headers.GetHeaderValue(c.name), c.expected);
    }
}

TEST(HeaderList, SetHeaderValueReplacesInPlaceRemovesAndAppends) {
    TIdHeaderList headers;
    headers.Add("From: a@example.org");
    headers.Add("To: b@example.org,");
    headers.Add(" c@example.org,");
    headers.Add("\td@example.org");
    headers.Add("Subject: Hallo");

    // The old line and its continuation lines go; the new line, under the
    // name as given, takes their place.
    headers.SetHeaderValue("to", "e@example.org");
    EXPECT_EQ(headers.Lines(), (Lines{"From: a@example.org", "to: e@example.org", "Subject: Hallo"}));

    headers.SetHeaderValue("X-Priority", "3");
    EXPECT_EQ(headers.Lines().back(), "X-Priority: 3");
    EXPECT_EQ(headers.Count(), 4);

    headers.SetHeaderValue("FROM", "");
    EXPECT_EQ(headers.Lines(), (Lines{"to: e@example.org", "Subject: Hallo", "X-Priority: 3"}));
    headers.SetHeaderValue("Cc", "");
    EXPECT_EQ(headers.Count(), 3);

    // A folded value takes the old line's place with all its lines.
    headers.SetHeaderValue("Subject",
                           "Rundschreiben an alle Mitglieder: Bitte meldet euch bis Ende des Monats fuer "
                           "die Helferliste");
    EXPECT_EQ(headers.Lines(),
              (Lines{"to: e@example.org",
                     "Subject: Rundschreiben an alle Mitglieder: Bitte meldet euch bis Ende des",
                     " Monats fuer die Helferliste", "X-Priority: 3"}));
    EXPECT_EQ(headers.GetHeaderValue("subject"),
              "Rundschreiben an alle Mitglieder: Bitte meldet euch bis Ende des Monats fuer die Helferliste");

    // Removing a folded header takes its continuation lines along.
    headers.SetHeaderValue("Subject", "");
    EXPECT_EQ(headers.Lines(), (Lines{"to: e@example.org", "X-Priority: 3"}));
}

TEST(HeaderList, AddKeepsTheLineAsItIs) {
    TIdHeaderList headers;
    const std::string line = "X-Long: " + std::string(90, 'x') + " " + std::string(20, 'y');
    headers.Add(line);
    EXPECT_EQ(headers.Lines(), Lines{line});
}

TEST(HeaderList, LineBreaksInAValueCanNeverStartAHeaderLineOrEndTheBlock) {
    struct Case {
        const char* what;
        std::string value;
        Lines expected;
    };
    const Case cases[] = {
        {"CR LF and a header behind it",
         "Hallo\r\nBcc: opfer@example.org",
         {"Subject: Hallo  Bcc: opfer@example.org"}},
        {"lone LF", "Hallo\nBcc: x", {"Subject: Hallo Bcc: x"}},
        {"lone CR", "Hallo\rBcc: x", {"Subject: Hallo Bcc: x"}},
        {"an empty line and a body behind it", "x\r\n\r\nText", {"Subject: x    Text"}},
        {"a line end at the end", "Hallo\r\n", {"Subject: Hallo"}},
        {"LF CR", "a\n\rb", {"Subject: a  b"}},
        // A fold already in the value stays a continuation line.
        {"CR LF blank", "Hallo\r\n Welt", {"Subject: Hallo", " Welt"}},
        {"CR LF tab", "Hallo\r\n\tBcc: x", {"Subject: Hallo", "\tBcc: x"}},
        {"fold with nothing behind it", "Hallo\r\n \r\n Welt", {"Subject: Hallo", " Welt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TIdHeaderList headers;
        headers.SetHeaderValue("Subject", c.value);
        EXPECT_EQ(headers.Lines(), c.expected);
        expectOneHeader(headers.Lines(), "Subject");
        EXPECT_EQ(headers.GetHeaderValue("Bcc"), "");
    }
}

}  // namespace
}  // namespace sendrix::mail

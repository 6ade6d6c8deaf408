// Recipient list files: line ends, title lines, the left-to-right split,
// trimming, faulty addresses and the file's encodings.
#include "merge/recipient_list.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "support/expect_throw.h"
#include "row_text.h"
#include "support/temp_folder.h"

using sendrix::test::describe;
using sendrix::test::expectThrowText;
using ::testing::HasSubstr;

using namespace sendrix;
using namespace sendrix::merge;

namespace {

struct SplitCase {
    const char* name;
    const char* line;
    RecipientRow row;
};

bool sameRow(const RecipientRow& a, const RecipientRow& b) {
    return a.ok == b.ok && a.name == b.name && a.vorname == b.vorname && a.email == b.email && a.typ == b.typ;
}

}  // namespace

TEST(RecipientLine, SplitsFromTheLeftAndTrimsEveryField) {
    const SplitCase cases[] = {
        {"four fields", "Muster;Anna;anna@example.org;w", {"+", "Muster", "Anna", "anna@example.org", "w"}},
        {"address only", "anna@example.org", {"+", "", "", "anna@example.org", ""}},
        {"name and address", "Muster;anna@example.org", {"+", "Muster", "", "anna@example.org", ""}},
        {"three fields", "Muster;Anna;anna@example.org", {"+", "Muster", "Anna", "anna@example.org", ""}},
        {"five fields join into Typ", "M;A;a@b.de;w;extra", {"+", "M", "A", "a@b.de", "w;extra"}},
        {"blanks and tabs around",
         " \tMuster \t; Anna ;  a@b.de\t; Herr ",
         {"+", "Muster", "Anna", "a@b.de", "Herr"}},
        {"inner blanks stay",
         "von der Heide;Anna Lena;a@b.de;w",
         {"+", "von der Heide", "Anna Lena", "a@b.de", "w"}},
        {"quotes are ordinary", "\"Muster\";Anna;a@b.de;w", {"+", "\"Muster\"", "Anna", "a@b.de", "w"}},
        {"empty line", "", {"+", "", "", "", ""}},
        {"only separators", ";;;", {"+", "", "", "", ""}},
        {"control characters trimmed",
         "\x01Muster\x1f;Anna;a@b.de;w",
         {"+", "Muster", "Anna", "a@b.de", "w"}},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.name);
        const RecipientRow row = parseRecipientLine(c.line);
        EXPECT_TRUE(sameRow(row, c.row)) << describe(row);
    }
}

TEST(RecipientList, SkipsTitleLinesWhereverTheyStandAndNamesTheFilesLinesInWarnings) {
    const RecipientList list = parseRecipientList(
        "Name;Vorname;Email;Typ\r\n"
        "Muster;Anna;anna@example.org;w\r\n"
        "Namensvetter;Paul;paul@example.org;m\r\n"  // a surname beginning with "Name": a recipient
        "Kaputt;Karl;keine-adresse;m\r\n"
        "Name;Vorname;Email;Typ\r\n"
        "\r\n"
        "name;klein;klein@example.org;\r\n");
    ASSERT_EQ(list.rows.size(), 5u);
    EXPECT_EQ(list.rows[0].name, "Muster");
    EXPECT_EQ(list.rows[1].name, "Namensvetter");
    EXPECT_EQ(list.rows[2].name, "Kaputt");
    EXPECT_EQ(list.rows[3].email, "");
    EXPECT_EQ(list.rows[4].name, "name");
    for (const RecipientRow& row : list.rows)
        EXPECT_EQ(row.ok, "+");

    ASSERT_EQ(list.faulty.size(), 2u);
    EXPECT_EQ(faultyAddressWarning(list.faulty[0]),
              "Achtung: Fehlerhafte Mailadresse in Zeile 4: Kaputt;Karl;keine-adresse;m");
    EXPECT_EQ(faultyAddressWarning(list.faulty[1]), "Achtung: Fehlerhafte Mailadresse in Zeile 6: ");
    EXPECT_EQ(list.sourceRows, (std::vector<int>{2, 3, 4, 6, 7}));
}

TEST(RecipientList, WarningShowsTheLineUntrimmed) {
    const RecipientList list = parseRecipientList("  Leer ; ohne ;  \t\n");
    ASSERT_EQ(list.faulty.size(), 1u);
    EXPECT_EQ(list.faulty[0].line, "  Leer ; ohne ;  \t");
}

TEST(RecipientList, LineEndsLoneCarriageReturnsAndCtrlZ) {
    // LF, CR LF and a lone CR end lines (a lone CR no longer merges two
    // rows); CRs right before an LF are its line end.
    RecipientList list = parseRecipientList("a@b.de\nc@d.de\r\ne@f\r.de\r\ng@h.de\r\r\ni@j.de");
    ASSERT_EQ(list.rows.size(), 6u);
    EXPECT_EQ(list.rows[2].email, "e@f");
    EXPECT_EQ(list.rows[3].email, ".de");
    EXPECT_EQ(list.rows[4].email, "g@h.de");
    EXPECT_EQ(list.rows[5].email, "i@j.de");

    // No empty recipient after the last line end; a last line without one counts.
    list = parseRecipientList("a@b.de\r\nc@d.de");
    ASSERT_EQ(list.rows.size(), 2u);
    EXPECT_EQ(list.rows[1].email, "c@d.de");

    // Ctrl-Z at the start of a line ends the file; inside a line it is kept.
    list = parseRecipientList(
        "a@b.de\r\nx\x1ay@z.de\r\n\x1a"
        "after@end.de\r\n");
    ASSERT_EQ(list.rows.size(), 2u);
    EXPECT_EQ(list.rows[1].email, "x\x1ay@z.de");

    EXPECT_TRUE(parseRecipientList("").rows.empty());
    EXPECT_TRUE(parseRecipientList("Name;Vorname;Email;Typ\r\n").rows.empty());
}

TEST(RecipientListFile, ReadsWindows1252AndUtf8WithOrWithoutByteOrderMarkTheSame) {
    test::TempFolder dir;
    const std::string text = "Name;Vorname;Email;Typ\r\nMüller;Jürgen;j@example.org;Herr\r\n";
    const std::string cp1252 = "Name;Vorname;Email;Typ\r\nM\xfcller;J\xfcrgen;j@example.org;Herr\r\n";
    const std::string files[] = {dir.write("cp1252.csv", cp1252), dir.write("utf8.csv", text),
                                 dir.write("bom.csv", "\xef\xbb\xbf" + text)};
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        const RecipientList list = readRecipientList(path);
        ASSERT_EQ(list.rows.size(), 1u);  // the title line behind the mark is recognised
        EXPECT_EQ(list.rows[0].name, "Müller");
        EXPECT_EQ(list.rows[0].vorname, "Jürgen");
        EXPECT_TRUE(list.faulty.empty());
    }
}

TEST(RecipientListFile, MissingFileThrowsAnErrorNamingIt) {
    test::TempFolder dir;
    const std::string path = dir.path("gibt-es-nicht.csv");
    expectThrowText<FileError>([&] { readRecipientList(path); }, HasSubstr(path));
}

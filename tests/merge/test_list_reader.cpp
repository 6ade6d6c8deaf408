// Spreadsheet exports as recipient lists: the RFC 4180 records, the title
// line naming the columns, the separator taken from it, and the files that
// are no list.
#include <gtest/gtest.h>

#include "merge/delimited_text.h"
#include "merge/list_columns.h"
#include "merge/recipient_list.h"
#include "row_text.h"
#include "support/temp_folder.h"

using sendrix::test::describe;

using namespace sendrix;
using namespace sendrix::merge;

namespace {

struct RecordCase {
    const char* name;
    const char* text;
    char separator;
    std::vector<TextRecord> records;
};

}  // namespace

TEST(DelimitedText, ReadsRecordsWithTheQuotingOfSpreadsheets) {
    const RecordCase cases[] = {
        {"plain", "a;b;c\r\nd;e;f\r\n", ';', {{"a", "b", "c"}, {"d", "e", "f"}}},
        {"quoted separator", "\"M\xc3\xbcller; Hans\";x@y.de\n", ';', {{"Müller; Hans", "x@y.de"}}},
        {"doubled quote", "\"Der \"\"Chef\"\"\",b\n", ',', {{"Der \"Chef\"", "b"}}},
        {"line break inside quotes", "\"a\r\nb\";c\r\nd;e", ';', {{"a\nb", "c"}, {"d", "e"}}},
        {"lone CR ends a record", "a;b\rc;d\r", ';', {{"a", "b"}, {"c", "d"}}},
        {"empty fields and lines", ";;\r\n\r\n\r\nx;;\r\n", ';', {{"", "", ""}, {"x", "", ""}}},
        {"unquoted fields trimmed, quoted kept", " a \t;\" b \"\n", ';', {{"a", " b "}}},
        {"blanks around quotes dropped", "  \"a\"  ;b\n", ';', {{"a", "b"}}},
        {"quote inside a field is a character", "O\"Neil;b\n", ';', {{"O\"Neil", "b"}}},
        {"tab separator", "a\tb c\t\"d\te\"\n", '\t', {{"a", "b c", "d\te"}}},
        {"quote never closed runs to the end", "\"a;b\nc", ';', {{"a;b\nc"}}},
        {"Ctrl-Z at a record start ends the text",
         "a;b\r\n\x1a"
         "c;d\r\n",
         ';',
         {{"a", "b"}}},
        {"empty text", "", ';', {}},
    };
    for (const RecordCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(readRecords(c.text, c.separator), c.records);
    }
}

TEST(DelimitedText, SeparatorComesFromTheTitleLine) {
    EXPECT_EQ(detectSeparator("Name;Vorname;E-Mail"), ';');
    EXPECT_EQ(detectSeparator("Name,Vorname,E-Mail"), ',');
    EXPECT_EQ(detectSeparator("Name\tVorname\tE-Mail"), '\t');
    EXPECT_EQ(detectSeparator("\"Name, Vorname\";E-Mail"), ';');  // the comma is quoted
    EXPECT_EQ(detectSeparator("Email"), ';');
    EXPECT_EQ(firstLine("a;b\r\nc"), "a;b");
    EXPECT_EQ(firstLine("a;b\rc"), "a;b");
}

TEST(ListColumns, RecognisesTheUsualSpellingsWithoutRegardToCase) {
    const std::pair<const char*, ColumnRole> cases[] = {
        {"Email", ColumnRole::Email},           {"E-Mail", ColumnRole::Email},
        {"e-mail", ColumnRole::Email},          {"MAIL", ColumnRole::Email},
        {"E-Mail-Adresse", ColumnRole::Email},  {"Email Address", ColumnRole::Email},
        {"Nachname", ColumnRole::Name},         {"Last Name", ColumnRole::Name},
        {"Vorname", ColumnRole::Vorname},       {"First_Name", ColumnRole::Vorname},
        {"Geschlecht", ColumnRole::Typ},        {"Anrede", ColumnRole::Typ},
        {"Anhänge", ColumnRole::Attachments},   {"Anlage", ColumnRole::Attachments},
        {"Mitgliedsnummer", ColumnRole::Other}, {"", ColumnRole::Other},
        {"E-Mail 2", ColumnRole::Other},
    };
    for (const auto& [title, role] : cases) {
        SCOPED_TRACE(title);
        EXPECT_EQ(columnRoleOf(title), role);
    }
}

TEST(NamedList, TakesColumnsByTitleInAnyOrderAndKeepsFurtherColumns) {
    struct Case {
        const char* name;
        const char* text;
        std::vector<std::string> extraTitles;
        std::vector<RecipientRow> rows;
    };
    const Case cases[] = {
        {"LibreOffice semicolon export, all quoted",
         "\"Mitgliedsnummer\";\"E-Mail\";\"Vorname\";\"Nachname\";\"Beitrag\"\r\n"
         "\"1001\";\"anna@example.org\";\"Anna\";\"Schön\";\"12,50 €\"\r\n",
         {"Mitgliedsnummer", "Beitrag"},
         {{"+", "Schön", "Anna", "anna@example.org", "", {"1001", "12,50 €"}}}},
        {"comma export quoted only where needed",
         "name,mail,Beitrag\n\"Lee, Kim\",kim@example.org,\"3,00\"\n",
         {"Beitrag"},
         {{"+", "Lee, Kim", "", "kim@example.org", "", {"3,00"}}}},
        {"tab export",
         "Email\tVorname\tTyp\nk@example.org\tKim\tdivers\n",
         {},
         {{"+", "", "Kim", "k@example.org", "divers", {}}}},
        {"short rows padded, long rows join the last column",
         "Email;Name;Notiz\na@example.org\nb@example.org;B;x;y\n",
         {"Notiz"},
         {{"+", "", "", "a@example.org", "", {""}}, {"+", "B", "", "b@example.org", "", {"x;y"}}}},
        {"a second column of one kind stays a column of its own",
         "Email;Typ;Anrede;E-Mail 2\na@example.org;w;Frau Dr.;b@example.org\n",
         {"Anrede", "E-Mail 2"},
         {{"+", "", "", "a@example.org", "w", {"Frau Dr.", "b@example.org"}}}},
        {"the program's title in another case is a title too",
         "name;vorname;email;typ\nM;A;a@example.org;w\n",
         {},
         {{"+", "M", "A", "a@example.org", "w", {}}}},
        {"empty title gets a name",
         "Email;;Ort\na@example.org;1;Bonn\n",
         {"Spalte 2", "Ort"},
         {{"+", "", "", "a@example.org", "", {"1", "Bonn"}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RecipientList list = parseRecipientList(c.text);
        EXPECT_EQ(list.extraTitles, c.extraTitles);
        ASSERT_EQ(list.rows.size(), c.rows.size());
        for (std::size_t i = 0; i < c.rows.size(); ++i)
            EXPECT_EQ(describe(list.rows[i]), describe(c.rows[i]));
        EXPECT_TRUE(list.faulty.empty());
    }
}

TEST(NamedList, WarnsAboutRowsWithoutAddressAndSkipsEmptyLinesNamingTheFilesLines) {
    const RecipientList list = parseRecipientList(
        "Vorname,Email\r\n\r\nAnna,anna@example.org\r\nKarl,keine-adresse\r\n,\r\n\"Kla\nus\",klaus "
        "becker@example.org\r\nLetzte,l@example.org");
    ASSERT_EQ(list.rows.size(), 5u);
    ASSERT_EQ(list.faulty.size(), 3u);
    EXPECT_EQ(faultyAddressWarning(list.faulty[0]),
              "Achtung: Fehlerhafte Mailadresse in Zeile 4: Karl,keine-adresse");
    EXPECT_EQ(list.faulty[1].row, 5);
    // The same rule as the pre-flight check: a blank inside is no address.
    EXPECT_EQ(list.faulty[2].row, 6);
    EXPECT_EQ(list.sourceRows, (std::vector<int>{3, 4, 5, 6, 8}));
}

TEST(NamedList, FilesThatAreNoListGetAClearErrorAndNoRows) {
    struct Case {
        const char* name;
        const char* text;
        const char* says;
    };
    const Case cases[] = {
        {"title without an e-mail column", "Name;Vorname;Telefon\nM;A;0228\n",
         "keine Spalte für die E-Mail-Adresse"},
        {"comma export without title", "Müller,Hans,hans@example.org,m\n", "Titelzeile fehlt"},
        {"tab export without title", "Müller\thans@example.org\n", "Titelzeile fehlt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            parseRecipientList(c.text);
            FAIL() << "no error";
        } catch (const ListFormatError& error) {
            EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
        }
    }
    // Several comma-separated addresses are one Email of the program's format.
    const RecipientList list = parseRecipientList("a@example.org, b@example.org\n");
    ASSERT_EQ(list.rows.size(), 1u);
    EXPECT_EQ(list.rows[0].email, "a@example.org, b@example.org");
}

TEST(NamedListFile, ReadsWindows1252AndUtf8WithOrWithoutMarkAndNamesTheFileInErrors) {
    test::TempFolder dir;
    const std::string utf8 = "\"E-Mail\";\"Nachname\"\r\n\"j@example.org\";\"Müller\"\r\n";
    const std::string cp1252 = "\"E-Mail\";\"Nachname\"\r\n\"j@example.org\";\"M\xfcller\"\r\n";
    for (const std::string& path :
         {dir.write("a.csv", utf8), dir.write("b.csv", "\xef\xbb\xbf" + utf8), dir.write("c.csv", cp1252)}) {
        SCOPED_TRACE(path);
        const RecipientList list = readRecipientList(path);
        ASSERT_EQ(list.rows.size(), 1u);
        EXPECT_EQ(list.rows[0].name, "Müller");
        EXPECT_EQ(list.rows[0].email, "j@example.org");
    }
    const std::string bad = dir.write("telefon.csv", "Name;Telefon\nM;0228\n");
    try {
        readRecipientList(bad);
        FAIL() << "no error";
    } catch (const ListFormatError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Die Datei " + bad +
                      " ist keine Empfängerliste: Die Titelzeile nennt keine "
                      "Spalte für die E-Mail-Adresse (\"Email\", \"E-Mail\" oder \"Mail\").");
    }
}

TEST(NamedListFile, BrokenWorkbooksAreRefusedNamingTheFileAndTheReason) {
    test::TempFolder dir;
    // The first bytes of an .xlsx/.ods (ZIP) and of an .xls (OLE) file.
    const std::string zip = dir.write("mitglieder.xlsx", std::string("PK\x03\x04\x14\0\x06\0", 8));
    const std::string ole = dir.write("mitglieder.xls", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1\0", 9));
    for (const auto& [path, reason] : {std::pair{zip, std::string("die Arbeitsmappe ist beschädigt (kein lesbares "
                                                                    "ZIP-Archiv).")},
                                       std::pair{ole, std::string("sie ist eine mit Kennwort verschlüsselte "
                                                                    "Arbeitsmappe oder eine im alten Excel-Format "
                                                                    "(.xls); bitte ohne Kennwort als .xlsx oder "
                                                                    ".ods, oder als \"CSV (Semikolon)\" "
                                                                    "speichern.")}}) {
        SCOPED_TRACE(path);
        try {
            readRecipientList(path);
            FAIL() << "no error";
        } catch (const ListFormatError& error) {
            EXPECT_EQ(std::string(error.what()), "Die Datei " + path + " kann nicht gelesen werden: " + reason);
        }
    }
}

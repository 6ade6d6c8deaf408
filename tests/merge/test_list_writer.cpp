// "Liste speichern": a list read from a file and written back keeps its
// form; only edited rows are written anew.
#include "merge/list_writer.h"

#include <functional>

#include <gtest/gtest.h>

#include "support/temp_folder.h"

using namespace sendrix;
using namespace sendrix::merge;

TEST(ListWriter, WritesTheListBackInTheFormItCameIn) {
    struct Case {
        const char* name;
        std::string file;  // bytes; ".xlsx" cases are made by the office fixtures
        std::function<void(std::vector<RecipientRow>&)> edit;
        std::string saved;  // empty: the file's bytes
    } cases[] = {
        {"semicolons, Windows-1252, CR LF, unchanged",
         "Name;Vorname;E-Mail;Beitrag\r\nM\xfcller; J\xfcrgen ;j@x.de;\"12,50\"\r\n\r\nZ;z;z@x.de;1\r\n",
         [](auto&) {}, ""},
        {"commas, UTF-8, LF, every field quoted: the edited row stays quoted",
         "\"Email\",\"Name\",\"Ort\"\n\"a@x.de\",\"Ärger\",\"Köln\"\n\"b@x.de\",\"B\",\"Bonn, Rh.\"\n",
         [](auto& rows) { rows[1].extra[0] = "Bonn \"Nord\""; },
         "\"Email\",\"Name\",\"Ort\"\n\"a@x.de\",\"Ärger\",\"Köln\"\n\"b@x.de\",\"B\",\"Bonn "
         "\"\"Nord\"\"\"\n"},
        {"tabs with byte-order mark, a separator typed into a field",
         "\xEF\xBB\xBFMail\tName\na@x.de\tA\nb@x.de\tB", [](auto& rows) { rows[0].name = "A\tB "; },
         "\xEF\xBB\xBFMail\tName\na@x.de\t\"A\tB \"\nb@x.de\tB"},
        {"own format: title line, Ctrl-Z tail and lone CRs kept",
         "Name;Vorname;Email;Typ\r\nM;A;a@x.de;w\rB;b;b@x.de\r\n\x1aRest",
         [](auto& rows) { rows[1].typ = "m"; },
         "Name;Vorname;Email;Typ\r\nM;A;a@x.de;w\rB;b;b@x.de;m\r\n\x1aRest"},
        {"Windows-1252 text gaining a character outside it turns UTF-8", "Email;Name\r\na@x.de;M\xfcller\r\n",
         [](auto& rows) { rows[0].name = "Łukasz Müller"; },
         "\xEF\xBB\xBF"
         "Email;Name\r\na@x.de;Łukasz Müller\r\n"},
    };
    test::TempFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RecipientList list = readRecipientList(folder.write("liste.csv", c.file));
        std::vector<RecipientRow> rows = list.rows;
        c.edit(rows);
        EXPECT_EQ(writeRecipientList(list.source, rows, list.sourceRows), c.saved.empty() ? c.file : c.saved);
        EXPECT_EQ(savedListPath("/a/liste.csv", list.source), "/a/liste.csv");
    }
}

TEST(ListWriter, AWorkbookGoesToACsvBesideItAndTheOwnFormatRefusesWhatItCannotHold) {
    ListSource book;
    book.kind = ListSource::Kind::Workbook;
    book.titles = {"Anrede", "E-Mail", "Ort"};
    RecipientRow row{"+", "", "", "a@x.de", "Frau", {"Köln; Rhein"}};
    EXPECT_EQ(savedListPath("/a/b.c/mitglieder.xlsx", book), "/a/b.c/mitglieder.csv");
    EXPECT_EQ(writeRecipientList(book, {row}), "Anrede;E-Mail;Ort\r\nFrau;a@x.de;\"K\xf6ln; Rhein\"\r\n");
    book.titles.clear();
    row.name = "Kim;Lee";
    try {
        writeRecipientList(book, {row}, {7});
        FAIL() << "no error";
    } catch (const ListFormatError& error) {
        EXPECT_STREQ(
            error.what(),
            "Zeile 7: Das Feld Name enthält ein Semikolon; das Listenformat \"Name;Vorname;Email;Typ\" "
            "kann es nicht speichern.");
    }
}

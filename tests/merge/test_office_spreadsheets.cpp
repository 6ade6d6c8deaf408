// Workbooks written by real office code (tests/office/make_spreadsheets.py:
// LibreOffice and openpyxl) read as the spreadsheet shows them: each sheet
// equals the CSV that LibreOffice exports "as shown" from the same file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "merge/delimited_text.h"
#include "merge/recipient_list.h"
#include "merge/spreadsheet.h"
#include "support/expect_throw.h"
#include "support/temp_folder.h"

using namespace sendrix;
using namespace sendrix::merge;
using sendrix::test::expectThrowText;
using testing::HasSubstr;

namespace {

std::string fixture(const std::string& name) {
    const char* folder = std::getenv("SENDRIX_OFFICE_FIXTURES");
    return std::string(folder ? folder : "office") + "/" + name;
}

// The CSV's records without empty rows and without empty cells at a row's
// end, as the reader gives a sheet.
std::vector<TextRecord> shownRows(const std::string& csv) {
    std::vector<TextRecord> rows;
    for (TextRecord& record : readRecords(test::TempFolder::readPath(csv), ';')) {
        while (!record.empty() && record.back().empty())
            record.pop_back();
        if (!record.empty())
            rows.push_back(std::move(record));
    }
    return rows;
}

}  // namespace

TEST(OfficeSpreadsheets, EverySheetEqualsLibreOfficesCsvAsShown) {
    struct Case {
        const char* file;
        const char* sheet;
        const char* csv;
    };
    const Case cases[] = {
        {"lo.ods", "", "lo-Mitglieder.csv"},           {"lo.ods", "Gäste", "lo-Gäste.csv"},
        {"lox.xlsx", "", "lox-Mitglieder.csv"},        {"lox.xlsx", "Gäste", "lox-Gäste.csv"},
        {"py.xlsx", "", "py-Liste.csv"},               {"py.xlsx", "Zweites Blatt", "py-Zweites Blatt.csv"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.sheet);
        const SheetTable table = readSheet(fixture(c.file), c.sheet);
        std::vector<TextRecord> rows;
        for (const SheetRow& row : table.rows)
            rows.push_back(row.cells);
        const std::vector<TextRecord> expected = shownRows(fixture("csv/") + c.csv);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(rows, expected);
        EXPECT_TRUE(table.inexactFormats.empty());
    }
    EXPECT_THAT(sheetNames(fixture("lox.xlsx")), testing::ElementsAre("Mitglieder", "Gäste"));
    EXPECT_THAT(sheetNames(fixture("lo.ods")), testing::ElementsAre("Mitglieder", "Gäste"));
}

TEST(OfficeSpreadsheets, ListKeepsTheSpreadsheetsRowNumbersAcrossEmptyRows) {
    for (const char* file : {"lo.ods", "lox.xlsx"}) {
        SCOPED_TRACE(file);
        const RecipientList list = readRecipientList(fixture(file));
        ASSERT_EQ(list.rows.size(), 3u);
        EXPECT_EQ(list.sourceRows, (std::vector<int>{2, 3, 5}));
        EXPECT_EQ(list.rows[1].vorname, "Jörg");
        EXPECT_EQ(list.rows[2].email, "kim@example.org");
        EXPECT_EQ(list.extraTitles.front(), "Titel");
        EXPECT_EQ(list.sheet, "Mitglieder");
    }
}

TEST(OfficeSpreadsheets, RefusesWorkbooksItCannotReadNamingFileAndReason) {
    const struct {
        const char* file;
        const char* reason;
    } cases[] = {
        {"verschluesselt.ods", "mit einem Kennwort verschlüsselt"},
        {"abgeschnitten.ods", "beschädigt"},
        {"text.docx", "keine Arbeitsmappe im Format .xlsx oder .ods"},
        {"kennwort.xlsx", "verschlüsselte Arbeitsmappe oder eine im alten Excel-Format (.xls)"},
        {"riesig.ods", "größer, als eine Empfängerliste sein kann (mehr als 1048576 Zeilen"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        expectThrowText<ListFormatError>([&] { readRecipientList(fixture(c.file)); },
                                         testing::AllOf(HasSubstr(fixture(c.file)), HasSubstr(c.reason)),
                                         [](const auto&) {});
    }
    expectThrowText<ListFormatError>([&] { readRecipientList(fixture("lo.ods"), "Fehlt"); },
                                     HasSubstr("kein Tabellenblatt \"Fehlt\""), [](const auto&) {});
}

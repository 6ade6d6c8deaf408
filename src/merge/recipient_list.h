#pragma once
// Recipient list files. Two formats: the program's own, one recipient per
// line "Name;Vorname;Email;Typ" read by position; and spreadsheet exports
// whose title line names the columns in any order, with any further columns.
// The file is taken as a whole before anything is handed back, so a read
// error never leaves half a list behind.
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"

namespace sendrix::merge {

// The mark of a row that takes part in a list send (column "OK").
inline constexpr const char* kSendMark = "+";

// One data row of the recipient grid, in column order.
struct RecipientRow {
    std::string ok;       // exactly "+" sends to this row
    std::string name;     // surname
    std::string vorname;  // first name, may begin with "Dr. "
    std::string email;    // one address or a comma-separated list
    std::string typ;      // F/W woman, H/M man (first character), else neutral
    // The values of the list's further columns, in the order of
    // RecipientList::extraTitles (missing values are empty).
    std::vector<std::string> extra{};
};

// A data row whose Email is empty or holds an address that the pre-flight
// check refuses (plausibleAddress): its row as the source numbers it (the
// file's line, the spreadsheet's row) and the line as it was read,
// untrimmed (a spreadsheet row's cells joined with ";").
struct FaultyAddress {
    int row = 0;
    std::string line;
};

// How the list file was written, kept when it is read so that "Liste
// speichern" (list_writer.h) writes it back the same way.
struct ListSource {
    enum class Kind {
        None,       // no file (an empty list)
        OwnFormat,  // "Name;Vorname;Email;Typ" by position
        Titled,     // a title line names the columns (CSV)
        Workbook,   // .xlsx/.ods: saved as CSV beside it
    };
    enum class Encoding { Cp1252, Utf8, Utf8Bom };
    Kind kind = Kind::None;
    Encoding encoding = Encoding::Cp1252;
    char separator = ';';
    // Titled lists and workbooks: the title record as the file has it;
    // empty for a workbook without a title row.
    std::vector<std::string> titles;
    // Text files: the decoded text, and where each data row's record stands
    // in it (line end excluded), by row.
    std::string text;
    struct Span {
        std::size_t begin = 0;
        std::size_t end = 0;
    };
    std::vector<Span> spans;
};

// The field a column of a titled list fills: the first column of each of
// the four roles fills its fixed field, every other column the further
// value `extra` (an index into RecipientList::extraTitles).
struct ListColumn {
    enum Field { Name, Vorname, Email, Typ, Extra };
    Field field = Extra;
    int extra = -1;
};
// The columns of the title record `titles`; the titles of the further
// columns go to `extraTitles` (an empty one as "Spalte <n>").
std::vector<ListColumn> listColumnsOf(const std::vector<std::string>& titles,
                                      std::vector<std::string>& extraTitles);
// The row's value of `column`; empty when the row has no such further value.
const std::string& valueOf(const RecipientRow& row, const ListColumn& column);
// The same to be set; the row's `extra` must hold the column's value.
std::string& valueOf(RecipientRow& row, const ListColumn& column);

struct RecipientList {
    std::vector<RecipientRow> rows;
    std::vector<FaultyAddress> faulty;  // in file order
    // Titles of the columns beyond the five fixed ones, in file order.
    std::vector<std::string> extraTitles;
    // For each row, its number as the source shows it: the line of a text
    // file where the row begins, the row of a spreadsheet.
    std::vector<int> sourceRows;
    // Spreadsheets: the sheet read, and number formats whose cells keep
    // their stored value (spreadsheet.h).
    std::string sheet;
    std::vector<std::string> inexactFormats;
    ListSource source;
};

// A file that cannot be read as a recipient list; the text says why.
class ListFormatError : public Error {
public:
    using Error::Error;
};

// A line that begins with "Name" (case-sensitive, from its first character)
// and holds no "@" is a title line and no recipient, wherever it stands (a
// list joined from several files repeats it); "Namensberger;Hans;h@x.de"
// is a recipient.
bool isTitleLine(std::string_view line);

// Splits one line from the left: before the first ";" the Name, before the
// next the Vorname, before the next the Email, everything after the third
// ";" (further ";" included) the Typ. Fewer fields: no ";" is an Email
// alone, one ";" Name and Email. Every field trimmed; the row is marked.
RecipientRow parseRecipientLine(std::string_view line);

// Decoded file text (UTF-8) to a list, in the format its first line shows.
//
// A first line without "@" that names at least one known column
// (list_columns.h) is a title line, unless it is exactly the program's own
// "Name;Vorname;Email;Typ": the columns are then taken by their titles, the
// separator (";", "," or tab) is the title line's, fields follow RFC 4180
// (delimited_text.h), fields beyond the titles join the last column with the
// separator, empty lines are skipped. Throws ListFormatError when the title
// names no e-mail column.
//
// Otherwise the program's own format: lines end with LF, CR LF or a lone CR
// (CRs right before an LF belong to its line end); a Ctrl-Z (0x1A) at the start of a line ends
// the file; an empty line is a recipient with empty fields. Throws
// ListFormatError for a first line that holds commas or tabs, no ";" and
// a field without "@": a spreadsheet export without a title line, whose
// columns nobody could tell apart.
RecipientList parseRecipientList(std::string_view text);

// Reads the file (Windows-1252 or UTF-8, with or without byte-order mark,
// read the same) and parses it. A workbook (.xlsx, .ods) is read through
// spreadsheet.h, sheet `sheet` (the first when empty), its rows taken as
// the lines of a text file are. Throws FileError naming the file when it
// cannot be read, ListFormatError naming it when it is no list (a workbook
// that is encrypted, damaged or of another kind included).
RecipientList readRecipientList(const std::string& path, const std::string& sheet = "");

// "Achtung: Fehlerhafte Mailadresse in Zeile %d: %s"
std::string faultyAddressWarning(const FaultyAddress& faulty);

// Every faulty row at once: faultyAddressWarning of each, one per line.
std::string faultyAddressesWarning(const std::vector<FaultyAddress>& faulty);

// Whether an Email cell holds no address, or one the pre-flight check
// refuses: the one address rule for loading, editing and sending.
bool hasFaultyAddress(const std::string& email);

// "Hinweis: ... Zahlenformate ..." for RecipientList::inexactFormats; empty
// when there are none.
std::string inexactFormatsNotice(const std::vector<std::string>& formats);

}  // namespace sendrix::merge

#pragma once
// Recipient list files: one recipient per line, "Name;Vorname;Email;Typ",
// read by position. The file is taken as a whole before anything is handed
// back, so a read error never leaves half a list behind.
#include <string>
#include <string_view>
#include <vector>

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
};

// A data row whose Email holds no "@": its grid row (data rows counted from
// 1, title lines not counted) and the line as it was read, untrimmed.
struct FaultyAddress {
    int row = 0;
    std::string line;
};

struct RecipientList {
    std::vector<RecipientRow> rows;
    std::vector<FaultyAddress> faulty;  // in file order
};

// A line that begins with "Name" (case-sensitive, from its first character)
// is a title line and no recipient, wherever it stands.
bool isTitleLine(std::string_view line);

// Splits one line from the left: before the first ";" the Name, before the
// next the Vorname, before the next the Email, everything after the third
// ";" (further ";" included) the Typ. Fewer fields: no ";" is an Email
// alone, one ";" Name and Email. Every field trimmed; the row is marked.
RecipientRow parseRecipientLine(std::string_view line);

// Decoded file text (UTF-8) to a list. Lines end with LF or CR LF; any other
// CR is dropped from its line; a Ctrl-Z (0x1A) at the start of a line ends
// the file; an empty line is a recipient with empty fields.
RecipientList parseRecipientList(std::string_view text);

// Reads the file (Windows-1252 or UTF-8, with or without byte-order mark,
// read the same) and parses it. Throws FileError naming the file when it
// cannot be read.
RecipientList readRecipientList(const std::string& path);

// "Achtung: Fehlerhafte Mailadresse in Zeile %d: %s"
std::string faultyAddressWarning(const FaultyAddress& faulty);

}  // namespace sendrix::merge

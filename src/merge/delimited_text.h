#pragma once
// Text exported by spreadsheets ("CSV"): records of fields split by one
// separator, with the quoting of RFC 4180. Pure functions on decoded text.
#include <string>
#include <string_view>
#include <vector>

namespace sendrix::merge {

using TextRecord = std::vector<std::string>;

// The separator of a title line: whichever of ";", tab and "," occurs most
// often outside quotes (on a tie in that order); ";" when none occurs.
char detectSeparator(std::string_view titleLine);

// The first line of `text` (up to LF or CR), without its line end.
std::string_view firstLine(std::string_view text);

// Splits `text` into records. A record ends at CR LF, LF or a lone CR
// outside quotes; a field in double quotes may hold separators, line breaks
// (kept as LF) and doubled quotes (one quote). Unquoted fields are trimmed
// of characters 0 to 32; a quote inside an unquoted field is an ordinary
// character, and text after a closing quote is appended, as spreadsheets
// read it. Empty lines give no record; a Ctrl-Z (0x1A) at the start of a
// record ends the text. `startLines`, when given, receives the line (from 1)
// where each record begins; `spans`, when given, where each record stands
// in `text` (its line end not included).
struct TextSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
};
std::vector<TextRecord> readRecords(std::string_view text, char separator,
                                    std::vector<int>* startLines = nullptr,
                                    std::vector<TextSpan>* spans = nullptr);

// One record as spreadsheets write it: fields joined by `separator`, a field
// in double quotes (quotes doubled) when reading would change it otherwise
// (a separator, quote or line break in it, blanks at either end) or when
// `quoteAll`. Read back by readRecords, it gives `fields`.
std::string writeRecord(const TextRecord& fields, char separator, bool quoteAll = false);

}  // namespace sendrix::merge

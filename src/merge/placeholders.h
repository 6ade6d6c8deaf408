#pragma once
// Column placeholders: "{{Spalte}}" anywhere in the subject, the body, the
// salutation or an attachment name stands for that column's value in the
// recipient's row. The braces cannot collide with "%Name", "%Vorname",
// "%m/w" or "%mw"; "\{{" writes "{{" itself. Every placeholder is resolved
// here, against the list's column titles, in one pass: a value is inserted
// once and never read for placeholders again.
#include <string>
#include <string_view>
#include <vector>

#include "merge/recipient_list.h"

namespace sendrix::merge {

// A placeholder that names no column, or one used where there is no row.
class PlaceholderError : public Error {
public:
    using Error::Error;
};

// The column of every placeholder in `text`, in order, as written between
// the braces (trimmed; of "{{#Spalte=Wert}}" and "{{Spalte|Ersatz}}" only
// "Spalte"). "{{" without "}}" on the same line is no placeholder.
std::vector<std::string> placeholderNames(std::string_view text);

// The column `name` stands for: 0 OK, 1 Name, 2 Vorname, 3 Email, 4 Typ (also
// by the spellings of list_columns.h, such as "E-Mail"), 5 and up the extra
// columns by title (compared as sameColumnTitle does); -1 when none.
int columnIndex(std::string_view name, const std::vector<std::string>& extraTitles);

// The value of column `index` (as columnIndex gives it) in `row`; empty when
// the row has no such value.
std::string columnValue(const RecipientRow& row, int index);

// How an inserted value is written: Line turns every control character into
// a blank (subject, salutation, file names: one line each); Text keeps it
// (the body, where a line break in a cell is a line break); Html is Text
// with "&", "<", ">" and '"' as character references (an HTML body, where
// a value is text and never markup: "Müller & Söhne <GmbH>").
enum class ValueStyle { Line, Text, Html };

// `value` with every control character turned into a blank.
std::string asOneLine(std::string_view value);

// `text` with every placeholder replaced by its value in `row` and "\{{"
// made "{{". Beyond "{{Spalte}}":
//   {{Spalte|Ersatz}}            the Ersatz when the cell is empty (blanks only)
//   {{#Spalte}}...{{/Spalte}}    the text only when the cell is filled
//   {{^Spalte}}...{{/Spalte}}    the text only when the cell is empty
//   {{#Spalte=Wert}}...{{/Spalte}} only when the cell equals Wert (blanks
//                                around it and ASCII case do not count);
//                                {{^Spalte=Wert}} when it does not
// Sections may span lines and nest; a line holding nothing but section tags
// leaves no line behind. Throws PlaceholderError naming the first
// placeholder that names no column, or a section left open or closed wrongly.
std::string fillPlaceholders(std::string_view text, const RecipientRow& row,
                             const std::vector<std::string>& extraTitles, ValueStyle style);

// `text` for a message without a recipient row (a typed address): "\{{"
// made "{{". Throws PlaceholderError when `text` holds a placeholder.
std::string withoutPlaceholders(std::string_view text);

// "Der Platzhalter "{{%s}}" nennt keine Spalte der Empfängerliste."
std::string unknownPlaceholderText(std::string_view name);
std::string unclosedSectionText(std::string_view column);
std::string strayCloseText(std::string_view column);

// What the pre-flight check finds in one text before any row: columns that
// do not exist and sections not closed, each with its line (from 1).
struct TemplateProblem {
    int line = 0;
    std::string text;
};
std::vector<TemplateProblem> templateProblems(std::string_view text, const std::vector<std::string>& extraTitles);

}  // namespace sendrix::merge

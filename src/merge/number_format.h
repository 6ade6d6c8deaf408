#pragma once
// Number formats of spreadsheet files (the format codes of .xlsx, such as
// "#,##0.00 [$€-407]" or "DD.MM.YYYY"): a stored number rendered as the
// spreadsheet shows it. Formats without a language of their own are shown
// with German separators and names, as a German Calc or Excel shows them.
#include <optional>
#include <string>
#include <string_view>

namespace sendrix::merge {

// The text `value` shows under `code`; nullopt when the code uses something
// this renderer does not reproduce exactly (scientific notation, fractions,
// conditions, abbreviated month and day names, other languages), so that the
// caller keeps the stored value instead of inventing one. `date1904`: the
// workbook counts days from 1904-01-01 (old Mac files), else from 1899-12-30.
std::optional<std::string> formatNumber(double value, std::string_view code, bool date1904 = false);

// The code of a built-in format number of .xlsx files (0-49) as a German
// spreadsheet shows it; empty for numbers without one.
std::string builtinFormatCode(int id);

}  // namespace sendrix::merge

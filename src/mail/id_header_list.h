#pragma once
// Header lines with lookup by name and folding at 78 columns.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sendrix::mail {

// Which bytes start a double-byte character in the locale's code page; the
// folding never looks at the byte that follows one.
enum class LeadBytes { None, ShiftJis, Dbcs };
// The lead bytes of the user's locale (Japanese, Chinese, Korean; else none).
LeadBytes LocaleLeadBytes();

// Breaks `line` at the last break character outside double quotes once more
// than `limit` - 1 columns have passed, inserting `breakText` (unless the
// break falls on the line's last character). An existing `breakText` in the
// line counts as a break.
std::string WrapAtWhitespace(std::string_view line, std::string_view breakText, std::string_view breakChars,
                             int limit, LeadBytes leadBytes = LeadBytes::None);

// The physical lines of one header line (name, ": ", value) folded at
// `foldLength` columns; never an empty line, every line after the first
// begins with a blank or tab.
std::vector<std::string> FoldHeaderLine(std::string_view line, int foldLength = 78,
                                        LeadBytes leadBytes = LocaleLeadBytes());

// `value` as a single line: every CR and LF becomes a blank. A line break
// that came in from a field would end the header line and start one of the
// sender's choosing.
std::string SingleLine(std::string_view value);

class TIdHeaderList {
public:
    TIdHeaderList() = default;

    // The value of the first line named `name` (letter case ignored) with
    // its continuation lines joined by single blanks; "" when absent.
    std::string GetHeaderValue(std::string_view name) const;

    // Replaces the line named `name` (or appends one) by the folded lines of
    // "name: value"; an empty value removes the line. A CR or LF in `value`
    // that is not part of a fold (CR LF followed by a blank or tab) becomes a
    // blank, so a value can never add a header line or end the block.
    void SetHeaderValue(std::string_view name, std::string_view value);
    // The same for a `name` the list does not hold yet (a list built from
    // distinct names): appends without looking for an earlier line.
    void AddHeaderValue(std::string_view name, std::string_view value);

    // Appends one line as it is (already folded lines, e.g. extra headers).
    void Add(std::string line);

    const std::vector<std::string>& Lines() const { return m_lines; }
    // The lines safe to write when they came from outside (extra headers):
    // each made a SingleLine, and lines of blanks and control characters
    // alone left out, since such a line ends the header block for some readers.
    std::vector<std::string> SafeLines() const;
    int Count() const { return static_cast<int>(m_lines.size()); }
    bool Empty() const { return m_lines.empty(); }
    void Clear() { m_lines.clear(); }
    // Room for `count` lines, for a list that is filled at once.
    void Reserve(std::size_t count) { m_lines.reserve(count); }

private:
    // The folded lines of "name: value" before `position` (none for an
    // empty value).
    void insertHeaderValue(std::vector<std::string>::iterator position, std::string_view name,
                           std::string_view value);
    // Index of the first line named `name`, or -1.
    int indexOfName(std::string_view name) const;
    // Index past `index`'s continuation lines.
    size_t endOfEntry(size_t index) const;

    std::vector<std::string> m_lines;
};

}  // namespace sendrix::mail

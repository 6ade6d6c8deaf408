#include "mail/id_header_list.h"

#include <iterator>
#include <utility>

#include "platform/ascii.h"
#include "platform/system_info.h"

namespace sendrix::mail {

namespace {

bool isLeadByte(unsigned char b, LeadBytes leadBytes) {
    switch (leadBytes) {
        case LeadBytes::ShiftJis: return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        case LeadBytes::Dbcs: return b >= 0x81 && b <= 0xFE;
        case LeadBytes::None: break;
    }
    return false;
}

// Blanks and control characters, as a trim counts them.
bool isTrimmed(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

std::string_view trimLeft(std::string_view s) {
    while (!s.empty() && isTrimmed(s.front()))
        s.remove_prefix(1);
    return s;
}

bool isContinuation(const std::string& line) {
    return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

// A CR or LF that is not part of a fold (CR LF followed by a blank or tab)
// would start a header line of its own or end the header block.
// In place, from `from` on.
void removeStrayLineBreaks(std::string& out, size_t from) {
    for (size_t i = from; i < out.size(); ++i) {
        if (out[i] == '\r' && i + 2 < out.size() && out[i + 1] == '\n' &&
            (out[i + 2] == ' ' || out[i + 2] == '\t')) {
            ++i;
            continue;
        }
        if (out[i] == '\r' || out[i] == '\n')
            out[i] = ' ';
    }
}

// A line shorter than the fold length without a CR (so without a fold of
// its own) is never broken: most header lines are such lines.
bool staysWhole(std::string_view line, int foldLength) {
    return static_cast<long long>(line.size()) < foldLength && line.find('\r') == std::string_view::npos;
}

void trimTrailing(std::string& piece) {
    while (!piece.empty() && static_cast<unsigned char>(piece.back()) <= 32)
        piece.pop_back();
}

// A line before a fold: the blank the fold was made at goes, since the
// continuation begins with one of its own; further blanks stay, so the
// unfolded line holds every blank it had (RFC 5322 2.2.3: unfolding only
// removes the CR LF). A line of blanks alone goes whole: it would look like
// the end of the header block to some readers.
void trimBeforeFold(std::string& piece) {
    if (!piece.empty() && (piece.back() == ' ' || piece.back() == '\t'))
        piece.pop_back();
    if (trimLeft(piece).empty())
        piece.clear();
}

}  // namespace

LeadBytes LocaleLeadBytes() {
    switch (platform::localeLanguage().primary) {
        case platform::PrimaryLanguage::Japanese: return LeadBytes::ShiftJis;
        case platform::PrimaryLanguage::Chinese:
        case platform::PrimaryLanguage::Korean: return LeadBytes::Dbcs;
        default: return LeadBytes::None;
    }
}

std::string WrapAtWhitespace(std::string_view line, std::string_view breakText, std::string_view breakChars,
                             int limit, LeadBytes leadBytes) {
    // Positions count from 1, as the break rules are stated; at(p) is the
    // character at position p.
    const size_t length = line.size();
    auto at = [&](size_t p) { return line[p - 1]; };
    auto isBreakChar = [&](char c) { return breakChars.find(c) != std::string_view::npos; };

    std::string result;
    size_t column = 1;
    size_t pos = 1;
    size_t lineStart = 1;
    size_t breakPos = 0;
    bool inQuote = false;
    bool existingBreak = false;
    while (pos <= length) {
        const char c = at(pos);
        if (isLeadByte(static_cast<unsigned char>(c), leadBytes)) {
            // The trail byte of a double-byte character is never a break.
            ++pos;
            ++column;
        } else if (c == '\\' && inQuote && pos < length) {
            // A quoted pair ("\"" or "\\") neither ends the quoted string
            // nor breaks.
            ++pos;
            ++column;
        } else if (!breakText.empty() && c == breakText[0]) {
            if (!inQuote) {
                existingBreak = platform::equalsNoCase(line.substr(pos - 1, breakText.size()), breakText);
                if (existingBreak) {
                    pos += breakText.size() - 1;
                    breakPos = pos;
                }
            }
        } else if (isBreakChar(c)) {
            if (!inQuote)
                breakPos = pos;
        } else if (c == '"') {
            inQuote = !inQuote;
        }
        ++pos;
        ++column;
        if (!inQuote && (existingBreak || (column > static_cast<size_t>(limit) && breakPos > lineStart))) {
            column = pos - breakPos;
            result.append(line.substr(lineStart - 1, breakPos - lineStart + 1));
            if (c != '"') {
                while (pos <= length && (isBreakChar(at(pos)) || at(pos) == '\r' || at(pos) == '\n'))
                    ++pos;
            }
            // A break found only at the last character would leave an empty
            // continuation line: the line then stays whole. One character
            // after the break is a continuation: a line of limit + 1 is
            // folded too (RFC 5322 2.1.1).
            if (!existingBreak && pos <= length)
                result.append(breakText);
            lineStart = breakPos + 1;
            breakPos = lineStart;
            existingBreak = false;
        }
    }
    if (lineStart <= length)
        result.append(line.substr(lineStart - 1));
    return result;
}

std::vector<std::string> FoldHeaderLine(std::string_view line, int foldLength, LeadBytes leadBytes) {
    const std::string wrapped = staysWhole(line, foldLength)
                                    ? std::string(line)
                                    : WrapAtWhitespace(line, "\r\n ", " \t", foldLength, leadBytes);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= wrapped.size()) {
        size_t end = wrapped.find("\r\n", start);
        if (end == std::string::npos)
            end = wrapped.size();
        std::string piece = wrapped.substr(start, end - start);
        if (end < wrapped.size())
            trimBeforeFold(piece);
        else
            trimTrailing(piece);
        // An empty line would end the header block.
        if (!piece.empty())
            lines.push_back(std::move(piece));
        start = end + 2;
    }
    return lines;
}

std::string SingleLine(std::string_view value) {
    std::string out(value);
    for (char& c : out)
        if (c == '\r' || c == '\n')
            c = ' ';
    return out;
}

int TIdHeaderList::indexOfName(std::string_view name) const {
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const std::string& line = m_lines[i];
        const size_t colon = line.find(':');
        if (colon != std::string::npos &&
            platform::equalsNoCase(std::string_view(line).substr(0, colon), name))
            return static_cast<int>(i);
    }
    return -1;
}

size_t TIdHeaderList::endOfEntry(size_t index) const {
    size_t end = index + 1;
    while (end < m_lines.size() && isContinuation(m_lines[end]))
        ++end;
    return end;
}

std::string TIdHeaderList::GetHeaderValue(std::string_view name) const {
    const int index = indexOfName(name);
    if (index < 0)
        return {};
    const std::string& first = m_lines[index];
    std::string value = first.substr(first.find(':') + 1);
    const size_t end = endOfEntry(index);
    for (size_t i = index + 1; i < end; ++i) {
        if (!value.empty() && value.back() != ' ' && value.back() != '\t')
            value += ' ';
        value.append(trimLeft(m_lines[i]));
    }
    return std::string(trimLeft(value));
}

void TIdHeaderList::SetHeaderValue(std::string_view name, std::string_view value) {
    const int index = indexOfName(name);
    auto position = m_lines.end();
    if (index >= 0)
        position = m_lines.erase(m_lines.begin() + index, m_lines.begin() + endOfEntry(index));
    insertHeaderValue(position, name, value);
}

void TIdHeaderList::AddHeaderValue(std::string_view name, std::string_view value) {
    insertHeaderValue(m_lines.end(), name, value);
}

void TIdHeaderList::insertHeaderValue(std::vector<std::string>::iterator position, std::string_view name,
                                      std::string_view value) {
    if (value.empty())
        return;
    std::string line;
    line.reserve(name.size() + 2 + value.size());
    line.append(name);
    line += ": ";
    const size_t valueStart = line.size();
    line.append(value);
    removeStrayLineBreaks(line, valueStart);
    constexpr int kFoldLength = 78;
    if (staysWhole(line, kFoldLength)) {
        // FoldHeaderLine's one line, without its copies.
        trimTrailing(line);
        if (!line.empty())
            m_lines.insert(position, std::move(line));
        return;
    }
    // Only a byte from 0x81 on can lead a double-byte character: ASCII needs
    // no look at the locale.
    std::vector<std::string> folded =
        FoldHeaderLine(line, kFoldLength, platform::isAscii(line) ? LeadBytes::None : LocaleLeadBytes());
    m_lines.insert(position, std::make_move_iterator(folded.begin()), std::make_move_iterator(folded.end()));
}

std::vector<std::string> TIdHeaderList::SafeLines() const {
    std::vector<std::string> lines;
    for (const std::string& line : m_lines) {
        std::string safe = SingleLine(line);
        if (!trimLeft(safe).empty())
            lines.push_back(std::move(safe));
    }
    return lines;
}

void TIdHeaderList::Add(std::string line) {
    m_lines.push_back(std::move(line));
}

}  // namespace sendrix::mail

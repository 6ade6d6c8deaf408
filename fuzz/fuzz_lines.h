#pragma once
// Checks shared by the fuzz targets. A violation stops the run with
// __builtin_trap, which libFuzzer reports as a crash and saves the input.
#include <string>
#include <string_view>
#include <vector>

namespace sendrix::fuzz {

inline void require(bool condition) {
    if (!condition)
        __builtin_trap();
}

inline bool holdsLineBreak(std::string_view line) {
    return line.find_first_of("\r\n") != std::string_view::npos;
}

// Blanks and control characters only: some readers take such a line for the
// empty line that ends the header block.
inline bool isBlank(std::string_view line) {
    for (char c : line)
        if (static_cast<unsigned char>(c) > 32)
            return false;
    return true;
}

// A CR or LF may stand only in a CR LF pair.
inline void requireOnlyCrLfPairs(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            require(i + 1 < text.size() && text[i + 1] == '\n');
            ++i;
        } else {
            require(text[i] != '\n');
        }
    }
}

// The pieces of `text` between its CR LF pairs.
inline std::vector<std::string_view> splitAtCrLf(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
}

// Text that goes into a header value already folded (encoded words joined by
// CR LF and a tab): CR and LF only as the folds, no empty or blank line, and
// every line after the first starts with a blank or tab.
inline void requireFoldedValue(std::string_view text) {
    if (text.empty())
        return;
    requireOnlyCrLfPairs(text);
    const std::vector<std::string_view> lines = splitAtCrLf(text);
    for (size_t i = 0; i < lines.size(); ++i) {
        require(!holdsLineBreak(lines[i]));
        if (i > 0) {
            require(!isBlank(lines[i]));
            require(lines[i][0] == ' ' || lines[i][0] == '\t');
        }
    }
}

// The physical lines of one header line named `name`.
inline void requireHeaderLines(const std::vector<std::string>& lines, std::string_view name) {
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        require(!line.empty());
        require(!isBlank(line));
        require(!holdsLineBreak(line));
        if (i == 0)
            require(line.compare(0, name.size() + 1, std::string(name) + ":") == 0);
        else
            require(line[0] == ' ' || line[0] == '\t');
    }
}

// What a header value holds after the message replaced its CR and LF bytes.
inline std::string withBlanksForLineBreaks(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == '\r' || c == '\n')
            c = ' ';
    return out;
}

}  // namespace sendrix::fuzz

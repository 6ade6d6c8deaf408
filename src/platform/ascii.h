#pragma once
// ASCII text helpers: case folding and comparison, whole numbers, two-digit
// fields. Only A-Z and a-z change case; every other byte (UTF-8 sequences,
// Windows-1252 letters) stays as it is, so protocol keywords and file names
// compare the same whatever the user's locale.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sendrix::platform {

constexpr char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char asciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The text with A-Z lower-cased (asciiLowered) or a-z upper-cased (asciiUppered).
std::string asciiLowered(std::string_view text);
std::string asciiUppered(std::string_view text);

// Every byte is below 0x80 (no UTF-8 sequence, no Windows-1252 letter).
bool isAscii(std::string_view text);

// The length of the run of bytes below 0x80 that `text` begins with (its
// size when it is all ASCII). Looks at eight bytes at a time: a mail body is
// mostly such runs and is looked at once for every message of a list.
std::size_t asciiPrefixLength(std::string_view text);

// The position of the first CR or LF at or after `from`, npos when there is
// none. (find_first_of("\r\n") searches the set once for every byte.)
std::size_t findLineBreak(std::string_view text, std::size_t from = 0);

// Equal, or `text` begins with `prefix`, when A-Z and a-z count as the same.
bool equalsNoCase(std::string_view a, std::string_view b);
bool startsWithNoCase(std::string_view text, std::string_view prefix);

// A whole number as written in settings and fields: an optional "+" or "-",
// then decimal digits, or "0x"/"0X" and hexadecimal digits. No blanks, nothing
// behind the digits. `magnitude` is the value without its sign; each caller
// applies its own range.
struct ParsedInteger {
    bool hasSign = false;  // "+" or "-" was written
    bool negative = false;
    bool hexadecimal = false;
    std::uint64_t magnitude = 0;
};
// Nothing when the text is no such number or its magnitude exceeds 64 bits.
std::optional<ParsedInteger> parseInteger(std::string_view text);

// Decimal text with a leading "0" below 10: 3 -> "03", 12 -> "12", 2026 -> "2026".
std::string TwoDigits(int number);
// The same text appended to `text` (no allocation for 0 to 99 in a short
// string: a list send writes several times per message).
void AppendTwoDigits(std::string& text, int number);

}  // namespace sendrix::platform

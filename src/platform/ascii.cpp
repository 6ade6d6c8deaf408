#include "platform/ascii.h"

#include <charconv>

namespace sendrix::platform {

std::string asciiLowered(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = asciiLower(c);
    return out;
}

std::string asciiUppered(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = asciiUpper(c);
    return out;
}

bool isAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

std::size_t findLineBreak(std::string_view text, std::size_t from) {
    for (std::size_t i = from; i < text.size(); ++i)
        if (text[i] == '\r' || text[i] == '\n')
            return i;
    return std::string_view::npos;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (asciiLower(text[i]) != asciiLower(prefix[i]))
            return false;
    return true;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && startsWithNoCase(a, b);
}

std::optional<ParsedInteger> parseInteger(std::string_view text) {
    ParsedInteger number;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        number.hasSign = true;
        number.negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        number.hexadecimal = true;
        base = 16;
        text.remove_prefix(2);
    }
    // from_chars reads no sign into an unsigned value and fails on an empty
    // text, so "0x-1", "--1" and "0x" are no numbers.
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number.magnitude, base);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return number;
}

std::string TwoDigits(int number) {
    std::string text = std::to_string(number);
    if (text.size() == 1)
        text = "0" + text;
    return text;
}

}  // namespace sendrix::platform

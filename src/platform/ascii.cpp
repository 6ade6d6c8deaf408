#include "platform/ascii.h"

#include <charconv>
#include <cstring>

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
    return asciiPrefixLength(text) == text.size();
}

std::size_t asciiPrefixLength(std::string_view text) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080u;
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        if (word & kHighBits)
            break;
    }
    while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80)
        ++i;
    return i;
}

std::size_t findLineBreak(std::string_view text, std::size_t from) {
    if (from >= text.size())
        return std::string_view::npos;
    // The C library's search runs many bytes at a time; the CR is looked for
    // only before the first LF, so each call stays within the line it finds.
    const char* begin = text.data() + from;
    const char* end = text.data() + text.size();
    const void* lf = std::memchr(begin, '\n', std::size_t(end - begin));
    const char* limit = lf ? static_cast<const char*>(lf) : end;
    const void* cr = std::memchr(begin, '\r', std::size_t(limit - begin));
    const char* found = cr ? static_cast<const char*>(cr) : lf ? limit : nullptr;
    return found ? std::size_t(found - text.data()) : std::string_view::npos;
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
    std::string text;
    AppendTwoDigits(text, number);
    return text;
}

void AppendTwoDigits(std::string& text, int number) {
    if (number >= 0 && number <= 99) {
        text += static_cast<char>('0' + number / 10);
        text += static_cast<char>('0' + number % 10);
        return;
    }
    text += std::to_string(number);  // "%02d": negative or wider numbers as they are
}

}  // namespace sendrix::platform

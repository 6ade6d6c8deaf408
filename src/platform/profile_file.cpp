#include "platform/profile_file.h"

#include <cerrno>
#include <climits>
#include <sys/stat.h>
#include <vector>

#include "platform/ascii.h"
#include "platform/error.h"
#include "platform/text_codec.h"
#include "platform/text_file.h"
#include "platform/text_trim.h"

namespace sendrix::platform {

namespace {

constexpr size_t kMaxValueCharacters = 2047;

// One line of the file with the line end it had, so a rewrite gives back
// every untouched line byte for byte (after the character-set conversion).
struct Line {
    std::string text;
    std::string end;
};

struct ProfileText {
    std::vector<Line> lines;
    bool byteOrderMark = false;
};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Lower case for comparison: ASCII letters and the Latin-1 capitals
// (U+00C0-U+00DE without U+00D7), enough for every name this program uses.
std::string folded(std::string_view s) {
    std::string out(s);
    for (size_t i = 0; i < out.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(out[i]);
        if (c < 0x80) {
            out[i] = asciiLower(out[i]);
        } else if (c == 0xC3 && i + 1 < out.size()) {
            unsigned char next = static_cast<unsigned char>(out[i + 1]);
            if (next >= 0x80 && next <= 0x9E && next != 0x97)
                out[i + 1] = char(next + 0x20);
            ++i;
        }
    }
    return out;
}

bool sameName(std::string_view a, std::string_view b) {
    return folded(a) == folded(b);
}

// The name of a section line "[name]", or false for other lines.
bool sectionName(const std::string& line, std::string_view& name) {
    std::string_view t = trimBlanks(line);
    if (t.empty() || t.front() != '[')
        return false;
    const size_t close = t.find(']');
    name = trimBlanks(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    return true;
}

// Key and raw value of a key line "key=value"; comment lines (";") and lines
// without "=" are no key lines.
bool keyLine(const std::string& line, std::string_view& key, std::string_view& value) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos)
        return false;
    std::string_view whole(line);
    key = trimBlanks(whole.substr(0, equals));
    if (key.empty() || key.front() == ';')
        return false;
    value = whole.substr(equals + 1);
    return true;
}

// A file that cannot be read (missing, a folder, no access) reads as empty;
// `error` tells the writer why.
ProfileText loadProfile(const std::string& path, int* error) {
    ProfileText profile;
    std::string bytes;
    try {
        bytes = readFileBytes(path);
    } catch (const FileError& e) {
        if (error)
            *error = e.errorNumber();
        return profile;
    }
    if (error)
        *error = 0;
    profile.byteOrderMark = bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    const std::string text = decodeFileText(bytes);
    size_t start = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '\r' || c == '\n') {
            size_t endLength = (c == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ? 2 : 1;
            profile.lines.push_back({text.substr(start, pos - start), text.substr(pos, endLength)});
            pos += endLength;
            start = pos;
        } else {
            ++pos;
        }
    }
    if (start < text.size())
        profile.lines.push_back({text.substr(start), ""});
    return profile;
}

// Index range [first, last) of the section's body, or false when the file
// has no such section (the first of equal sections counts).
bool findSection(const ProfileText& profile, const std::string& section, size_t& first, size_t& last) {
    std::string_view name;
    size_t i = 0;
    for (; i < profile.lines.size(); ++i) {
        if (sectionName(profile.lines[i].text, name) && sameName(name, section))
            break;
    }
    if (i == profile.lines.size())
        return false;
    first = i + 1;
    last = first;
    while (last < profile.lines.size() && !sectionName(profile.lines[last].text, name))
        ++last;
    return true;
}

bool findKey(const ProfileText& profile, size_t first, size_t last, const std::string& key, size_t& index,
             std::string_view& value) {
    std::string_view name;
    for (size_t i = first; i < last; ++i) {
        if (keyLine(profile.lines[i].text, name, value) && sameName(name, key)) {
            index = i;
            return true;
        }
    }
    return false;
}

// Blanks around the value go, then one enclosing pair of equal quotes, and
// at most 2047 characters remain (never cutting a character in half).
std::string cleanValue(std::string_view raw) {
    std::string_view v = trimBlanks(raw);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
    }
    return std::string(leftCharacters(v, kMaxValueCharacters));
}

// The value as stored. A line break would end the key line and start a
// line of its own, so it becomes a blank. Blanks at either end would be
// dropped by the reader, so such a value is stored in double quotes.
std::string storedValue(const std::string& value) {
    std::string v = value;
    for (char& c : v) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    if (!v.empty() && (isBlank(v.front()) || isBlank(v.back())))
        v = "\"" + v + "\"";
    return v;
}

bool readRawValue(const std::string& path, const std::string& section, const std::string& key,
                  std::string& value) {
    const ProfileText profile = loadProfile(path, nullptr);
    size_t first = 0, last = 0, index = 0;
    std::string_view raw;
    if (!findSection(profile, section, first, last))
        return false;
    if (!findKey(profile, first, last, key, index, raw))
        return false;
    value = cleanValue(raw);
    return true;
}

// A whole decimal number (optional sign) within int, or "0x"/"0X" and
// hexadecimal digits without a sign (up to 32 bits, taken as the bit pattern
// of an int).
bool readInteger(const std::string& text, int& result) {
    const std::optional<ParsedInteger> number = parseInteger(text);
    if (!number)
        return false;
    if (number->hexadecimal) {
        if (number->hasSign || number->magnitude > 0xFFFFFFFFull)
            return false;
        result = static_cast<int>(static_cast<unsigned int>(number->magnitude));
        return true;
    }
    const std::uint64_t limit = number->negative ? std::uint64_t(INT_MAX) + 1 : std::uint64_t(INT_MAX);
    if (number->magnitude > limit)
        return false;
    result = number->negative ? static_cast<int>(-static_cast<long long>(number->magnitude))
                              : static_cast<int>(number->magnitude);
    return true;
}

}  // namespace

std::string readProfileString(const std::string& path, const std::string& section, const std::string& key,
                              const std::string& defaultValue) {
    std::string value;
    if (!readRawValue(path, section, key, value))
        return defaultValue;
    return value;
}

int readProfileInt(const std::string& path, const std::string& section, const std::string& key,
                   int defaultValue) {
    std::string value;
    int result = 0;
    if (!readRawValue(path, section, key, value) || !readInteger(value, result))
        return defaultValue;
    return result;
}

bool readProfileBool(const std::string& path, const std::string& section, const std::string& key,
                     bool defaultValue) {
    return readProfileInt(path, section, key, defaultValue ? 1 : 0) != 0;
}

void writeProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value, FileAccess access) {
    const std::string failure = "In " + path + " kann nicht geschrieben werden";
    int error = 0;
    ProfileText profile = loadProfile(path, &error);
    // Only a missing file may be started afresh; one that exists but cannot
    // be read would lose its content.
    if (error != 0 && error != ENOENT)
        throw FileError(failure, error);

    // New lines take the line end the file already uses.
    std::string end = "\r\n";
    for (const Line& line : profile.lines) {
        if (!line.end.empty()) {
            end = line.end;
            break;
        }
    }
    const std::string keyText = key + "=" + storedValue(value);

    size_t first = 0, last = 0, index = 0;
    std::string_view raw;
    if (findSection(profile, section, first, last)) {
        if (findKey(profile, first, last, key, index, raw)) {
            // The key keeps its spelling and indentation in the file.
            std::string& text = profile.lines[index].text;
            text = text.substr(0, text.find('=') + 1) + storedValue(value);
        } else {
            // After the section's last non-blank line, so blank lines that
            // part it from the next section stay where they are.
            size_t at = last;
            while (at > first && trimBlanks(profile.lines[at - 1].text).empty())
                --at;
            if (at > 0 && profile.lines[at - 1].end.empty())
                profile.lines[at - 1].end = end;
            profile.lines.insert(profile.lines.begin() + std::ptrdiff_t(at), Line{keyText, end});
        }
    } else {
        if (!profile.lines.empty() && profile.lines.back().end.empty())
            profile.lines.back().end = end;
        profile.lines.push_back({"[" + section + "]", end});
        profile.lines.push_back({keyText, end});
    }

    std::string text;
    for (const Line& line : profile.lines) {
        text += line.text;
        text += line.end;
    }
    std::string bytes = encodeFileText(text);
    if (profile.byteOrderMark && !fitsCp1252(text))
        bytes = "\xEF\xBB\xBF" + bytes;
    replaceFileAtomically(path, bytes, failure, 0600, access);
}

void writeProfileInt(const std::string& path, const std::string& section, const std::string& key, int value,
                     FileAccess access) {
    writeProfileString(path, section, key, std::to_string(value), access);
}

void writeProfileBool(const std::string& path, const std::string& section, const std::string& key, bool value,
                      FileAccess access) {
    writeProfileString(path, section, key, value ? "1" : "0", access);
}

}  // namespace sendrix::platform

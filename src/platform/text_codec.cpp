#include "platform/text_codec.h"

#include <cstdint>

#include "platform/ascii.h"

namespace sendrix::platform {

namespace {

// Windows-1252 bytes 0x80-0x9F. The five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the control characters of the same
// number, so every byte survives a round trip.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char32_t cp1252CodePoint(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F)
        return kHighControls[byte - 0x80];
    return byte;
}

// The Windows-1252 byte of a code point, or -1 when it has none.
int cp1252Byte(char32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
        return int(codePoint);
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] == codePoint)
            return 0x80 + i;
    }
    return -1;
}

// The next character of program text. A byte that is no valid UTF-8 is taken
// as the Windows-1252 character it would be, so such text loses nothing.
char32_t nextCharacter(std::string_view s, size_t& pos) {
    char32_t cp = 0;
    const size_t length = utf8SequenceAt(s, pos, cp);
    if (length == 0) {
        cp = cp1252CodePoint(static_cast<unsigned char>(s[pos]));
        pos += 1;
    } else {
        pos += length;
    }
    return cp;
}

}  // namespace

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// Invalid: a stray continuation byte, truncated, overlong, a surrogate, or
// beyond U+10FFFF.
size_t utf8SequenceAt(std::string_view s, size_t pos, char32_t& cp) {
    const unsigned char b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    size_t length;
    char32_t minimum;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2, cp = b0 & 0x1F, minimum = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3, cp = b0 & 0x0F, minimum = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4, cp = b0 & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (pos + length > s.size())
        return 0;
    for (size_t i = 1; i < length; ++i) {
        const unsigned char b = static_cast<unsigned char>(s[pos + i]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return length;
}

std::string repairUtf8(std::string_view bytes) {
    if (isValidUtf8(bytes))
        return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    size_t pos = 0;
    while (pos < bytes.size())
        appendUtf8(out, nextCharacter(bytes, pos));
    return out;
}

std::string cp1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    size_t pos = 0;
    while (pos < bytes.size()) {
        // ASCII is the same in both: taken a run at a time.
        const size_t ascii = asciiPrefixLength(bytes.substr(pos));
        out.append(bytes.substr(pos, ascii));
        pos += ascii;
        if (pos < bytes.size())
            appendUtf8(out, cp1252CodePoint(static_cast<unsigned char>(bytes[pos++])));
    }
    return out;
}

bool fitsCp1252(std::string_view utf8) {
    size_t pos = 0;
    while (pos < utf8.size()) {
        pos += asciiPrefixLength(utf8.substr(pos));  // ASCII is the same in both
        if (pos + 1 < utf8.size()) {
            // U+00A0 to U+00FF (German letters among them) are the same
            // byte in Windows-1252: C2 A0-BF and C3 80-BF.
            const auto lead = static_cast<unsigned char>(utf8[pos]);
            const auto next = static_cast<unsigned char>(utf8[pos + 1]);
            if ((lead == 0xC3 && next >= 0x80 && next <= 0xBF) ||
                (lead == 0xC2 && next >= 0xA0 && next <= 0xBF)) {
                pos += 2;
                continue;
            }
        }
        if (pos < utf8.size() && cp1252Byte(nextCharacter(utf8, pos)) < 0)
            return false;
    }
    return true;
}

std::string utf8ToCp1252(std::string_view utf8, char replacement) {
    std::string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        // A run of ASCII is the same bytes in both: copied at once, since a
        // mail body is mostly such runs and is converted once per message.
        const size_t run = asciiPrefixLength(utf8.substr(pos));
        out.append(utf8.substr(pos, run));
        pos += run;
        if (pos == utf8.size())
            break;
        const int byte = cp1252Byte(nextCharacter(utf8, pos));
        out += byte < 0 ? replacement : char(byte);
    }
    return out;
}

namespace {

size_t characterEnd(std::string_view text, size_t pos) {
    char32_t cp = 0;
    const size_t length = utf8SequenceAt(text, pos, cp);
    return pos + (length > 0 ? length : 1);
}

}  // namespace

size_t characterCount(std::string_view text) {
    size_t count = 0;
    for (size_t pos = 0; pos < text.size(); pos = characterEnd(text, pos))
        ++count;
    return count;
}

std::string_view leftCharacters(std::string_view text, size_t count) {
    size_t pos = 0;
    for (size_t taken = 0; taken < count && pos < text.size(); ++taken)
        pos = characterEnd(text, pos);
    return text.substr(0, pos);
}

bool isValidUtf8(std::string_view bytes) {
    size_t pos = 0;
    char32_t cp = 0;
    while (pos < bytes.size()) {
        pos += asciiPrefixLength(bytes.substr(pos));
        if (pos == bytes.size())
            break;
        const size_t length = utf8SequenceAt(bytes, pos, cp);
        if (length == 0)
            return false;
        pos += length;
    }
    return true;
}

std::string decodeFileText(std::string_view bytes) {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
        return repairUtf8(bytes.substr(3));
    if (!isAscii(bytes) && isValidUtf8(bytes))
        return std::string(bytes);
    return cp1252ToUtf8(bytes);
}

std::string encodeFileText(std::string_view utf8) {
    if (fitsCp1252(utf8))
        return utf8ToCp1252(utf8);
    return repairUtf8(utf8);
}

}  // namespace sendrix::platform

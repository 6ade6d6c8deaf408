#include "mail/id_header_coder.h"

#include <cstdint>

#include "platform/ascii.h"
#include "platform/text_codec.h"

namespace sendrix::mail {

HeaderCharset ChooseHeaderCharset(const platform::LocaleLanguage& language) {
    using platform::PrimaryLanguage;
    switch (language.primary) {
        case PrimaryLanguage::Chinese:
            if (language.sub == platform::SubLanguage::ChineseSimplified)
                return {"GB2312", 'B', false};
            return {"Big5", 'B', false};
        case PrimaryLanguage::Japanese: return {"ISO-2022-JP", 'B', true};
        case PrimaryLanguage::Korean: return {"EUC-KR", 'B', false};
        default:
            // Only a label: Windows-1252 text goes out as it is.
            return {"ISO-8859-1", 'Q', false};
    }
}

HeaderCharset ChooseHeaderCharset() {
    return ChooseHeaderCharset(platform::localeLanguage());
}

namespace {

constexpr char kHex[] = "0123456789ABCDEF";
constexpr std::string_view kBase64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// RFC 2047 2: an encoded word is at most 75 characters long.
constexpr size_t kMaxEncodedWord = 75;

void appendBase64(std::string& out, std::string_view bytes) {
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t count = bytes.size() - i < 3 ? bytes.size() - i : 3;
        uint32_t v = uint32_t(static_cast<unsigned char>(bytes[i])) << 16;
        if (count > 1)
            v |= uint32_t(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (count > 2)
            v |= static_cast<unsigned char>(bytes[i + 2]);
        out += kBase64[(v >> 18) & 63];
        out += kBase64[(v >> 12) & 63];
        out += count > 1 ? kBase64[(v >> 6) & 63] : '=';
        out += count > 2 ? kBase64[v & 63] : '=';
    }
}

bool isWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool needsEncoding(unsigned char b, std::string_view specials) {
    return b < 32 || b >= 127 || specials.find(static_cast<char>(b)) != std::string_view::npos;
}

bool wordNeedsEncoding(std::string_view word, std::string_view specials) {
    for (char c : word)
        if (needsEncoding(static_cast<unsigned char>(c), specials))
            return true;
    return WordNeedsEncodedForm(word);
}

// RFC 2047 5: an encoded word holds whole characters. In UTF-8 a character
// is its whole sequence; in the other charsets each byte is cut alone.
size_t unitLength(std::string_view run, size_t pos, bool utf8) {
    if (!utf8)
        return 1;
    char32_t cp = 0;
    const size_t length = platform::utf8SequenceAt(run, pos, cp);
    return length == 0 ? 1 : length;
}

void appendEncodedRun(std::string& out, std::string_view run, std::string_view specials, char encoding,
                      std::string_view charsetName) {
    const std::string opening = "=?" + std::string(charsetName) + "?" + encoding + "?";
    const size_t startColumn = opening.size() + 2;  // room for "?="
    const bool utf8 = platform::equalsNoCase(charsetName, "UTF-8");
    size_t column = startColumn;
    auto newWord = [&] {
        out += "?=\r\n\t";
        out += opening;
        column = startColumn;
    };
    out += opening;
    if (encoding == 'Q') {
        std::string tokens;
        for (size_t i = 0; i < run.size();) {
            const size_t length = unitLength(run, i, utf8);
            tokens.clear();
            for (size_t k = i; k < i + length; ++k) {
                const auto b = static_cast<unsigned char>(run[k]);
                if (b == ' ') {
                    tokens += '_';
                } else if (needsEncoding(b, specials) || b == '=' || b == '?' || b == '_') {
                    tokens += '=';
                    tokens += kHex[b >> 4];
                    tokens += kHex[b & 15];
                } else {
                    tokens += static_cast<char>(b);
                }
            }
            if (column + tokens.size() > kMaxEncodedWord)
                newWord();
            out += tokens;
            column += tokens.size();
            i += length;
        }
    } else {
        // Groups of three bytes; in UTF-8 a word ends only where a character
        // ends, so its last group may be short and padded.
        const size_t room = startColumn + 4 > kMaxEncodedWord ? 3 : (kMaxEncodedWord - startColumn) / 4 * 3;
        size_t i = 0;
        while (i < run.size()) {
            size_t end = i;
            while (end < run.size()) {
                const size_t length = unitLength(run, end, utf8);
                if (end + length - i > room)
                    break;
                end += length;
            }
            if (end == i)
                end = i + unitLength(run, i, utf8);  // a character longer than the room
            if (i > 0)
                newWord();
            appendBase64(out, run.substr(i, end - i));
            i = end;
        }
    }
    out += "?=";
}

}  // namespace

bool WordNeedsEncodedForm(std::string_view word) {
    return word.size() > kLongestPlainHeaderWord || word.find("=?") != std::string_view::npos;
}

bool TextNeedsEncodedForm(std::string_view text) {
    size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && isWhiteSpace(text[pos]))
            ++pos;
        const size_t start = pos;
        while (pos < text.size() && !isWhiteSpace(text[pos]))
            ++pos;
        if (WordNeedsEncodedForm(text.substr(start, pos - start)))
            return true;
    }
    return false;
}

std::string EncodeHeaderText(std::string_view text, std::string_view specials, char encoding,
                             bool convertToIso2022Jp, std::string_view charsetName) {
    std::string converted;
    if (convertToIso2022Jp) {
        converted = ConvertToIso2022Jp(text);
        text = converted;
    }
    // Adjacent words that need encoding, with the white space between them,
    // become one run, because white space between two encoded words is
    // dropped by the reader (RFC 2047 6.2).
    std::string result;
    bool runOpen = false;
    size_t runStart = 0;
    size_t pos = 0;
    const size_t n = text.size();
    while (pos < n) {
        const size_t spaceStart = pos;
        while (pos < n && isWhiteSpace(text[pos]))
            ++pos;
        const size_t wordStart = pos;
        while (pos < n && !isWhiteSpace(text[pos]))
            ++pos;
        const std::string_view word = text.substr(wordStart, pos - wordStart);
        if (!word.empty() && wordNeedsEncoding(word, specials)) {
            if (!runOpen) {
                result.append(text.substr(spaceStart, wordStart - spaceStart));
                runOpen = true;
                runStart = wordStart;
            }
            continue;
        }
        if (runOpen) {
            appendEncodedRun(result, text.substr(runStart, spaceStart - runStart), specials, encoding,
                             charsetName);
            runOpen = false;
        }
        result.append(text.substr(spaceStart, pos - spaceStart));
    }
    if (runOpen)
        appendEncodedRun(result, text.substr(runStart), specials, encoding, charsetName);
    return result;
}

std::string EncodeHeaderText(std::string_view text, std::string_view specials, const HeaderCharset& charset) {
    return EncodeHeaderText(text, specials, charset.encoding, charset.convertToIso2022Jp,
                            charset.charsetName);
}

namespace {

// JIS X 0208 codes of the half-width katakana 0xA1 to 0xDF (JIS X 0201).
constexpr uint16_t kFullWidthKatakana[63] = {
    0x2123, 0x2156, 0x2157, 0x2122, 0x2126, 0x2572, 0x2521, 0x2523, 0x2525, 0x2527, 0x2529, 0x2563, 0x2565,
    0x2567, 0x2543, 0x213C, 0x2522, 0x2524, 0x2526, 0x2528, 0x252A, 0x252B, 0x252D, 0x252F, 0x2531, 0x2533,
    0x2535, 0x2537, 0x2539, 0x253B, 0x253D, 0x253F, 0x2541, 0x2544, 0x2546, 0x2548, 0x254A, 0x254B, 0x254C,
    0x254D, 0x254E, 0x254F, 0x2552, 0x2555, 0x2558, 0x255B, 0x255E, 0x255F, 0x2560, 0x2561, 0x2562, 0x2564,
    0x2566, 0x2568, 0x2569, 0x256A, 0x256B, 0x256C, 0x256D, 0x256F, 0x2573, 0x212B, 0x212C,
};

constexpr unsigned char kVoicedMark = 0xDE;
constexpr unsigned char kSemiVoicedMark = 0xDF;

// The voiced form of a half-width katakana, or 0 when it has none in JIS X 0208.
uint16_t voicedForm(unsigned char b) {
    if (b == 0xB3)  // u -> vu
        return 0x2574;
    if ((b >= 0xB6 && b <= 0xC4) || (b >= 0xCA && b <= 0xCE))  // ka..to, ha..ho
        return static_cast<uint16_t>(kFullWidthKatakana[b - 0xA1] + 1);
    return 0;
}

uint16_t semiVoicedForm(unsigned char b) {
    if (b >= 0xCA && b <= 0xCE)  // ha..ho -> pa..po
        return static_cast<uint16_t>(kFullWidthKatakana[b - 0xA1] + 2);
    return 0;
}

bool isLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF);
}

bool isTrailByte(unsigned char b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

// Shift_JIS to JIS X 0208: each lead byte covers two rows.
uint16_t shiftJisToJis(unsigned char lead, unsigned char trail) {
    unsigned row = static_cast<unsigned>(lead - (lead <= 0x9F ? 0x70 : 0xB0)) << 1;
    unsigned cell;
    if (trail < 0x9F) {
        row -= 1;
        cell = trail - 0x1F - (trail >= 0x80 ? 1 : 0);
    } else {
        cell = trail - 0x7E;
    }
    return static_cast<uint16_t>((row << 8) | cell);
}

}  // namespace

std::string ConvertToIso2022Jp(std::string_view shiftJis) {
    std::string out;
    bool jis = false;
    auto appendJis = [&](uint16_t code) {
        if (!jis) {
            out += "\x1b$B";
            jis = true;
        }
        out += static_cast<char>(code >> 8);
        out += static_cast<char>(code & 0xFF);
    };
    const size_t n = shiftJis.size();
    for (size_t i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(shiftJis[i]);
        if (b < 0x80) {
            if (jis) {
                out += "\x1b(B";
                jis = false;
            }
            out += static_cast<char>(b);
        } else if (b >= 0xA1 && b <= 0xDF) {
            const auto next = i + 1 < n ? static_cast<unsigned char>(shiftJis[i + 1]) : 0;
            uint16_t code = kFullWidthKatakana[b - 0xA1];
            if (next == kVoicedMark && voicedForm(b) != 0) {
                code = voicedForm(b);
                ++i;
            } else if (next == kSemiVoicedMark && semiVoicedForm(b) != 0) {
                code = semiVoicedForm(b);
                ++i;
            }
            appendJis(code);
        } else if (isLeadByte(b) || (b >= 0xF0 && b <= 0xFC)) {
            if (i + 1 >= n)
                break;  // a lead byte at the very end gives nothing
            const auto trail = static_cast<unsigned char>(shiftJis[i + 1]);
            if (isTrailByte(trail)) {
                ++i;
                // The user-defined area (from 0xF0) has no JIS code: the
                // character is skipped whole.
                if (b <= 0xEF)
                    appendJis(shiftJisToJis(b, trail));
            } else if (trail >= 0x80) {
                ++i;  // an invalid pair is dropped whole
            }
            // A lead byte before an ASCII byte that cannot be its trail is
            // dropped alone: the ASCII byte (a line end, a ".") stays.
        }
        // 0x80, 0xA0 and 0xFD to 0xFF are dropped alone.
    }
    if (jis)
        out += "\x1b(B";
    return out;
}

}  // namespace sendrix::mail

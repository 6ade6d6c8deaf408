#include "mail/wire_charset.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>

#include "mail/id_header_coder.h"
#include "platform/ascii.h"
#include "platform/text_codec.h"

namespace sendrix::mail {

namespace {

// The five bytes Windows-1252 leaves undefined: readers refuse or replace
// them, so text holding their control characters goes out as UTF-8.
bool holdsUndefinedCp1252Byte(std::string_view bytes) {
    // The C library's search runs many bytes at a time.
    for (const int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        if (std::memchr(bytes.data(), b, bytes.size()))
            return true;
    return false;
}

// Only a text that holds one of the undefined bytes itself (in a UTF-8
// sequence or as a stray byte) can convert to one, so most texts are checked
// without a conversion: this runs once per personal message.
bool fitsWindows1252(std::string_view text) {
    if (!platform::fitsCp1252(text))
        return false;
    return !holdsUndefinedCp1252Byte(text) || !holdsUndefinedCp1252Byte(platform::utf8ToCp1252(text));
}

bool isJapanese(const platform::LocaleLanguage& language) {
    return ChooseHeaderCharset(language).convertToIso2022Jp;
}

// UTF-8 to ISO-2022-JP (RFC 1468) with the C library's converter; false when
// a character has no form there.
bool utf8ToIso2022Jp(std::string_view utf8, std::string& out) {
    iconv_t cd = ::iconv_open("ISO-2022-JP", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    out.assign(utf8.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* dest = out.data();
    size_t destLeft = out.size();
    bool ok = ::iconv(cd, &in, &inLeft, &dest, &destLeft) != static_cast<size_t>(-1) &&
              // Back to ASCII at the end (ESC "(B").
              ::iconv(cd, nullptr, nullptr, &dest, &destLeft) != static_cast<size_t>(-1);
    ::iconv_close(cd);
    out.resize(out.size() - destLeft);
    return ok;
}

size_t eightBitBytes(std::string_view text) {
    size_t count = 0;
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            ++count;
    return count;
}

// The charset of `kind` for a text of `size` bytes, `eightBit` of them from
// 0x80 on.
WireCharset charsetOf(WireCharsetKind kind, size_t eightBit, size_t size) {
    switch (kind) {
        case WireCharsetKind::Ascii: return {kind, "us-ascii", 'Q'};
        case WireCharsetKind::Windows1252: return {kind, "windows-1252", 'Q'};
        case WireCharsetKind::Iso2022Jp: return {kind, "ISO-2022-JP", 'B'};
        case WireCharsetKind::Utf8: break;
    }
    // "Q" keeps mostly Latin text readable; text that is mostly multi-byte
    // characters is shorter in "B".
    return {kind, "UTF-8", eightBit * 3 > size ? 'B' : 'Q'};
}

WireCharsetKind kindOf(std::string_view text, const platform::LocaleLanguage& language) {
    if (platform::isAscii(text))
        return WireCharsetKind::Ascii;
    if (isJapanese(language)) {
        std::string converted;
        if (!platform::isValidUtf8(text) || utf8ToIso2022Jp(text, converted))
            return WireCharsetKind::Iso2022Jp;
    }
    if (fitsWindows1252(text))
        return WireCharsetKind::Windows1252;
    return WireCharsetKind::Utf8;
}

}  // namespace

WireCharset ChooseWireCharset(std::string_view text, const platform::LocaleLanguage& language) {
    return charsetOf(kindOf(text, language), eightBitBytes(text), text.size());
}

WireCharset ChooseWireCharset(const std::vector<std::string>& lines,
                              const platform::LocaleLanguage& language) {
    std::string all;
    size_t size = 0;
    for (const std::string& line : lines)
        size += line.size() + 1;
    all.reserve(size);
    for (const std::string& line : lines) {
        all += line;
        all += '\n';
    }
    return ChooseWireCharset(all, language);
}

std::string ToWireBytes(std::string_view text, const WireCharset& charset) {
    switch (charset.kind) {
        case WireCharsetKind::Ascii: return std::string(text);
        case WireCharsetKind::Windows1252: return platform::utf8ToCp1252(text);
        case WireCharsetKind::Iso2022Jp: {
            if (!platform::isValidUtf8(text))
                return ConvertToIso2022Jp(text);  // Shift_JIS as it came
            std::string converted;
            if (utf8ToIso2022Jp(text, converted))
                return converted;
            return std::string(text);  // unreachable for a text the choice was made for
        }
        case WireCharsetKind::Utf8: break;
    }
    return platform::repairUtf8(text);
}

LineFacts LineFactsOf(std::string_view line) {
    LineFacts facts;
    facts.size = line.size();
    facts.nul = std::memchr(line.data(), 0, line.size()) != nullptr;
    facts.lineBreak = platform::findLineBreak(line) != std::string_view::npos;
    if (platform::isAscii(line))
        return facts;
    facts.eightBit = eightBitBytes(line);
    facts.fitsWindows1252 = platform::fitsCp1252(line);
    // Only a line that holds an undefined byte itself can make one.
    facts.makesUndefinedByte =
        holdsUndefinedCp1252Byte(line) && holdsUndefinedCp1252Byte(platform::utf8ToCp1252(line));
    return facts;
}

std::optional<TextEncoding> ChooseTextEncoding(const std::vector<const LineFacts*>& lines,
                                               const platform::LocaleLanguage& language) {
    if (isJapanese(language))
        return std::nullopt;
    // As for the lines joined by LF (ChooseWireCharset).
    size_t size = 0;
    size_t eightBit = 0;
    bool fits = true;
    bool nul = false;
    bool longLine = false;
    for (const LineFacts* line : lines) {
        size += line->size + 1;
        eightBit += line->eightBit;
        fits = fits && line->fitsWindows1252 && !line->makesUndefinedByte;
        nul = nul || line->nul;
        longLine = longLine || line->size > kMaxLineOctets;
    }
    TextEncoding encoding;
    const WireCharsetKind kind = eightBit == 0 ? WireCharsetKind::Ascii
                                 : fits        ? WireCharsetKind::Windows1252
                                               : WireCharsetKind::Utf8;
    encoding.charset = charsetOf(kind, eightBit, size);
    // ASCII goes out as it is: only a NUL or a long line needs the coder.
    encoding.quotedPrintable = encoding.charset.eightBit() || nul || longLine;
    return encoding;
}

TextEncoding ChooseTextEncoding(const std::vector<std::string>& lines,
                                const platform::LocaleLanguage& language) {
    std::vector<LineFacts> facts;
    facts.reserve(lines.size());
    std::vector<const LineFacts*> each;
    each.reserve(lines.size());
    for (const std::string& line : lines)
        each.push_back(&facts.emplace_back(LineFactsOf(line)));
    if (const std::optional<TextEncoding> chosen = ChooseTextEncoding(each, language))
        return *chosen;
    TextEncoding encoding;
    encoding.charset = ChooseWireCharset(lines, language);
    encoding.quotedPrintable = encoding.charset.eightBit() || !FitsUnencoded(lines, encoding.charset);
    return encoding;
}

bool FitsUnencoded(const std::vector<std::string>& lines, const WireCharset& charset) {
    for (const std::string& line : lines)
        if (line.find('\0') != std::string::npos ||
            (line.size() > kMaxLineOctets / 4 && ToWireBytes(line, charset).size() > kMaxLineOctets))
            return false;
    return true;
}

std::string EncodeHeaderWords(std::string_view text, std::string_view specials,
                              const platform::LocaleLanguage& language) {
    const WireCharset charset = ChooseWireCharset(text, language);
    if (charset.kind == WireCharsetKind::Iso2022Jp && !platform::isValidUtf8(text))
        return EncodeHeaderText(text, specials, 'B', true, charset.name);
    return EncodeHeaderText(ToWireBytes(text, charset), specials, charset.headerEncoding, false,
                            charset.name);
}

}  // namespace sendrix::mail

// ISO-2022-JP conversion: ConvertToIso2022Jp on any bytes, and a whole
// message written in a Japanese locale, where the single-part body and the
// subject are converted.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_lines.h"
#include "mail/id_header_coder.h"
#include "mail/id_message.h"
#include "mail/id_message_writer.h"
#include "mail/memory_write_target.h"
#include "platform/clock.h"

using namespace sendrix;
using namespace sendrix::fuzz;

namespace {

std::string lineBreaksOf(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c == '\r' || c == '\n')
            out += c;
    return out;
}

// The last escape sequence of a converted line must be the one back to ASCII.
bool endsInAscii(std::string_view line) {
    const size_t jis = line.rfind("\x1b$B");
    return jis == std::string_view::npos || line.find("\x1b(B", jis) != std::string_view::npos;
}

// Bytes no conversion may drop: below 0x40 (no trail byte is) and 0x7F.
// ESC is left out, the conversion writes its own.
std::string neverDropped(std::string_view text) {
    std::string out;
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if ((b < 0x40 && b != 0x1B) || b == 0x7F)
            out += c;
    }
    return out;
}

// The ASCII part of converted text (for input without ESC of its own);
// traps on a JIS X 0208 byte outside 0x21 to 0x7E or half a character.
std::string asciiPart(std::string_view converted) {
    std::string ascii;
    bool jis = false;
    for (size_t i = 0; i < converted.size();) {
        if (converted.substr(i, 3) == "\x1b$B") {
            jis = true;
            i += 3;
        } else if (converted.substr(i, 3) == "\x1b(B") {
            jis = false;
            i += 3;
        } else if (jis) {
            require(i + 1 < converted.size());
            for (size_t k = i; k < i + 2; ++k)
                require(converted[k] >= 0x21 && converted[k] <= 0x7E);
            i += 2;
        } else {
            ascii += converted[i];
            ++i;
        }
    }
    require(!jis);
    return ascii;
}

// Lines as the writer cuts body text: at CR LF, a lone CR and a lone LF.
std::vector<std::string_view> cutLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size();) {
        if (text[i] != '\r' && text[i] != '\n') {
            ++i;
            continue;
        }
        lines.push_back(text.substr(start, i - start));
        i += (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
        start = i;
    }
    lines.push_back(text.substr(start));
    return lines;
}

const platform::FixedClock kClock({2026, 12, 8, 14, 5, 31, 2, 540});

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The writer asks the locale for the header character set.
    setenv("LC_ALL", "ja_JP.SJIS", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // The conversion keeps every line end and makes none, and drops no byte
    // that cannot be part of a double-byte character.
    const std::string converted = mail::ConvertToIso2022Jp(text);
    require(lineBreaksOf(converted) == lineBreaksOf(text));
    // An ESC of the text's own passes through as any ASCII byte and can
    // switch a reader's mode itself; the mode checks need text without one.
    const bool ownEscape = text.find('\x1b') != std::string_view::npos;
    if (!ownEscape)
        require(neverDropped(asciiPart(converted)) == neverDropped(text));
    // Line by line: no line break inside, back in ASCII at the line end.
    for (std::string_view line : cutLines(text)) {
        const std::string out = mail::ConvertToIso2022Jp(line);
        require(!holdsLineBreak(out));
        require(ownEscape || endsInAscii(out));
    }

    // A whole message: the text as subject and as body lines.
    mail::TIdMessage message;
    message.From.SetText("absender@example.org");
    message.Recipients.SetAddresses("empfaenger@example.org");
    message.Subject = std::string(text);
    size_t start = 0;
    for (;;) {
        const size_t end = text.find('\n', start);
        message.Body.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    mail::MemoryWriteTarget wire;
    mail::WriteMessage(wire, message, kClock);
    requireOnlyCrLfPairs(wire.Bytes());
    const size_t headerEnd = wire.Bytes().find("\r\n\r\n");
    require(headerEnd != std::string::npos);
    for (std::string_view line : splitAtCrLf(std::string_view(wire.Bytes()).substr(0, headerEnd))) {
        require(!isBlank(line));
        require(line[0] == ' ' || line[0] == '\t' || line.find(':') != std::string_view::npos);
    }
    std::vector<std::string_view> body = splitAtCrLf(std::string_view(wire.Bytes()).substr(headerEnd + 4));
    require(!body.empty() && body.back().empty());  // the text ends with CR LF
    body.pop_back();
    for (std::string_view line : body) {
        // SMTP transparency: a line that starts with "." carries a second one.
        if (!line.empty() && line[0] == '.')
            require(line.size() >= 2 && line[1] == '.');
        require(ownEscape || endsInAscii(line));
    }
    return 0;
}

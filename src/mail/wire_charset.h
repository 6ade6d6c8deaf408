#pragma once
// The one place where the wire charset of a text is chosen. Text inside the
// program is UTF-8; what goes on the wire is chosen from the text itself, so
// no locale can delete or mislabel a character:
//   - ASCII stays ASCII;
//   - in a Japanese locale, text that ISO-2022-JP can hold goes out so;
//   - text that fits Windows-1252 goes out in it, labelled "windows-1252";
//   - everything else goes out as UTF-8.
// A byte that is no valid UTF-8 is taken as the Windows-1252 character it
// would be (as the text files are read); in a Japanese locale a text that is
// no valid UTF-8 is taken as Shift_JIS, the code page such text came from.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system_info.h"

namespace sendrix::mail {

enum class WireCharsetKind { Ascii, Windows1252, Iso2022Jp, Utf8 };

struct WireCharset {
    WireCharsetKind kind = WireCharsetKind::Ascii;
    // The MIME name: "us-ascii", "windows-1252", "ISO-2022-JP", "UTF-8".
    std::string name = "us-ascii";
    // The letter of encoded words in this charset, 'Q' or 'B'.
    char headerEncoding = 'Q';

    // Bytes from 0x80 on reach the wire.
    bool eightBit() const { return kind == WireCharsetKind::Windows1252 || kind == WireCharsetKind::Utf8; }
};

// The charset for `text` (one header value, one file name).
WireCharset ChooseWireCharset(std::string_view text, const platform::LocaleLanguage& language);
// One charset for all `lines` together (a body).
WireCharset ChooseWireCharset(const std::vector<std::string>& lines,
                              const platform::LocaleLanguage& language);

// RFC 5322 2.1.1: no line may be longer than 998 octets without its CR LF.
inline constexpr size_t kMaxLineOctets = 998;

// How a text body goes out. The one place that decides: issue-specific
// hardening (forbidden bytes, say) extends this choice, not the writer.
struct TextEncoding {
    WireCharset charset;
    // 8-bit text, a line over kMaxLineOctets or a NUL byte (RFC 2045 2.7:
    // never in 7bit text, and many servers cut the message there): the wire
    // never carries any of these, whatever the server offers.
    bool quotedPrintable = false;

    // ASCII text with short lines goes out undeclared, as it always has.
    bool declared() const { return charset.kind != WireCharsetKind::Ascii || quotedPrintable; }
    std::string transferEncoding() const { return quotedPrintable ? "quoted-printable" : "7bit"; }
};

// Whether `lines` in `charset` may go out as they are (RFC 2045 2.7, 2.8:
// "7bit" and "8bit" data hold no NUL and no line over kMaxLineOctets).
bool FitsUnencoded(const std::vector<std::string>& lines, const WireCharset& charset);

// The encoding of a body made of `lines` (no line ends inside them).
TextEncoding ChooseTextEncoding(const std::vector<std::string>& lines,
                                const platform::LocaleLanguage& language);

// What the choice needs to know of one line of a body. Outside a Japanese
// locale the facts of the lines together decide as the whole body does: no
// character, and no Windows-1252 byte made from one, spans two lines.
struct LineFacts {
    size_t size = 0;
    size_t eightBit = 0;              // bytes from 0x80 on
    bool fitsWindows1252 = true;      // every character has a Windows-1252 byte...
    bool makesUndefinedByte = false;  // ...and one of them is 0x81, 0x8D, 0x8F, 0x90 or 0x9D
    bool nul = false;
    // A CR or LF inside: the writer splits such a line before it looks.
    bool lineBreak = false;
};
LineFacts LineFactsOf(std::string_view line);

// ChooseTextEncoding for the lines whose facts these are; nothing in a
// Japanese locale, where ISO-2022-JP is tried on the whole text.
std::optional<TextEncoding> ChooseTextEncoding(const std::vector<const LineFacts*>& lines,
                                               const platform::LocaleLanguage& language);

// The bytes of `text` in `charset`, which was chosen for it (or for the
// body it is a line of): nothing is replaced or dropped.
std::string ToWireBytes(std::string_view text, const WireCharset& charset);

// Header text with every run of words that need encoding (bytes outside
// printable ASCII, or in `specials`) as RFC 2047 encoded words in the text's
// own charset; ASCII text without specials comes back unchanged.
std::string EncodeHeaderWords(std::string_view text, std::string_view specials,
                              const platform::LocaleLanguage& language);

}  // namespace sendrix::mail

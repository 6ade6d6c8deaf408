#pragma once
// Header text encoding: the locale's header character set of old, RFC 2047
// encoded words, and the Shift_JIS to ISO-2022-JP conversion used in
// Japanese locales. The charset a message's text goes out in is chosen from
// the text (wire_charset.h); these functions work on bytes already in it.
#include <string>
#include <string_view>

#include "platform/system_info.h"

namespace sendrix::mail {

struct HeaderCharset {
    std::string charsetName;  // label in encoded words, e.g. "ISO-8859-1"
    char encoding = 'Q';      // 'Q' or 'B'
    bool convertToIso2022Jp = false;
};

// The locale's own header charset (asked anew on every call). Messages take
// their labels from their text instead; only the ISO-2022-JP flag still
// decides whether Japanese text may go out in ISO-2022-JP.
HeaderCharset ChooseHeaderCharset();
// The same choice for a given language; German and all other languages
// without a table row give "ISO-8859-1" with 'Q'.
HeaderCharset ChooseHeaderCharset(const platform::LocaleLanguage& language);

// The thirteen special characters of the address syntax (RFC 5322 "specials").
inline constexpr std::string_view kAddressSpecials = "\"(),.:;<>@[]\\";

// RFC 5322 2.1.1: a header line is never longer than 998 octets. Folding
// breaks only at blanks, so a longer word goes out as encoded words, which
// are cut to 75 characters each.
inline constexpr size_t kLongestPlainHeaderWord = 900;

// Whether a word of header text goes out as encoded words although every
// byte of it may stand plain: it holds "=?", which a reader would decode as
// an encoded word of its own (forged line breaks included), or it is longer
// than kLongestPlainHeaderWord.
bool WordNeedsEncodedForm(std::string_view word);
// Whether any blank-separated word of `text` does.
bool TextNeedsEncodedForm(std::string_view text);

// `text` with every run of words that need encoding (bytes below 32, from
// 127 on, or in `specials`, or WordNeedsEncodedForm) written as encoded words of at most 75
// characters, joined by CR LF and a tab. With the name "UTF-8" a word ends
// only between characters. Text without such bytes comes back unchanged.
std::string EncodeHeaderText(std::string_view text, std::string_view specials, char encoding,
                             bool convertToIso2022Jp, std::string_view charsetName);
std::string EncodeHeaderText(std::string_view text, std::string_view specials, const HeaderCharset& charset);

// Shift_JIS text to ISO-2022-JP (RFC 1468); half-width katakana become
// full-width, invalid bytes are dropped.
std::string ConvertToIso2022Jp(std::string_view shiftJis);

}  // namespace sendrix::mail

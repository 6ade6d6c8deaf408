#pragma once
// Text inside the program is UTF-8; files and the wire are Windows-1252 as
// the program has always written them.
#include <string>
#include <string_view>

namespace sendrix::platform {

std::string cp1252ToUtf8(std::string_view bytes);

// True when every character of the UTF-8 text has a Windows-1252 byte.
bool fitsCp1252(std::string_view utf8);

// Characters without a Windows-1252 byte become `replacement`.
std::string utf8ToCp1252(std::string_view utf8, char replacement = '?');

// Length (1-4) of the well-formed UTF-8 sequence at `pos`, with its code
// point in `cp`; 0 when the bytes there are no valid sequence.
size_t utf8SequenceAt(std::string_view text, size_t pos, char32_t& cp);

// Characters of a text: a well-formed UTF-8 sequence is one character, and
// so is every byte outside one (a Windows-1252 letter, a stray byte).
size_t characterCount(std::string_view text);

// The first `count` characters of `text`, never cutting a sequence in half.
std::string_view leftCharacters(std::string_view text, size_t count);

// Appends the UTF-8 form of a code point.
void appendUtf8(std::string& out, char32_t cp);

// Valid UTF-8 unchanged; every byte outside a valid sequence becomes its
// Windows-1252 character, so such text loses nothing.
std::string repairUtf8(std::string_view bytes);

// True when the bytes are valid UTF-8 (ASCII alone counts as valid).
bool isValidUtf8(std::string_view bytes);

// Bytes read from a file to UTF-8: a UTF-8 byte-order mark (dropped), or
// valid UTF-8 holding a multi-byte sequence, is UTF-8; anything else is
// Windows-1252.
std::string decodeFileText(std::string_view bytes);

// UTF-8 text to the bytes written to a file: Windows-1252 when every
// character fits, else UTF-8 unchanged, so no character is ever lost.
std::string encodeFileText(std::string_view utf8);

}  // namespace sendrix::platform

#pragma once
// Body text files. The body editor's text is held as its lines, the pieces
// between line ends: a text that ends with a line end has an empty last
// piece, so loading and saving give back the file byte for byte (apart
// from line ends made CR LF).
#include <string>
#include <string_view>
#include <vector>

namespace sendrix::merge {

// Splits at CR LF, a lone CR and a lone LF. An empty text has no lines.
std::vector<std::string> splitBodyText(std::string_view text);

// The lines joined by CR LF, no line end added at the end.
std::string joinBodyText(const std::vector<std::string>& lines);

// The file's text (Windows-1252 or UTF-8, with or without byte-order mark)
// as lines. Throws FileError naming the file when it cannot be read.
std::vector<std::string> readBodyFile(const std::string& path);

// Writes joinBodyText(lines), in Windows-1252 when every character fits
// and UTF-8 otherwise, replacing the file in one step. Throws FileError
// naming the file; an existing file is then unchanged.
void writeBodyFile(const std::string& path, const std::vector<std::string>& lines);

}  // namespace sendrix::merge

#include "merge/body_file.h"

#include "platform/text_codec.h"
#include "platform/text_file.h"

namespace sendrix::merge {

std::vector<std::string> splitBodyText(std::string_view text) {
    std::vector<std::string> lines;
    if (text.empty())
        return lines;
    std::string current;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(std::move(current));
            current.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            current += c;
        }
    }
    lines.push_back(std::move(current));
    return lines;
}

std::string joinBodyText(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            text += "\r\n";
        text += lines[i];
    }
    return text;
}

std::vector<std::string> readBodyFile(const std::string& path) {
    return splitBodyText(platform::decodeFileText(platform::readFileBytes(path)));
}

void writeBodyFile(const std::string& path, const std::vector<std::string>& lines) {
    platform::replaceFileAtomically(path, platform::encodeFileText(joinBodyText(lines)),
                                    "Datei " + path + " kann nicht erstellt werden");
}

}  // namespace sendrix::merge

#include "merge/html_images.h"

#include <map>

#include "platform/ascii.h"
#include "platform/error.h"
#include "platform/text_file.h"

namespace sendrix::merge {

namespace {

// Where the value of the src attribute of the tag at `tagStart` lies.
struct ValueSpan {
    size_t begin = std::string::npos;
    size_t end = std::string::npos;
};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

ValueSpan srcValue(const std::string& line, const std::string& lowered, size_t tagStart) {
    const size_t tagEnd = line.find('>', tagStart);
    const size_t limit = tagEnd == std::string::npos ? line.size() : tagEnd;
    for (size_t at = lowered.find("src", tagStart + 4); at < limit; at = lowered.find("src", at + 3)) {
        // "src" as a name of its own, not the end of "data-src".
        if (!isBlank(line[at - 1]))
            continue;
        size_t pos = at + 3;
        while (pos < limit && isBlank(line[pos]))
            ++pos;
        if (pos >= limit || line[pos] != '=')
            continue;
        ++pos;
        while (pos < limit && isBlank(line[pos]))
            ++pos;
        if (pos < limit && (line[pos] == '"' || line[pos] == '\'')) {
            const size_t close = line.find(line[pos], pos + 1);
            if (close == std::string::npos)
                return {};
            return {pos + 1, close};
        }
        size_t end = pos;
        // Up to a blank or the "/>" of an empty element.
        while (end < limit && !isBlank(line[end]) && line.compare(end, 2, "/>") != 0)
            ++end;
        return {pos, end};
    }
    return {};
}

// A src with a scheme ("https:", "cid:", "data:") is no file; "C:\..." has
// a drive letter, not a scheme.
bool isUrl(const std::string& value) {
    const size_t colon = value.find(':');
    if (colon == std::string::npos || colon < 2)
        return false;
    for (size_t i = 0; i < colon; ++i) {
        const char c = value[i];
        const bool schemeChar = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                                c == '+' || c == '-' || c == '.';
        if (!schemeChar)
            return false;
    }
    return !platform::startsWithNoCase(value, "file:");
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The file a src names: "&amp;" and the like decoded, a "file:" URL's
// percent escapes too, a relative path joined to `folder`.
std::string filePath(std::string value, const std::string& folder) {
    for (const auto& [reference, character] : {std::pair<std::string, char>{"&amp;", '&'},
                                               {"&quot;", '"'},
                                               {"&lt;", '<'},
                                               {"&gt;", '>'},
                                               {"&#39;", '\''}})
        for (size_t at = value.find(reference); at != std::string::npos; at = value.find(reference, at + 1))
            value.replace(at, reference.size(), 1, character);
    if (platform::startsWithNoCase(value, "file:")) {
        value.erase(0, 5);
        if (value.starts_with("//"))
            value.erase(0, value.find('/', 2));
        std::string decoded;
        for (size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '%' && i + 2 < value.size() && hexValue(value[i + 1]) >= 0 &&
                hexValue(value[i + 2]) >= 0) {
                decoded += static_cast<char>(hexValue(value[i + 1]) * 16 + hexValue(value[i + 2]));
                i += 2;
            } else {
                decoded += value[i];
            }
        }
        value = decoded;
    }
    for (char& c : value)
        if (c == '\\')
            c = '/';
    if (value.starts_with("/") || folder.empty())
        return value;
    return folder + (folder.ends_with("/") ? "" : "/") + value;
}

// `lines` with the src of every <img> that names a local file replaced by
// what `replace` makes of it; one text, so that a tag written over several
// lines is found as well, and the lines come apart at the same places.
template <typename Replace>
std::vector<std::string> withLocalImageSources(const std::vector<std::string>& lines, Replace replace) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += '\n';
    }
    std::string lowered = platform::asciiLowered(text);
    for (size_t tag = lowered.find("<img"); tag != std::string::npos; tag = lowered.find("<img", tag + 4)) {
        const ValueSpan span = srcValue(text, lowered, tag);
        if (span.begin == std::string::npos)
            continue;
        const std::string value = text.substr(span.begin, span.end - span.begin);
        if (value.empty() || isUrl(value))
            continue;
        const std::string replacement = replace(value);
        text.replace(span.begin, span.end - span.begin, replacement);
        lowered.replace(span.begin, span.end - span.begin, platform::asciiLowered(replacement));
    }
    std::vector<std::string> out;
    out.reserve(lines.size());
    for (size_t from = 0; from < text.size();) {
        const size_t end = text.find('\n', from);
        out.push_back(text.substr(from, end - from));
        from = end + 1;
    }
    return out;
}

}  // namespace

EmbeddedImages embedLocalImages(const std::vector<std::string>& lines, const std::string& folder) {
    EmbeddedImages result;
    std::map<std::string, std::string> idOfFile;
    result.lines = withLocalImageSources(lines, [&](const std::string& value) {
        const std::string path = filePath(value, folder);
        if (!platform::fileExists(path))
            throw FileError("Das Bild " + path + " im Nachrichtentext ist nicht zu finden.");
        auto known = idOfFile.find(path);
        if (known == idOfFile.end()) {
            const std::string id = "bild" + std::to_string(idOfFile.size() + 1) + "@sendrix";
            known = idOfFile.emplace(path, id).first;
            result.images.push_back({path, id});
        }
        return "cid:" + known->second;
    });
    return result;
}

std::vector<std::string> imagePathsRelativeTo(const std::vector<std::string>& lines,
                                              const std::string& folder) {
    if (!folder.starts_with("/"))
        return lines;
    const std::string base = folder.ends_with("/") ? folder : folder + "/";
    return withLocalImageSources(lines, [&](const std::string& value) {
        // Only a plain absolute path below the folder: an escaped or "file:"
        // source stays as written.
        if (value.starts_with(base) && value.size() > base.size() &&
            value.find_first_of("&%") == std::string::npos && value.find("/../") == std::string::npos)
            return value.substr(base.size());
        return value;
    });
}

std::vector<std::string> imagePathsAbsoluteIn(const std::vector<std::string>& lines,
                                              const std::string& folder) {
    if (folder.empty())
        return lines;
    return withLocalImageSources(lines, [&](const std::string& value) {
        if (value.starts_with("/") || platform::startsWithNoCase(value, "file:"))
            return value;
        return folder + (folder.ends_with("/") ? "" : "/") + value;
    });
}

}  // namespace sendrix::merge

#include "mail/media_types.h"

#include <fstream>
#include <sstream>

#include "platform/ascii.h"

namespace sendrix::mail {

void MediaTypeTable::add(std::string extension, std::string_view type) {
    if (extension.empty() || type.find('/') == std::string_view::npos)
        return;
    m_types.emplace(platform::asciiLowered(extension), std::string(type));
}

void MediaTypeTable::LoadMimeTypes(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        const size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::string type;
        std::string extension;
        if (!(words >> type))
            continue;
        while (words >> extension)
            add(extension, type);
    }
}

void MediaTypeTable::LoadGlobs(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        const size_t first = line.find(':');
        const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos)
            continue;
        const std::string type = line.substr(first + 1, second - first - 1);
        std::string pattern = line.substr(second + 1);
        const size_t flags = pattern.find(':');  // globs2 may append ":flags"
        if (flags != std::string::npos)
            pattern.erase(flags);
        // Only plain "*.ext" patterns name an extension.
        if (pattern.size() < 3 || pattern.compare(0, 2, "*.") != 0 ||
            pattern.find_first_of("*?[", 2) != std::string::npos)
            continue;
        add(pattern.substr(2), type);
    }
}

std::string MediaTypeTable::Lookup(std::string_view fileName) const {
    const size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos || dot + 1 >= fileName.size())
        return std::string(kOctetStream);
    const auto found = m_types.find(platform::asciiLowered(fileName.substr(dot + 1)));
    return found == m_types.end() ? std::string(kOctetStream) : found->second;
}

std::string MediaTypeForFileName(std::string_view fileName) {
    static const MediaTypeTable table = [] {
        MediaTypeTable system;
        system.LoadMimeTypes("/etc/mime.types");
        system.LoadGlobs("/usr/share/mime/globs2");
        return system;
    }();
    return table.Lookup(fileName);
}

}  // namespace sendrix::mail

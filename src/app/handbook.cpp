#include "app/handbook.h"

#include "platform/error.h"
#include "platform/text_file.h"

namespace sendrix::app {

std::vector<std::string> handbookCandidates(const std::string& programFolder) {
    return {programFolder + kHandbookFile, programFolder + "../share/sendrix/" + kHandbookFile};
}

std::string handbookPath(const std::string& programFolder) {
    std::string looked;
    for (const std::string& candidate : handbookCandidates(programFolder)) {
        if (platform::fileExists(candidate))
            return candidate;
        looked += "\r\n" + candidate;
    }
    throw Error("Das Handbuch ist nicht installiert. Gesucht wurde:" + looked);
}

std::string handbookSection(const std::string& readme) {
    const std::string heading = "## Handbuch";
    std::size_t start = readme.rfind(heading + "\n", 0) == 0 ? 0 : readme.find("\n" + heading + "\n");
    if (start == std::string::npos)
        return {};
    if (start != 0)
        ++start;
    // The next "## " heading ends it; "### " subsections belong to it. A
    // "## " inside a fenced code block is no heading.
    bool fenced = false;
    std::size_t line = readme.find('\n', start);
    while (line != std::string::npos) {
        const std::size_t next = line + 1;
        if (readme.compare(next, 3, "```") == 0)
            fenced = !fenced;
        if (!fenced && readme.compare(next, 3, "## ") == 0)
            return readme.substr(start, next - start);
        line = readme.find('\n', next);
    }
    return readme.substr(start);
}

}  // namespace sendrix::app

#include "merge/recipient_list.h"

#include "platform/text_codec.h"
#include "platform/text_file.h"
#include "platform/text_trim.h"

namespace sendrix::merge {

namespace {

// Cuts `rest` at its first ";": the part before it comes back, `rest` keeps
// the part after it. False (nothing changed) when there is no ";".
bool takeField(std::string_view& rest, std::string& field) {
    const std::size_t semicolon = rest.find(';');
    if (semicolon == std::string_view::npos) return false;
    field = platform::trimControl(rest.substr(0, semicolon));
    rest.remove_prefix(semicolon + 1);
    return true;
}

std::string withoutCarriageReturns(std::string_view line) {
    std::string out;
    out.reserve(line.size());
    for (char c : line)
        if (c != '\r') out += c;
    return out;
}

}  // namespace

bool isTitleLine(std::string_view line) { return line.starts_with("Name"); }

RecipientRow parseRecipientLine(std::string_view line) {
    RecipientRow row;
    row.ok = kSendMark;
    std::string_view rest = line;
    if (takeField(rest, row.name)) takeField(rest, row.vorname);
    if (takeField(rest, row.email)) {
        row.typ = platform::trimControl(rest);
    } else {
        row.email = platform::trimControl(rest);
    }
    return row;
}

RecipientList parseRecipientList(std::string_view text) {
    RecipientList list;
    int row = 1;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t lf = text.find('\n', start);
        const std::size_t end = lf == std::string_view::npos ? text.size() : lf;
        const std::string_view raw = text.substr(start, end - start);
        start = lf == std::string_view::npos ? text.size() : lf + 1;

        if (!raw.empty() && raw.front() == '\x1a') break;
        const std::string line = withoutCarriageReturns(raw);
        if (isTitleLine(line)) continue;

        RecipientRow parsed = parseRecipientLine(line);
        if (parsed.email.find('@') == std::string::npos) list.faulty.push_back({row, line});
        list.rows.push_back(std::move(parsed));
        ++row;
    }
    return list;
}

RecipientList readRecipientList(const std::string& path) {
    const std::string bytes = platform::readFileBytes(path);
    return parseRecipientList(platform::decodeFileText(bytes));
}

std::string faultyAddressWarning(const FaultyAddress& faulty) {
    return "Achtung: Fehlerhafte Mailadresse in Zeile " + std::to_string(faulty.row) + ": " +
           faulty.line;
}

}  // namespace sendrix::merge

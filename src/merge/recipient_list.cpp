#include "merge/recipient_list.h"

#include "merge/delimited_text.h"
#include "merge/list_columns.h"
#include "platform/text_codec.h"
#include "platform/text_file.h"
#include "platform/text_trim.h"

namespace sendrix::merge {

namespace {

// Cuts `rest` at its first ";": the part before it comes back, `rest` keeps
// the part after it. False (nothing changed) when there is no ";".
bool takeField(std::string_view& rest, std::string& field) {
    const std::size_t semicolon = rest.find(';');
    if (semicolon == std::string_view::npos)
        return false;
    field = platform::trimControl(rest.substr(0, semicolon));
    rest.remove_prefix(semicolon + 1);
    return true;
}

// The program's own title line: such files are read by position as always.
bool isOwnTitleLine(std::string_view line) {
    return platform::trimControl(line) == "Name;Vorname;Email;Typ";
}

bool looksLikeTitleLine(const TextRecord& fields) {
    bool known = false;
    for (const std::string& field : fields) {
        if (field.find('@') != std::string::npos)
            return false;
        if (columnRoleOf(field) != ColumnRole::Other)
            known = true;
    }
    return known;
}

// A first line in the program's own format holds ";" or nothing but
// addresses (several, comma-separated, are one Email).
bool isUntitledExport(std::string_view line) {
    if (line.find(';') != std::string_view::npos)
        return false;
    for (char separator : {',', '\t'}) {
        if (line.find(separator) == std::string_view::npos)
            continue;
        for (const TextRecord& record : readRecords(line, separator))
            for (const std::string& field : record)
                if (!field.empty() && field.find('@') == std::string::npos)
                    return true;
    }
    return false;
}

std::string joinFields(const TextRecord& fields, std::size_t from, char separator) {
    std::string joined;
    for (std::size_t i = from; i < fields.size(); ++i) {
        if (i > from)
            joined += separator;
        joined += fields[i];
    }
    return joined;
}

RecipientList parseTitledList(std::string_view text, char separator) {
    std::vector<TextRecord> records = readRecords(text, separator);
    const TextRecord& titles = records.front();

    // Where each column of the file goes: one of the five fixed fields
    // (the first column of each role), or an extra column.
    enum Target { kName, kVorname, kEmail, kTyp, kExtra };
    std::vector<int> target(titles.size(), kExtra);
    std::vector<int> extraIndex(titles.size(), -1);
    bool taken[kExtra] = {false, false, false, false};
    RecipientList list;
    for (std::size_t c = 0; c < titles.size(); ++c) {
        int role = kExtra;
        switch (columnRoleOf(titles[c])) {
            case ColumnRole::Name: role = kName; break;
            case ColumnRole::Vorname: role = kVorname; break;
            case ColumnRole::Email: role = kEmail; break;
            case ColumnRole::Typ: role = kTyp; break;
            default: break;
        }
        if (role != kExtra && !taken[role]) {
            taken[role] = true;
            target[c] = role;
            continue;
        }
        extraIndex[c] = static_cast<int>(list.extraTitles.size());
        list.extraTitles.push_back(titles[c].empty() ? "Spalte " + std::to_string(c + 1) : titles[c]);
    }
    if (!taken[kEmail])
        throw ListFormatError(
            "Die Titelzeile nennt keine Spalte für die E-Mail-Adresse (\"Email\", \"E-Mail\" "
            "oder \"Mail\")");

    list.rows.reserve(records.size() - 1);
    for (std::size_t r = 1; r < records.size(); ++r) {
        TextRecord& fields = records[r];
        if (fields.size() > titles.size()) {
            // As in the program's own format: what lies beyond the last
            // column stays with it rather than being lost.
            fields[titles.size() - 1] = joinFields(fields, titles.size() - 1, separator);
            fields.resize(titles.size());
        }
        const bool hasAt = [&] {
            for (std::size_t c = 0; c < fields.size(); ++c)
                if (target[c] == kEmail)
                    return fields[c].find('@') != std::string::npos;
            return false;
        }();
        const int number = static_cast<int>(list.rows.size()) + 1;
        if (!hasAt)
            list.faulty.push_back({number, joinFields(fields, 0, separator)});
        RecipientRow row;
        row.ok = kSendMark;
        row.extra.resize(list.extraTitles.size());
        for (std::size_t c = 0; c < fields.size(); ++c) {
            std::string& value = fields[c];
            switch (target[c]) {
                case kName: row.name = std::move(value); break;
                case kVorname: row.vorname = std::move(value); break;
                case kEmail: row.email = std::move(value); break;
                case kTyp: row.typ = std::move(value); break;
                default: row.extra[extraIndex[c]] = std::move(value); break;
            }
        }
        list.rows.push_back(std::move(row));
    }
    return list;
}

RecipientList parseOwnFormat(std::string_view text);

}  // namespace

bool isTitleLine(std::string_view line) {
    return line.starts_with("Name");
}

RecipientRow parseRecipientLine(std::string_view line) {
    RecipientRow row;
    row.ok = kSendMark;
    std::string_view rest = line;
    if (takeField(rest, row.name))
        takeField(rest, row.vorname);
    if (takeField(rest, row.email)) {
        row.typ = platform::trimControl(rest);
    } else {
        row.email = platform::trimControl(rest);
    }
    return row;
}

RecipientList parseRecipientList(std::string_view text) {
    const std::string_view first = firstLine(text);
    if (!isOwnTitleLine(first)) {
        const char separator = detectSeparator(first);
        const std::vector<TextRecord> title = readRecords(first, separator);
        if (!title.empty() && looksLikeTitleLine(title.front()))
            return parseTitledList(text, separator);
        if (isUntitledExport(first))
            throw ListFormatError(
                "Die Felder der ersten Zeile sind durch Kommas oder Tabulatoren getrennt, aber "
                "eine Titelzeile fehlt; ohne sie ist nicht zu erkennen, welche Spalte die "
                "E-Mail-Adresse enthält");
    }
    return parseOwnFormat(text);
}

namespace {

RecipientList parseOwnFormat(std::string_view text) {
    RecipientList list;
    int row = 1;
    std::size_t start = 0;
    while (start < text.size()) {
        // A lone CR ends a line as LF and CR LF do (files from old Macs and
        // some exports): taken as part of a line it would merge two
        // recipients. CRs right before an LF (a CR LF converted twice) are
        // that LF's line end.
        std::size_t end = text.find_first_of("\r\n", start);
        std::size_t next = text.size();
        if (end == std::string_view::npos) {
            end = text.size();
        } else {
            const std::size_t afterCrs = text.find_first_not_of('\r', end);
            if (afterCrs != std::string_view::npos && text[afterCrs] == '\n')
                next = afterCrs + 1;
            else
                next = end + 1;
        }
        const std::string_view raw = text.substr(start, end - start);
        start = next;

        if (!raw.empty() && raw.front() == '\x1a')
            break;
        const std::string line(raw);
        if (isTitleLine(line))
            continue;

        RecipientRow parsed = parseRecipientLine(line);
        if (parsed.email.find('@') == std::string::npos)
            list.faulty.push_back({row, line});
        list.rows.push_back(std::move(parsed));
        ++row;
    }
    return list;
}

}  // namespace

RecipientList readRecipientList(const std::string& path) {
    const std::string bytes = platform::readFileBytes(path);
    // A workbook saved as such is a ZIP archive (.xlsx, .ods) or an OLE
    // compound file (.xls); read as text it would give a grid of garbage.
    if (bytes.starts_with(std::string_view("PK\x03\x04", 4)) ||
        bytes.starts_with(std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)))
        throw ListFormatError(
            "Die Datei " + path +
            " ist keine Empfängerliste: sie ist eine Arbeitsmappe einer Tabellenkalkulation "
            "(.xlsx, .ods oder .xls); bitte dort als \"CSV (Semikolon)\" oder \"CSV UTF-8\" "
            "speichern.");
    try {
        return parseRecipientList(platform::decodeFileText(bytes));
    } catch (const ListFormatError& error) {
        throw ListFormatError("Die Datei " + path + " ist keine Empfängerliste: " + error.what() + ".");
    }
}

std::string faultyAddressWarning(const FaultyAddress& faulty) {
    return "Achtung: Fehlerhafte Mailadresse in Zeile " + std::to_string(faulty.row) + ": " + faulty.line;
}

}  // namespace sendrix::merge

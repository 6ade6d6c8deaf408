#include "merge/recipient_list.h"

#include "merge/delimited_text.h"
#include "mail/id_email_address.h"
#include "merge/list_columns.h"
#include "merge/preflight.h"
#include "merge/spreadsheet.h"
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

// Records whose first is the title line; `lines` the source row of each.
RecipientList parseTitledRecords(std::vector<TextRecord> records, const std::vector<int>& lines, char separator) {
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
        const int number = r < lines.size() ? lines[r] : static_cast<int>(r) + 1;
        const bool faulty = [&] {
            for (std::size_t c = 0; c < fields.size(); ++c)
                if (target[c] == kEmail)
                    return hasFaultyAddress(fields[c]);
            return true;
        }();
        if (faulty)
            list.faulty.push_back({number, joinFields(fields, 0, separator)});
        list.sourceRows.push_back(number);
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

RecipientList parseTitledList(std::string_view text, char separator) {
    std::vector<int> lines;
    std::vector<TextRecord> records = readRecords(text, separator, &lines);
    return parseTitledRecords(std::move(records), lines, separator);
}

RecipientList parseOwnFormat(std::string_view text);

// A sheet's rows as the lines of a text file: a title row names the columns
// as a CSV title line does; without one, the cells joined with ";" are a
// line of the program's own format.
RecipientList listFromSheet(SheetTable table) {
    std::vector<TextRecord> records;
    std::vector<int> lines;
    records.reserve(table.rows.size());
    for (SheetRow& row : table.rows) {
        records.push_back(std::move(row.cells));
        lines.push_back(row.number);
    }
    RecipientList list;
    if (!records.empty() && looksLikeTitleLine(records.front())) {
        list = parseTitledRecords(std::move(records), lines, ';');
    } else {
        for (std::size_t r = 0; r < records.size(); ++r) {
            const std::string line = joinFields(records[r], 0, ';');
            if (isTitleLine(line))
                continue;
            RecipientRow parsed = parseRecipientLine(line);
            if (hasFaultyAddress(parsed.email))
                list.faulty.push_back({lines[r], line});
            list.rows.push_back(std::move(parsed));
            list.sourceRows.push_back(lines[r]);
        }
    }
    list.sheet = std::move(table.sheet);
    list.inexactFormats = std::move(table.inexactFormats);
    return list;
}

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
    int line = 0;
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
        ++line;

        if (!raw.empty() && raw.front() == '\x1a')
            break;
        if (isTitleLine(raw))
            continue;

        RecipientRow parsed = parseRecipientLine(raw);
        if (hasFaultyAddress(parsed.email))
            list.faulty.push_back({line, std::string(raw)});
        list.rows.push_back(std::move(parsed));
        list.sourceRows.push_back(line);
    }
    return list;
}

}  // namespace

RecipientList readRecipientList(const std::string& path, const std::string& sheet) {
    const std::string bytes = platform::readFileBytes(path);
    if (isWorkbook(bytes)) {
        try {
            return listFromSheet(readSheet(path, sheet));
        } catch (const WorkbookError& error) {
            throw ListFormatError(error.what());
        } catch (const ListFormatError& error) {
            throw ListFormatError("Die Datei " + path + " ist keine Empfängerliste: " + error.what() + ".");
        }
    }
    // An OLE compound file is a workbook of the old Excel format (.xls) or
    // one encrypted with a password (.xlsx/.ods keep that wrapper); read as
    // text it would give a grid of garbage.
    if (bytes.starts_with(std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)))
        throw ListFormatError(
            "Die Datei " + path +
            " kann nicht gelesen werden: sie ist eine mit Kennwort verschlüsselte Arbeitsmappe oder "
            "eine im alten Excel-Format (.xls); bitte ohne Kennwort als .xlsx oder .ods, oder als "
            "\"CSV (Semikolon)\" speichern.");
    try {
        return parseRecipientList(platform::decodeFileText(bytes));
    } catch (const ListFormatError& error) {
        throw ListFormatError("Die Datei " + path + " ist keine Empfängerliste: " + error.what() + ".");
    }
}

std::string faultyAddressWarning(const FaultyAddress& faulty) {
    return "Achtung: Fehlerhafte Mailadresse in Zeile " + std::to_string(faulty.row) + ": " + faulty.line;
}

std::string faultyAddressesWarning(const std::vector<FaultyAddress>& faulty) {
    std::string text;
    for (const FaultyAddress& one : faulty) {
        if (!text.empty())
            text += '\n';
        text += faultyAddressWarning(one);
    }
    return text;
}

bool hasFaultyAddress(const std::string& email) {
    mail::TIdEMailAddressList addresses;
    addresses.SetAddresses(email);
    if (addresses.Count() == 0)
        return true;
    for (const mail::TIdEMailAddressItem& item : addresses)
        if (!plausibleAddress(item.Address()))
            return true;
    return false;
}

std::string inexactFormatsNotice(const std::vector<std::string>& formats) {
    if (formats.empty())
        return {};
    std::string text =
        "Hinweis: Diese Zahlenformate der Tabelle werden nicht genau dargestellt; ihre Zellen zeigen den "
        "gespeicherten Wert:";
    for (const std::string& format : formats)
        text += "\n" + format;
    return text;
}

}  // namespace sendrix::merge

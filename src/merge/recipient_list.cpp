#include "merge/recipient_list.h"

#include <algorithm>

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
    RecipientList list;
    const std::vector<ListColumn> columns = listColumnsOf(titles, list.extraTitles);
    const auto email = std::find_if(columns.begin(), columns.end(),
                                    [](const ListColumn& c) { return c.field == ListColumn::Email; });
    if (email == columns.end())
        throw ListFormatError(
            "Die Titelzeile nennt keine Spalte für die E-Mail-Adresse (\"Email\", \"E-Mail\" "
            "oder \"Mail\")");
    const std::size_t emailColumn = static_cast<std::size_t>(email - columns.begin());

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
        if (emailColumn >= fields.size() || hasFaultyAddress(fields[emailColumn]))
            list.faulty.push_back({number, joinFields(fields, 0, separator)});
        list.sourceRows.push_back(number);
        RecipientRow row;
        row.ok = kSendMark;
        row.extra.resize(list.extraTitles.size());
        for (std::size_t c = 0; c < fields.size(); ++c)
            valueOf(row, columns[c]) = std::move(fields[c]);
        list.rows.push_back(std::move(row));
    }
    list.source.kind = ListSource::Kind::Titled;
    list.source.separator = separator;
    list.source.titles = std::move(records.front());
    return list;
}

RecipientList parseTitledList(std::string_view text, char separator) {
    std::vector<int> lines;
    std::vector<TextSpan> spans;
    std::vector<TextRecord> records = readRecords(text, separator, &lines, &spans);
    RecipientList list = parseTitledRecords(std::move(records), lines, separator);
    for (std::size_t r = 1; r < spans.size(); ++r)
        list.source.spans.push_back({spans[r].begin, spans[r].end});
    return list;
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
    list.source.kind = ListSource::Kind::Workbook;
    return list;
}

}  // namespace

bool isTitleLine(std::string_view line) {
    return line.starts_with("Name") && line.find('@') == std::string_view::npos;
}

std::vector<ListColumn> listColumnsOf(const std::vector<std::string>& titles,
                                      std::vector<std::string>& extraTitles) {
    std::vector<ListColumn> columns(titles.size());
    bool taken[ListColumn::Extra] = {false, false, false, false};
    for (std::size_t c = 0; c < titles.size(); ++c) {
        ListColumn::Field field = ListColumn::Extra;
        switch (columnRoleOf(titles[c])) {
            case ColumnRole::Name: field = ListColumn::Name; break;
            case ColumnRole::Vorname: field = ListColumn::Vorname; break;
            case ColumnRole::Email: field = ListColumn::Email; break;
            case ColumnRole::Typ: field = ListColumn::Typ; break;
            default: break;
        }
        if (field != ListColumn::Extra && !taken[field]) {
            taken[field] = true;
            columns[c].field = field;
            continue;
        }
        columns[c].extra = static_cast<int>(extraTitles.size());
        extraTitles.push_back(titles[c].empty() ? "Spalte " + std::to_string(c + 1) : titles[c]);
    }
    return columns;
}

const std::string& valueOf(const RecipientRow& row, const ListColumn& column) {
    static const std::string none;
    switch (column.field) {
        case ListColumn::Name: return row.name;
        case ListColumn::Vorname: return row.vorname;
        case ListColumn::Email: return row.email;
        case ListColumn::Typ: return row.typ;
        default:
            return column.extra >= 0 && static_cast<std::size_t>(column.extra) < row.extra.size()
                       ? row.extra[static_cast<std::size_t>(column.extra)]
                       : none;
    }
}

std::string& valueOf(RecipientRow& row, const ListColumn& column) {
    return const_cast<std::string&>(valueOf(static_cast<const RecipientRow&>(row), column));
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
        const std::size_t begin = static_cast<std::size_t>(raw.data() - text.data());
        list.source.spans.push_back({begin, begin + raw.size()});
    }
    list.source.kind = ListSource::Kind::OwnFormat;
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
        std::string text = platform::decodeFileText(bytes);
        RecipientList list = parseRecipientList(text);
        // decodeFileText's rule, so the file can be written back as it came.
        const bool highBytes =
            std::any_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) != 0; });
        list.source.encoding = bytes.starts_with("\xEF\xBB\xBF")           ? ListSource::Encoding::Utf8Bom
                               : highBytes && platform::isValidUtf8(bytes) ? ListSource::Encoding::Utf8
                                                                           : ListSource::Encoding::Cp1252;
        list.source.text = std::move(text);
        return list;
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

// .xlsx (Office Open XML): the workbook names its sheets and their parts,
// the styles give each cell's number format, texts sit in a shared table or
// in the cell itself.
#include <charconv>
#include <map>
#include <set>

#include "merge/number_format.h"
#include "merge/spreadsheet.h"
#include "merge/xml_stream.h"

namespace sendrix::merge {

namespace {

void readPart(const ZipArchive& archive, const std::string& part, XmlHandler& handler) {
    XmlStream xml(handler);
    archive.read(part, [&](std::string_view piece) { xml.feed(piece, false, archive.path(), part); });
    xml.feed({}, true, archive.path(), part);
}

struct SheetEntry {
    std::string name;
    std::string relation;
};

class WorkbookHandler : public XmlHandler {
public:
    std::vector<SheetEntry> sheets;
    bool date1904 = false;
    void start(std::string_view name, const char** attributes) override {
        if (name == "sheet") {
            const char* sheetName = xmlAttribute(attributes, "name");
            const char* id = xmlAttribute(attributes, "id");
            sheets.push_back({sheetName ? sheetName : "", id ? id : ""});
        } else if (name == "workbookPr") {
            const char* value = xmlAttribute(attributes, "date1904");
            date1904 = value && (std::string_view(value) == "1" || std::string_view(value) == "true");
        }
    }
    void end(std::string_view) override {}
    void text(std::string_view) override {}
};

// Part names by relation id; a target is relative to xl/ unless it starts
// with "/".
class RelationsHandler : public XmlHandler {
public:
    std::map<std::string, std::string> targets;
    std::string sharedStrings = "xl/sharedStrings.xml";
    std::string styles = "xl/styles.xml";
    void start(std::string_view name, const char** attributes) override {
        if (name != "Relationship")
            return;
        const char* id = xmlAttribute(attributes, "Id");
        const char* target = xmlAttribute(attributes, "Target");
        const char* type = xmlAttribute(attributes, "Type");
        if (!id || !target)
            return;
        std::string part = target[0] == '/' ? std::string(target + 1) : "xl/" + std::string(target);
        const std::string_view kind = type ? type : "";
        if (kind.ends_with("/sharedStrings"))
            sharedStrings = part;
        if (kind.ends_with("/styles"))
            styles = part;
        targets[id] = std::move(part);
    }
    void end(std::string_view) override {}
    void text(std::string_view) override {}
};

class StylesHandler : public XmlHandler {
public:
    std::map<int, std::string> codes;
    std::vector<int> cellFormats;  // numFmtId of each cell style, by index
    void start(std::string_view name, const char** attributes) override {
        if (name == "numFmt") {
            const char* id = xmlAttribute(attributes, "numFmtId");
            const char* code = xmlAttribute(attributes, "formatCode");
            if (id && code)
                codes[std::atoi(id)] = code;
        } else if (name == "cellXfs") {
            m_inCellXfs = true;
        } else if (name == "xf" && m_inCellXfs) {
            const char* id = xmlAttribute(attributes, "numFmtId");
            cellFormats.push_back(id ? std::atoi(id) : 0);
        }
    }
    void end(std::string_view name) override {
        if (name == "cellXfs")
            m_inCellXfs = false;
    }
    void text(std::string_view) override {}

private:
    bool m_inCellXfs = false;
};

// Each <si> is one text: its <t> pieces joined (the runs of rich text);
// phonetic guides (<rPh>) are no part of what the cell shows.
class SharedStringsHandler : public XmlHandler {
public:
    std::vector<std::string> strings;
    void start(std::string_view name, const char**) override {
        if (name == "si")
            strings.emplace_back();
        else if (name == "rPh")
            m_phonetic = true;
        else if (name == "t")
            m_inText = !m_phonetic;
    }
    void end(std::string_view name) override {
        if (name == "rPh")
            m_phonetic = false;
        else if (name == "t")
            m_inText = false;
    }
    void text(std::string_view text) override {
        if (m_inText && !strings.empty())
            strings.back() += text;
    }

private:
    bool m_phonetic = false;
    bool m_inText = false;
};

// "BC12" to the column index 54 (from 0); -1 without letters.
int columnOf(const char* reference) {
    int column = 0;
    bool any = false;
    for (const char* p = reference; *p >= 'A' && *p <= 'Z'; ++p) {
        column = column * 26 + (*p - 'A' + 1);
        any = true;
    }
    return any ? column - 1 : -1;
}

// Columns beyond the sheet's last (XFD) come from a damaged file.
constexpr int kMaxColumns = 16384;

class SheetHandler : public XmlHandler {
public:
    SheetHandler(const std::vector<std::string>& strings, const StylesHandler& styles, bool date1904,
                 SheetTable& table)
        : m_strings(strings), m_styles(styles), m_date1904(date1904), m_table(table) {}

    void start(std::string_view name, const char** attributes) override {
        if (name == "row") {
            const char* r = xmlAttribute(attributes, "r");
            m_row = SheetRow{r ? std::atoi(r) : m_lastRow + 1, {}};
            m_column = 0;
        } else if (name == "c") {
            const char* r = xmlAttribute(attributes, "r");
            const int column = r ? columnOf(r) : -1;
            m_cellColumn = column >= 0 ? column : m_column;
            const char* t = xmlAttribute(attributes, "t");
            m_type = t ? t : "n";
            const char* s = xmlAttribute(attributes, "s");
            m_style = s ? std::atoi(s) : 0;
            m_value.clear();
            m_inline.clear();
        } else if (name == "v") {
            m_capture = &m_value;
        } else if (name == "is") {
            m_inInline = true;
        } else if (name == "rPh") {
            m_phonetic = true;
        } else if (name == "t" && m_inInline && !m_phonetic) {
            m_capture = &m_inline;
        }
    }

    void end(std::string_view name) override {
        if (name == "v" || name == "t") {
            m_capture = nullptr;
        } else if (name == "is") {
            m_inInline = false;
        } else if (name == "rPh") {
            m_phonetic = false;
        } else if (name == "c") {
            std::string shown = cellText();
            if (!shown.empty() && m_cellColumn < kMaxColumns) {
                if (m_row.cells.size() <= static_cast<std::size_t>(m_cellColumn))
                    m_row.cells.resize(static_cast<std::size_t>(m_cellColumn) + 1);
                m_row.cells[static_cast<std::size_t>(m_cellColumn)] = std::move(shown);
            }
            m_column = m_cellColumn + 1;
        } else if (name == "row") {
            m_lastRow = m_row.number;
            if (!m_row.cells.empty())
                m_table.rows.push_back(std::move(m_row));
            m_row = SheetRow{};
        }
    }

    void text(std::string_view text) override {
        if (m_capture)
            *m_capture += text;
    }

private:
    std::string cellText() {
        if (m_type == "inlineStr")
            return m_inline;
        if (m_type == "s") {
            const std::size_t index = static_cast<std::size_t>(std::atoll(m_value.c_str()));
            return index < m_strings.size() && !m_value.empty() ? m_strings[index] : std::string();
        }
        if (m_type == "b")
            return m_value.empty() ? "" : (m_value == "0" ? "FALSCH" : "WAHR");
        if (m_type != "n" || m_value.empty())
            return m_value;  // "str" (a formula's text), "e" (an error such as #DIV/0!), "d"
        double number = 0;
        const auto [end, error] = std::from_chars(m_value.data(), m_value.data() + m_value.size(), number);
        if (error != std::errc() || end != m_value.data() + m_value.size())
            return m_value;
        const std::string code = formatCode();
        if (const std::optional<std::string> shown = formatNumber(number, code, m_date1904))
            return *shown;
        if (m_inexact.insert(code).second)
            m_table.inexactFormats.push_back(code);
        return m_value;
    }

    std::string formatCode() const {
        const int id = m_style >= 0 && static_cast<std::size_t>(m_style) < m_styles.cellFormats.size()
                           ? m_styles.cellFormats[static_cast<std::size_t>(m_style)]
                           : 0;
        const auto own = m_styles.codes.find(id);
        if (own != m_styles.codes.end())
            return own->second;
        const std::string builtin = builtinFormatCode(id);
        return builtin.empty() ? "Format " + std::to_string(id) : builtin;
    }

    const std::vector<std::string>& m_strings;
    const StylesHandler& m_styles;
    bool m_date1904;
    SheetTable& m_table;
    std::set<std::string> m_inexact;

    SheetRow m_row;
    int m_lastRow = 0;
    int m_column = 0;
    int m_cellColumn = 0;
    int m_style = 0;
    std::string m_type;
    std::string m_value;
    std::string m_inline;
    std::string* m_capture = nullptr;
    bool m_inInline = false;
    bool m_phonetic = false;
};

}  // namespace

SheetTable readXlsxSheet(const ZipArchive& archive, const std::string& sheet, std::vector<std::string>* names) {
    WorkbookHandler workbook;
    readPart(archive, "xl/workbook.xml", workbook);
    if (names) {
        for (const SheetEntry& entry : workbook.sheets)
            names->push_back(entry.name);
        return {};
    }
    if (workbook.sheets.empty())
        throwWorkbookError(archive.path(), "die Arbeitsmappe enthält kein Tabellenblatt");
    const SheetEntry* chosen = &workbook.sheets.front();
    if (!sheet.empty()) {
        chosen = nullptr;
        for (const SheetEntry& entry : workbook.sheets)
            if (entry.name == sheet)
                chosen = &entry;
        if (!chosen)
            throwWorkbookError(archive.path(), "die Arbeitsmappe hat kein Tabellenblatt \"" + sheet + "\"");
    }
    RelationsHandler relations;
    readPart(archive, "xl/_rels/workbook.xml.rels", relations);
    const auto target = relations.targets.find(chosen->relation);
    if (target == relations.targets.end())
        throwWorkbookError(archive.path(), "das Tabellenblatt \"" + chosen->name + "\" fehlt");

    StylesHandler styles;
    if (archive.has(relations.styles))
        readPart(archive, relations.styles, styles);
    SharedStringsHandler strings;
    if (archive.has(relations.sharedStrings))
        readPart(archive, relations.sharedStrings, strings);

    SheetTable table;
    table.sheet = chosen->name;
    SheetHandler handler(strings.strings, styles, workbook.date1904, table);
    readPart(archive, target->second, handler);
    return table;
}

}  // namespace sendrix::merge

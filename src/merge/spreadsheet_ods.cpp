// .ods (OpenDocument): content.xml holds every sheet with each cell's text
// as the program that saved it showed it, so no number format is applied
// here. Runs of equal rows and cells are written once with a repeat count.
#include <algorithm>

#include "merge/spreadsheet.h"
#include "merge/xml_stream.h"

namespace sendrix::merge {

namespace {

// A run of repeated filled cells or rows longer than a sheet can be comes
// from a damaged or hostile file.
constexpr long kMaxRepeat = 1048576;
constexpr std::size_t kMaxColumns = 16384;
// Filled cells a list may have in all: rows repeated (each run within
// kMaxRepeat) would otherwise be copied out without end; a list of 100,000
// members with 40 columns stays well below.
constexpr std::size_t kMaxCells = 4000000;

long repeatOf(const char** attributes, std::string_view name) {
    const char* value = xmlAttribute(attributes, name);
    const long n = value ? std::atol(value) : 1;
    return std::clamp(n, 1L, kMaxRepeat);
}

class ContentHandler : public XmlHandler {
public:
    ContentHandler(const std::string& sheet, std::vector<std::string>* names, SheetTable& table, XmlStream*& stream)
        : m_sheet(sheet), m_names(names), m_table(table), m_stream(stream) {}

    bool found() const { return m_found; }
    // The sheet has filled rows beyond a sheet's last or more cells than
    // kMaxCells; reading stopped there.
    bool tooLarge() const { return m_tooLarge; }

    void start(std::string_view name, const char** attributes) override {
        if (name == "table" && m_tableDepth == 0) {
            const char* tableName = xmlAttribute(attributes, "name");
            const std::string title = tableName ? tableName : "";
            if (m_names)
                m_names->push_back(title);
            m_reading = !m_names && !m_found && (m_sheet.empty() || m_sheet == title);
            if (m_reading) {
                m_found = true;
                m_table.sheet = title;
            }
            ++m_tableDepth;
            return;
        }
        if (name == "table")
            ++m_tableDepth;  // a table inside a cell (rare) is no sheet
        if (!m_reading || m_tableDepth != 1)
            return;
        if (name == "table-row") {
            m_rowRepeat = repeatOf(attributes, "number-rows-repeated");
            m_cells.clear();
        } else if (name == "table-cell" || name == "covered-table-cell") {
            m_cellRepeat = repeatOf(attributes, "number-columns-repeated");
            m_cell.clear();
            m_paragraphs = 0;
            const char* type = xmlAttribute(attributes, "value-type");
            m_stored.clear();
            if (type && std::string_view(type) != "string") {
                for (const char* attribute : {"value", "date-value", "time-value", "boolean-value"})
                    if (const char* value = xmlAttribute(attributes, attribute))
                        m_stored = value;
            }
        } else if (name == "annotation") {
            ++m_annotation;  // a comment is no part of what the cell shows
        } else if (m_annotation == 0 && name == "p") {
            if (m_paragraphs++ > 0)
                m_cell += '\n';
            m_inParagraph = true;
        } else if (m_inParagraph && m_annotation == 0 && name == "s") {
            const char* count = xmlAttribute(attributes, "c");
            m_cell.append(static_cast<std::size_t>(std::clamp(count ? std::atol(count) : 1L, 1L, 1000L)), ' ');
        } else if (m_inParagraph && m_annotation == 0 && name == "tab") {
            m_cell += '\t';
        } else if (m_inParagraph && m_annotation == 0 && name == "line-break") {
            m_cell += '\n';
        }
    }

    void end(std::string_view name) override {
        if (name == "table") {
            if (--m_tableDepth == 0 && m_reading) {
                m_reading = false;
                if (m_stream)
                    m_stream->stop();  // the other sheets are not needed
            }
            return;
        }
        if (!m_reading || m_tableDepth != 1)
            return;
        if (name == "annotation") {
            --m_annotation;
        } else if (name == "p") {
            m_inParagraph = false;
        } else if (name == "table-cell" || name == "covered-table-cell") {
            // Text as saved; a cell written without it shows its stored value.
            std::string shown = m_paragraphs > 0 ? std::move(m_cell) : m_stored;
            if (shown.empty()) {
                m_emptyRun += m_cellRepeat;
            } else {
                const std::size_t at = m_cells.size() + static_cast<std::size_t>(m_emptyRun);
                const std::size_t count = static_cast<std::size_t>(m_cellRepeat);
                if (at + count <= kMaxColumns) {
                    m_cells.resize(at, std::string());
                    m_cells.insert(m_cells.end(), count, shown);
                }
                m_emptyRun = 0;
            }
        } else if (name == "table-row") {
            m_emptyRun = 0;
            if (m_cells.empty()) {
                m_rowNumber += m_rowRepeat;
                return;
            }
            const std::size_t cells = m_cells.size() * static_cast<std::size_t>(m_rowRepeat);
            if (m_rowNumber + m_rowRepeat > kMaxRepeat || m_cellCount + cells > kMaxCells) {
                m_tooLarge = true;
                m_reading = false;
                m_stream->stop();
                return;
            }
            m_cellCount += cells;
            for (long i = 0; i < m_rowRepeat; ++i)
                m_table.rows.push_back(SheetRow{static_cast<int>(++m_rowNumber), m_cells});
        }
    }

    void text(std::string_view text) override {
        if (m_reading && m_inParagraph && m_annotation == 0)
            m_cell += text;
    }

private:
    const std::string& m_sheet;
    std::vector<std::string>* m_names;
    SheetTable& m_table;
    XmlStream*& m_stream;
    bool m_found = false;
    bool m_reading = false;
    bool m_tooLarge = false;
    std::size_t m_cellCount = 0;
    int m_tableDepth = 0;
    int m_annotation = 0;
    long m_rowNumber = 0;
    long m_rowRepeat = 1;
    long m_cellRepeat = 1;
    long m_emptyRun = 0;  // empty cells since the last filled one
    std::vector<std::string> m_cells;
    std::string m_cell;
    std::string m_stored;
    int m_paragraphs = 0;
    bool m_inParagraph = false;
};

}  // namespace

SheetTable readOdsSheet(const ZipArchive& archive, const std::string& sheet, std::vector<std::string>* names) {
    SheetTable table;
    XmlStream* stream = nullptr;
    ContentHandler handler(sheet, names, table, stream);
    XmlStream xml(handler);
    stream = &xml;
    archive.read("content.xml", [&](std::string_view piece) {
        xml.feed(piece, false, archive.path(), "content.xml");
    });
    xml.feed({}, true, archive.path(), "content.xml");
    if (handler.tooLarge())
        throwWorkbookError(archive.path(), "das Tabellenblatt \"" + table.sheet +
                                               "\" ist größer, als eine Empfängerliste sein kann (mehr als " +
                                               std::to_string(kMaxRepeat) + " Zeilen oder " +
                                               std::to_string(kMaxCells) + " gefüllte Zellen)");
    if (!names && !handler.found())
        throwWorkbookError(archive.path(), sheet.empty() ? "die Arbeitsmappe enthält kein Tabellenblatt"
                                                         : "die Arbeitsmappe hat kein Tabellenblatt \"" + sheet +
                                                               "\"");
    return table;
}

}  // namespace sendrix::merge

#include "merge/placeholders.h"

#include "mail/mail_html.h"

#include "merge/list_columns.h"
#include "platform/ascii.h"
#include "platform/text_trim.h"

namespace sendrix::merge {

namespace {

constexpr int kFixedColumns = 5;

// One piece of a text: literal text, or a placeholder's name.
struct Piece {
    std::string_view text;
    bool placeholder = false;
};

// Calls `emit` for every piece of `text` in order; "\{{" gives the literal
// "{{".
template <typename Emit>
void scan(std::string_view text, Emit&& emit) {
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t open = text.find("{{", from);
        if (open == std::string_view::npos)
            break;
        if (open > 0 && text[open - 1] == '\\') {
            emit(Piece{text.substr(from, open - 1 - from)});
            emit(Piece{"{{"});
            from = open + 2;
            continue;
        }
        const std::size_t close = text.find("}}", open + 2);
        const std::size_t lineEnd = platform::findLineBreak(text, open + 2);
        if (close == std::string_view::npos)
            break;
        if (lineEnd != std::string_view::npos && lineEnd < close) {
            // No placeholder across lines: the "{{" stays text, the next
            // line is read anew.
            emit(Piece{text.substr(from, lineEnd - from)});
            from = lineEnd;
            continue;
        }
        emit(Piece{text.substr(from, open - from)});
        emit(Piece{platform::trimBlanks(text.substr(open + 2, close - open - 2)), true});
        from = close + 2;
    }
    emit(Piece{text.substr(from)});
}

enum class TagKind { Value, Section, Inverted, Close };

// What a placeholder says: "Spalte", "Spalte|Ersatz", "#Spalte", "^Spalte",
// "#Spalte=Wert", "^Spalte=Wert", "/Spalte".
struct Tag {
    TagKind kind = TagKind::Value;
    std::string_view column;
    std::string_view argument;  // the fallback, or the value compared with
    bool hasArgument = false;
};

Tag parseTag(std::string_view name) {
    Tag tag;
    if (!name.empty() && (name[0] == '#' || name[0] == '^' || name[0] == '/')) {
        tag.kind = name[0] == '#' ? TagKind::Section : name[0] == '^' ? TagKind::Inverted : TagKind::Close;
        name = platform::trimBlanks(name.substr(1));
    }
    tag.column = name;
    if (tag.kind == TagKind::Close)
        return tag;
    const std::size_t split = name.find(tag.kind == TagKind::Value ? '|' : '=');
    if (split != std::string_view::npos) {
        tag.column = platform::trimBlanks(name.substr(0, split));
        tag.argument = platform::trimBlanks(name.substr(split + 1));
        tag.hasArgument = true;
    }
    return tag;
}

bool isSectionTag(const Tag& tag) {
    return tag.kind != TagKind::Value;
}

// A line that holds nothing but section tags (and blanks) leaves no line
// of its own: its blanks and its line break go, so a section written on
// lines of its own adds no empty lines.
std::string withoutStandaloneTagLines(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    while (from <= text.size()) {
        std::size_t end = platform::findLineBreak(text, from);
        const bool last = end == std::string_view::npos;
        if (last)
            end = text.size();
        const std::size_t next = last ? text.size() + 1 : end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        const std::string_view line = text.substr(from, end - from);
        bool onlyTags = false, other = false;
        scan(line, [&](const Piece& piece) {
            if (piece.placeholder ? !isSectionTag(parseTag(piece.text)) : !platform::trimBlanks(piece.text).empty())
                other = true;
            else if (piece.placeholder)
                onlyTags = true;
        });
        if (onlyTags && !other && !last)
            out += platform::trimBlanks(line);
        else
            out += text.substr(from, std::min(next, text.size()) - from);
        from = next;
    }
    return out;
}

bool hasSectionTag(std::string_view text) {
    return text.find("{{#") != std::string_view::npos || text.find("{{^") != std::string_view::npos ||
           text.find("{{/") != std::string_view::npos;
}

}  // namespace

std::string asOneLine(std::string_view value) {
    std::string out(value);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 32 || c == '\x7f')
            c = ' ';
    return out;
}

std::vector<std::string> placeholderNames(std::string_view text) {
    std::vector<std::string> names;
    scan(text, [&](const Piece& piece) {
        if (piece.placeholder)
            names.emplace_back(parseTag(piece.text).column);
    });
    return names;
}

int columnIndex(std::string_view name, const std::vector<std::string>& extraTitles) {
    if (sameColumnTitle(name, "OK"))
        return 0;
    // A title written in the file wins over a spelling of a fixed column: a
    // list with "Typ" and "Anrede" keeps "Anrede" as a column of its own.
    for (std::size_t i = 0; i < extraTitles.size(); ++i)
        if (sameColumnTitle(name, extraTitles[i]))
            return kFixedColumns + static_cast<int>(i);
    switch (columnRoleOf(name)) {
        case ColumnRole::Name: return 1;
        case ColumnRole::Vorname: return 2;
        case ColumnRole::Email: return 3;
        case ColumnRole::Typ: return 4;
        default: return -1;
    }
}

std::string columnValue(const RecipientRow& row, int index) {
    switch (index) {
        case 0: return row.ok;
        case 1: return row.name;
        case 2: return row.vorname;
        case 3: return row.email;
        case 4: return row.typ;
        default: break;
    }
    const std::size_t extra = static_cast<std::size_t>(index - kFixedColumns);
    return index >= kFixedColumns && extra < row.extra.size() ? row.extra[extra] : std::string();
}

std::string fillPlaceholders(std::string_view text, const RecipientRow& row,
                             const std::vector<std::string>& extraTitles, ValueStyle style) {
    std::string joined;
    if (hasSectionTag(text)) {
        joined = withoutStandaloneTagLines(text);
        text = joined;
    }
    struct Open {
        std::string column;
        bool shown;
    };
    std::vector<Open> open;
    int hidden = 0;  // open sections that hide their text
    std::string out;
    out.reserve(text.size());
    scan(text, [&](const Piece& piece) {
        if (!piece.placeholder) {
            if (hidden == 0)
                out += piece.text;
            return;
        }
        const Tag tag = parseTag(piece.text);
        if (tag.kind == TagKind::Close) {
            if (open.empty() || !sameColumnTitle(open.back().column, tag.column))
                throw PlaceholderError(strayCloseText(tag.column));
            if (!open.back().shown)
                --hidden;
            open.pop_back();
            return;
        }
        const int index = columnIndex(tag.column, extraTitles);
        if (index < 0)
            throw PlaceholderError(unknownPlaceholderText(tag.column));
        const std::string value = columnValue(row, index);
        const std::string_view trimmed = platform::trimBlanks(value);
        if (tag.kind != TagKind::Value) {
            const bool filled = tag.hasArgument ? platform::equalsNoCase(trimmed, tag.argument) : !trimmed.empty();
            const bool shown = (tag.kind == TagKind::Section) == filled;
            open.push_back({std::string(tag.column), shown});
            if (!shown)
                ++hidden;
            return;
        }
        if (hidden > 0)
            return;
        const std::string& shown = trimmed.empty() && tag.hasArgument ? std::string(tag.argument) : value;
        if (style == ValueStyle::Html)
            out += mail::EscapeHtml(shown);
        else
            out += style == ValueStyle::Text ? shown : asOneLine(shown);
    });
    if (!open.empty())
        throw PlaceholderError(unclosedSectionText(open.back().column));
    return out;
}

std::vector<TemplateProblem> templateProblems(std::string_view text, const std::vector<std::string>& extraTitles) {
    std::vector<TemplateProblem> problems;
    std::vector<std::pair<std::string, int>> open;  // column and line
    int line = 1;
    scan(text, [&](const Piece& piece) {
        if (!piece.placeholder) {
            for (std::size_t at = platform::findLineBreak(piece.text); at != std::string_view::npos;
                 at = platform::findLineBreak(piece.text, at + (piece.text.compare(at, 2, "\r\n") == 0 ? 2 : 1)))
                ++line;
            return;
        }
        const Tag tag = parseTag(piece.text);
        if (tag.kind == TagKind::Close) {
            if (open.empty() || !sameColumnTitle(open.back().first, tag.column))
                problems.push_back({line, strayCloseText(tag.column)});
            else
                open.pop_back();
            return;
        }
        if (columnIndex(tag.column, extraTitles) < 0)
            problems.push_back({line, unknownPlaceholderText(tag.column)});
        if (tag.kind != TagKind::Value)
            open.emplace_back(std::string(tag.column), line);
    });
    for (const auto& [column, at] : open)
        problems.push_back({at, unclosedSectionText(column)});
    return problems;
}

std::string withoutPlaceholders(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    scan(text, [&](const Piece& piece) {
        if (piece.placeholder)
            throw PlaceholderError("Der Platzhalter \"{{" + std::string(piece.text) +
                                   "}}\" braucht eine Empfängerliste; an eine einzelne Adresse "
                                   "wird er nicht versendet.");
        out += piece.text;
    });
    return out;
}

std::string unclosedSectionText(std::string_view column) {
    return "Der Abschnitt \"{{#" + std::string(column) + "}}\" wird nicht mit \"{{/" + std::string(column) +
           "}}\" geschlossen.";
}

std::string strayCloseText(std::string_view column) {
    return "\"{{/" + std::string(column) + "}}\" schließt keinen offenen Abschnitt dieser Spalte.";
}

std::string unknownPlaceholderText(std::string_view name) {
    return "Der Platzhalter \"{{" + std::string(name) + "}}\" nennt keine Spalte der Empfängerliste.";
}

}  // namespace sendrix::merge

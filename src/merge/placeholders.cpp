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
        if (close == std::string_view::npos || (lineEnd != std::string_view::npos && lineEnd < close))
            break;
        emit(Piece{text.substr(from, open - from)});
        emit(Piece{platform::trimBlanks(text.substr(open + 2, close - open - 2)), true});
        from = close + 2;
    }
    emit(Piece{text.substr(from)});
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
            names.emplace_back(piece.text);
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
    std::string out;
    out.reserve(text.size());
    scan(text, [&](const Piece& piece) {
        if (!piece.placeholder) {
            out += piece.text;
            return;
        }
        const int index = columnIndex(piece.text, extraTitles);
        if (index < 0)
            throw PlaceholderError(unknownPlaceholderText(piece.text));
        const std::string value = columnValue(row, index);
        if (style == ValueStyle::Html)
            out += mail::EscapeHtml(value);
        else
            out += style == ValueStyle::Text ? value : asOneLine(value);
    });
    return out;
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

std::string unknownPlaceholderText(std::string_view name) {
    return "Der Platzhalter \"{{" + std::string(name) + "}}\" nennt keine Spalte der Empfängerliste.";
}

}  // namespace sendrix::merge

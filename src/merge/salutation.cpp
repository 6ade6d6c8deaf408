#include "merge/salutation.h"

#include "merge/list_columns.h"
#include "merge/placeholders.h"
#include "platform/ascii.h"
#include "platform/text_trim.h"

namespace sendrix::merge {

namespace {

// Replaces the first `placeholder` in `text`; false when there is none.
bool replaceFirst(std::string& text, std::string_view placeholder, const std::string& value) {
    const std::size_t at = text.find(placeholder);
    if (at == std::string::npos)
        return false;
    text.replace(at, placeholder.size(), value);
    return true;
}

}  // namespace

Gender genderOfTyp(std::string_view typ) {
    if (typ.empty())
        return Gender::Neither;
    switch (platform::asciiUpper(typ.front())) {
        case 'F':
        case 'W': return Gender::Woman;
        case 'H':
        case 'M': return Gender::Man;
        default: return Gender::Neither;
    }
}

std::string withoutDoctorTitle(const std::string& vorname) {
    if (vorname.size() < 3 || !platform::startsWithNoCase(vorname, "dr."))
        return vorname;
    // "Dr. Hans", "Dr.Hans" and "Dr.  Hans" all give "Hans": cutting a fixed
    // four characters would eat the first letter of the name when the blank
    // is missing.
    std::size_t start = 3;
    while (start < vorname.size() && (vorname[start] == ' ' || vorname[start] == '\t'))
        ++start;
    return vorname.substr(start);
}

namespace {

// One of the name placeholders, where it stands first in the template.
struct NameToken {
    std::size_t at;
    std::size_t length;
    std::string value;
};

}  // namespace

namespace {

// The words joined by single blanks, empty ones left out.
std::string joinWords(std::initializer_list<std::string_view> words) {
    std::string out;
    for (std::string_view word : words) {
        word = platform::trimBlanks(word);
        if (word.empty())
            continue;
        if (!out.empty())
            out += ' ';
        out += word;
    }
    return out;
}

// No two blanks in a row, none before a comma and none at either end: an
// empty cell leaves no gap.
std::string withoutEmptyGaps(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == ' ' && (out.empty() || out.back() == ' '))
            continue;
        if ((c == ',' || c == '.' || c == '!') && !out.empty() && out.back() == ' ')
            out.pop_back();
        out += c;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

}  // namespace

std::string BuildSalutation(const std::string& salutationTemplate, const RecipientRow& row,
                            SalutationVariant variant, const std::vector<std::string>& extraTitles) {
    std::string s = salutationTemplate;
    const Gender gender = genderOfTyp(row.typ);
    const int titleColumn = columnOfRole(extraTitles, ColumnRole::Title);
    const std::string title = titleColumn >= 0 && static_cast<std::size_t>(titleColumn) < row.extra.size()
                                  ? std::string(platform::trimBlanks(row.extra[titleColumn]))
                                  : std::string();
    const std::string vorname = variant == SalutationVariant::ListSend ? withoutDoctorTitle(row.vorname) : row.vorname;
    bool titled = false;

    if (const std::size_t named = s.find("%m/w/n"); named != std::string::npos) {
        if (gender == Gender::Neither) {
            // Greeted by name where the list knows one.
            const std::string name = joinWords({title, vorname, row.name});
            return name.empty() ? kNeutralSalutation : asOneLine("Guten Tag " + name + ",");
        }
        s.replace(named, 6, gender == Gender::Woman ? " Frau" : "r Herr");
        titled = true;
    } else if (s.find("%m/w") != std::string::npos) {
        if (gender == Gender::Neither) {
            s = kNeutralSalutation;
        } else {
            replaceFirst(s, "%m/w", gender == Gender::Woman ? " Frau" : "r Herr");
            titled = true;
        }
    }
    replaceFirst(s, "%mw", gender == Gender::Man ? "r" : "");

    // The name placeholders are found in the template before any value is
    // inserted, so a value is never searched for placeholders itself.
    std::vector<NameToken> tokens;
    if (const std::size_t at = s.find("%Vorname"); at != std::string::npos)
        tokens.push_back({at, 8, vorname});
    if (const std::size_t at = s.find("%Name"); at != std::string::npos)
        tokens.push_back({at, 5, titled && !title.empty() ? title + " " + row.name : row.name});
    if (tokens.size() == 2 && tokens[1].at < tokens[0].at)
        std::swap(tokens[0], tokens[1]);

    auto fill = [&](std::string_view literal) {
        if (variant != SalutationVariant::Preview)
            return fillPlaceholders(literal, row, extraTitles, ValueStyle::Line);
        try {
            return fillPlaceholders(literal, row, extraTitles, ValueStyle::Line);
        } catch (const PlaceholderError&) {
            return std::string(literal);
        }
    };
    std::string out;
    std::size_t from = 0;
    for (const NameToken& token : tokens) {
        out += fill(std::string_view(s).substr(from, token.at - from));
        out += asOneLine(token.value);
        from = token.at + token.length;
    }
    out += fill(std::string_view(s).substr(from));
    return salutationTemplate.find("{{") == std::string::npos ? out : withoutEmptyGaps(out);
}

std::string salutationTemplateName(std::string_view code) {
    std::string name(code);
    const bool named = name.find("%m/w/n") != std::string::npos;
    for (const auto& [from, to] : {std::pair{"%m/w/n", "/r Frau/Herr"}, std::pair{"%m/w", "/r Frau/Herr"},
                                   std::pair{"%mw", "/r"}, std::pair{"%Vorname", "Vorname"},
                                   std::pair{"%Name", "Name"}})
        replaceFirst(name, from, to);
    // "{{Spalte|Ersatz}}" reads "Spalte (sonst Ersatz)", "{{Spalte}}" "Spalte".
    std::string readable;
    std::size_t from = 0;
    for (std::size_t open = name.find("{{"); open != std::string::npos; open = name.find("{{", from)) {
        const std::size_t close = name.find("}}", open);
        if (close == std::string::npos)
            break;
        readable += name.substr(from, open - from);
        const std::string inner(platform::trimBlanks(std::string_view(name).substr(open + 2, close - open - 2)));
        const std::size_t bar = inner.find('|');
        readable += bar == std::string::npos ? inner : inner.substr(0, bar) + " (sonst " + inner.substr(bar + 1) + ")";
        from = close + 2;
    }
    readable += name.substr(from);
    return named ? readable + " (ohne Anrede: Guten Tag Vorname Name,)" : readable;
}

}  // namespace sendrix::merge

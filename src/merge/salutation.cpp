#include "merge/salutation.h"

#include "merge/placeholders.h"
#include "platform/ascii.h"

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

std::string BuildSalutation(const std::string& salutationTemplate, const RecipientRow& row,
                            SalutationVariant variant, const std::vector<std::string>& extraTitles) {
    std::string s = salutationTemplate;
    const Gender gender = genderOfTyp(row.typ);

    if (s.find("%m/w") != std::string::npos) {
        if (gender == Gender::Neither) {
            s = kNeutralSalutation;
        } else {
            replaceFirst(s, "%m/w", gender == Gender::Woman ? " Frau" : "r Herr");
        }
    }
    replaceFirst(s, "%mw", gender == Gender::Man ? "r" : "");

    // The name placeholders are found in the template before any value is
    // inserted, so a value is never searched for placeholders itself.
    std::vector<NameToken> tokens;
    if (const std::size_t at = s.find("%Vorname"); at != std::string::npos)
        tokens.push_back(
            {at, 8, variant == SalutationVariant::ListSend ? withoutDoctorTitle(row.vorname) : row.vorname});
    if (const std::size_t at = s.find("%Name"); at != std::string::npos)
        tokens.push_back({at, 5, row.name});
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
    return out;
}

}  // namespace sendrix::merge

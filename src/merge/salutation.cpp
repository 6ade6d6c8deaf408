#include "merge/salutation.h"

#include "platform/ascii.h"

namespace sendrix::merge {

namespace {

// Replaces the first `placeholder` in `text`; false when there is none.
bool replaceFirst(std::string& text, std::string_view placeholder, const std::string& value) {
    const std::size_t at = text.find(placeholder);
    if (at == std::string::npos) return false;
    text.replace(at, placeholder.size(), value);
    return true;
}

}  // namespace

Gender genderOfTyp(std::string_view typ) {
    if (typ.empty()) return Gender::Neither;
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
    while (start < vorname.size() && (vorname[start] == ' ' || vorname[start] == '\t')) ++start;
    return vorname.substr(start);
}

std::string BuildSalutation(const std::string& salutationTemplate, const RecipientRow& row,
                            SalutationVariant variant) {
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
    replaceFirst(s, "%Vorname",
                 variant == SalutationVariant::ListSend ? withoutDoctorTitle(row.vorname)
                                                        : row.vorname);
    replaceFirst(s, "%Name", row.name);
    return s;
}

}  // namespace sendrix::merge

#include "merge/list_columns.h"

#include <array>
#include <utility>

#include "platform/ascii.h"

namespace sendrix::merge {

namespace {

std::string titleKey(std::string_view title) {
    std::string key;
    key.reserve(title.size());
    for (char c : title) {
        if (c == ' ' || c == '\t' || c == '-' || c == '_' || c == '.')
            continue;
        key += platform::asciiLower(c);
    }
    return key;
}

constexpr std::array<std::pair<const char*, ColumnRole>, 33> kSpellings = {{
    {"email", ColumnRole::Email},
    {"mail", ColumnRole::Email},
    {"emailadresse", ColumnRole::Email},
    {"mailadresse", ColumnRole::Email},
    {"emailaddress", ColumnRole::Email},
    {"emailadress", ColumnRole::Email},
    {"name", ColumnRole::Name},
    {"nachname", ColumnRole::Name},
    {"familienname", ColumnRole::Name},
    {"surname", ColumnRole::Name},
    {"lastname", ColumnRole::Name},
    {"vorname", ColumnRole::Vorname},
    {"rufname", ColumnRole::Vorname},
    {"firstname", ColumnRole::Vorname},
    {"givenname", ColumnRole::Vorname},
    {"typ", ColumnRole::Typ},
    {"geschlecht", ColumnRole::Typ},
    {"anrede", ColumnRole::Typ},
    {"gender", ColumnRole::Typ},
    {"anhang", ColumnRole::Attachments},
    {"anhänge", ColumnRole::Attachments},
    {"anhaenge", ColumnRole::Attachments},
    {"anlage", ColumnRole::Attachments},
    {"anlagen", ColumnRole::Attachments},
    {"attachment", ColumnRole::Attachments},
    {"attachments", ColumnRole::Attachments},
    {"titel", ColumnRole::Title},
    {"title", ColumnRole::Title},
    {"akademischertitel", ColumnRole::Title},
    {"cc", ColumnRole::Cc},
    {"kopie", ColumnRole::Cc},
    {"bcc", ColumnRole::Bcc},
    {"blindkopie", ColumnRole::Bcc},
}};

}  // namespace

ColumnRole columnRoleOf(std::string_view title) {
    const std::string key = titleKey(title);
    for (const auto& [spelling, role] : kSpellings)
        if (key == spelling)
            return role;
    return ColumnRole::Other;
}

int columnOfRole(const std::vector<std::string>& titles, ColumnRole role) {
    for (std::size_t i = 0; i < titles.size(); ++i)
        if (columnRoleOf(titles[i]) == role)
            return static_cast<int>(i);
    return -1;
}

bool sameColumnTitle(std::string_view a, std::string_view b) {
    return titleKey(a) == titleKey(b);
}

}  // namespace sendrix::merge

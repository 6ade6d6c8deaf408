#pragma once
// The salutation line of a personalised message, made from a template such
// as "Sehr geehrte%m/w %Name," and one recipient row. Placeholders are
// case-sensitive and only their first occurrence is replaced.
#include <array>
#include <string>
#include <string_view>

#include "merge/recipient_list.h"

namespace sendrix::merge {

// The templates offered in the drop-down, in this order.
inline constexpr std::array<const char*, 5> kSalutationTemplates = {
    "Hallo %Vorname,", "Hallo %Vorname %Name,", "Sehr geehrte%m/w %Name,",
    "Liebe%mw %Vorname,", "Liebe%mw %Vorname %Name,"};

// What "%m/w" turns into when the Typ is neither a woman nor a man.
inline constexpr const char* kNeutralSalutation = "Sehr geehrte Damen und Herren,";

enum class Gender { Neither, Woman, Man };

// By the Typ's first character, ASCII letters upper-cased: F or W a woman,
// H or M a man; anything else, and an empty Typ, neither.
Gender genderOfTyp(std::string_view typ);

// ListSend: every placeholder, and a leading "Dr." title is taken off the
// Vorname. Preview and CurrentRow: every placeholder, the Vorname as it
// stands (the preview shows the cell, the single send names the person as
// the list holds them).
enum class SalutationVariant { ListSend, Preview, CurrentRow };

// The Vorname without a leading "dr." (any case) and the blanks after it.
std::string withoutDoctorTitle(const std::string& vorname);

std::string BuildSalutation(const std::string& salutationTemplate, const RecipientRow& row,
                            SalutationVariant variant);

}  // namespace sendrix::merge

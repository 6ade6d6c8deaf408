#pragma once
// The salutation line of a personalised message, made from a template such
// as "Sehr geehrte%m/w %Name," and one recipient row. The "%" placeholders
// are case-sensitive and only their first occurrence is replaced; column
// placeholders "{{Spalte}}" (merge/placeholders.h) work here too.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "merge/recipient_list.h"

namespace sendrix::merge {

// The templates offered in the drop-down, in this order (a stored index
// keeps naming the same one: new ones come last).
// The sixth needs no gender, for rows whose Typ is "divers" or unknown.
// "%m/w/n" is "%m/w" whose neutral rows are greeted by name ("Guten Tag
// Kim Weiß,"); the last shows a fallback for an empty cell.
inline constexpr std::array<const char*, 8> kSalutationTemplates = {
    "Hallo %Vorname,",          "Hallo %Vorname %Name,",    "Sehr geehrte%m/w %Name,",
    "Liebe%mw %Vorname,",       "Liebe%mw %Vorname %Name,", "Guten Tag %Vorname %Name,",
    "Sehr geehrte%m/w/n %Name,", "Hallo {{Vorname|liebes Mitglied}},"};

// A template as a newcomer reads it: "Sehr geehrte/r Frau/Herr Name,",
// "Liebe/r Vorname,", "Hallo Vorname (sonst liebes Mitglied),". The codes
// themselves go into the drop-down's tooltip.
std::string salutationTemplateName(std::string_view code);

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

// The salutation for `row`. Each value is inserted once: a Vorname that
// holds "%Name" or "{{...}}" appears as it stands. With "%m/w" or "%m/w/n"
// and a woman or a man, a filled title column (list_columns.h) stands
// before the Name ("Sehr geehrte Frau Dr. Strauß,"). A template with column
// placeholders never shows two blanks in a row, nor a blank before a
// comma or at either end, where a cell is empty. Column placeholders are
// resolved against `extraTitles` (fillPlaceholders); the preview keeps one
// that names no column as typed, since the user may still be typing it, and
// the other variants throw PlaceholderError.
std::string BuildSalutation(const std::string& salutationTemplate, const RecipientRow& row,
                            SalutationVariant variant, const std::vector<std::string>& extraTitles = {});

}  // namespace sendrix::merge

#pragma once
// Names of the program's files, derived at start from the program folder.
#include <string>

#include "platform/clock.h"

namespace sendrix::app {

inline constexpr const char* kOpenDialogFilter = "Textdateien|*.txt|csv-Dateien|*.csv|alle Dateien|*.*";
// The recipient list's dialog offers workbooks beside the text files.
inline constexpr const char* kListOpenDialogFilter =
    "Textdateien|*.txt|csv-Dateien|*.csv|Tabellen (xlsx, ods)|*.xlsx;*.ods|alle Dateien|*.*";
inline constexpr const char* kSaveDialogFilter = "Text-Dateien|*.txt|alle Dateien|*.*";

// `folder` (with trailing "/") + the user name with A-Z lower-cased (all
// other characters, umlauts too, unchanged) + ".ini".
std::string UserSettingsFileName(const std::string& folder, const std::string& userName);

// `folder` + "logs/" + year + "-" + two-digit month + "_EMail.log".
std::string LogFileName(const std::string& folder, const platform::LocalTime& now);

}  // namespace sendrix::app

#pragma once
// The update check of the "?" menu: compares the running program file with a
// copy in an update folder and hands over to the updater when the copy is
// newer.
#include <string>

#include "app/interaction.h"

namespace sendrix::app {

// The updater's file names in the update folder, tried in this order.
inline constexpr const char* kUpdaterName = "refreshkit";
inline constexpr const char* kUpdaterWindowsName = "refreshkit.exe";

// The update candidate: [optionen] "update" of `programIniFile` + "/" + the
// file name of `programPath`. A folder starting with ".\" or "./" is relative
// to `programFolder`. Empty when the key is empty (no update source); an
// unreadable file reads as empty.
std::string UpdateCandidatePath(const std::string& programIniFile, const std::string& programPath,
                                const std::string& programFolder);

// True only when `candidate` exists and was modified strictly later than
// `program` (a missing program counts as older than any existing file).
bool IsNewerFile(const std::string& candidate, const std::string& program);

// The updater beside `candidate`: "refreshkit" when it exists, else
// "refreshkit.exe" (also when neither exists; starting it then fails).
std::string UpdaterPath(const std::string& candidate);

// The whole check. A newer candidate starts the updater detached with the
// candidate and `programPath` as its two arguments and ends the process at
// once (status 0, nothing saved), also when the updater could not be
// started. Otherwise the notice "Keine Aktualisierung gefunden (%s)" with
// the candidate path, or without brackets when there is no candidate.
void CheckForUpdate(const std::string& programIniFile, const std::string& programPath,
                    const std::string& programFolder, Interaction& interaction);

}  // namespace sendrix::app

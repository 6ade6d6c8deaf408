#include "app/update_check.h"

#include <sys/stat.h>

#include "app/settings_paths.h"
#include "platform/profile_file.h"
#include "platform/system_info.h"
#include "platform/text_file.h"

namespace sendrix::app {

namespace {

// Modification time in nanoseconds; false when the file cannot be examined.
bool modificationTime(const std::string& path, long long& nanoseconds) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return false;
    nanoseconds = static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
    return true;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

std::string UpdateCandidatePath(const std::string& programIniFile, const std::string& programPath,
                                const std::string& programFolder) {
    const std::string folder = platform::readProfileString(programIniFile, "optionen", "update", "");
    if (folder.empty())
        return "";
    // A folder given with a trailing separator gives a doubled one, which
    // the file system accepts.
    return platform::resolveStoredPath(folder, programFolder) + "/" + platform::fileNameOnly(programPath);
}

bool IsNewerFile(const std::string& candidate, const std::string& program) {
    long long candidateTime = 0;
    if (candidate.empty() || !platform::fileExists(candidate) || !modificationTime(candidate, candidateTime))
        return false;
    long long programTime = 0;
    if (!modificationTime(program, programTime))
        return true;
    return candidateTime > programTime;
}

std::string UpdaterPath(const std::string& candidate) {
    const std::string folder = folderOf(candidate);
    if (platform::fileExists(folder + kUpdaterName))
        return folder + kUpdaterName;
    return folder + kUpdaterWindowsName;
}

void CheckForUpdate(const std::string& programIniFile, const std::string& programPath,
                    const std::string& programFolder, Interaction& interaction) {
    const std::string candidate = UpdateCandidatePath(programIniFile, programPath, programFolder);
    if (!IsNewerFile(candidate, programPath)) {
        // Without a place to look there is nothing to name in brackets.
        interaction.Notice(candidate.empty() ? std::string("Keine Aktualisierung gefunden")
                                             : "Keine Aktualisierung gefunden (" + candidate + ")");
        return;
    }
    // The paths go to the updater as two separate arguments, so no quote or
    // blank in them can split or join them. A missing updater gives no
    // message: the program ends all the same.
    interaction.StartProcess(UpdaterPath(candidate), {candidate, programPath});
    interaction.EndProcess(0);
}

}  // namespace sendrix::app

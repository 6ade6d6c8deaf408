#include "app/settings_paths.h"

#include <algorithm>

#include "platform/system_info.h"

namespace sendrix::app {

std::string UserSettingsFileName(const std::string& folder, const std::string& userName) {
    std::string lowered = userName;
    for (char& c : lowered)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folder + lowered + ".ini";
}

std::string LogFileName(const std::string& folder, const platform::LocalTime& now) {
    return folder + "logs/" + std::to_string(now.year) + "-" + platform::TwoDigits(now.month) +
           "_EMail.log";
}

std::string resolveStoredPath(const std::string& value, const std::string& programFolder) {
    if (value.size() < 2 || value[0] != '.' || (value[1] != '\\' && value[1] != '/')) return value;
    std::string rest = value.substr(2);
    std::replace(rest.begin(), rest.end(), '\\', '/');
    return programFolder + rest;
}

}  // namespace sendrix::app

#include "app/settings_paths.h"

#include "platform/ascii.h"

namespace sendrix::app {

std::string UserSettingsFileName(const std::string& folder, const std::string& userName) {
    return folder + platform::asciiLowered(userName) + ".ini";
}

std::string LogFileName(const std::string& folder, const platform::LocalTime& now) {
    return folder + "logs/" + std::to_string(now.year) + "-" + platform::TwoDigits(now.month) + "_EMail.log";
}

}  // namespace sendrix::app

#include "platform/system_info.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

#include "platform/ascii.h"
#include "platform/text_file.h"

namespace sendrix::platform {

namespace {

constexpr size_t kMaxUserNameCharacters = 127;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string withSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

bool usableFolder(const std::string& folder) {
    return createDirectories(folder) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

std::string CurrentUserName() {
    std::string name;
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_name != nullptr) {
        name = found->pw_name;
    }
    if (name.empty())
        name = environment("USER");
    if (name.size() > kMaxUserNameCharacters)
        name.resize(kMaxUserNameCharacters);
    return name;
}

std::string programPath() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return "";
    std::string result(path, size_t(n));
    // A program replaced while it runs (an update) still names its old path.
    const std::string deleted = " (deleted)";
    if (result.size() > deleted.size() &&
        result.compare(result.size() - deleted.size(), deleted.size(), deleted) == 0) {
        result.resize(result.size() - deleted.size());
    }
    return result;
}

std::string programFolder() {
    std::string folder = environment("SENDRIX_HOME");
    if (folder.empty()) {
        const std::string path = programPath();
        const size_t slash = path.rfind('/');
        if (slash != std::string::npos)
            folder = path.substr(0, slash + 1);
    }
    if (!folder.empty() && usableFolder(folder))
        return withSlash(folder);

    std::string config = environment("XDG_CONFIG_HOME");
    if (config.empty() || config.front() != '/') {
        std::string home = environment("HOME");
        if (home.empty()) {
            struct passwd entry {};
            struct passwd* found = nullptr;
            char buffer[4096];
            if (getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
                found->pw_dir != nullptr) {
                home = found->pw_dir;
            }
        }
        config = withSlash(home) + ".config";
    }
    const std::string fallback = withSlash(config) + "sendrix/";
    createDirectories(fallback);
    return fallback;
}

std::string programFileInFolder() {
    return programFolder() + fileNameOnly(programPath());
}

std::string resolveStoredPath(std::string_view value, const std::string& programFolder) {
    if (value.size() < 2 || value[0] != '.' || (value[1] != '\\' && value[1] != '/'))
        return std::string(value);
    std::string rest(value.substr(2));
    std::replace(rest.begin(), rest.end(), '\\', '/');
    return programFolder + rest;
}

LocaleLanguage localeLanguageFromName(const std::string& localeName) {
    // "ll_CC.charset@modifier": the language before "_", the country after it.
    const size_t languageEnd = localeName.find_first_of("_.@");
    std::string language = localeName.substr(0, languageEnd);
    std::string country;
    if (languageEnd != std::string::npos && localeName[languageEnd] == '_') {
        const size_t countryEnd = localeName.find_first_of(".@", languageEnd + 1);
        country = localeName.substr(languageEnd + 1, countryEnd == std::string::npos
                                                         ? std::string::npos
                                                         : countryEnd - languageEnd - 1);
    }
    language = asciiLowered(language);
    country = asciiUppered(country);

    LocaleLanguage result;
    if (language == "de") {
        result.primary = PrimaryLanguage::German;
    } else if (language == "en") {
        result.primary = PrimaryLanguage::English;
    } else if (language == "ja") {
        result.primary = PrimaryLanguage::Japanese;
    } else if (language == "ko") {
        result.primary = PrimaryLanguage::Korean;
    } else if (language == "zh") {
        result.primary = PrimaryLanguage::Chinese;
        // Mainland China and Singapore write simplified characters; Taiwan,
        // Hong Kong and Macao traditional ones.
        if (country == "TW" || country == "HK" || country == "MO") {
            result.sub = SubLanguage::ChineseTraditional;
        } else {
            result.sub = SubLanguage::ChineseSimplified;
        }
    }
    return result;
}

LocaleLanguage localeLanguage() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const std::string value = environment(name);
        if (!value.empty())
            return localeLanguageFromName(value);
    }
    return {};
}

}  // namespace sendrix::platform

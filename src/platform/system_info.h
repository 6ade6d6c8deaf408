#pragma once
// Queries of the operating system: user, program location, locale.
#include <string>
#include <string_view>

namespace sendrix::platform {

// Login name of the effective user (getpwuid), else $USER; at most 127
// characters.
std::string CurrentUserName();

// Full path of the running program (/proc/self/exe).
std::string programPath();

// Folder for the program's files, with a trailing "/": $SENDRIX_HOME when
// set, else the executable's folder; when that is not writable,
// $XDG_CONFIG_HOME/sendrix/ (default ~/.config/sendrix/), created on demand.
std::string programFolder();

// programFolder() + file name of programPath(): the base for ".ini" and
// ".recipient" (the extension of a Linux program name is empty).
std::string programFileInFolder();

// A path stored in a settings file: one beginning with ".\" or "./" is
// relative to `programFolder` (files written on Windows keep working), and
// the backslashes of the rest become "/". Any other value is returned unchanged.
std::string resolveStoredPath(std::string_view value, const std::string& programFolder);

// Windows-style primary language and sub-language of the user's locale,
// from LC_ALL, LC_CTYPE, LANG (first one set and non-empty).
enum class PrimaryLanguage { Other, Chinese, Japanese, Korean, German, English };
enum class SubLanguage { Other, ChineseSimplified, ChineseTraditional };
struct LocaleLanguage {
    PrimaryLanguage primary = PrimaryLanguage::Other;
    SubLanguage sub = SubLanguage::Other;
};
LocaleLanguage localeLanguage();
// The same rule applied to a locale name such as "zh_CN.UTF-8".
LocaleLanguage localeLanguageFromName(const std::string& localeName);

}  // namespace sendrix::platform

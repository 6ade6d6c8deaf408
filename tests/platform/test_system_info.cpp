// User name, program folder, locale and time formats.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ascii.h"
#include "platform/clock.h"
#include "platform/system_info.h"
#include "platform/text_file.h"
#include "support/temp_folder.h"

namespace sendrix::platform {
namespace {

using test::TempFolder;

// Sets environment variables for one test and restores them afterwards.
class EnvironmentGuard {
public:
    void set(const char* name, const std::string& value) {
        remember(name);
        ::setenv(name, value.c_str(), 1);
    }
    void unset(const char* name) {
        remember(name);
        ::unsetenv(name);
    }
    ~EnvironmentGuard() {
        for (auto& [name, value] : m_saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }

private:
    void remember(const char* name) {
        for (auto& entry : m_saved)
            if (entry.first == name)
                return;
        const char* value = std::getenv(name);
        m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

TEST(SystemInfo, TwoDigits) {
    EXPECT_EQ(TwoDigits(3), "03");
    EXPECT_EQ(TwoDigits(0), "00");
    EXPECT_EQ(TwoDigits(12), "12");
    EXPECT_EQ(TwoDigits(2026), "2026");
}

TEST(SystemInfo, UserNameIsTheLoginNameAndFitsTheBuffer) {
    const std::string name = CurrentUserName();
    EXPECT_FALSE(name.empty());
    EXPECT_LE(name.size(), 127u);
}

TEST(SystemInfo, ProgramFolderFromSendrixHomeWithTrailingSlash) {
    TempFolder folder;
    // The folder named without its trailing slash.
    const std::string bare = folder.folder().substr(0, folder.folder().size() - 1);
    EnvironmentGuard env;
    env.set("SENDRIX_HOME", bare);
    EXPECT_EQ(programFolder(), bare + "/");
    EXPECT_EQ(programFileInFolder(), bare + "/" + fileNameOnly(programPath()));
    // A folder that does not exist yet is created.
    env.set("SENDRIX_HOME", folder.path("neu/tiefer/"));
    EXPECT_EQ(programFolder(), folder.path("neu/tiefer/"));
    EXPECT_TRUE(directoryExists(folder.path("neu/tiefer")));
}

TEST(SystemInfo, UnwritableProgramFolderFallsBackToTheConfigFolder) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write everywhere";
    TempFolder folder;
    EnvironmentGuard env;
    const std::string locked = folder.path("locked");
    ASSERT_TRUE(createDirectories(locked));
    ::chmod(locked.c_str(), 0500);
    env.set("SENDRIX_HOME", locked);
    env.set("XDG_CONFIG_HOME", folder.path("config"));
    EXPECT_EQ(programFolder(), folder.path("config/sendrix/"));
    ::chmod(locked.c_str(), 0700);
}

TEST(SystemInfo, FileInsteadOfFolderFallsBackToTheConfigFolder) {
    TempFolder folder;
    EnvironmentGuard env;
    env.set("SENDRIX_HOME", folder.write("plain-file", "x"));
    env.set("XDG_CONFIG_HOME", folder.path("config"));
    EXPECT_EQ(programFolder(), folder.path("config/sendrix/"));
    // A relative XDG_CONFIG_HOME is ignored, as the base directory rules say.
    env.set("XDG_CONFIG_HOME", "relative");
    env.set("HOME", folder.path("home"));
    EXPECT_EQ(programFolder(), folder.path("home/.config/sendrix/"));
}

TEST(SystemInfo, LocaleNamesToLanguages) {
    auto lang = [](const char* name) { return localeLanguageFromName(name); };
    EXPECT_EQ(lang("de_DE.UTF-8").primary, PrimaryLanguage::German);
    EXPECT_EQ(lang("en_US").primary, PrimaryLanguage::English);
    EXPECT_EQ(lang("ja_JP.eucJP").primary, PrimaryLanguage::Japanese);
    EXPECT_EQ(lang("ko_KR.UTF-8").primary, PrimaryLanguage::Korean);
    EXPECT_EQ(lang("zh_CN.UTF-8").sub, SubLanguage::ChineseSimplified);
    EXPECT_EQ(lang("zh_TW.Big5").sub, SubLanguage::ChineseTraditional);
    EXPECT_EQ(lang("zh_HK").sub, SubLanguage::ChineseTraditional);
    EXPECT_EQ(lang("C").primary, PrimaryLanguage::Other);
    EXPECT_EQ(lang("").primary, PrimaryLanguage::Other);
}

TEST(SystemInfo, LocaleComesFromTheFirstVariableSet) {
    EnvironmentGuard env;
    env.set("LC_ALL", "");
    env.set("LC_CTYPE", "ja_JP.UTF-8");
    env.set("LANG", "de_DE.UTF-8");
    EXPECT_EQ(localeLanguage().primary, PrimaryLanguage::Japanese);
    env.set("LC_ALL", "zh_TW.UTF-8");
    EXPECT_EQ(localeLanguage().sub, SubLanguage::ChineseTraditional);
}

TEST(Clock, GermanShortDateAndLongTime) {
    LocalTime t;
    t.year = 2026;
    t.month = 3;
    t.day = 8;
    t.hour = 14;
    t.minute = 5;
    t.second = 31;
    EXPECT_EQ(shortDate(t), "08.03.2026");
    EXPECT_EQ(longTime(t), "14:05:31");
    // Written as "%02d" and "%04d" write them, without a format string.
    for (const int year : {0, 7, 987, 10000}) {
        t.year = year;
        char expected[32];
        std::snprintf(expected, sizeof expected, "08.03.%04d", year);
        EXPECT_EQ(shortDate(t), expected);
    }
    t.hour = 0, t.minute = 59, t.second = 0;
    EXPECT_EQ(longTime(t), "00:59:00");
}

TEST(Clock, SystemClockGivesAPlausibleLocalTimeAndOffset) {
    const LocalTime now = systemClock().now();
    EXPECT_GE(now.year, 2024);
    EXPECT_GE(now.month, 1);
    EXPECT_LE(now.month, 12);
    EXPECT_GE(now.dayOfWeek, 0);
    EXPECT_LE(now.dayOfWeek, 6);
    // Tests run with TZ=UTC.
    EXPECT_EQ(now.utcOffsetMinutes, 0);
}

}  // namespace
}  // namespace sendrix::platform

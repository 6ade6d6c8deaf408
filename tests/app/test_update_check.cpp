// "Versionsinfo" and "Update" of the "?" menu, and the updater program that
// the update hands over to.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "app/update_check.h"
#include "app/version_info.h"
#include "support/app/scripted_interaction.h"
#include "support/app/test_home.h"

extern char** environ;

using namespace sendrix;

namespace {

void setModificationTime(const std::string& path, long seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// Runs CheckForUpdate; true when it ended the process.
bool checkForUpdate(test::ScriptedInteraction& ui, const std::string& ini, const std::string& program,
                    const std::string& folder) {
    try {
        app::CheckForUpdate(ini, program, folder, ui);
    } catch (const test::ScriptedInteraction::ProcessEnded& end) {
        EXPECT_EQ(end.status, 0);
        return true;
    }
    return false;
}

// Starts `path` with `fd` as its descriptor `target`; posix_spawn's result.
int spawnWith(pid_t& pid, const std::string& path, char* argv[], int fd, int target) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fd, target);
    const int result = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    return result;
}

// Reads `fd` until what was read holds `text` (an empty text: until the
// end of the pipe), waiting at most 10 seconds for each piece.
std::string readUntil(int fd, const std::string& text) {
    std::string got;
    while (text.empty() || got.find(text) == std::string::npos) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, 10'000) <= 0)
            break;
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

}  // namespace

TEST(VersionInfo, ThreeLinesFromTheCompiledInBlockAndNothingWithoutOne) {
    test::ScriptedInteraction ui;
    app::ShowVersionInfo(app::ProgramVersionResource(), ui);
    ASSERT_EQ(ui.notices.size(), 1u);
    const std::string& text = ui.notices[0];
    EXPECT_EQ(text.rfind("Version: 1.2.0.20 \r\n(Mailclient)\r\n", 0), 0u) << text;
    EXPECT_GT(text.size(), std::string("Version: 1.2.0.20 \r\n(Mailclient)\r\n").size());

    app::ShowVersionInfo(app::VersionResource(), ui);
    EXPECT_EQ(ui.notices.size(), 1u);
    EXPECT_TRUE(ui.events.size() == 1u);
}

TEST(UpdateCheck, OnlyAStrictlyNewerCandidateIsAnUpdate) {
    test::TestHome home;
    const std::string program = home.write("bin/sendrix", "old program");
    const std::string ini = home.path("bin/sendrix.ini");
    setModificationTime(program, 1'700'000'000);
    test::ScriptedInteraction ui;

    // No update source: empty parentheses.
    EXPECT_FALSE(checkForUpdate(ui, ini, program, home.folder()));
    home.write("bin/sendrix.ini", "[Optionen]\nupdate=\n");
    EXPECT_FALSE(checkForUpdate(ui, ini, program, home.folder()));

    // A folder with a trailing separator doubles it; the file system accepts that.
    home.write("bin/sendrix.ini", "[optionen]\nUpdate=" + home.path("neu/") + "\n");
    const std::string candidate = home.path("neu//sendrix");
    EXPECT_FALSE(checkForUpdate(ui, ini, program, home.folder()));  // missing
    home.write("neu/sendrix", "new program");
    setModificationTime(candidate, 1'700'000'000);
    EXPECT_FALSE(checkForUpdate(ui, ini, program, home.folder()));  // same time
    setModificationTime(candidate, 1'600'000'000);
    EXPECT_FALSE(checkForUpdate(ui, ini, program, home.folder()));  // older
    EXPECT_EQ(ui.notices,
              (std::vector<std::string>{"Keine Aktualisierung gefunden", "Keine Aktualisierung gefunden",
                                        "Keine Aktualisierung gefunden (" + candidate + ")",
                                        "Keine Aktualisierung gefunden (" + candidate + ")",
                                        "Keine Aktualisierung gefunden (" + candidate + ")"}));
    EXPECT_TRUE(ui.processes.empty());

    setModificationTime(candidate, 1'700'000'001);
    EXPECT_TRUE(checkForUpdate(ui, ini, program, home.folder()));
    ASSERT_EQ(ui.processes.size(), 1u);
    EXPECT_EQ(ui.processes[0].program, home.path("neu//refreshkit.exe"));
    EXPECT_EQ(ui.processes[0].args, (std::vector<std::string>{candidate, program}));
    EXPECT_EQ(ui.notices.size(), 5u);
}

TEST(UpdateCheck, PrefersTheLinuxUpdaterAndEndsAlsoWhenItCannotStart) {
    test::TestHome home;
    const std::string program = home.write("sendrix", "old");
    setModificationTime(program, 1'600'000'000);
    // A stored Windows-style relative folder is relative to the program folder.
    home.write("sendrix.ini", "[optionen]\nupdate=.\\update\n");
    home.write("update/sendrix", "new");
    home.write("update/refreshkit", "#!/bin/sh\n");
    home.write("update/refreshkit.exe", "");
    test::ScriptedInteraction ui;
    ui.startProcessSucceeds = false;
    EXPECT_TRUE(checkForUpdate(ui, home.path("sendrix.ini"), program, home.folder()));
    ASSERT_EQ(ui.processes.size(), 1u);
    EXPECT_EQ(ui.processes[0].program, home.path("update/refreshkit"));
    EXPECT_TRUE(ui.notices.empty());
    EXPECT_TRUE(ui.errors.empty());
}

// The updater itself: waits for the old program to end, replaces it in one
// step keeping its permissions, starts the new one and logs what it did.
TEST(Refreshkit, WaitsForTheOldProgramReplacesItAndStartsTheNewOne) {
    const char* build = std::getenv("SENDRIX_BUILD_DIR");
    ASSERT_NE(build, nullptr);
    const std::string updater = std::string(build) + "/tools/refreshkit/refreshkit";
    test::TestHome home;
    // The old program is a copy of cat reading a pipe of the test's, so its
    // process shows the file and runs until the test closes the pipe.
    const std::string program = home.path("sendrix");
    ASSERT_EQ(std::system(("cp /bin/cat " + program + " && chmod 0750 " + program).c_str()), 0);
    const std::string marker = home.path("started");
    const std::string candidate = home.write("update/sendrix", "#!/bin/sh\necho neu > '" + marker + "'\n");
    ::chmod(candidate.c_str(), 0755);

    int oldInput[2];
    ASSERT_EQ(::pipe2(oldInput, O_CLOEXEC), 0);
    pid_t old = 0;
    char* oldArgv[] = {const_cast<char*>(program.c_str()), nullptr};
    ASSERT_EQ(spawnWith(old, program, oldArgv, oldInput[0], STDIN_FILENO), 0);
    // posix_spawn returns once the child runs the program.
    ::close(oldInput[0]);

    // The updater's standard error goes to a pipe; the program it starts
    // inherits it, so the pipe ends when both have ended.
    int errors[2];
    ASSERT_EQ(::pipe2(errors, O_CLOEXEC), 0);
    pid_t pid = 0;
    char* argv[] = {const_cast<char*>(updater.c_str()), const_cast<char*>(candidate.c_str()),
                    const_cast<char*>(program.c_str()), nullptr};
    ASSERT_EQ(spawnWith(pid, updater, argv, errors[1], STDERR_FILENO), 0);
    ::close(errors[1]);
    std::string said = readUntil(errors[0], "Warte auf das Ende von ");
    EXPECT_NE(said.find("Warte auf das Ende von "), std::string::npos) << said;

    // The old program ends; reap it so that it really disappears, as an
    // ended program would.
    ::close(oldInput[1]);
    int status = 0;
    ASSERT_EQ(::waitpid(old, &status, 0), old);
    said += readUntil(errors[0], "");
    ::close(errors[0]);
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << said;

    EXPECT_EQ(home.read("sendrix"), home.read("update/sendrix"));
    struct stat info {};
    ASSERT_EQ(::stat(program.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0750u);
    EXPECT_EQ(home.read("started"), "neu\n");
    const std::string log = home.read("refreshkit.log");
    EXPECT_NE(log.find("Warte auf das Ende von " + program), std::string::npos) << log;
    EXPECT_NE(log.find(program + " durch " + candidate + " ersetzt"), std::string::npos) << log;
    EXPECT_NE(log.find(program + " gestartet"), std::string::npos) << log;
}

TEST(Refreshkit, AnUnreadableNewFileReplacesNothing) {
    const char* build = std::getenv("SENDRIX_BUILD_DIR");
    ASSERT_NE(build, nullptr);
    const std::string updater = std::string(build) + "/tools/refreshkit/refreshkit";
    test::TestHome home;
    const std::string program = home.write("sendrix", "old program");
    const std::string command = updater + " " + home.path("fehlt") + " " + program + " 2>/dev/null";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_EQ(home.read("sendrix"), "old program");
    EXPECT_NE(home.read("refreshkit.log").find("nicht lesen"), std::string::npos);
}

// Finding and loading the window module: a module that cannot be loaded is
// an error naming the file, so main() can fall back to the console.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "window_module.h"

namespace {

std::string errorOf(const std::string& path) {
    int argc = 0;
    char* argv[] = {nullptr};
    try {
        sendrix::runWindowModule(path, argc, argv);
    } catch (const sendrix::WindowModuleError& error) {
        return error.what();
    }
    ADD_FAILURE() << "no WindowModuleError for " << path;
    return {};
}

TEST(WindowLoader, MissingModuleIsAnErrorNamingTheFile) {
    const std::string path = "/nonexistent/sendrix-window.so";
    EXPECT_NE(errorOf(path).find(path), std::string::npos);
}

TEST(WindowLoader, LibraryWithoutTheEntryPointIsAnError) {
    // The C library loads but has no window in it.
    EXPECT_EQ(errorOf("libc.so.6"), "libc.so.6: sendrix_run_window fehlt");
}

TEST(WindowLoader, PrefersTheModuleBesideTheProgram) {
    const std::string build = std::string(std::getenv("SENDRIX_BUILD_DIR")) + "/src/";
    EXPECT_EQ(sendrix::windowModulePath(build), build + "sendrix-window.so");
    EXPECT_EQ(sendrix::windowModulePath("/nonexistent/bin/"),
              "/nonexistent/bin/../lib/sendrix/sendrix-window.so");
}

}  // namespace

#include "window_module.h"

#include <dlfcn.h>
#include <unistd.h>

namespace sendrix {

namespace {

const char* const kModuleName = "sendrix-window.so";

}  // namespace

std::string windowModulePath(const std::string& programFolder) {
    const std::string beside = programFolder + kModuleName;
    if (::access(beside.c_str(), R_OK) == 0)
        return beside;
    return programFolder + "../lib/sendrix/" + kModuleName;
}

int runWindowModule(const std::string& path, int& argc, char** argv) {
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* text = ::dlerror();
        throw WindowModuleError(text ? text : path);
    }
    using Entry = int (*)(int*, char**);
    auto entry = reinterpret_cast<Entry>(::dlsym(module, "sendrix_run_window"));
    if (!entry)
        throw WindowModuleError(path + ": sendrix_run_window fehlt");
    // The module stays loaded until the process ends: Qt's own clean-up
    // runs at exit.
    return entry(&argc, argv);
}

}  // namespace sendrix

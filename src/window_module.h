#pragma once
// Finding and starting the window module (sendrix-window.so).
#include <string>

#include "platform/error.h"

namespace sendrix {

// The window module cannot be loaded or lacks its entry point; the message
// names the module file and what the loader said.
class WindowModuleError : public Error {
public:
    using Error::Error;
};

// The module's file: beside the program (a build folder), else in
// ../lib/sendrix/ (an installed program).
std::string windowModulePath(const std::string& programFolder);

// Loads the module and runs the window; returns the window's exit status.
// Throws WindowModuleError when the module cannot be loaded.
int runWindowModule(const std::string& path, int& argc, char** argv);

}  // namespace sendrix

#pragma once
// Finding and starting the window module (sendrix-window.so).
#include <string>

namespace sendrix {

// The module's file: beside the program (a build folder), else in
// ../lib/sendrix/ (an installed program).
std::string windowModulePath(const std::string& programFolder);

// Loads the module and runs the window. Returns false with `error` set when
// the module cannot be loaded; otherwise `status` is the window's exit
// status.
bool runWindowModule(const std::string& path, int& argc, char** argv, int& status, std::string& error);

}  // namespace sendrix

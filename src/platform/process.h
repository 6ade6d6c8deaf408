#pragma once
// Starting other programs.
#include <string>
#include <vector>

namespace sendrix::platform {

// Starts `program` with `args`, detached (it outlives this process, its
// output does not reach ours). False when it could not be started.
bool startDetached(const std::string& program, const std::vector<std::string>& args);

// The desktop's "open" of a file (xdg-open), with optional parameters.
// False when it could not be started.
bool shellOpen(const std::string& file, const std::string& parameters = "");

// A parameter string as a shell's "open" takes it, split at blanks outside
// double quotes; the quotes themselves are dropped:
// "\"/a b/x\" \"/c\"" -> {"/a b/x", "/c"}.
std::vector<std::string> splitCommandParameters(const std::string& parameters);

}  // namespace sendrix::platform

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

// The outcome of a program run to its end with its output captured.
struct CapturedRun {
    int startError = 0;     // errno when it could not be started, else 0
    bool timedOut = false;  // killed when the time limit passed
    int exitStatus = 0;     // its exit status; 128 + n for a signal n
    std::string output;     // standard output
    std::string errors;     // standard error
};

// Runs `argv` (argv[0] looked up in PATH, no shell) with standard input
// from /dev/null, capturing at most `maxBytes` of each output stream, and
// waits at most `timeoutMs` for it to end; past that it is killed.
// Precondition: argv is not empty.
CapturedRun runCaptured(const std::vector<std::string>& argv, int timeoutMs, std::size_t maxBytes);

}  // namespace sendrix::platform

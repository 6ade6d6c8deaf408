#pragma once
// What the benchmarks share: finding their helper programs, the SMTP sink
// as a child process, the minimal C client as the yardstick, the median.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace bench {

// The folder of this benchmark program, with a trailing "/"; the sink and
// the C client are built beside it.
inline std::string programFolder() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        throw std::runtime_error("cannot find the program folder");
    std::string text(path, size_t(n));
    return text.substr(0, text.rfind('/') + 1);
}

// The sink runs as a child process; its first output line is "PORT <n>".
struct Sink {
    pid_t pid = -1;
    int port = 0;

    // `arguments` go to the sink after its program name.
    explicit Sink(const std::string& program, const std::vector<std::string>& arguments = {}) {
        int out[2];
        if (pipe(out) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<char*> argv = {const_cast<char*>(program.c_str())};
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            throw std::runtime_error("cannot start " + program);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        FILE* reader = fdopen(out[0], "r");
        if (!reader || fscanf(reader, "PORT %d", &port) != 1)
            throw std::runtime_error("the sink did not say its port");
        fclose(reader);
    }
    ~Sink() {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
};

// Runs a C client's command line; its output line ends in ": <rate> messages/s".
inline double runClient(const std::string& command) {
    FILE* output = popen(command.c_str(), "r");
    if (!output)
        throw std::runtime_error("cannot run " + command);
    char line[256] = {};
    double rate = 0;
    if (fgets(line, sizeof line, output)) {
        const char* colon = std::strrchr(line, ':');
        if (colon)
            rate = std::atof(colon + 1);
    }
    if (pclose(output) != 0 || rate <= 0)
        throw std::runtime_error("the C client failed: " + command);
    return rate;
}

inline double runMinimalClient(const std::string& program, int port, const std::string& file, int count) {
    return runClient(program + " " + std::to_string(port) + " " + file + " " + std::to_string(count));
}

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace bench

#include "platform/process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sendrix::platform {

std::vector<std::string> splitCommandParameters(const std::string& parameters) {
    std::vector<std::string> result;
    std::string current;
    bool inQuotes = false;
    bool haveArgument = false;
    for (char c : parameters) {
        if (c == '"') {
            inQuotes = !inQuotes;
            haveArgument = true;
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            if (haveArgument)
                result.push_back(current);
            current.clear();
            haveArgument = false;
        } else {
            current += c;
            haveArgument = true;
        }
    }
    if (haveArgument)
        result.push_back(current);
    return result;
}

bool startDetached(const std::string& program, const std::vector<std::string>& args) {
    if (program.empty())
        return false;
    // Everything the children need is built before fork: after it only
    // async-signal-safe calls are allowed.
    std::vector<std::string> strings;
    strings.push_back(program);
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    // The pipe closes itself on a successful exec; a failed one sends errno.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return false;

    const pid_t middle = ::fork();
    if (middle < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (middle == 0) {
        // The middle child leaves at once, so the program is adopted by init
        // and never becomes our zombie.
        ::close(report[0]);
        ::setsid();
        const pid_t child = ::fork();
        if (child < 0) {
            const int error = errno;
            if (::write(report[1], &error, sizeof error) < 0) {}
            ::_exit(1);
        }
        if (child == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            if (null >= 0) {
                ::dup2(null, 0);
                ::dup2(null, 1);
                ::dup2(null, 2);
                if (null > 2)
                    ::close(null);
            }
            ::execvp(argv[0], argv.data());
            const int error = errno;
            if (::write(report[1], &error, sizeof error) < 0) {}
            ::_exit(127);
        }
        ::_exit(0);
    }

    ::close(report[1]);
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {}
    int error = 0;
    ssize_t n;
    do {
        n = ::read(report[0], &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    return n == 0;
}

CapturedRun runCaptured(const std::vector<std::string>& args, int timeoutMs, std::size_t maxBytes) {
    CapturedRun run;
    std::vector<std::string> strings(args);
    std::vector<char*> argv;
    for (std::string& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        run.startError = errno;
        return run;
    }
    if (::pipe2(err, O_CLOEXEC) != 0) {
        run.startError = errno;
        ::close(out[0]);
        ::close(out[1]);
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    pid_t child = -1;
    const int spawned = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    if (spawned != 0) {
        run.startError = spawned;
        ::close(out[0]);
        ::close(err[0]);
        return run;
    }

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd streams[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* targets[2] = {&run.output, &run.errors};
    int open = 2;
    while (open > 0) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            run.timedOut = true;
            break;
        }
        const int ready = ::poll(streams, 2, int(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;  // the next round sees the deadline
        for (int i = 0; i < 2; ++i) {
            if (streams[i].fd < 0 || streams[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::read(streams[i].fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                ::close(streams[i].fd);
                streams[i].fd = -1;
                --open;
                continue;
            }
            // Past the cap the bytes are read and dropped, so the program
            // is never blocked on a full pipe.
            std::string& target = *targets[i];
            if (target.size() < maxBytes)
                target.append(buffer, std::min(std::size_t(n), maxBytes - target.size()));
        }
    }
    for (const pollfd& stream : streams)
        if (stream.fd >= 0)
            ::close(stream.fd);
    // A program may close its outputs and go on running: its end is awaited
    // within the same limit (a pidfd becomes readable when it ends).
    if (!run.timedOut) {
        const int pidfd = int(::syscall(SYS_pidfd_open, child, 0));
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                run.timedOut = true;
                break;
            }
            if (pidfd < 0)
                break;  // no pidfd: wait below without a limit
            pollfd end{pidfd, POLLIN, 0};
            const int ready = ::poll(&end, 1, int(left));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready != 0)
                break;
        }
        if (pidfd >= 0)
            ::close(pidfd);
    }
    if (run.timedOut)
        ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

bool shellOpen(const std::string& file, const std::string& parameters) {
    if (file.empty())
        return false;
    const bool isUrl = file.find("://") != std::string::npos || file.rfind("mailto:", 0) == 0;
    if (!isUrl) {
        struct stat st {};
        if (::stat(file.c_str(), &st) != 0)
            return false;
        // A program is started with the parameters, as the shell's "open"
        // does; any other file goes to the desktop's opener.
        if (S_ISREG(st.st_mode) && ::access(file.c_str(), X_OK) == 0) {
            const std::string program = file.find('/') == std::string::npos ? "./" + file : file;
            return startDetached(program, splitCommandParameters(parameters));
        }
    }
    return startDetached("xdg-open", {file});
}

}  // namespace sendrix::platform

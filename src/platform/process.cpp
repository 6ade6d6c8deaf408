#include "platform/process.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
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
            if (haveArgument) result.push_back(current);
            current.clear();
            haveArgument = false;
        } else {
            current += c;
            haveArgument = true;
        }
    }
    if (haveArgument) result.push_back(current);
    return result;
}

bool startDetached(const std::string& program, const std::vector<std::string>& args) {
    if (program.empty()) return false;
    // Everything the children need is built before fork: after it only
    // async-signal-safe calls are allowed.
    std::vector<std::string> strings;
    strings.push_back(program);
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);

    // The pipe closes itself on a successful exec; a failed one sends errno.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return false;

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
            if (::write(report[1], &error, sizeof error) < 0) {
            }
            ::_exit(1);
        }
        if (child == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            if (null >= 0) {
                ::dup2(null, 0);
                ::dup2(null, 1);
                ::dup2(null, 2);
                if (null > 2) ::close(null);
            }
            ::execvp(argv[0], argv.data());
            const int error = errno;
            if (::write(report[1], &error, sizeof error) < 0) {
            }
            ::_exit(127);
        }
        ::_exit(0);
    }

    ::close(report[1]);
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t n;
    do {
        n = ::read(report[0], &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    return n == 0;
}

bool shellOpen(const std::string& file, const std::string& parameters) {
    if (file.empty()) return false;
    const bool isUrl = file.find("://") != std::string::npos || file.rfind("mailto:", 0) == 0;
    if (!isUrl) {
        struct stat st {};
        if (::stat(file.c_str(), &st) != 0) return false;
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

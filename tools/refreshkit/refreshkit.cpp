// refreshkit NEWFILE PROGRAM
//
// Started by Sendrix's update check just before it ends: waits until no
// process runs PROGRAM any more, replaces PROGRAM with NEWFILE in one step
// (the old file stays whole until the new one is complete), keeps PROGRAM's
// permissions, starts PROGRAM again and logs every step to "refreshkit.log"
// in PROGRAM's folder (and to standard error).
//
// Exit status: 0 replaced and started, 1 nothing replaced, 2 replaced but
// the new program could not be started.
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "platform/file.h"

extern char** environ;

namespace {

// How long the old program may take to end; it normally ends at once.
constexpr int kDefaultWaitSeconds = 60;

class Log {
public:
    explicit Log(const std::string& path) : m_file(std::fopen(path.c_str(), "a")) {}
    ~Log() {
        if (m_file)
            std::fclose(m_file);
    }
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    void line(const std::string& text) {
        char stamp[32];
        const std::time_t now = std::time(nullptr);
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
        std::fprintf(stderr, "refreshkit: %s\n", text.c_str());
        if (m_file) {
            std::fprintf(m_file, "%s %s\n", stamp, text.c_str());
            std::fflush(m_file);
        }
    }

private:
    std::FILE* m_file;
};

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string canonical(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved)
        return path;
    std::string result(resolved);
    std::free(resolved);
    return result;
}

// Processes (other than this one) whose executable is `program`. Only our
// own user's processes can be examined, which are the ones that matter.
std::vector<int> processesRunning(const std::string& program) {
    std::vector<int> found;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return found;
    const int self = static_cast<int>(::getpid());
    while (dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || pid <= 0 || pid == self)
            continue;
        const std::string link = std::string("/proc/") + entry->d_name + "/exe";
        char target[4096];
        const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
        if (length <= 0)
            continue;
        if (std::string(target, static_cast<std::size_t>(length)) == program)
            found.push_back(static_cast<int>(pid));
    }
    ::closedir(proc);
    return found;
}

bool waitUntilEnded(const std::string& program, int waitSeconds, Log& log) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
    bool reported = false;
    for (;;) {
        const std::vector<int> running = processesRunning(program);
        if (running.empty())
            return true;
        if (!reported) {
            log.line("Warte auf das Ende von " + program + " (Prozess " + std::to_string(running.front()) +
                     ")");
            reported = true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            log.line(program + " läuft nach " + std::to_string(waitSeconds) +
                     " Sekunden noch; nichts ersetzt");
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

// 0 when every byte of `from` is in `to`, else the errno of the failing call.
int copyAll(sendrix::platform::File& from, sendrix::platform::File& to) {
    char buffer[65536];
    for (;;) {
        const ssize_t got = from.readFull(buffer, sizeof buffer);
        if (got < 0)
            return errno;
        if (const int error = to.writeAll(std::string_view(buffer, static_cast<std::size_t>(got))))
            return error;
        if (static_cast<std::size_t>(got) < sizeof buffer)
            return 0;
    }
}

// The log line of a failed step: our words naming the file, then the reason.
std::string failureLine(const std::string& failure, int error) {
    return sendrix::platform::fileFailure(failure, error, sendrix::platform::ReasonAt::AfterColon).what();
}

// Copies `source` to a temporary file beside `target` with the target's
// permissions and the source's modification time, then renames it over the
// target: readers see either the whole old or the whole new file.
bool replaceFile(const std::string& source, const std::string& target, Log& log) {
    using sendrix::platform::File;
    File in = File::open(source, O_RDONLY);
    if (!in.isOpen()) {
        log.line(failureLine("Kann " + source + " nicht lesen", in.openError()));
        return false;
    }
    struct stat sourceInfo {};
    ::fstat(in.fd(), &sourceInfo);
    if (!S_ISREG(sourceInfo.st_mode)) {
        log.line(source + " ist keine Datei");
        return false;
    }
    struct stat targetInfo {};
    const bool targetExists = ::stat(target.c_str(), &targetInfo) == 0;
    const mode_t mode = (targetExists ? targetInfo.st_mode : sourceInfo.st_mode) & 07777;

    std::string temporary = folderOf(target) + ".refreshkit-XXXXXX";
    File out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!out.isOpen()) {
        const int error = errno;
        log.line(failureLine("Kann in " + folderOf(target) + " nicht schreiben", error));
        return false;
    }
    int error = copyAll(in, out);
    in.close();
    if (error == 0 && targetExists && ::fchown(out.fd(), targetInfo.st_uid, targetInfo.st_gid) != 0) {
        // Another owner cannot be kept by an ordinary user; the file then
        // belongs to the one who updates it.
    }
    if (error == 0 && ::fchmod(out.fd(), mode) != 0)
        error = errno;
    if (error == 0) {
        const timespec times[2] = {sourceInfo.st_atim, sourceInfo.st_mtim};
        if (::futimens(out.fd(), times) != 0)
            error = errno;
    }
    if (error == 0 && ::fsync(out.fd()) != 0)
        error = errno;
    if (const int closeError = out.close(); error == 0)
        error = closeError;
    if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        log.line(failureLine("Kann " + target + " nicht ersetzen", error));
        return false;
    }
    log.line(target + " durch " + source + " ersetzt");
    return true;
}

bool startProgram(const std::string& program, Log& log) {
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A session of its own: the program does not end with ours.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    std::vector<char> path(program.begin(), program.end());
    path.push_back('\0');
    char* argv[] = {path.data(), nullptr};
    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, program.c_str(), nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        // Not a file error: the C library's words name an unfit program best.
        log.line("Kann " + program + " nicht starten: " + std::strerror(error));
        return false;
    }
    log.line(program + " gestartet (Prozess " + std::to_string(pid) + ")");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "Aufruf: refreshkit NEUE-DATEI PROGRAMM\n");
        return 1;
    }
    const std::string source = argv[1];
    const std::string program = canonical(argv[2]);
    Log log(folderOf(program) + "refreshkit.log");
    log.line("Aktualisierung von " + program + " aus " + source);

    int waitSeconds = kDefaultWaitSeconds;
    if (const char* limit = std::getenv("REFRESHKIT_WAIT_SECONDS"))
        waitSeconds = std::atoi(limit);
    if (canonical(source) == program) {
        log.line("Neue Datei und Programm sind dieselbe Datei; nichts ersetzt");
        return 1;
    }
    if (!waitUntilEnded(program, waitSeconds, log))
        return 1;
    if (!replaceFile(source, program, log))
        return 1;
    return startProgram(program, log) ? 0 : 2;
}

#pragma once
// What the benchmarks share: finding their helper programs, the SMTP sink
// as a child process, the minimal C client as the yardstick, the median,
// and the setup of a mailing run through the program itself (a folder of
// its own, the list file, the unattended run).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/version.h"

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

// A C client's run: the rate it prints (its own clock, from its first
// connection to its last reply) and the seconds of its whole process.
struct ClientRun {
    double rate = 0;
    double seconds = 0;
};

// Runs a C client's command line; its output line ends in ": <rate>
// messages/s". The whole process is timed as the program's run is (one
// shell that execs it), so that the two compare like with like.
inline ClientRun runClient(const std::string& command) {
    const auto begin = std::chrono::steady_clock::now();
    FILE* output = popen(("exec " + command).c_str(), "r");
    if (!output)
        throw std::runtime_error("cannot run " + command);
    char line[256] = {};
    ClientRun run;
    if (fgets(line, sizeof line, output)) {
        const char* colon = std::strrchr(line, ':');
        if (colon)
            run.rate = std::atof(colon + 1);
    }
    const int status = pclose(output);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    if (status != 0 || run.rate <= 0)
        throw std::runtime_error("the C client failed: " + command);
    return run;
}

inline ClientRun runMinimalClient(const std::string& program, int port, const std::string& file, int count) {
    return runClient(program + " " + std::to_string(port) + " " + file + " " + std::to_string(count));
}

struct ChildMeasure {
    double seconds = 0;
    long peakKiB = 0;
};

// Runs `work` in a child process, so its peak memory is its own: the time
// it took and its peak memory above what the child had before.
inline ChildMeasure measureInChild(const std::function<void()>& work) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        throw std::runtime_error("pipe");
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        ChildMeasure m{took.count(), after.ru_maxrss - before.ru_maxrss};
        if (write(pipeFds[1], &m, sizeof m) != sizeof m)
            _exit(1);
        _exit(0);
    }
    close(pipeFds[1]);
    ChildMeasure m;
    if (read(pipeFds[0], &m, sizeof m) != sizeof m)
        throw std::runtime_error("child failed");
    close(pipeFds[0]);
    waitpid(pid, nullptr, 0);
    return m;
}

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A new folder /tmp/<name>_XXXXXX/, with a trailing "/".
inline std::string makeFolder(const std::string& name) {
    std::string pattern = "/tmp/" + name + "_XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    return pattern + "/";
}

inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

// A list of `rows` recipients with umlauts; the Typ column cycles through
// `types` ("w", "Herr", "" for woman, man, neutral).
inline std::string recipientListText(int rows, std::initializer_list<const char*> types) {
    std::string text = "Name;Vorname;Email;Typ\r\n";
    for (int i = 0; i < rows; ++i)
        text += "M\xfcller" + std::to_string(i) + ";J\xfcrgen;kunde" + std::to_string(i) + "@example.org;" +
                types.begin()[size_t(i) % types.size()] + "\r\n";
    return text;
}

// The body of the list mailing benchmarks: 31 lines with umlauts.
inline std::string mailingBodyText() {
    std::string text;
    for (int i = 0; i < 30; ++i)
        text += "wir laden Sie herzlich zu unserem Sommerfest ein. Zeile " + std::to_string(i) +
                " des Schreibens mit Gr\xfc\xdf"
                "en.\r\n";
    return text +
           "Mit freundlichen Gr\xfc\xdf"
           "en\r\n";
}

// A message of the size the program sends for a row of recipientListText
// with mailingBodyText and the salutation, for the C clients, which add
// the final ".".
inline std::string renderedMailingMessage() {
    const std::string text =
        "From: \"Absender\" <absender@example.org>\r\nSubject: Einladung zum Sommerfest\r\n"
        "To: kunde1@example.org\r\nContent-Type: text/plain\r\nMIME-Version: 1.0\r\n"
        "Date: Tue, 8 Dec 2026 14:05:31 +0100\r\nX-Priority: 3\r\nX-Library: Sendrix " +
        std::string(sendrix::platform::kProgramVersion) +
        "\r\n\r\n"
        "Sehr geehrte Frau M\xfcller1,\r\n\r\n";
    return text + mailingBodyText();
}

// Writes the list mailing of `rows` recipients into `home` (liste.csv,
// text.txt, and message.eml for the C clients) and returns the program's
// command line for it.
inline std::string writeListMailing(const std::string& home, int rows) {
    // Rows with umlauts, every third a woman, every third a man, the rest neutral.
    writeFile(home + "liste.csv", recipientListText(rows, {"w", "Herr", ""}));
    writeFile(home + "text.txt", mailingBodyText());
    writeFile(home + "message.eml", renderedMailingMessage());
    return home + "liste.csv /B:" + home +
           "text.txt \"/s:Einladung\" /from:absender@example.org /N:Absender /ANREDE";
}

// The program built beside the benchmarks (build/src/sendrix).
inline std::string programPath() {
    return programFolder() + "../src/sendrix";
}

// Runs the program unattended (no display, "/sofort") with its home in
// `home`, whose Mail.ini it writes: the sink at `port`, the salutation on.
// `arguments` are the command line after the program name; `host` is the
// server's name, `smtpKeys` further [Smtp] lines ("Key=value\r\n"),
// `environment` further "NAME=value " words for the program; `program` a
// build of sendrix (another one to time side by side). Returns the seconds
// of the whole run.
inline double sendThroughTheProgram(const std::string& home, int port, const std::string& arguments,
                                    const std::string& host = "127.0.0.1", const std::string& smtpKeys = "",
                                    const std::string& environment = "",
                                    const std::string& program = programPath()) {
    writeFile(home + "Mail.ini", "[Smtp]\r\nServerName=" + host + "\r\nServerPort=" + std::to_string(port) +
                                     "\r\n" + smtpKeys + "[Optionen]\r\nAnrede=2\r\n");
    // The shell execs the program: no process of its own between the two.
    const std::string command = "unset DISPLAY WAYLAND_DISPLAY; " + environment + "SENDRIX_HOME=" + home +
                                " exec " + program + " " + arguments + " /sofort > /dev/null";
    const auto begin = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - begin;
    if (status != 0)
        throw std::runtime_error("the program failed: " + command);
    return seconds.count();
}

inline void removeFolder(const std::string& folder) {
    std::system(("rm -rf " + folder).c_str());
}

}  // namespace bench

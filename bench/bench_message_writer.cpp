// Attachment throughput of the message writer: one message (a short text body
// and one file of random bytes as a base64 attachment) through WriteMessage
// into a sink that only counts bytes, against coreutils
// `base64 -w 76 FILE > /dev/null` on the same file, in the same run. Also the
// process's peak resident memory (VmHWM), which must stay small and the same
// for any attachment size: the file is read and encoded in blocks, each
// written to the sink at once.
//
//   cmake --build BUILD --target bench_message_writer
//   BUILD/bench/bench_message_writer            20 MB and 200 MB, one child each
//   BUILD/bench/bench_message_writer MB [ROUNDS] one size (default 3 rounds)
//
// Prints the median MB/s (of attachment bytes, 1 MB = 10^6 bytes) of the
// writer and of base64, their ratio and the peak RSS of the process.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "mail/id_message.h"
#include "mail/id_message_writer.h"
#include "mail/memory_write_target.h"
#include "platform/clock.h"

extern char** environ;

using namespace sendrix;

namespace {

const platform::FixedClock kClock({2026, 12, 8, 14, 5, 31, 2, 60});

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

long peakRssKb() {
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, status))
        if (std::strncmp(line, "VmHWM:", 6) == 0)
            kb = std::strtol(line + 6, nullptr, 10);
    std::fclose(status);
    return kb;
}

// Random bytes, written in 1 MB blocks so the file's size does not show in
// the peak RSS.
void makeRandomFile(const std::string& path, size_t bytes) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        throw std::runtime_error("cannot create " + path);
    std::vector<uint64_t> block((1 << 20) / 8);
    uint64_t state = 0x9E3779B97F4A7C15ull;
    while (bytes > 0) {
        for (uint64_t& word : block) {
            // splitmix64
            uint64_t z = (state += 0x9E3779B97F4A7C15ull);
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            word = z ^ (z >> 31);
        }
        const size_t want = std::min(bytes, block.size() * 8);
        if (write(fd, block.data(), want) != ssize_t(want))
            throw std::runtime_error("cannot write " + path);
        bytes -= want;
    }
    close(fd);
}

// Base64 lines of 76 characters plus CR LF per 57 bytes, the last line shorter.
size_t expectedEncodedSize(size_t bytes) {
    const size_t whole = bytes / 57, rest = bytes % 57;
    return whole * 78 + (rest ? (rest + 2) / 3 * 4 + 2 : 0);
}

bool folderIsEmpty(const std::string& path) {
    DIR* dir = opendir(path.c_str());
    if (!dir)
        return false;
    bool empty = true;
    while (dirent* entry = readdir(dir))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            empty = false;
    closedir(dir);
    return empty;
}

// The whole message with `file` as its attachment into a counting sink;
// its size in bytes.
size_t writeMessage(const std::string& file) {
    mail::TIdMessage message;
    message.From.SetText("Absender <absender@example.org>");
    message.Recipients.SetAddresses("empfaenger@example.org");
    message.Subject = "Anlage";
    message.Body = {"Guten Tag,", "anbei die Datei.", "", "Gruß"};
    message.MsgId = "<bench@example.org>";
    message.MessageParts.AddAttachment(file);
    // Counts without keeping, so the sink costs nothing but the call.
    mail::MemoryWriteTarget sink = mail::MemoryWriteTarget::countingOnly();
    mail::WriteMessage(sink, message, kClock);
    return sink.Size();
}

double timeWriter(const std::string& file, size_t bytes, const std::string& writerTemp,
                  size_t withoutAttachmentBytes) {
    const auto start = std::chrono::steady_clock::now();
    const size_t written = writeMessage(file);
    const double elapsed = seconds(start);
    // The same message with an empty file differs by the attachment's lines alone.
    if (written - withoutAttachmentBytes != expectedEncodedSize(bytes))
        throw std::runtime_error("writer wrote " + std::to_string(written - withoutAttachmentBytes) +
                                 " attachment bytes, expected " + std::to_string(expectedEncodedSize(bytes)));
    if (!folderIsEmpty(writerTemp))
        throw std::runtime_error("the writer left a file in the temporary folder");
    return elapsed;
}

double timeBase64(const std::string& file) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::string program = "base64", wrap = "-w", width = "76", path = file;
    char* argv[] = {program.data(), wrap.data(), width.data(), path.data(), nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t pid;
    if (posix_spawnp(&pid, "base64", &actions, nullptr, argv, environ) != 0)
        throw std::runtime_error("cannot start base64");
    int status = 0;
    waitpid(pid, &status, 0);
    const double elapsed = seconds(start);
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("base64 failed");
    return elapsed;
}

int runOne(size_t megabytes, int rounds) {
    const size_t bytes = megabytes * 1000 * 1000;
    std::string folder = (std::getenv("TMPDIR") && *std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    folder += "/sendrix-bench-XXXXXX";
    if (!mkdtemp(folder.data()))
        throw std::runtime_error("cannot create a temporary folder");
    const std::string file = folder + "/data.bin";
    // An empty file of the same name, for the size of everything else.
    const std::string emptyFolder = folder + "/empty";
    const std::string empty = emptyFolder + "/data.bin";
    mkdir(emptyFolder.c_str(), 0700);
    // The writer leaves nothing in the temporary folder; the bench checks.
    const std::string writerTemp = folder + "/writer";
    mkdir(writerTemp.c_str(), 0700);
    setenv("TMPDIR", writerTemp.c_str(), 1);

    int rc = 0;
    try {
        makeRandomFile(file, bytes);
        makeRandomFile(empty, 0);
        const size_t withoutAttachment = writeMessage(empty);
        // One untimed pass each, so both find the file in the page cache.
        timeBase64(file);
        timeWriter(file, bytes, writerTemp, withoutAttachment);
        std::vector<double> writer, base64;
        for (int round = 0; round < rounds; ++round) {
            writer.push_back(timeWriter(file, bytes, writerTemp, withoutAttachment));
            base64.push_back(timeBase64(file));
        }
        const double writerMbs = double(bytes) / 1e6 / median(writer);
        const double base64Mbs = double(bytes) / 1e6 / median(base64);
        std::printf("attachment %zu MB, %d rounds (median)\n", megabytes, rounds);
        std::printf("  writer (WriteMessage to a counting sink): %8.1f MB/s\n", writerMbs);
        std::printf("  base64 -w 76 FILE > /dev/null:           %8.1f MB/s\n", base64Mbs);
        std::printf("  ratio writer/base64:                      %8.2f  (target >= 1.20)\n",
                    writerMbs / base64Mbs);
        std::printf("  peak RSS (VmHWM):                         %8.1f MB  (limit 20 MB)\n",
                    peakRssKb() / 1024.0);
        std::printf("  temporary folder left empty:              yes\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_message_writer: %s\n", e.what());
        rc = 1;
    }
    unlink(file.c_str());
    unlink(empty.c_str());
    rmdir(emptyFolder.c_str());
    rmdir(writerTemp.c_str());
    rmdir(folder.c_str());
    return rc;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2) {
        const long megabytes = std::strtol(argv[1], nullptr, 10);
        const int rounds = argc >= 3 ? std::atoi(argv[2]) : 3;
        if (megabytes <= 0 || rounds <= 0) {
            std::fprintf(stderr, "usage: bench_message_writer [MB [ROUNDS]]\n");
            return 2;
        }
        return runOne(size_t(megabytes), rounds);
    }
    // Each size in a process of its own: VmHWM is the peak of the whole
    // process, so only separate processes show whether it grows with the size.
    int rc = 0;
    for (const char* size : {"20", "200"}) {
        std::fflush(stdout);
        std::string self = "/proc/self/exe", arg = size;
        char* args[] = {argv[0], arg.data(), nullptr};
        pid_t pid;
        if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, args, environ) != 0) {
            std::fprintf(stderr, "cannot start %s\n", self.c_str());
            return 1;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            rc = 1;
    }
    return rc;
}

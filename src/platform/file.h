#pragma once
// One open file: the descriptor is closed on every path, writes go on until
// every byte is out, reads until the buffer is full or the file ends. And
// the one way a failure on a file becomes an error text: the program's words
// naming the file, and the operating system's reason.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace sendrix::platform {

class File {
public:
    File() = default;
    // Takes over `fd` (-1 for none).
    explicit File(int fd) : m_fd(fd) {}
    ~File();
    File(File&& other) noexcept : m_fd(other.release()) {}
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // open(2) of `path` with `flags` (O_CLOEXEC is added) and, for a new
    // file, `mode`. When it fails the result is not open and openError()
    // holds errno, read before anything else could change it.
    static File open(const std::string& path, int flags, mode_t mode = 0);

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    int openError() const { return m_openError; }
    // Gives the descriptor up without closing it; the object is then not open.
    int release();

    // Writes every byte, going on after short writes and interrupted calls.
    // 0 when all is written, else the failing write's errno (ENOSPC when a
    // write made no progress). `written`, when given, gets the number of
    // bytes written, also when a write fails.
    int writeAll(std::string_view bytes, std::size_t* written = nullptr);
    // Reads into `data` until `size` bytes are there or the file ends; the
    // number read, or -1 with errno set.
    ssize_t readFull(char* data, size_t size);
    // Closes now; 0, or close(2)'s errno (a delayed write error shows here).
    int close();

private:
    int m_fd = -1;
    int m_openError = 0;
};

// The number of bytes reading `path` to its end gives; 0 when it cannot be
// opened or read. For files that report a size of 0 and have content
// (/proc, some network file systems).
std::uint64_t bytesInFile(const std::string& path);

// Why `path` cannot be opened for reading, as fileErrorText says it; empty
// when it can. The open does not block (a pipe nobody writes to).
std::string readFault(const std::string& path);

// German text for an errno value: "Dateizugriff verweigert" (EACCES/EPERM),
// "Datei nicht gefunden" (ENOENT), "Nicht genügend Speicherplatz auf dem
// Datenträger" (ENOSPC), ...; falls back to "E/A-Fehler %d".
std::string fileErrorText(int errnoValue);

// Where the reason stands beside the program's text.
enum class ReasonAt {
    NextLine,    // "Datei /x kann nicht geöffnet werden\nDatei nicht gefunden"
    AfterColon,  // "In /x kann nicht geschrieben werden: Dateizugriff verweigert"
    Front,       // "Dateizugriff verweigert (/x/2026-03_EMail.log)"
};

// The FileError of a failed operation: `failure` is the program's complete
// text naming the file, `error` the errno, whose German reason joins it.
FileError fileFailure(const std::string& failure, int error, ReasonAt at = ReasonAt::NextLine);

}  // namespace sendrix::platform

#include "platform/text_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/text_codec.h"

namespace sendrix::platform {

namespace {

// Closes a descriptor on every path.
class FdGuard {
public:
    explicit FdGuard(int fd) : m_fd(fd) {}
    ~FdGuard() {
        if (m_fd >= 0) ::close(m_fd);
    }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    int get() const { return m_fd; }
    int release() {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool writeAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

// A link is replaced at its target, so the link itself stays.
std::string resolveLink(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) return resolved;
    // A dangling link: write where it points.
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    if (n <= 0) return path;
    target[n] = '\0';
    if (target[0] == '/') return target;
    return folderOf(path) + "/" + target;
}

}  // namespace

std::string readFileBytes(const std::string& path) {
    const std::string failure = "Datei " + path + " kann nicht geöffnet werden";
    FdGuard fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) throw FileError(failure, errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throw FileError(failure, errno);
    if (S_ISDIR(st.st_mode)) throw FileError(failure, EISDIR);
    std::string bytes;
    if (S_ISREG(st.st_mode) && st.st_size > 0) bytes.reserve(size_t(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw FileError(failure, errno);
        }
        if (n == 0) break;
        bytes.append(buffer, size_t(n));
    }
    return bytes;
}

std::vector<std::string> splitLines(std::string_view text, bool ctrlZEnds) {
    if (ctrlZEnds) {
        const size_t end = text.find('\x1A');
        if (end != std::string_view::npos) text = text.substr(0, end);
    }
    std::vector<std::string> lines;
    size_t start = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(text.substr(start, pos - start));
            if (c == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ++pos;
            start = pos + 1;
        }
        ++pos;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::vector<std::string> readTextFileLines(const std::string& path, bool ctrlZEnds) {
    std::string bytes = readFileBytes(path);
    if (ctrlZEnds) {
        // Cut before decoding, so what follows the end mark cannot sway the
        // choice of character set.
        const size_t end = bytes.find('\x1A');
        if (end != std::string::npos) bytes.resize(end);
    }
    return splitLines(decodeFileText(bytes), false);
}

void writeTextFileLines(const std::string& path, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    replaceFileAtomically(path, encodeFileText(text), "Datei " + path + " kann nicht erstellt werden");
}

void replaceFileAtomically(const std::string& path, std::string_view bytes,
                           const std::string& failureMessage, unsigned newMode) {
    const std::string target = resolveLink(path);

    mode_t mode = mode_t(newMode);
    bool exists = false;
    uid_t owner = 0;
    gid_t group = 0;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) throw FileError(failureMessage, EISDIR);
        if (!S_ISREG(st.st_mode)) throw FileError(failureMessage, EINVAL);
        // A file its owner made read-only stays as it is, even though the
        // folder would allow replacing it.
        if (::access(target.c_str(), W_OK) != 0) throw FileError(failureMessage, errno);
        exists = true;
        mode = st.st_mode & 07777;
        owner = st.st_uid;
        group = st.st_gid;
    } else if (errno != ENOENT) {
        throw FileError(failureMessage, errno);
    }

    const std::string folder = folderOf(target);
    const size_t slash = target.rfind('/');
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temp = folder + "/." + name + ".XXXXXX";
    FdGuard fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0) throw FileError(failureMessage, errno);

    int error = 0;
    if (!writeAll(fd.get(), bytes)) {
        error = errno;
    } else if (::fchmod(fd.get(), mode) != 0) {
        error = errno;
    } else if (::fsync(fd.get()) != 0) {
        error = errno;
    }
    if (error == 0 && exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid())) {
        // Keeps the owner where we may (as root); where we may not, the new
        // file simply belongs to us.
        if (::fchown(fd.get(), owner, group) != 0) {
        }
    }
    if (error == 0 && ::close(fd.release()) != 0) error = errno;
    if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        throw FileError(failureMessage, error);
    }

    // The rename itself reaches the disk with the folder.
    FdGuard dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool directoryExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool createDirectories(const std::string& path) {
    if (path.empty()) return false;
    if (directoryExists(path)) return true;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        const std::string part = path.substr(0, pos);
        if (part.empty() || directoryExists(part)) continue;
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return directoryExists(path);
}

std::string fileErrorText(int errnoValue) {
    switch (errnoValue) {
    case EACCES:
    case EPERM:
        return "Dateizugriff verweigert";
    case ENOENT:
        return "Datei nicht gefunden";
    case ENOTDIR:
        return "Pfad nicht gefunden";
    case ENOSPC:
    case EDQUOT:
        return "Nicht genügend Speicherplatz auf dem Datenträger";
    case EISDIR:
        return "Ist ein Ordner";
    case EROFS:
        return "Der Datenträger ist schreibgeschützt";
    case EEXIST:
        return "Die Datei existiert bereits";
    case ENAMETOOLONG:
        return "Der Dateiname ist zu lang";
    case EMFILE:
    case ENFILE:
        return "Zu viele offene Dateien";
    case EBUSY:
    case ETXTBSY:
        return "Die Datei wird von einem anderen Prozess verwendet";
    case EFBIG:
        return "Die Datei ist zu groß";
    case ELOOP:
        return "Zu viele symbolische Verknüpfungen";
    case EINVAL:
        return "Ungültiger Parameter";
    default:
        return "E/A-Fehler " + std::to_string(errnoValue);
    }
}

std::string fileNameOnly(const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace sendrix::platform

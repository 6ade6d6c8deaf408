#include "platform/text_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/text_codec.h"

namespace sendrix::platform {

namespace {

// A link is replaced at its target, so the link itself stays.
std::string resolveLink(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr)
        return resolved;
    // A dangling link: write where it points.
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    if (n <= 0)
        return path;
    target[n] = '\0';
    if (target[0] == '/')
        return target;
    return folderOf(path) + "/" + target;
}

}  // namespace

std::string readFileBytes(const std::string& path) {
    const std::string failure = "Datei " + path + " kann nicht geöffnet werden";
    File file = File::open(path, O_RDONLY);
    if (!file.isOpen())
        throw fileFailure(failure, file.openError());
    struct stat st {};
    if (::fstat(file.fd(), &st) != 0)
        throw fileFailure(failure, errno);
    if (S_ISDIR(st.st_mode))
        throw fileFailure(failure, EISDIR);
    std::string bytes;
    if (S_ISREG(st.st_mode) && st.st_size > 0)
        bytes.reserve(size_t(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = file.readFull(buffer, sizeof buffer);
        if (n < 0)
            throw fileFailure(failure, errno);
        bytes.append(buffer, size_t(n));
        if (size_t(n) < sizeof buffer)
            break;
    }
    return bytes;
}

std::vector<std::string> splitLines(std::string_view text, bool ctrlZEnds) {
    if (ctrlZEnds) {
        const size_t end = text.find('\x1A');
        if (end != std::string_view::npos)
            text = text.substr(0, end);
    }
    std::vector<std::string> lines;
    size_t start = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(text.substr(start, pos - start));
            if (c == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n')
                ++pos;
            start = pos + 1;
        }
        ++pos;
    }
    if (start < text.size())
        lines.emplace_back(text.substr(start));
    return lines;
}

std::vector<std::string> readTextFileLines(const std::string& path, bool ctrlZEnds) {
    std::string bytes = readFileBytes(path);
    if (ctrlZEnds) {
        // Cut before decoding, so what follows the end mark cannot sway the
        // choice of character set.
        const size_t end = bytes.find('\x1A');
        if (end != std::string::npos)
            bytes.resize(end);
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

void replaceFileAtomically(const std::string& path, std::string_view bytes, const std::string& failureMessage,
                           unsigned newMode, FileAccess access) {
    const std::string target = resolveLink(path);

    mode_t mode = mode_t(newMode);
    bool exists = false;
    uid_t owner = 0;
    gid_t group = 0;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            throw FileError(failureMessage, EISDIR);
        if (!S_ISREG(st.st_mode))
            throw FileError(failureMessage, EINVAL);
        // A file its owner made read-only stays as it is, even though the
        // folder would allow replacing it.
        if (::access(target.c_str(), W_OK) != 0)
            throw FileError(failureMessage, errno);
        exists = true;
        mode = st.st_mode & 07777;
        owner = st.st_uid;
        group = st.st_gid;
    } else if (errno != ENOENT) {
        throw FileError(failureMessage, errno);
    }
    if (access == FileAccess::OwnerOnly)
        mode &= ~mode_t(S_IRWXG | S_IRWXO);

    const std::string folder = folderOf(target);
    const size_t slash = target.rfind('/');
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temp = folder + "/." + name + ".XXXXXX";
    File file(::mkostemp(temp.data(), O_CLOEXEC));
    if (!file.isOpen())
        throw FileError(failureMessage, errno);

    int error = file.writeAll(bytes);
    if (error == 0 && ::fchmod(file.fd(), mode) != 0)
        error = errno;
    if (error == 0 && ::fsync(file.fd()) != 0)
        error = errno;
    if (error == 0 && exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid())) {
        // Keeps the owner where we may (as root); where we may not, the new
        // file simply belongs to us.
        if (::fchown(file.fd(), owner, group) != 0) {}
    }
    if (error == 0)
        error = file.close();
    if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        throw FileError(failureMessage, error);
    }

    // The rename itself reaches the disk with the folder.
    const File dir = File::open(folder, O_RDONLY | O_DIRECTORY);
    if (dir.isOpen())
        ::fsync(dir.fd());
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool directoryExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool createDirectories(const std::string& path) {
    if (path.empty())
        return false;
    if (directoryExists(path))
        return true;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        const std::string part = path.substr(0, pos);
        if (part.empty() || directoryExists(part))
            continue;
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    return directoryExists(path);
}

std::string fileNameOnly(const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace sendrix::platform

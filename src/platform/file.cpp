#include "platform/file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace sendrix::platform {

File::~File() {
    if (m_fd >= 0)
        ::close(m_fd);
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.release();
        m_openError = other.m_openError;
    }
    return *this;
}

File File::open(const std::string& path, int flags, mode_t mode) {
    File file(::open(path.c_str(), flags | O_CLOEXEC, mode));
    if (!file.isOpen())
        file.m_openError = errno;
    return file;
}

int File::release() {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

int File::writeAll(std::string_view bytes, std::size_t* written) {
    const std::size_t size = bytes.size();
    const auto result = [&](int error) {
        if (written)
            *written = size - bytes.size();
        return error;
    };
    while (!bytes.empty()) {
        const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return result(errno);
        if (n == 0)
            return result(ENOSPC);
        bytes.remove_prefix(size_t(n));
    }
    return result(0);
}

ssize_t File::readFull(char* data, size_t size) {
    size_t filled = 0;
    while (filled < size) {
        const ssize_t n = ::read(m_fd, data + filled, size - filled);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        filled += size_t(n);
    }
    return ssize_t(filled);
}

int File::close() {
    // The descriptor is gone whatever close(2) says; retrying could close
    // one another thread has just opened.
    if (m_fd < 0)
        return 0;
    return ::close(release()) == 0 ? 0 : errno;
}

std::uint64_t bytesInFile(const std::string& path) {
    File file = File::open(path, O_RDONLY | O_NONBLOCK);
    if (!file.isOpen())
        return 0;
    std::uint64_t total = 0;
    char block[65536];
    for (;;) {
        const ssize_t n = file.readFull(block, sizeof block);
        if (n <= 0)
            return total;
        total += static_cast<std::uint64_t>(n);
        if (static_cast<size_t>(n) < sizeof block)
            return total;
    }
}

std::string readFault(const std::string& path) {
    const File file = File::open(path, O_RDONLY | O_NONBLOCK);
    return file.isOpen() ? std::string() : fileErrorText(file.openError());
}

std::string fileErrorText(int errnoValue) {
    switch (errnoValue) {
        case EACCES:
        case EPERM: return "Dateizugriff verweigert";
        case ENOENT: return "Datei nicht gefunden";
        case ENOTDIR: return "Pfad nicht gefunden";
        case ENOSPC:
        case EDQUOT: return "Nicht genügend Speicherplatz auf dem Datenträger";
        case EISDIR: return "Ist ein Ordner";
        case EROFS: return "Der Datenträger ist schreibgeschützt";
        case EEXIST: return "Die Datei existiert bereits";
        case ENAMETOOLONG: return "Der Dateiname ist zu lang";
        case EMFILE:
        case ENFILE: return "Zu viele offene Dateien";
        case EBUSY:
        case ETXTBSY: return "Die Datei wird von einem anderen Prozess verwendet";
        case EFBIG: return "Die Datei ist zu groß";
        case ELOOP: return "Zu viele symbolische Verknüpfungen";
        case EINVAL: return "Ungültiger Parameter";
        default: return "E/A-Fehler " + std::to_string(errnoValue);
    }
}

FileError fileFailure(const std::string& failure, int error, ReasonAt at) {
    const std::string reason = fileErrorText(error);
    switch (at) {
        case ReasonAt::AfterColon: return FileError(failure + ": " + reason, error);
        case ReasonAt::Front: return FileError(reason + " " + failure, error);
        case ReasonAt::NextLine: break;
    }
    return FileError(failure + "\n" + reason, error);
}

}  // namespace sendrix::platform

#include "merge/send_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/error.h"
#include "platform/text_codec.h"
#include "platform/text_file.h"

namespace sendrix::merge {

namespace {

std::string oneLineField(const std::string& text) {
    std::string field = text;
    for (char& c : field)
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    return field;
}

[[noreturn]] void raiseLogError(const std::string& path, int error) {
    throw FileError("In das Sendeprotokoll " + path + " kann nicht geschrieben werden: " +
                        platform::fileErrorText(error),
                    error);
}

}  // namespace

std::string sendLogLine(const platform::LocalTime& when, int number, const std::string& user,
                        const std::string& address, const std::string& subject) {
    return platform::shortDate(when) + " " + platform::longTime(when) + "\t" +
           std::to_string(number) + "\t" + oneLineField(user) + "\t" + oneLineField(address) +
           "\t" + oneLineField(subject);
}

void appendSendLogLine(const std::string& path, const std::string& line) {
    const std::string bytes = platform::encodeFileText(line) + "\r\n";
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) raiseLogError(path, errno);
    const off_t before = ::lseek(fd, 0, SEEK_END);
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            if (before >= 0) (void)!::ftruncate(fd, before);
            ::close(fd);
            raiseLogError(path, error);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) raiseLogError(path, errno);
}

}  // namespace sendrix::merge

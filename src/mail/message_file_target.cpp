#include "mail/message_file_target.h"

#include <cerrno>
#include <unistd.h>

#include "platform/file.h"

namespace sendrix::mail {

void MessageBytesTarget::WriteText(std::string_view text) {
    for (char c : text) {
        // Every line the writer begins with "." got a second one; a stored
        // message has one.
        if (m_lineStart && c == '.') {
            m_lineStart = false;
            continue;
        }
        m_bytes += c;
        m_lineStart = c == '\n';
    }
}

void MessageBytesTarget::WriteLine(std::string_view text) {
    WriteText(text);
    WriteText("\r\n");
}

void MessageBytesTarget::WriteLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        WriteLine(line);
}

void MessageBytesTarget::WriteFromStream(int fd) {
    ::lseek(fd, 0, SEEK_SET);
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0)
            return;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw platform::fileFailure("Die Anlage kann nicht gelesen werden", errno,
                                        platform::ReasonAt::AfterColon);
        }
        WriteText(std::string_view(buffer, static_cast<std::size_t>(got)));
    }
}

}  // namespace sendrix::mail

#include "mail/memory_write_target.h"

#include <cerrno>
#include <unistd.h>

#include "mail/id_exception.h"

namespace sendrix::mail {

MemoryWriteTarget MemoryWriteTarget::countingOnly() {
    MemoryWriteTarget target;
    target.m_keep = false;
    return target;
}

void MemoryWriteTarget::keep(std::string_view bytes) {
    // Bytes up to the limit arrive; the rest is lost with the connection.
    const size_t room = m_failAfter - m_size;
    if (bytes.size() > room) {
        if (m_keep)
            m_bytes.append(bytes.substr(0, room));
        m_size += room;
        throw EIdSocketError(10054, "Verbindung wurde vom Server zurückgesetzt.");
    }
    if (m_keep)
        m_bytes.append(bytes);
    m_size += bytes.size();
}

void MemoryWriteTarget::WriteText(std::string_view text) {
    keep(text);
}

void MemoryWriteTarget::WriteLine(std::string_view text) {
    keep(text);
    keep("\r\n");
}

void MemoryWriteTarget::WriteLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        WriteLine(line);
}

void MemoryWriteTarget::WriteFromStream(int fd) {
    ++m_streamWrites;
    if (::lseek(fd, 0, SEEK_SET) < 0)
        throw EIdNoDataToRead("Keine Daten für den Lesezugriff.");
    std::vector<char> block(32768);
    for (;;) {
        const ssize_t n = ::read(fd, block.data(), block.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw EIdNoDataToRead("Keine Daten für den Lesezugriff.");
        if (n == 0)
            break;
        keep(std::string_view(block.data(), static_cast<size_t>(n)));
        m_streamed += static_cast<size_t>(n);
    }
}

std::vector<std::string> MemoryWriteTarget::Lines() const {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < m_bytes.size()) {
        const size_t end = m_bytes.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(m_bytes.substr(start));
            break;
        }
        lines.push_back(m_bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

}  // namespace sendrix::mail

#include "support/memory_write_target.h"

#include <cerrno>
#include <unistd.h>

#include "mail/id_exception.h"

namespace sendrix::test {

void MemoryWriteTarget::keep(std::string_view bytes)
{
    // Bytes up to the limit arrive; the rest is lost with the connection.
    const size_t room = m_failAfter - m_bytes.size();
    if (bytes.size() > room) {
        m_bytes.append(bytes.substr(0, room));
        throw mail::EIdSocketError(10054, "Verbindung wurde vom Server zurückgesetzt.");
    }
    m_bytes.append(bytes);
}

void MemoryWriteTarget::WriteText(std::string_view text)
{
    keep(text);
}

void MemoryWriteTarget::WriteLine(std::string_view text)
{
    keep(text);
    keep("\r\n");
}

void MemoryWriteTarget::WriteLines(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        WriteLine(line);
}

void MemoryWriteTarget::WriteFromStream(int fd)
{
    ++m_streamWrites;
    if (::lseek(fd, 0, SEEK_SET) < 0)
        throw mail::EIdNoDataToRead("Keine Daten für den Lesezugriff.");
    char block[8192];
    for (;;) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw mail::EIdNoDataToRead("Keine Daten für den Lesezugriff.");
        if (n == 0)
            break;
        keep(std::string_view(block, static_cast<size_t>(n)));
    }
}

std::vector<std::string> MemoryWriteTarget::Lines() const
{
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

}  // namespace sendrix::test

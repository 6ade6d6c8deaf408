#pragma once
// An in-memory stand-in for the connection's write operations: keeps every
// byte the message writer hands it, and can fail like a broken connection.
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "mail/id_write_target.h"

namespace sendrix::test {

class MemoryWriteTarget : public mail::IdWriteTarget {
public:
    // Once `failAfterBytes` bytes are kept, the next write throws
    // EIdSocketError 10054 (connection reset), as a peer that went away does.
    explicit MemoryWriteTarget(size_t failAfterBytes = std::numeric_limits<size_t>::max())
        : m_failAfter(failAfterBytes) {}

    void WriteText(std::string_view text) override;
    void WriteLine(std::string_view text) override;
    void WriteLines(const std::vector<std::string>& lines) override;
    void WriteFromStream(int fd) override;

    const std::string& Bytes() const { return m_bytes; }
    // The bytes cut at every CR LF; a final piece without CR LF is kept too.
    std::vector<std::string> Lines() const;
    int StreamWrites() const { return m_streamWrites; }

private:
    void keep(std::string_view bytes);

    std::string m_bytes;
    size_t m_failAfter;
    int m_streamWrites = 0;
};

}  // namespace sendrix::test

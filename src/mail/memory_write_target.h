#pragma once
// An in-memory stand-in for the connection's write operations: keeps every
// byte the message writer hands it (or only counts them), and can fail like
// a broken connection. The SMTP client holds a message without attachments
// in one before it goes out; tests, benchmarks and fuzz targets use it too.
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "mail/id_write_target.h"

namespace sendrix::mail {

class MemoryWriteTarget : public IdWriteTarget {
public:
    // Once `failAfterBytes` bytes are kept, the next write throws
    // EIdSocketError 10054 (connection reset), as a peer that went away does.
    explicit MemoryWriteTarget(size_t failAfterBytes = std::numeric_limits<size_t>::max())
        : m_failAfter(failAfterBytes) {}

    // A target that counts the bytes without keeping them, so that a large
    // attachment costs no memory here.
    static MemoryWriteTarget countingOnly();

    void WriteText(std::string_view text) override;
    void WriteLine(std::string_view text) override;
    void WriteLines(const std::vector<std::string>& lines) override;
    // Reads the file from its start in blocks of the connection's default
    // send buffer size (32 KiB), as a connection does.
    void WriteFromStream(int fd) override;

    // Empty for a counting target.
    const std::string& Bytes() const { return m_bytes; }
    // The bytes cut at every CR LF; a final piece without CR LF is kept too.
    std::vector<std::string> Lines() const;
    // Every byte written, and those of them read from streams.
    size_t Size() const { return m_size; }
    size_t StreamedBytes() const { return m_streamed; }
    int StreamWrites() const { return m_streamWrites; }

private:
    void keep(std::string_view bytes);

    std::string m_bytes;
    size_t m_failAfter;
    bool m_keep = true;
    size_t m_size = 0;
    size_t m_streamed = 0;
    int m_streamWrites = 0;
};

}  // namespace sendrix::mail

#pragma once
// The write operations the message writer needs of a connection.
// TIdTCPConnection implements them on a socket; tests use an in-memory sink.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sendrix::mail {

class IdWriteTarget {
public:
    virtual ~IdWriteTarget() = default;
    // The bytes unchanged.
    virtual void WriteText(std::string_view text) = 0;
    // The text followed by CR LF.
    virtual void WriteLine(std::string_view text) = 0;
    // Every entry as a line (text + CR LF).
    virtual void WriteLines(const std::vector<std::string>& lines) = 0;
    // The whole content of the open file `fd` from its start, in blocks of
    // the connection's send buffer size.
    virtual void WriteFromStream(int fd) = 0;
};

}  // namespace sendrix::mail

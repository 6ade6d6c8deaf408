#pragma once
// A write target that keeps the message as a mail server stores it: the
// bytes the writer hands over, with the dot that SMTP's transparency rule
// (RFC 5321 section 4.5.2) put in front of every line beginning with "."
// taken off again. What an .eml file of the message holds.
#include <string>
#include <string_view>
#include <vector>

#include "mail/id_write_target.h"

namespace sendrix::mail {

class MessageBytesTarget : public IdWriteTarget {
public:
    void WriteText(std::string_view text) override;
    void WriteLine(std::string_view text) override;
    void WriteLines(const std::vector<std::string>& lines) override;
    // Reads `fd` from its start to its end; throws FileError
    // when it cannot be read.
    void WriteFromStream(int fd) override;

    const std::string& Bytes() const { return m_bytes; }

private:
    std::string m_bytes;
    bool m_lineStart = true;
};

}  // namespace sendrix::mail

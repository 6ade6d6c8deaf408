#pragma once
// Assembling one numbered reply of a line protocol from its lines, apart
// from any socket so that it can be fed lines directly.
//
// A reply is one line, or several when the first line has "-" as its 4th
// character ("250-..."): then it ends with the first line that begins with
// the same three characters and a blank ("250 "), ignoring case, or with a
// line shorter than 4 characters (the bare code). Lines in between may say
// anything.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sendrix::mail {

// Most lines one reply may have; a hostile server must not fill the memory.
constexpr size_t kMaxReplyLines = 1000;

// The code of a reply line: 1 for "+OK" and 0 for "-ERR" (any case, as POP3
// servers answer), else the number in the first three characters, 0 when
// they are no number or are followed by anything but a blank, "-" or the
// line end ("250Ok", "2500 queued"). 0 never matches an expected code.
int replyCodeOfLine(std::string_view line);
// False for a line that is neither a coded reply line nor "-ERR".
bool wellFormedReplyLine(std::string_view line);

class IdReplyReader {
public:
    explicit IdReplyReader(size_t maxLines = kMaxReplyLines) : m_maxLines(maxLines) {}

    // Adds the next (trimmed, non-empty) line; true when the reply is complete.
    // Throws EIdProtocolReplyError when the reply grows past the line limit.
    // Precondition: !Complete().
    bool AddLine(std::string line);

    bool Complete() const { return m_complete; }
    const std::vector<std::string>& Lines() const { return m_lines; }
    // The lines, moved out of the reader.
    std::vector<std::string> TakeLines() { return std::move(m_lines); }
    // The code of the last line (replyCodeOfLine); 0 before any line.
    int Code() const;

private:
    size_t m_maxLines;
    std::vector<std::string> m_lines;
    std::string m_endMark;  // "250 " for a reply that began "250-"
    bool m_complete = false;
};

}  // namespace sendrix::mail

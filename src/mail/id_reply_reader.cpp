#include "mail/id_reply_reader.h"

#include "mail/id_exception.h"
#include "platform/ascii.h"
#include "platform/text_trim.h"

namespace sendrix::mail {

int replyCodeOfLine(std::string_view line) {
    if (platform::startsWithNoCase(line, "+OK"))
        return 1;
    if (platform::startsWithNoCase(line, "-ERR"))
        return 0;
    if (line.size() < 3)
        return 0;
    int code = 0;
    for (size_t i = 0; i < 3; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return 0;
        code = code * 10 + (line[i] - '0');
    }
    // "250Ok" and "2500 queued" are no replies with the code 250.
    if (line.size() > 3 && line[3] != ' ' && line[3] != '-')
        return 0;
    return code;
}

bool wellFormedReplyLine(std::string_view line) {
    return replyCodeOfLine(line) != 0 || platform::startsWithNoCase(line, "-ERR");
}

bool IdReplyReader::AddLine(std::string line) {
    if (m_lines.size() >= m_maxLines)
        throw EIdProtocolReplyError(
            0, "Die Antwort des Servers hat mehr als " + std::to_string(m_maxLines) + " Zeilen.");
    if (m_lines.empty()) {
        if (line.size() > 3 && line[3] == '-')
            m_endMark = line.substr(0, 3) + " ";
        else
            m_complete = true;
    } else if (line.size() < 4 || platform::startsWithNoCase(line, m_endMark)) {
        m_complete = true;
    }
    m_lines.push_back(std::move(line));
    return m_complete;
}

int IdReplyReader::Code() const {
    return m_lines.empty() ? 0 : replyCodeOfLine(m_lines.back());
}

}  // namespace sendrix::mail

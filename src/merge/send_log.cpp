#include "merge/send_log.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/file.h"
#include "platform/text_codec.h"
#include "platform/text_file.h"

namespace sendrix::merge {

namespace {

[[noreturn]] void raiseLogError(const std::string& path, int error) {
    throw platform::fileFailure("In das Sendeprotokoll " + path + " kann nicht geschrieben werden", error,
                                platform::ReasonAt::AfterColon);
}

}  // namespace

void appendLogField(std::string& line, std::string_view text) {
    line += '\t';
    const std::size_t start = line.size();
    line += text;
    for (std::size_t i = start; i < line.size(); ++i)
        if (line[i] == '\r' || line[i] == '\n' || line[i] == '\t')
            line[i] = ' ';
}

std::string sendLogLine(const platform::LocalTime& when, int number, const std::string& user,
                        const std::string& address, const std::string& subject) {
    // Built in place: one line per message of a list send.
    std::string line = platform::shortDate(when);
    line.reserve(line.size() + 24 + user.size() + address.size() + subject.size());
    line += ' ';
    line += platform::longTime(when);
    line += '\t';
    line += std::to_string(number);
    appendLogField(line, user);
    appendLogField(line, address);
    appendLogField(line, subject);
    return line;
}

void appendSendLogLine(const std::string& path, const std::string& line) {
    const std::string bytes = platform::encodeFileText(line) + "\r\n";
    platform::File log = platform::File::open(path, O_WRONLY | O_APPEND | O_CREAT, 0600);
    if (!log.isOpen())
        raiseLogError(path, log.openError());
    std::size_t written = 0;
    if (const int error = log.writeAll(bytes, &written)) {
        // Appending leaves the offset at the end of what was written, so
        // the line's start is found without asking for it before every line.
        const off_t end = written > 0 ? ::lseek(log.fd(), 0, SEEK_CUR) : -1;
        if (end >= off_t(written))
            (void)!::ftruncate(log.fd(), end - off_t(written));
        raiseLogError(path, error);
    }
    if (const int error = log.close())
        raiseLogError(path, error);
}

}  // namespace sendrix::merge

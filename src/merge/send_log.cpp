#include "merge/send_log.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/file.h"
#include "platform/text_codec.h"
#include "platform/text_file.h"

namespace sendrix::merge {

namespace {

std::string oneLineField(const std::string& text) {
    std::string field = text;
    for (char& c : field)
        if (c == '\r' || c == '\n' || c == '\t')
            c = ' ';
    return field;
}

[[noreturn]] void raiseLogError(const std::string& path, int error) {
    throw platform::fileFailure("In das Sendeprotokoll " + path + " kann nicht geschrieben werden", error,
                                platform::ReasonAt::AfterColon);
}

}  // namespace

std::string sendLogLine(const platform::LocalTime& when, int number, const std::string& user,
                        const std::string& address, const std::string& subject) {
    return platform::shortDate(when) + " " + platform::longTime(when) + "\t" + std::to_string(number) + "\t" +
           oneLineField(user) + "\t" + oneLineField(address) + "\t" + oneLineField(subject);
}

void appendSendLogLine(const std::string& path, const std::string& line) {
    const std::string bytes = platform::encodeFileText(line) + "\r\n";
    platform::File log = platform::File::open(path, O_WRONLY | O_APPEND | O_CREAT, 0600);
    if (!log.isOpen())
        raiseLogError(path, log.openError());
    const off_t before = ::lseek(log.fd(), 0, SEEK_END);
    if (const int error = log.writeAll(bytes)) {
        if (before >= 0)
            (void)!::ftruncate(log.fd(), before);
        raiseLogError(path, error);
    }
    if (const int error = log.close())
        raiseLogError(path, error);
}

}  // namespace sendrix::merge

#include "merge/sent_archive.h"

#include <sys/stat.h>

#include "merge/body_file.h"
#include "platform/ascii.h"
#include "platform/system_info.h"
#include "platform/text_codec.h"
#include "platform/text_file.h"

namespace sendrix::merge {

namespace {

constexpr std::size_t kMaxFileNameBytes = 255;

// The longest prefix of `text` within `bytes` bytes that ends on a UTF-8
// character boundary.
std::string cutAtCharacter(const std::string& text, std::size_t bytes) {
    if (text.size() <= bytes)
        return text;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

}  // namespace

std::string archiveSubject(std::string_view subject) {
    std::string out;
    out.reserve(subject.size());
    for (char c : subject) {
        switch (c) {
            case '\\':
            case '/':
            case ':':
            case '*':
            case '?':
            case '"':
            case '<':
            case '>':
            case '|': break;
            default: out += c;
        }
    }
    return out;
}

std::string archiveFileName(const std::string& folder, const platform::LocalTime& start,
                            const std::string& subject) {
    using platform::TwoDigits;
    const std::string stamp = std::to_string(start.year) + TwoDigits(start.month) + TwoDigits(start.day) +
                              "_" + TwoDigits(start.hour) + TwoDigits(start.minute) + "-";
    const std::string extension = ".txt";
    const std::size_t room = kMaxFileNameBytes - stamp.size() - extension.size();
    std::string name = stamp + cutAtCharacter(archiveSubject(subject), room) + extension;
    if (folder.empty() || folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

std::string writeSentArchive(const std::string& folder, const platform::LocalTime& start,
                             const std::string& subject, const std::vector<std::string>& body) {
    ::mkdir(folder.c_str(), 0755);
    const std::string path = archiveFileName(folder, start, subject);
    platform::replaceFileAtomically(path, platform::encodeFileText(joinBodyText(body)),
                                    "Datei " + path + " kann nicht erstellt werden");
    return path;
}

}  // namespace sendrix::merge

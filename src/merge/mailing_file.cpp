#include "merge/mailing_file.h"

#include <fcntl.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>

#include "merge/body_file.h"
#include "merge/html_images.h"
#include "platform/ascii.h"
#include "platform/file.h"
#include "platform/text_codec.h"
#include "platform/text_file.h"
#include "platform/text_trim.h"

namespace sendrix::merge {

namespace {

constexpr std::string_view kMailingSection = "[Mailing]";
constexpr std::string_view kTextSection = "[Text]";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// One line of the text and where the next one starts.
struct Line {
    std::string_view text;
    std::size_t next;
};

Line lineAt(std::string_view text, std::size_t start) {
    std::size_t end = start;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n')
        ++end;
    std::size_t next = end;
    if (next < text.size() && text[next] == '\r')
        ++next;
    if (next < text.size() && text[next] == '\n')
        ++next;
    return {text.substr(start, end - start), next};
}

std::string lineError(int number, std::string_view line, const std::string& reason) {
    return "Zeile " + std::to_string(number) + " \"" + std::string(line) + "\" " + reason;
}

bool parseSwitch(std::string_view value, int number, std::string_view line) {
    if (value == "1")
        return true;
    if (value == "0" || value.empty())
        return false;
    throw MailingFileError(lineError(number, line, "hat keinen der Werte 0 oder 1"));
}

int parsePriority(std::string_view value, int number, std::string_view line) {
    for (int i = 0; i < 5; ++i)
        if (platform::equalsNoCase(value, kPriorityNames[i]))
            return i;
    throw MailingFileError(
        lineError(number, line, "nennt keine Priorität (Highest, High, Normal, Low oder Lowest)"));
}

std::string resolvedPath(std::string_view value, const std::string& folder) {
    if (value.empty())
        return {};
    std::string path(value);
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.front() == '/')
        return std::filesystem::path(path).lexically_normal().string();
    return (std::filesystem::path(folder) / path).lexically_normal().string();
}

std::string storedPath(const std::string& path, const std::string& folder) {
    if (path.empty())
        return {};
    // A relative path (from the command line) is relative to the current
    // folder, where the program found the file.
    std::error_code noCurrentFolder;
    std::filesystem::path full = std::filesystem::absolute(path, noCurrentFolder);
    if (noCurrentFolder)
        full = path;
    const std::filesystem::path normal = full.lexically_normal();
    const std::filesystem::path base = std::filesystem::path(folder).lexically_normal();
    const std::filesystem::path relative = normal.lexically_relative(base);
    // Only a file inside the folder is written relative: it moves with the
    // mailing; one elsewhere stays where it is.
    if (normal.is_absolute() && !relative.empty() && *relative.begin() != "..")
        return relative.string();
    return normal.string();
}

// A value never holds a line end: it would start a line of its own.
std::string oneLine(std::string_view value) {
    std::string text(value);
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return text;
}

std::optional<int> attachmentNumber(std::string_view key) {
    constexpr std::string_view prefix = "Anhang";
    if (!platform::startsWithNoCase(key, prefix) || key.size() == prefix.size())
        return std::nullopt;
    const std::string_view digits = key.substr(prefix.size());
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        digits.size() > 6)
        return std::nullopt;
    return std::stoi(std::string(digits));
}

}  // namespace

bool isMailingFile(const std::string& path) {
    // A missing file is none: the first argument may also be a switch such
    // as "/s:Bericht.mailing".
    if (!platform::fileExists(path))
        return false;
    constexpr std::string_view extension = ".mailing";
    if (path.size() > extension.size() &&
        platform::equalsNoCase(std::string_view(path).substr(path.size() - extension.size()), extension))
        return true;
    // Only the first line counts: a long list is not read twice. A file that
    // cannot be read goes on as a list, whose reader names the reason.
    platform::File file = platform::File::open(path, O_RDONLY);
    char buffer[64];
    const ssize_t count = file.isOpen() ? file.readFull(buffer, sizeof buffer) : -1;
    if (count <= 0)
        return false;
    std::string_view start(buffer, static_cast<std::size_t>(count));
    if (start.starts_with(kByteOrderMark))
        start.remove_prefix(kByteOrderMark.size());
    return platform::equalsNoCase(platform::trimBlanks(lineAt(start, 0).text), kMailingSection);
}

MailingDocument parseMailing(std::string_view text, const std::string& folder) {
    MailingDocument mailing;
    std::map<int, std::string> attachments;
    enum class Section { None, Mailing, Other } section = Section::None;
    bool sawMailing = false;
    std::size_t position = 0;
    int number = 0;
    while (position < text.size()) {
        const Line line = lineAt(text, position);
        position = line.next;
        ++number;
        const std::string_view trimmed = platform::trimBlanks(line.text);
        if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#')
            continue;
        if (trimmed.front() == '[') {
            if (platform::equalsNoCase(trimmed, kTextSection)) {
                std::string_view body = text.substr(position);
                // The last line end of the file closes the body's last line.
                if (body.ends_with("\r\n"))
                    body.remove_suffix(2);
                else if (body.ends_with('\n') || body.ends_with('\r'))
                    body.remove_suffix(1);
                mailing.body = splitBodyText(body);
                break;
            }
            section = platform::equalsNoCase(trimmed, kMailingSection) ? Section::Mailing : Section::Other;
            sawMailing = sawMailing || section == Section::Mailing;
            continue;
        }
        if (section == Section::Other)
            continue;
        const std::size_t equals = trimmed.find('=');
        if (section == Section::None || equals == std::string_view::npos)
            throw MailingFileError(lineError(
                number, line.text, "ist keine Zeile der Form Schlüssel=Wert im Abschnitt [Mailing]"));
        const std::string_view key = platform::trimBlanks(trimmed.substr(0, equals));
        const std::string_view value = platform::trimBlanks(trimmed.substr(equals + 1));
        auto is = [&](std::string_view name) { return platform::equalsNoCase(key, name); };
        if (is("Betreff"))
            mailing.subject = value;
        else if (is("Empfaengerliste"))
            mailing.listFile = resolvedPath(value, folder);
        else if (const std::optional<int> index = attachmentNumber(key)) {
            if (!value.empty())
                attachments[*index] = resolvedPath(value, folder);
        } else if (is("BenutzeAnrede"))
            mailing.salutation = parseSwitch(value, number, line.text);
        else if (is("Anredetext"))
            mailing.salutationTemplate = value;
        else if (is("CC"))
            mailing.cc = value;
        else if (is("BCC"))
            mailing.bcc = value;
        else if (is("Antwortadresse"))
            mailing.replyTo = value;
        else if (is("Prioritaet"))
            mailing.priorityIndex = parsePriority(value, number, line.text);
        else if (is("HTML"))
            mailing.html = parseSwitch(value, number, line.text);
        else if (is("Lesebestaetigung"))
            mailing.receipt = parseSwitch(value, number, line.text);
        else if (is("Abmeldeadresse"))
            mailing.unsubscribeAddress = value;
        else if (is("Abmeldezeile"))
            mailing.unsubscribeLine = parseSwitch(value, number, line.text);
    }
    if (!sawMailing)
        throw MailingFileError("der Abschnitt [Mailing] fehlt");
    for (auto& [index, path] : attachments)
        mailing.attachments.push_back(std::move(path));
    return mailing;
}

std::string formatMailing(const MailingDocument& mailing, const std::string& folder) {
    std::string text;
    auto key = [&](std::string_view name, std::string_view value) {
        text += name;
        text += '=';
        text += oneLine(value);
        text += "\r\n";
    };
    text += kMailingSection;
    text += "\r\n";
    key("Betreff", mailing.subject);
    key("Empfaengerliste", storedPath(mailing.listFile, folder));
    for (std::size_t i = 0; i < mailing.attachments.size(); ++i)
        key("Anhang" + std::to_string(i + 1), storedPath(mailing.attachments[i], folder));
    key("BenutzeAnrede", mailing.salutation ? "1" : "0");
    key("Anredetext", mailing.salutationTemplate);
    key("CC", mailing.cc);
    key("BCC", mailing.bcc);
    key("Antwortadresse", mailing.replyTo);
    const int priority = mailing.priorityIndex >= 0 && mailing.priorityIndex < 5 ? mailing.priorityIndex : 2;
    key("Prioritaet", kPriorityNames[priority]);
    key("HTML", mailing.html ? "1" : "0");
    key("Lesebestaetigung", mailing.receipt ? "1" : "0");
    // Only a mailing that has one names it: files stay as they were.
    if (!mailing.unsubscribeAddress.empty()) {
        key("Abmeldeadresse", mailing.unsubscribeAddress);
        key("Abmeldezeile", mailing.unsubscribeLine ? "1" : "0");
    }
    text += "\r\n";
    text += kTextSection;
    text += "\r\n";
    if (!mailing.body.empty()) {
        text += joinBodyText(mailing.html ? imagePathsRelativeTo(mailing.body, folder) : mailing.body);
        text += "\r\n";
    }
    return text;
}

MailingDocument readMailingFile(const std::string& path) {
    const std::string text = platform::decodeFileText(platform::readFileBytes(path));
    const std::string folder = std::filesystem::path(path).parent_path().string();
    try {
        return parseMailing(text, folder.empty() ? "." : folder);
    } catch (const MailingFileError& error) {
        throw MailingFileError("Die Datei " + path + " ist kein gültiges Mailing: " + error.what() + ".");
    }
}

void writeMailingFile(const std::string& path, const MailingDocument& mailing) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    platform::replaceFileAtomically(path, std::string(kByteOrderMark) + formatMailing(mailing, folder),
                                    "Datei " + path + " kann nicht erstellt werden");
}

}  // namespace sendrix::merge

#include "app/command_line.h"

#include "platform/ascii.h"
#include "platform/text_codec.h"
#include "platform/text_trim.h"
#include "platform/visible_text.h"

namespace sendrix::app {

namespace {

constexpr std::size_t kValueLength = 100;
constexpr std::size_t kAttachmentValueLength = 200;

// The value after `prefix`, cut to `length` characters.
std::string valueAfter(const std::string& argument, const std::string& prefix,
                       std::size_t length = kValueLength) {
    const std::string_view value = std::string_view(argument).substr(prefix.size());
    return std::string(platform::leftCharacters(value, length));
}

// Matches one of the prefixes; `value` gets the cut value.
bool matchPrefix(const std::string& argument, std::initializer_list<const char*> prefixes, std::string& value,
                 std::size_t length = kValueLength) {
    for (const char* prefix : prefixes) {
        if (platform::startsWithNoCase(argument, prefix)) {
            value = valueAfter(argument, prefix, length);
            return true;
        }
    }
    return false;
}

std::string dashMeansEmpty(const std::string& value) {
    return value == "-" ? "" : value;
}

// The value of a one-line field. A calling program may pass Windows-1252
// bytes; text that is not UTF-8 is read as such, as files are. The window's
// fields cannot hold a line break, and one reaching a header line or an SMTP
// command would end it, so every control character becomes a blank. Then
// trimmed.
std::string fieldValue(const std::string& value) {
    std::string line = platform::decodeFileText(value);
    for (char& c : line) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            c = ' ';
    }
    return platform::trimControl(line);
}

// The value of a text switch ("/s:", "/N:") as the same text from Mail.ini
// arrives: a line break (which no line of Mail.ini can hold) becomes a
// blank, every other control character stays and the message writer encodes
// it. Then trimmed.
std::string textFieldValue(const std::string& value) {
    std::string line = platform::decodeFileText(value);
    for (char& c : line)
        if (c == '\r' || c == '\n')
            c = ' ';
    return platform::trimControl(line);
}

// The value of an address switch ("/to:", "/cc:", "/bcc:", "/R:", "/e:",
// "/from:") that `argument` matched with `prefix`, as fieldValue makes it.
// What would turn it into other addresses is a fault of its own in
// `faults`: a control character inside it (a line break would have become a
// blank and the text beside it a second address) and an address cut by the
// length limit (the rest would be mailed: a local mailbox, another domain).
// `recipients`: the value names recipients, and the fault says they get
// nothing; otherwise that nothing was sent.
std::string addressFieldValue(const std::string& argument, std::string_view prefix,
                              std::vector<std::string>& faults, bool recipients = true) {
    const std::string_view whole = std::string_view(argument).substr(prefix.size());
    const std::string_view kept = platform::leftCharacters(whole, kValueLength);
    const std::string_view switchName = std::string_view(argument).substr(0, prefix.size());
    if (whole.substr(kept.size()).find_first_not_of(" ,\t") != std::string_view::npos)
        faults.push_back("Der Wert von " + std::string(switchName) + " ist länger als " +
                         std::to_string(kValueLength) +
                         (recipients ? " Zeichen; an die gekürzten Adressen wird nicht gesendet: \""
                                     : " Zeichen; es wurde nichts gesendet: \"") +
                         platform::visibleText(kept) + "\"");
    const std::string trimmed = platform::trimControl(platform::decodeFileText(kept));
    for (char c : trimmed) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            faults.push_back(
                "Der Wert von " + std::string(switchName) +
                " enthält ein Steuerzeichen (etwa ein Zeilenende); " +
                (recipients ? "an diese Adressen wird nicht gesendet: \"" : "es wurde nichts gesendet: \"") +
                platform::visibleText(trimmed) + "\"");
            break;
        }
    }
    return fieldValue(std::string(kept));
}

// The prefix of `prefixes` that `argument` begins with, nullptr for none.
const char* matchedPrefix(const std::string& argument, std::initializer_list<const char*> prefixes) {
    for (const char* prefix : prefixes)
        if (platform::startsWithNoCase(argument, prefix))
            return prefix;
    return nullptr;
}

}  // namespace

CommandLineOptions ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLineOptions options;
    for (const std::string& argument : arguments) {
        std::string value;
        // Every switch is tried in turn; an argument may match none.
        if (platform::startsWithNoCase(argument, "/ANREDE"))
            options.SalutationSwitch = 1;
        if (platform::startsWithNoCase(argument, "/KEINEANREDE"))
            options.SalutationSwitch = 0;
        if (const char* prefix = matchedPrefix(argument, {"/e:", "/from:"}))
            options.SenderOverride = addressFieldValue(argument, prefix, options.Faults, false);
        if (platform::startsWithNoCase(argument, "/sofort"))
            options.SendImmediately = true;
        if (platform::equalsNoCase(argument, "/dontsave"))
            options.DontSave = true;
        if (platform::equalsNoCase(argument, "/weiter"))
            options.ContinueAfterRefusal = true;
        if (platform::equalsNoCase(argument, "/fortsetzen"))
            options.ContinueRun = true;
        for (const char* name : {"/ruecklaeufer", "/r\xC3\xBC" "ckl\xC3\xA4" "ufer"}) {
            if (platform::equalsNoCase(argument, name))
                options.CheckReports = true;
            if (platform::equalsNoCase(argument, std::string(name) + ":verschieben"))
                options.CheckReports = options.MoveReports = true;
        }
        if (matchPrefix(argument, {"/A:"}, value, kAttachmentValueLength))
            options.Files.push_back({CommandLineFile::Kind::Attachment, platform::trimControl(value)});
        if (matchPrefix(argument, {"/B:"}, value))
            options.Files.push_back({CommandLineFile::Kind::Body, value});
        if (matchPrefix(argument, {"/s:", "/subject:"}, value))
            options.Subject = textFieldValue(value);
        if (const char* prefix = matchedPrefix(argument, {"/to:"}))
            options.To = addressFieldValue(argument, prefix, options.Faults);
        if (const char* prefix = matchedPrefix(argument, {"/cc:"}))
            options.CC = dashMeansEmpty(addressFieldValue(argument, prefix, options.Faults));
        if (const char* prefix = matchedPrefix(argument, {"/bcc:"}))
            options.BCC = dashMeansEmpty(addressFieldValue(argument, prefix, options.Faults));
        if (platform::startsWithNoCase(argument, "/D") && argument.size() >= 3) {
            switch (platform::asciiUpper(argument[2])) {
                case 'T': options.SubjectStamp = 1; break;
                case 'D': options.SubjectStamp = 2; break;
                case 'A': options.SubjectStamp = 3; break;
                default: break;
            }
        }
        if (const char* prefix = matchedPrefix(argument, {"/R:"}))
            options.ReplyTo = addressFieldValue(argument, prefix, options.Faults, false);
        if (matchPrefix(argument, {"/N:"}, value))
            options.DisplayNameOverride = textFieldValue(value);
        if (matchPrefix(argument, {"/INI:"}, value))
            options.IniFiles.push_back(value);
        // A folder cut to a fixed length would put the files somewhere else.
        if (matchPrefix(argument, {"/eml:"}, value, std::string::npos))
            options.DryRunFolder = platform::trimControl(value);
        if (matchPrefix(argument, {"/Blatt:"}, value, std::string::npos))
            options.Sheet = platform::trimControl(platform::decodeFileText(value));
    }
    return options;
}

}  // namespace sendrix::app

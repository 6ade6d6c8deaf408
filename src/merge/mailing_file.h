#pragma once
// A mailing as a file: what the window needs to send the same mailing again
// (subject, body, list, attachments and the options of the message), in an
// INI-like text a person can read and edit:
//
//   [Mailing]
//   Betreff=Rundbrief {{Mitgliedsnummer}}
//   Empfaengerliste=mitglieder.csv
//   Anhang1=satzung.pdf
//   BenutzeAnrede=1
//   Anredetext=Sehr geehrte%m/w %Name,
//   CC=
//   BCC=
//   Antwortadresse=
//   Prioritaet=Normal
//   HTML=0
//   Lesebestaetigung=0
//   Abmeldeadresse=abmelden@example.org    (optional: List-Unsubscribe)
//   Abmeldezeile=1                         (the body ends with a line naming it)
//
//   [Text]
//   every line up to the end of the file is the body, as it stands
//
// Keys match without regard to case; blanks around keys and values are
// dropped; lines beginning with ";" or "#" and empty lines before [Text] are
// comments. Keys and sections the program does not know are skipped, so a
// file of a later version still opens. Paths are relative to the file's
// folder ("\" read as "/"); absolute paths stay as they are. The images of
// an HTML body (<img src>) are written relative to the folder too when they
// lie in it, and read as they stand (the send looks for them there).
#include <string>
#include <vector>

#include "platform/error.h"

namespace sendrix::merge {

struct MailingDocument {
    std::string subject;
    std::vector<std::string> body;  // lines as the body editor holds them (body_file.h)
    std::string listFile;           // empty: no recipient list
    std::vector<std::string> attachments;
    bool salutation = false;
    std::string salutationTemplate;
    std::string cc;
    std::string bcc;
    std::string replyTo;
    int priorityIndex = 2;  // 0 Highest ... 4 Lowest
    bool html = false;
    bool receipt = false;
    std::string unsubscribeAddress;  // "Abmeldeadresse", empty: none
    bool unsubscribeLine = false;    // "Abmeldezeile"

    bool operator==(const MailingDocument&) const = default;
};

// A file that is no readable mailing; the text names the file and the line.
class MailingFileError : public Error {
public:
    using Error::Error;
};

// Names of the priorities in the order of their index.
inline constexpr const char* kPriorityNames[] = {"Highest", "High", "Normal", "Low", "Lowest"};

// True for an existing file whose name ends in ".mailing" (any case) or
// whose first line is "[Mailing]": such a file is read as a mailing, not as
// a recipient list.
bool isMailingFile(const std::string& path);

// Decoded file text to a mailing; relative paths are joined to `folder`
// (with or without its trailing "/"). Throws MailingFileError (without the
// file name) for a text without a [Mailing] section, a line there that is
// no "Key=Value", or a value of HTML, Lesebestaetigung, BenutzeAnrede or
// Prioritaet the key cannot take.
MailingDocument parseMailing(std::string_view text, const std::string& folder);

// The file text of a mailing; paths inside `folder` are written relative to
// it, others as they are. Line ends inside values become blanks, so a value
// can never start a line of its own.
std::string formatMailing(const MailingDocument& mailing, const std::string& folder);

// Reads the file (UTF-8 or Windows-1252, with or without byte-order mark).
// Throws FileError when it cannot be read, MailingFileError "Die Datei %s
// ist kein gültiges Mailing: <reason>." when it is no mailing.
MailingDocument readMailingFile(const std::string& path);

// Writes the file in UTF-8 with a byte-order mark (every character, and
// read back the same whatever the text holds), replacing it in one step.
// Throws FileError naming the file; an existing file is then unchanged.
void writeMailingFile(const std::string& path, const MailingDocument& mailing);

}  // namespace sendrix::merge

#pragma once
// The monthly send log: one line per message attempt, appended, fields
// separated by a tab, ended by CR LF.
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace sendrix::merge {

// "<short date> <long time>\t<number>\t<user>\t<address>\t<subject>". A CR,
// LF or tab inside a field becomes a blank, so one attempt is always one
// line of five fields, whatever an address or a subject holds.
std::string sendLogLine(const platform::LocalTime& when, int number, const std::string& user,
                        const std::string& address, const std::string& subject);

// Appends a tab and `text` to `line`, a CR, LF or tab in it made a blank:
// a field of a tab-separated line that no value can split.
void appendLogField(std::string& line, std::string_view text);

// Appends the line and CR LF (Windows-1252 when every character fits, else
// UTF-8), opening and closing the file for this one line; a new file gets
// mode 0600, since the log names every recipient. Throws FileError naming
// the file when the line cannot be written whole; a partly written line is
// taken back, so the log never holds half a line.
void appendSendLogLine(const std::string& path, const std::string& line);

}  // namespace sendrix::merge

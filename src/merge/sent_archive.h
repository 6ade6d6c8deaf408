#pragma once
// The sent-objects archive: the body text of one list send, stored before
// the first message under a name made of the start time and the subject.
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"

namespace sendrix::merge {

// The subject without the characters \ / : * ? " < > |, which no file name
// on the systems the archive is shared with may hold.
std::string archiveSubject(std::string_view subject);

// folder + "/" + year + month + day + "_" + hour + minute + "-" + subject +
// ".txt", e.g. "/srv/sent/20260308_1405-Rundbrief.txt". The subject part is
// cut (at a character boundary) so the name stays within the 255 bytes a
// file name may have.
std::string archiveFileName(const std::string& folder, const platform::LocalTime& start,
                            const std::string& subject);

// Creates `folder` (one level; when that fails, the write names the file),
// then writes the body text unchanged (lines joined by CR LF, no line end
// added), replacing a file of the same name. Returns the file's path.
// Throws FileError naming the file when it cannot be written.
std::string writeSentArchive(const std::string& folder, const platform::LocalTime& start,
                             const std::string& subject, const std::vector<std::string>& body);

}  // namespace sendrix::merge

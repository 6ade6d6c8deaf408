#pragma once
// Whole-file reads and writes of 8-bit text, and file-system helpers.
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"  // fileErrorText, FileError

namespace sendrix::platform {

// The file's bytes. Throws FileError "Datei %s kann nicht geöffnet werden"
// with the reason on a second line.
std::string readFileBytes(const std::string& path);

// Splits at CR LF, LF and lone CR. With `ctrlZEnds`, a Ctrl-Z (0x1A) byte
// ends the text. A last line without line end counts; a text ending in a
// line end has no empty line after it.
std::vector<std::string> splitLines(std::string_view text, bool ctrlZEnds = false);

// readFileBytes + decodeFileText + splitLines.
std::vector<std::string> readTextFileLines(const std::string& path, bool ctrlZEnds = false);

// Every line followed by CR LF, encoded by encodeFileText, replacing the
// file atomically. Throws FileError "Datei %s kann nicht erstellt werden".
void writeTextFileLines(const std::string& path, const std::vector<std::string>& lines);

// Who may use a file after it is written.
enum class FileAccess {
    Keep,       // an existing file keeps its permissions
    OwnerOnly,  // group and others lose theirs (0644 becomes 0600)
};

// Writes bytes to `path` atomically (temporary file in the same folder +
// rename), keeping an existing file's permissions (less those of group and
// others with FileAccess::OwnerOnly), new files get `newMode` (likewise).
// Throws FileError with `failureMessage` (a full text) on any failure; the
// old file is then untouched.
void replaceFileAtomically(const std::string& path, std::string_view bytes, const std::string& failureMessage,
                           unsigned newMode = 0644, FileAccess access = FileAccess::Keep);

bool fileExists(const std::string& path);  // a regular file (or link to one)
bool directoryExists(const std::string& path);
// The folder of `path`: what stands before its last "/" ("." when there is
// none, "/" for a file in the root).
std::string folderOf(const std::string& path);
// Creates the folder with all missing parents; true when it exists afterwards.
bool createDirectories(const std::string& path);

// The part after the last "/" or "\".
std::string fileNameOnly(const std::string& path);

}  // namespace sendrix::platform

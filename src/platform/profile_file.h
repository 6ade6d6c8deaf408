#pragma once
// INI-style settings files, read and written one key at a time; the file is
// opened for every access and never held open.
//
// Sections and keys match without regard to case. A read returns at most
// 2047 characters, without surrounding blanks and without one enclosing pair
// of double or single quotes. A missing file reads as empty. A write replaces
// the key's value in place (or appends key and section) and keeps every other
// line; the file is replaced atomically (temporary file + rename in the same
// folder), keeps its permissions, and is created with mode 0600.
// Values are UTF-8 in the program; the file is Windows-1252 where every
// character fits (see text_codec.h).
#include <string>

#include "platform/text_file.h"  // FileAccess

namespace sendrix::platform {

std::string readProfileString(const std::string& path, const std::string& section, const std::string& key,
                              const std::string& defaultValue);

// Decimal, or hexadecimal after "0x"/"0X"; anything else gives the default.
int readProfileInt(const std::string& path, const std::string& section, const std::string& key,
                   int defaultValue);

// Read as an integer: any value other than 0 is true.
bool readProfileBool(const std::string& path, const std::string& section, const std::string& key,
                     bool defaultValue);

// Throws FileError "In %s kann nicht geschrieben werden" (the path) when the
// file cannot be written; the file is then unchanged. With
// FileAccess::OwnerOnly group and others lose their permissions on it.
void writeProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value, FileAccess access = FileAccess::Keep);
void writeProfileInt(const std::string& path, const std::string& section, const std::string& key, int value,
                     FileAccess access = FileAccess::Keep);
// Written as "1" or "0".
void writeProfileBool(const std::string& path, const std::string& section, const std::string& key, bool value,
                      FileAccess access = FileAccess::Keep);

}  // namespace sendrix::platform

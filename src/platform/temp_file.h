#pragma once
// Uniquely named temporary files in the system's temporary folder.
#include <string>

#include "platform/file.h"

namespace sendrix::platform {

// $TMPDIR, else /tmp.
std::string temporaryFolder();

// An open temporary file that is deleted when the object goes away, on every
// path. Throws FileError with `failureMessage` when it cannot be created.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& failureMessage);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int fd() const { return m_file.fd(); }
    File& file() { return m_file; }
    const std::string& path() const { return m_path; }

private:
    File m_file;
    std::string m_path;
};

}  // namespace sendrix::platform

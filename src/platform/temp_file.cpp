#include "platform/temp_file.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "platform/error.h"

namespace sendrix::platform {

std::string temporaryFolder() {
    const char* folder = std::getenv("TMPDIR");
    if (folder != nullptr && folder[0] != '\0')
        return folder;
    return "/tmp";
}

TemporaryFile::TemporaryFile(const std::string& failureMessage) {
    std::string folder = temporaryFolder();
    if (folder.back() != '/')
        folder += '/';
    std::string path = folder + "sendrix-XXXXXX";
    m_file = File(::mkostemp(path.data(), O_CLOEXEC));
    if (!m_file.isOpen())
        throw FileError(failureMessage, errno);
    m_path = path;
}

TemporaryFile::~TemporaryFile() {
    m_file.close();
    if (!m_path.empty())
        ::unlink(m_path.c_str());
}

}  // namespace sendrix::platform

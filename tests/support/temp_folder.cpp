#include "support/temp_folder.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace sendrix::test {

TempFolder::TempFolder() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/sendrix-test-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_folder = pattern + "/";
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    // Tests may have made folders read-only; give them back before removing.
    ::chmod(m_folder.c_str(), 0700);
    for (auto it = std::filesystem::recursive_directory_iterator(m_folder, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            ::chmod(it->path().c_str(), 0700);
    }
    std::filesystem::remove_all(m_folder, ignored);
}

std::string TempFolder::write(const std::string& name, const std::string& bytes) const {
    const std::string full = path(name);
    std::filesystem::create_directories(std::filesystem::path(full).parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out)
        throw std::runtime_error("cannot write " + full);
    return full;
}

std::string TempFolder::read(const std::string& name) const {
    return readPath(path(name));
}

bool TempFolder::exists(const std::string& name) const {
    return std::filesystem::exists(path(name));
}

std::size_t TempFolder::entryCount() const {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(m_folder))
        ++n;
    return n;
}

std::string TempFolder::readPath(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

unsigned TempFolder::modeOf(const std::string& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

}  // namespace sendrix::test

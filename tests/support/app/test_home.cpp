#include "support/app/test_home.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace sendrix::test {

TestHome::TestHome() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/sendrix-app-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_folder = pattern + "/";
    if (const char* home = ::getenv("SENDRIX_HOME")) {
        m_hadHome = true;
        m_previousHome = home;
    }
    ::setenv("SENDRIX_HOME", m_folder.c_str(), 1);
}

TestHome::~TestHome() {
    if (m_hadHome)
        ::setenv("SENDRIX_HOME", m_previousHome.c_str(), 1);
    else
        ::unsetenv("SENDRIX_HOME");
    std::error_code ignored;
    // Tests may have made folders read-only; give them back before removing.
    for (auto it = std::filesystem::recursive_directory_iterator(m_folder, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored)) ::chmod(it->path().c_str(), 0700);
    }
    ::chmod(m_folder.c_str(), 0700);
    std::filesystem::remove_all(m_folder, ignored);
}

std::string TestHome::write(const std::string& name, const std::string& bytes) const {
    const std::string full = path(name);
    std::filesystem::create_directories(std::filesystem::path(full).parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + full);
    return full;
}

std::string TestHome::read(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool TestHome::exists(const std::string& name) const {
    return std::filesystem::exists(path(name));
}

}  // namespace sendrix::test

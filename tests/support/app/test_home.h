#pragma once
// A fresh program folder for one test: a temporary directory that
// SENDRIX_HOME points at while the object lives, removed afterwards.
#include <string>

namespace sendrix::test {

class TestHome {
public:
    TestHome();
    ~TestHome();
    TestHome(const TestHome&) = delete;
    TestHome& operator=(const TestHome&) = delete;

    // The folder with a trailing "/".
    const std::string& folder() const { return m_folder; }
    std::string path(const std::string& name) const { return m_folder + name; }
    // Writes `bytes` to folder() + name (creating parent folders); returns the path.
    std::string write(const std::string& name, const std::string& bytes) const;
    // The file's bytes; empty when it does not exist.
    std::string read(const std::string& name) const;
    bool exists(const std::string& name) const;

private:
    std::string m_folder;
    std::string m_previousHome;
    bool m_hadHome = false;
};

}  // namespace sendrix::test

#pragma once
// A fresh, empty folder per test, removed with everything in it when the
// object goes. Names are relative to the folder: path("a/b") is the file
// "b" in the folder's subfolder "a".
#include <cstddef>
#include <string>

namespace sendrix::test {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder with a trailing "/".
    const std::string& folder() const { return m_folder; }
    std::string path(const std::string& name) const { return m_folder + name; }
    // Writes `bytes` to path(name), creating parent folders; returns the path.
    std::string write(const std::string& name, const std::string& bytes) const;
    // The file's bytes; empty when it does not exist.
    std::string read(const std::string& name) const;
    bool exists(const std::string& name) const;
    // Names directly in the folder, to see that no temporary file is left.
    std::size_t entryCount() const;

    // The bytes of any file; empty when it does not exist.
    static std::string readPath(const std::string& path);
    // The permission bits of any file.
    static unsigned modeOf(const std::string& path);

private:
    std::string m_folder;
};

}  // namespace sendrix::test

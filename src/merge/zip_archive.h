#pragma once
// Read access to the parts of a ZIP container (a workbook), one part at a
// time, streamed in pieces: a part is never held whole in memory.
#include <functional>
#include <string>
#include <string_view>

#include "platform/error.h"

struct zip;

namespace sendrix::merge {

// A workbook that cannot be read; the text names the file and the reason.
class WorkbookError : public Error {
public:
    using Error::Error;
};

class ZipArchive {
public:
    // Opens `path`; throws WorkbookError naming it when it is no readable
    // ZIP archive.
    explicit ZipArchive(const std::string& path);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    bool has(const std::string& part) const;
    // Hands the bytes of `part` to `chunk` piece by piece. Throws
    // WorkbookError when the part is missing, encrypted or damaged.
    void read(const std::string& part, const std::function<void(std::string_view)>& chunk) const;

    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    zip* m_zip = nullptr;
};

// "Die Datei %s kann nicht gelesen werden: %s."
[[noreturn]] void throwWorkbookError(const std::string& path, const std::string& reason);

}  // namespace sendrix::merge

#pragma once
// The program's general error class: every error the window shows in its
// error box derives from it and carries the complete, readable message.
#include <stdexcept>
#include <string>

namespace sendrix {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// A file could not be read, written or created. The message is complete
// (e.g. "In /x/Mail.ini kann nicht geschrieben werden").
class FileError : public Error {
public:
    FileError(const std::string& message, int errorNumber = 0) : Error(message), m_errorNumber(errorNumber) {}
    int errorNumber() const { return m_errorNumber; }

private:
    int m_errorNumber;
};

}  // namespace sendrix

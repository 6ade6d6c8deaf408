#pragma once
// The files of a benchmark mailing: a throw-away program folder, a list of
// N rows, a body, and the message the program sends for such a row,
// pre-rendered for the C clients.
#include <fstream>
#include <stdexcept>
#include <stdlib.h>
#include <string>

#include "platform/version.h"

namespace bench {

inline std::string makeFolder(const char* name) {
    std::string folder = std::string("/tmp/") + name + "_XXXXXX";
    if (!mkdtemp(folder.data()))
        throw std::runtime_error("cannot create a temporary folder");
    return folder + "/";
}

inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

// Rows with umlauts, every third a woman, every third a man, the rest neutral.
inline std::string listText(int rows) {
    static const char* const kTyp[] = {"w", "Herr", ""};
    std::string text = "Name;Vorname;Email;Typ\r\n";
    for (int i = 0; i < rows; ++i)
        text += "M\xfcller" + std::to_string(i) + ";J\xfcrgen;kunde" + std::to_string(i) + "@example.org;" +
                kTyp[i % 3] + "\r\n";
    return text;
}

inline std::string bodyText() {
    std::string text;
    for (int i = 0; i < 30; ++i)
        text += "wir laden Sie herzlich zu unserem Sommerfest ein. Zeile " + std::to_string(i) +
                " des Schreibens mit Gr\xfc\xdf"
                "en.\r\n";
    return text +
           "Mit freundlichen Gr\xfc\xdf"
           "en\r\n";
}

// A message of the size the program sends for a row of listText with
// bodyText and the salutation, without the final ".".
inline std::string renderedMessage() {
    std::string text =
        "From: \"Absender\" <absender@example.org>\r\nSubject: Einladung zum Sommerfest\r\n"
        "To: kunde1@example.org\r\nContent-Type: text/plain\r\nMIME-Version: 1.0\r\n"
        "Date: Tue, 8 Dec 2026 14:05:31 +0100\r\nX-Priority: 3\r\nX-Library: Sendrix " +
        std::string(sendrix::platform::kProgramVersion) +
        "\r\n\r\n"
        "Sehr geehrte Frau M\xfcller1,\r\n\r\n";
    return text + bodyText();
}

}  // namespace bench

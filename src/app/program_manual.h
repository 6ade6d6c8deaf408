#pragma once
// The program's manual as data: the one source of `sendrix --help` and of
// the manual page sendrix(1), so the switches, files and exit statuses they
// describe cannot drift apart.
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace sendrix::app {

// A tagged paragraph: a switch, a file, an exit status. In `term` the text
// after a ":" up to the next ", " is a placeholder (shown in italics).
struct ManualItem {
    std::string term;
    std::string text;
};

// One section of the manual; its parts are shown in this order.
struct ManualSection {
    std::string title;
    std::vector<std::string> paragraphs;
    std::vector<ManualItem> items;
    std::vector<std::string> examples;  // command lines, shown verbatim
    bool inHelp = false;                // also part of `--help`
};

// The sections after NAME and ÜBERSICHT, in German.
const std::vector<ManualSection>& ProgramManual();

// The text of `sendrix --help`: the synopsis and the sections marked
// inHelp, wrapped to 79 columns, ending with a line break.
std::string HelpText();

// The text of `sendrix --version`: "Sendrix <FileVersion>" and the
// description and legal notice of the version block, one per line.
std::string VersionText();

// The manual page in man(7) markup, dated `date` (YYYY-MM-DD).
std::string ManualPage(const std::string& date);

// "--help"/"-h" or "--version"/"-V" as one of `arguments` (the command line
// without the program name): writes the text to `out` and returns 0, before
// anything else is looked at, with or without a display. Otherwise nothing.
std::optional<int> AnswerInformationRequest(const std::vector<std::string>& arguments, std::ostream& out);

}  // namespace sendrix::app

#pragma once
// The program's command line: an optional recipient list file as the first
// argument, then switches, matched without regard to case.
#include <optional>
#include <string>
#include <vector>

namespace sendrix::app {

// A file named by "/A:" or "/B:", in the order of the arguments.
struct CommandLineFile {
    enum class Kind { Attachment, Body };
    Kind kind;
    std::string path;
};

// What the switches ask for; every field keeps its start value when its
// switch is absent. A switch given twice: the later argument wins.
struct CommandLineOptions {
    int SalutationSwitch = -1;        // -1 unchanged, 0 "/KEINEANREDE", 1 "/ANREDE"
    int SubjectStamp = 0;             // "/D" + T 1, D 2, A 3
    std::string SenderOverride;       // "/e:", "/from:"
    std::string DisplayNameOverride;  // "/N:"
    bool SendImmediately = false;     // "/sofort" (also CloseAfterRun)
    bool DontSave = false;            // "/dontsave", the whole argument
    // "/weiter", the whole argument: a list send goes on with the next row
    // after a refused recipient instead of stopping.
    bool ContinueAfterRefusal = false;
    // "/fortsetzen", the whole argument: the list send continues the last
    // unfinished run of the same mailing (merge/run_record.h).
    bool ContinueRun = false;
    // "/ruecklaeufer" (also "/rückläufer"), the whole argument: with
    // "/sofort" the inbox is checked for bounces of the mailing instead of
    // sending; "/ruecklaeufer:verschieben" also moves handled reports.
    bool CheckReports = false;
    bool MoveReports = false;
    std::optional<std::string> Subject;  // "/s:", "/subject:"
    std::optional<std::string> To;       // "/to:"
    std::optional<std::string> CC;       // "/cc:", "-" gives ""
    std::optional<std::string> BCC;      // "/bcc:", "-" gives ""
    std::optional<std::string> ReplyTo;  // "/R:"
    std::vector<std::string> IniFiles;   // "/INI:" values, not trimmed
    std::vector<CommandLineFile> Files;  // "/A:" trimmed, "/B:" not trimmed
    // Address switches that must not be used as they stand, one German
    // sentence each: a control character inside the value, or an address
    // cut by the length limit. The start shows them and sends nothing.
    std::vector<std::string> Faults;
    // "/eml:FOLDER", trimmed, never cut: the list send writes every message
    // into the folder as an .eml file instead of sending it (dry run).
    std::string DryRunFolder;
    // "/Blatt:NAME", trimmed, never cut: the sheet of a workbook list
    // (.xlsx, .ods) to read; empty: the first.
    std::string Sheet;
};

// Reads every argument as a switch (the program name is not among them).
// Values are the text after the whole prefix, cut to 100 characters (200
// for "/A:") and then trimmed where the switch says so. Values of one-line
// fields (sender, name, subject, addresses) are made valid UTF-8 (bytes that
// are no UTF-8 are read as Windows-1252); a control character in an address
// switch ("/to:", "/cc:", "/bcc:", "/R:", "/e:", "/from:") is a fault, in a
// text switch ("/s:", "/N:") only a line break becomes a blank; file paths
// are kept byte for byte. Unknown arguments are ignored. Checks no file.
CommandLineOptions ParseCommandLine(const std::vector<std::string>& arguments);

}  // namespace sendrix::app

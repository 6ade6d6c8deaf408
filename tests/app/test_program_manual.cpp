// The manual behind --help and sendrix(1): what it documents must be what the
// program does, and the console text must fit a terminal.
#include "app/program_manual.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "app/command_line.h"
#include "app/oauth_device_sign_in.h"
#include "app/version_info.h"
#include "platform/text_codec.h"

using namespace sendrix::app;

namespace {

const ManualSection& section(const std::string& title) {
    for (const ManualSection& s : ProgramManual())
        if (s.title == title)
            return s;
    throw std::runtime_error("no section " + title);
}

// Each form of a term ("/e:ADRESSE, /from:ADRESSE") as an argument with a
// sample value.
std::vector<std::string> argumentsOf(const std::string& term) {
    std::vector<std::string> forms;
    std::size_t pos = 0;
    while (pos <= term.size()) {
        std::size_t end = std::min(term.find(", ", pos), term.size());
        std::string form = term.substr(pos, end - pos);
        const std::size_t colon = form.find(':');
        if (colon != std::string::npos)
            form = form.substr(0, colon + 1) + "wert";
        forms.push_back(form);
        pos = end + 2;
    }
    return forms;
}

bool changesSomething(const CommandLineOptions& o) {
    const CommandLineOptions none;
    return o.SalutationSwitch != none.SalutationSwitch || o.SubjectStamp != none.SubjectStamp ||
           !o.SenderOverride.empty() || !o.DisplayNameOverride.empty() || o.SendImmediately || o.DontSave ||
           o.Subject || o.To || o.CC || o.BCC || o.ReplyTo || !o.IniFiles.empty() || !o.Files.empty() || o.ContinueRun ||
           o.CheckReports;
}

}  // namespace

TEST(ProgramManual, EverySwitchItDocumentsIsOneTheCommandLineKnows) {
    for (const ManualItem& item : section("OPTIONEN").items) {
        for (const std::string& argument : argumentsOf(item.term)) {
            SCOPED_TRACE(argument);
            std::ostringstream out;
            const bool information = AnswerInformationRequest({argument}, out).has_value();
            EXPECT_TRUE(information || DeviceSignInRequested({argument}) ||
                        changesSomething(ParseCommandLine({argument})));
        }
    }
}

TEST(ProgramManual, HelpFitsSeventyNineColumnsAndEndsWithTheManualPage) {
    const std::string help = HelpText();
    std::istringstream lines(help);
    std::string line;
    while (std::getline(lines, line)) {
        SCOPED_TRACE(line);
        EXPECT_LE(sendrix::platform::characterCount(line), 79u);
    }
    EXPECT_EQ(help.rfind("Aufruf: sendrix [EMPFÄNGERLISTE] [SCHALTER ...]\n", 0), 0u);
    EXPECT_NE(help.find("\n  /INI:DATEI              Eine andere Mail-Konfiguration; das "
                        "SMTP-Konto kommt\n                          immer aus Mail.ini.\n"),
              std::string::npos)
        << help;
    EXPECT_NE(help.find("\n  /cc:ADRESSEN, /bcc:ADRESSEN\n                          Kopie-"),
              std::string::npos);
    EXPECT_TRUE(help.ends_with("\nAusführlich: man sendrix\n"));
    // The files and the program folder are for the manual page only.
    EXPECT_EQ(help.find("PROGRAMMORDNER"), std::string::npos);
}

std::string programVersion() {
    return ProgramVersionResource().query(std::string("StringFileInfo\\") + kVersionBlock + "\\FileVersion");
}

TEST(ProgramManual, InformationSwitchesAnswerAloneAndOthersPassThrough) {
    const std::string versionLine = "Sendrix " + programVersion();
    struct Row {
        std::vector<std::string> arguments;
        std::string firstLine;  // empty: no answer
    };
    const Row rows[] = {
        {{"--help"}, "Aufruf: sendrix [EMPFÄNGERLISTE] [SCHALTER ...]"},
        {{"liste.csv", "-h"}, "Aufruf: sendrix [EMPFÄNGERLISTE] [SCHALTER ...]"},
        {{"--version"}, versionLine},
        {{"-V", "--help"}, versionLine},  // the first request wins
        {{"/sofort", "/s:--help"}, ""},
        {{"--HELP"}, ""},
        {{}, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments.empty() ? "(none)" : row.arguments.front());
        std::ostringstream out;
        const std::optional<int> status = AnswerInformationRequest(row.arguments, out);
        if (row.firstLine.empty()) {
            EXPECT_FALSE(status);
            EXPECT_EQ(out.str(), "");
        } else {
            EXPECT_EQ(status, 0);
            EXPECT_EQ(out.str().substr(0, out.str().find('\n')), row.firstLine);
        }
    }
}

TEST(ProgramManual, ManualPageEscapesMinusBackslashAndLeadingDots) {
    const std::set<std::string> kRequests = {".TH", ".SH", ".PP", ".TP", ".B",  ".RI",
                                             ".BR", ".br", ".RS", ".RE", ".nf", ".fi"};
    const std::string page = ManualPage("2026-12-09");
    EXPECT_EQ(page.find(".TH SENDRIX 1 \"2026-12-09\" \"Sendrix " + programVersion() + "\""),
              page.find('\n') + 1);
    EXPECT_NE(page.find(".TP\n\\fB\\-\\-help, \\-h\\fR\n"), std::string::npos);
    EXPECT_NE(page.find(".TP\n\\fB/e:\\fIADRESSE\\fR, \\fB/from:\\fIADRESSE\\fR\n"), std::string::npos);
    EXPECT_NE(page.find("„.\\e“"), std::string::npos);  // ".\" of Windows paths
    EXPECT_NE(page.find("|| echo"), std::string::npos);
    std::istringstream lines(page);
    std::string line;
    while (std::getline(lines, line)) {
        SCOPED_TRACE(line);
        // A text line beginning with "." or "'" would be read as a request.
        if (!line.empty() && (line[0] == '.' || line[0] == '\'')) {
            const std::string request = line.substr(0, line.find(' '));
            EXPECT_TRUE(kRequests.count(request) || line.rfind(".\\\"", 0) == 0);
        }
    }
}

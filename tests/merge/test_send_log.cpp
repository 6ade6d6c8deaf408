#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <string>

#include "merge/send_log.h"
#include "platform/error.h"
#include "support/expect_throw.h"
#include "support/temp_folder.h"

using sendrix::test::expectThrowText;

namespace sendrix::merge {
namespace {

TEST(SendLog, LinesAreAppendedToAFileOnlyItsOwnerReads) {
    test::TempFolder home;
    const std::string log = home.path("2026-03_EMail.log");
    appendSendLogLine(log, "eins");
    appendSendLogLine(log, "zwei ä");
    EXPECT_EQ(home.read("2026-03_EMail.log"), "eins\r\nzwei \xE4\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(log.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(SendLog, AFailureNamesTheLogAndTheReason) {
    test::TempFolder home;
    struct Row {
        std::string path;
        std::string reason;
    };
    const Row rows[] = {
        {home.path("fehlt/2026-03_EMail.log"), "Datei nicht gefunden"},
        {"/dev/full", "Nicht genügend Speicherplatz auf dem Datenträger"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        expectThrowText<FileError>(
            [&] { appendSendLogLine(row.path, "eins"); },
            "In das Sendeprotokoll " + row.path + " kann nicht geschrieben werden: " + row.reason);
    }
}

// Five tab-separated fields whatever the texts hold.
TEST(SendLog, ALineHasFiveFieldsWhateverItsTextsHold) {
    platform::LocalTime when;
    when.year = 2026, when.month = 3, when.day = 7, when.hour = 9, when.minute = 5, when.second = 4;
    struct Row {
        std::string user, address, subject, line;
    };
    const Row rows[] = {
        {"anna", "a@example.org", "Einladung", "07.03.2026 09:05:04\t12\tanna\ta@example.org\tEinladung"},
        {"", "", "", "07.03.2026 09:05:04\t12\t\t\t"},
        {"an\tna", "a@example.org\r\nBcc: x@example.org", "Ein\nladung\r",
         "07.03.2026 09:05:04\t12\tan na\ta@example.org  Bcc: x@example.org\tEin ladung "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(sendLogLine(when, 12, row.user, row.address, row.subject), row.line);
    }
}

// A file size limit lets the line's first bytes in and refuses the rest:
// the log keeps its earlier lines and none of the new one.
TEST(SendLog, ALinePartlyWrittenIsTakenBack) {
    test::TempFolder home;
    const std::string log = home.path("2026-03_EMail.log");
    appendSendLogLine(log, "eins");
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = before;
    limit.rlim_cur = 6 + 3;  // "eins\r\n" and three bytes
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    bool failed = false;
    try {
        appendSendLogLine(log, "zwei");
    } catch (const FileError&) {
        failed = true;
    }
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_TRUE(failed);
    EXPECT_EQ(home.read("2026-03_EMail.log"), "eins\r\n");
}

}  // namespace
}  // namespace sendrix::merge

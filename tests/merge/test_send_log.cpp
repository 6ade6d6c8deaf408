#include <gtest/gtest.h>

#include <sys/stat.h>

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

}  // namespace
}  // namespace sendrix::merge

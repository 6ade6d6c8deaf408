#include <gtest/gtest.h>

#include <fcntl.h>

#include <cerrno>
#include <string>

#include "platform/file.h"
#include "support/temp_folder.h"

namespace sendrix::platform {
namespace {

using test::TempFolder;

TEST(File, TheReasonStandsWhereTheTextWantsIt) {
    struct Row {
        ReasonAt at;
        const char* expected;
    };
    const Row rows[] = {
        {ReasonAt::NextLine, "Datei /x/a.txt kann nicht geöffnet werden\nDatei nicht gefunden"},
        {ReasonAt::AfterColon, "Datei /x/a.txt kann nicht geöffnet werden: Datei nicht gefunden"},
        {ReasonAt::Front, "Datei nicht gefunden Datei /x/a.txt kann nicht geöffnet werden"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        const FileError error = fileFailure("Datei /x/a.txt kann nicht geöffnet werden", ENOENT, row.at);
        EXPECT_EQ(std::string(error.what()), row.expected);
        EXPECT_EQ(error.errorNumber(), ENOENT);
    }
    EXPECT_EQ(std::string(fileFailure("(/x)", 9999, ReasonAt::Front).what()), "E/A-Fehler 9999 (/x)");
}

TEST(File, AFailedOpenKeepsItsReason) {
    TempFolder folder;
    const File missing = File::open(folder.path("fehlt/a.txt"), O_RDONLY);
    EXPECT_FALSE(missing.isOpen());
    EXPECT_EQ(missing.openError(), ENOENT);
    const File folderAsFile = File::open(folder.folder(), O_WRONLY);
    EXPECT_EQ(folderAsFile.openError(), EISDIR);
}

TEST(File, WritesAndReadsWholeAndMovesItsDescriptor) {
    TempFolder folder;
    const std::string path = folder.path("a.bin");
    std::string bytes(200000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7);
    File out = File::open(path, O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_TRUE(out.isOpen());
    EXPECT_EQ(out.writeAll(bytes), 0);
    File moved = std::move(out);
    EXPECT_FALSE(out.isOpen());
    EXPECT_EQ(moved.close(), 0);
    EXPECT_EQ(moved.close(), 0);  // a second close closes nothing

    File in = File::open(path, O_RDONLY);
    std::string back(bytes.size() + 10, 'x');
    // Past the end: what is there, then nothing more.
    EXPECT_EQ(in.readFull(back.data(), back.size()), ssize_t(bytes.size()));
    EXPECT_EQ(back.substr(0, bytes.size()), bytes);
    EXPECT_EQ(in.readFull(back.data(), back.size()), 0);
}

TEST(File, AFullDeviceGivesItsReason) {
    File full = File::open("/dev/full", O_WRONLY);
    if (!full.isOpen())
        GTEST_SKIP() << "no /dev/full";
    EXPECT_EQ(full.writeAll("x"), ENOSPC);
}

}  // namespace
}  // namespace sendrix::platform

// Whole-file text reads and writes, temporary files and folder helpers.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <cerrno>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/temp_file.h"
#include "platform/text_file.h"
#include "support/temp_folder.h"
#include "support/expect_throw.h"

using sendrix::test::expectThrowText;

namespace sendrix::platform {
namespace {

using test::TempFolder;
using Lines = std::vector<std::string>;

TEST(TextFile, LineEndsOfEveryKindSplitAlike) {
    EXPECT_EQ(splitLines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
    // A line end at the end adds no empty line; empty lines inside stay.
    EXPECT_EQ(splitLines("a\r\n\r\nb\r\n"), (Lines{"a", "", "b"}));
    EXPECT_EQ(splitLines("a\n\n"), (Lines{"a", ""}));
    // CR CR LF is a lone CR followed by a CR LF: two line ends.
    EXPECT_EQ(splitLines("a\r\r\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(splitLines(""), Lines{});
    EXPECT_EQ(splitLines("\r\n"), (Lines{""}));
}

TEST(TextFile, CtrlZEndsTheTextOnlyWhenAsked) {
    EXPECT_EQ(splitLines("a\r\nb\x1A"
                         "c\r\nd",
                         true),
              (Lines{"a", "b"}));
    EXPECT_EQ(splitLines("a\r\nb\x1A"
                         "c",
                         false),
              (Lines{"a",
                     "b\x1A"
                     "c"}));
    EXPECT_EQ(splitLines("\x1A"
                         "junk",
                         true),
              Lines{});
}

TEST(TextFile, ReadsEitherCharacterSetAndNulBytesSurvive) {
    TempFolder folder;
    const std::string cp1252 = folder.write("a.txt", "M\xFCller;J\xF6rg\r\n");
    const std::string utf8 = folder.write("b.txt", "\xEF\xBB\xBFMüller;Jörg\n");
    EXPECT_EQ(readTextFileLines(cp1252), readTextFileLines(utf8));
    EXPECT_EQ(readTextFileLines(cp1252), (Lines{"Müller;Jörg"}));

    const std::string withNul = folder.write("nul.txt", std::string("a\0b\nc", 5));
    EXPECT_EQ(readTextFileLines(withNul), (Lines{std::string("a\0b", 3), "c"}));
}

TEST(TextFile, MissingFileRaisesTheOpenErrorNamingIt) {
    TempFolder folder;
    const std::string path = folder.path("fehlt.txt");
    // The fixed text stays the first line; the reason follows on a second.
    expectThrowText<FileError>([&] { readFileBytes(path); },
                               "Datei " + path + " kann nicht geöffnet werden\n" + fileErrorText(ENOENT),
                               [&](const FileError& e) {
                                   EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
                                   EXPECT_EQ(e.errorNumber(), ENOENT);
                               });
}

TEST(TextFile, WrittenLinesReadBackAndKeepEveryCharacter) {
    TempFolder folder;
    const std::string path = folder.path("history");
    writeTextFileLines(path, {"a@example.org", "Grüße €"});
    // Windows-1252 where every character fits, with CR LF.
    EXPECT_EQ(folder.read("history"),
              "a@example.org\r\nGr\xFC\xDF"
              "e \x80\r\n");
    writeTextFileLines(path, {"Łódź"});
    EXPECT_EQ(readTextFileLines(path), (Lines{"Łódź"}));
    EXPECT_EQ(folder.entryCount(), 1u);
}

TEST(TextFile, AtomicReplaceKeepsPermissionsAndLeavesNoTemporaryFile) {
    TempFolder folder;
    const std::string path = folder.write("f", "old");
    ::chmod(path.c_str(), 0640);
    replaceFileAtomically(path, "new", "fehlgeschlagen");
    EXPECT_EQ(folder.read("f"), "new");
    EXPECT_EQ(TempFolder::modeOf(path), 0640u);
    replaceFileAtomically(folder.path("neu"), "x", "fehlgeschlagen", 0600);
    EXPECT_EQ(TempFolder::modeOf(folder.path("neu")), 0600u);
    EXPECT_EQ(folder.entryCount(), 2u);
}

TEST(TextFile, FailedReplaceRaisesTheGivenTextAndKeepsTheOldFile) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    TempFolder folder;
    const std::string path = folder.write("f", "old");
    ::chmod(folder.folder().c_str(), 0500);
    EXPECT_THROW(
        {
            try {
                replaceFileAtomically(path, "new", "Datei f kann nicht erstellt werden");
            } catch (const FileError& e) {
                EXPECT_STREQ(e.what(), "Datei f kann nicht erstellt werden");
                throw;
            }
        },
        FileError);
    ::chmod(folder.folder().c_str(), 0700);
    EXPECT_EQ(folder.read("f"), "old");
}

TEST(TextFile, ReplacingAFolderFailsAndLeavesItAlone) {
    TempFolder folder;
    ASSERT_TRUE(createDirectories(folder.path("d")));
    EXPECT_THROW(replaceFileAtomically(folder.path("d"), "x", "geht nicht"), FileError);
    EXPECT_TRUE(directoryExists(folder.path("d")));
    EXPECT_FALSE(fileExists(folder.path("d")));
    EXPECT_EQ(folder.entryCount(), 1u);
}

TEST(FileSystem, CreateDirectoriesMakesEveryParentAndAcceptsExisting) {
    TempFolder folder;
    EXPECT_TRUE(createDirectories(folder.path("a/b/c")));
    EXPECT_TRUE(directoryExists(folder.path("a/b/c")));
    EXPECT_TRUE(createDirectories(folder.path("a/b/c/")));
    folder.write("file", "x");
    EXPECT_FALSE(createDirectories(folder.path("file/sub")));
}

TEST(FileSystem, GermanErrorTextsAndFileNames) {
    EXPECT_EQ(fileErrorText(EACCES), "Dateizugriff verweigert");
    EXPECT_EQ(fileErrorText(ENOENT), "Datei nicht gefunden");
    EXPECT_NE(fileErrorText(ENOSPC).find("Speicherplatz"), std::string::npos);
    EXPECT_EQ(fileNameOnly("/a/b/c.txt"), "c.txt");
    EXPECT_EQ(fileNameOnly("C:\\x\\y.pdf"), "y.pdf");
    EXPECT_EQ(fileNameOnly("plain"), "plain");
}

TEST(TemporaryFile, IsDeletedOnEveryPath) {
    std::string path;
    try {
        TemporaryFile file("kann nicht erstellt werden");
        path = file.path();
        ASSERT_GE(file.fd(), 0);
        EXPECT_TRUE(fileExists(path));
        throw std::runtime_error("half-way");
    } catch (const std::runtime_error&) {}
    EXPECT_FALSE(path.empty());
    EXPECT_FALSE(fileExists(path));
}

TEST(TemporaryFile, UnusableFolderRaisesTheGivenText) {
    TempFolder folder;
    const std::string saved = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    ::setenv("TMPDIR", folder.path("fehlt").c_str(), 1);
    EXPECT_THROW(TemporaryFile("Datei x kann nicht erstellt werden"), FileError);
    if (saved.empty())
        ::unsetenv("TMPDIR");
    else
        ::setenv("TMPDIR", saved.c_str(), 1);
}

}  // namespace
}  // namespace sendrix::platform

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "platform/error.h"
#include "platform/profile_file.h"
#include "support/temp_folder.h"
#include "support/expect_throw.h"

using sendrix::test::expectThrowText;

namespace sendrix::platform {
namespace {

using test::TempFolder;

class ProfileFileTest : public ::testing::Test {
protected:
    TempFolder dir;
};

TEST_F(ProfileFileTest, SectionsAndKeysMatchWithoutRegardToCase) {
    const std::string ini = dir.path("Mail.ini");
    // Written in one case, read in another, as the settings code does.
    writeProfileString(ini, "Optionen", "Sentobjects", "/srv/sent");
    writeProfileString(ini, "Email-profil", "1e", "a@example.org");
    writeProfileString(ini, "Email", "realname", "Anna");
    EXPECT_EQ(readProfileString(ini, "Optionen", "SentObjects", "x"), "/srv/sent");
    EXPECT_EQ(readProfileString(ini, "OPTIONEN", "sentobjects", "x"), "/srv/sent");
    EXPECT_EQ(readProfileString(ini, "Email-Profil", "1E", "x"), "a@example.org");
    EXPECT_EQ(readProfileString(ini, "email", "Realname", "x"), "Anna");

    // A second write in yet another case replaces the one key, not adds one.
    writeProfileString(ini, "OPTIONEN", "SENTOBJECTS", "/srv/other");
    EXPECT_EQ(readProfileString(ini, "Optionen", "SentObjects", "x"), "/srv/other");
    const std::string text = dir.read("Mail.ini");
    EXPECT_EQ(text,
              "[Optionen]\r\nSentobjects=/srv/other\r\n"
              "[Email-profil]\r\n1e=a@example.org\r\n"
              "[Email]\r\nrealname=Anna\r\n");
}

TEST_F(ProfileFileTest, ReadDropsBlanksAndOnePairOfQuotes) {
    const std::string ini = dir.write("a.ini",
                                      "[S]\r\n"
                                      "plain =   value with  inner blanks \t \r\n"
                                      "dq=  \"  kept inside  \"  \r\n"
                                      "sq='single'\r\n"
                                      "twice=\"\"x\"\"\r\n"
                                      "mixed=\"a'\r\n"
                                      "lone=\"\r\n"
                                      "empty=\r\n"
                                      "  indented  = yes\r\n"
                                      "pw=\"&%$\"\r\n");
    EXPECT_EQ(readProfileString(ini, "S", "plain", ""), "value with  inner blanks");
    EXPECT_EQ(readProfileString(ini, "S", "dq", ""), "  kept inside  ");
    EXPECT_EQ(readProfileString(ini, "S", "sq", ""), "single");
    EXPECT_EQ(readProfileString(ini, "S", "twice", ""), "\"x\"");
    EXPECT_EQ(readProfileString(ini, "S", "mixed", ""), "\"a'");
    EXPECT_EQ(readProfileString(ini, "S", "lone", ""), "\"");
    EXPECT_EQ(readProfileString(ini, "S", "empty", "default"), "");
    EXPECT_EQ(readProfileString(ini, "S", "indented", ""), "yes");
    EXPECT_EQ(readProfileString(ini, "S", "pw", ""), "&%$");
    EXPECT_EQ(readProfileString(ini, "S", "missing", "default"), "default");
    EXPECT_EQ(readProfileString(ini, "T", "plain", "default"), "default");
}

TEST_F(ProfileFileTest, LineShapesFromOtherEditors) {
    const std::string ini = dir.write("a.ini",
                                      "top=before any section\n"
                                      "; comment=not a key\n"
                                      "[ Spaced ]\n"
                                      "k=lf\n"
                                      "noequals\n"
                                      "[Dup]\r"
                                      "k=first\r"
                                      "[Dup]\r"
                                      "k=second\r"
                                      "[Last]\r\n"
                                      "k=no line end");
    EXPECT_EQ(readProfileString(ini, "", "top", "d"), "d");
    EXPECT_EQ(readProfileString(ini, "Spaced", "; comment", "d"), "d");
    EXPECT_EQ(readProfileString(ini, "Spaced", "k", "d"), "lf");
    EXPECT_EQ(readProfileString(ini, "Spaced", "noequals", "d"), "d");
    EXPECT_EQ(readProfileString(ini, "Dup", "k", "d"), "first");
    EXPECT_EQ(readProfileString(ini, "Last", "k", "d"), "no line end");
}

TEST_F(ProfileFileTest, ValuesAreCutTo2047Characters) {
    const std::string ini = dir.path("a.ini");
    const std::string longAscii(3000, 'a');
    writeProfileString(ini, "S", "ascii", longAscii);
    EXPECT_EQ(readProfileString(ini, "S", "ascii", ""), std::string(2047, 'a'));

    // Characters, not bytes: "ä" is one Windows-1252 byte in the file.
    std::string umlauts;
    for (int i = 0; i < 2100; ++i)
        umlauts += "ä";
    writeProfileString(ini, "S", "umlauts", umlauts);
    std::string expected;
    for (int i = 0; i < 2047; ++i)
        expected += "ä";
    EXPECT_EQ(readProfileString(ini, "S", "umlauts", ""), expected);

    // The whole value stays in the file; only the read is cut.
    EXPECT_NE(dir.read("a.ini").find(std::string(3000, 'a')), std::string::npos);

    const std::string exact(2047, 'b');
    writeProfileString(ini, "S", "exact", exact);
    EXPECT_EQ(readProfileString(ini, "S", "exact", ""), exact);
}

TEST_F(ProfileFileTest, IntegersAreDecimalOrHexadecimal) {
    const std::string ini = dir.write("a.ini",
                                      "[N]\r\n"
                                      "dec=587\r\n"
                                      "neg=-12\r\n"
                                      "hexLower=0x1f\r\n"
                                      "hexUpper=0XFF\r\n"
                                      "hexAll=0xFFFFFFFF\r\n"
                                      "quoted=\"25\"\r\n"
                                      "blanks=  42  \r\n"
                                      "word=abc\r\n"
                                      "junk=25abc\r\n"
                                      "badHex=0xZZ\r\n"
                                      "bareHex=0x\r\n"
                                      "tooBig=99999999999\r\n"
                                      "hexTooBig=0x100000000\r\n"
                                      "empty=\r\n"
                                      "sign=-\r\n");
    EXPECT_EQ(readProfileInt(ini, "N", "dec", 7), 587);
    EXPECT_EQ(readProfileInt(ini, "N", "neg", 7), -12);
    EXPECT_EQ(readProfileInt(ini, "N", "hexLower", 7), 31);
    EXPECT_EQ(readProfileInt(ini, "N", "hexUpper", 7), 255);
    EXPECT_EQ(readProfileInt(ini, "N", "hexAll", 7), -1);
    EXPECT_EQ(readProfileInt(ini, "N", "quoted", 7), 25);
    EXPECT_EQ(readProfileInt(ini, "N", "blanks", 7), 42);
    for (const char* key :
         {"word", "junk", "badHex", "bareHex", "tooBig", "hexTooBig", "empty", "sign", "missing"}) {
        EXPECT_EQ(readProfileInt(ini, "N", key, 7), 7) << key;
    }
    writeProfileInt(ini, "N", "written", -2147483647 - 1);
    EXPECT_EQ(readProfileInt(ini, "N", "written", 7), -2147483647 - 1);
}

TEST_F(ProfileFileTest, BooleansAreWrittenAsOneAndZeroAndReadAsIntegers) {
    const std::string ini = dir.path("a.ini");
    writeProfileBool(ini, "B", "on", true);
    writeProfileBool(ini, "B", "off", false);
    EXPECT_EQ(dir.read("a.ini"), "[B]\r\non=1\r\noff=0\r\n");
    EXPECT_TRUE(readProfileBool(ini, "B", "on", false));
    EXPECT_FALSE(readProfileBool(ini, "B", "off", true));

    dir.write("b.ini", "[B]\r\ntwo=2\r\nhex=0x0\r\nword=ja\r\n");
    const std::string other = dir.path("b.ini");
    EXPECT_TRUE(readProfileBool(other, "B", "two", false));
    EXPECT_FALSE(readProfileBool(other, "B", "hex", true));
    EXPECT_TRUE(readProfileBool(other, "B", "word", true));
    EXPECT_FALSE(readProfileBool(other, "B", "word", false));
    EXPECT_TRUE(readProfileBool(other, "B", "missing", true));
}

TEST_F(ProfileFileTest, WriteInPlaceKeepsEveryOtherLine) {
    const std::string original =
        "; Sendrix settings, edited by hand\r\n"
        "[Smtp]\r\n"
        "ServerName=mail.example.org\r\n"
        "  ServerPort = 25 ; trailing\r\n"
        "Foreign=kept\r\n"
        "\r\n"
        "[Email]\r\n"
        "Subject=Hallo\r\n"
        "\r\n"
        "\r\n"
        "[Other]\r\n"
        "x=1\r\n";
    const std::string ini = dir.write("Mail.ini", original);

    writeProfileString(ini, "smtp", "serverport", "587");
    writeProfileString(ini, "Email", "replyto", "r@example.org");
    writeProfileString(ini, "Neu", "key", "value");

    EXPECT_EQ(dir.read("Mail.ini"),
              "; Sendrix settings, edited by hand\r\n"
              "[Smtp]\r\n"
              "ServerName=mail.example.org\r\n"
              "  ServerPort =587\r\n"
              "Foreign=kept\r\n"
              "\r\n"
              "[Email]\r\n"
              "Subject=Hallo\r\n"
              "replyto=r@example.org\r\n"
              "\r\n"
              "\r\n"
              "[Other]\r\n"
              "x=1\r\n"
              "[Neu]\r\n"
              "key=value\r\n");
    EXPECT_EQ(readProfileInt(ini, "Smtp", "ServerPort", 0), 587);
}

TEST_F(ProfileFileTest, WriteKeepsTheFilesLineEndsAndMendsAMissingLastOne) {
    const std::string ini = dir.write("lf.ini", "[A]\nx=1\n[B]\ny=2");
    writeProfileString(ini, "A", "z", "3");
    writeProfileString(ini, "B", "w", "4");
    EXPECT_EQ(dir.read("lf.ini"), "[A]\nx=1\nz=3\n[B]\ny=2\nw=4\n");

    const std::string other = dir.write("noend.ini", "[A]\r\nx=1");
    writeProfileString(other, "C", "k", "v");
    EXPECT_EQ(dir.read("noend.ini"), "[A]\r\nx=1\r\n[C]\r\nk=v\r\n");
}

TEST_F(ProfileFileTest, WrittenValuesReadBackUnchanged) {
    const std::string ini = dir.path("a.ini");
    // Blanks at either end would be lost to the reader, so they are quoted.
    writeProfileString(ini, "S", "blanks", "  two  ");
    EXPECT_EQ(readProfileString(ini, "S", "blanks", ""), "  two  ");
    // A value the caller quoted itself (the stored password) is not quoted twice.
    writeProfileString(ini, "S", "pw", "\"secret\"");
    EXPECT_EQ(readProfileString(ini, "S", "pw", ""), "secret");
    EXPECT_NE(dir.read("a.ini").find("pw=\"secret\"\r\n"), std::string::npos);
    // A line break would start a line of its own, here a forged key.
    writeProfileString(ini, "S", "name", "x\r\nReadonly=1");
    EXPECT_EQ(readProfileString(ini, "S", "Readonly", "none"), "none");
    EXPECT_EQ(readProfileString(ini, "S", "name", ""), "x  Readonly=1");
    writeProfileString(ini, "S", "empty", "");
    EXPECT_EQ(readProfileString(ini, "S", "empty", "d"), "");
}

TEST_F(ProfileFileTest, MissingFileReadsEmptyAndIsCreatedWithMode0600) {
    const std::string ini = dir.path("Mail.ini");
    EXPECT_EQ(readProfileString(ini, "Smtp", "ServerName", "default"), "default");
    EXPECT_EQ(readProfileInt(ini, "Smtp", "ServerPort", 25), 25);
    EXPECT_EQ(dir.entryCount(), 0u) << "a read creates nothing";

    const mode_t old = ::umask(0);
    writeProfileString(ini, "Smtp", "ServerPassword", "\"x\"");
    ::umask(old);
    EXPECT_EQ(TempFolder::modeOf(ini), 0600u);
    EXPECT_EQ(dir.read("Mail.ini"), "[Smtp]\r\nServerPassword=\"x\"\r\n");
    EXPECT_EQ(dir.entryCount(), 1u) << "no temporary file is left";
}

TEST_F(ProfileFileTest, RewriteKeepsTheFilesPermissions) {
    const std::string ini = dir.write("shared.ini", "[A]\r\nx=1\r\n");
    ASSERT_EQ(::chmod(ini.c_str(), 0640), 0);
    writeProfileString(ini, "A", "x", "2");
    EXPECT_EQ(TempFolder::modeOf(ini), 0640u);
    ASSERT_EQ(::chmod(ini.c_str(), 0604), 0);
    writeProfileString(ini, "A", "y", "3");
    EXPECT_EQ(TempFolder::modeOf(ini), 0604u);
    EXPECT_EQ(dir.read("shared.ini"), "[A]\r\nx=2\r\ny=3\r\n");
}

TEST_F(ProfileFileTest, OwnerOnlyTakesGroupAndOthersPermissionsAway) {
    struct Row {
        unsigned before;
        FileAccess access;
        unsigned after;
    } rows[] = {
        {0644, FileAccess::OwnerOnly, 0600}, {0640, FileAccess::OwnerOnly, 0600},
        {0666, FileAccess::OwnerOnly, 0600}, {0750, FileAccess::OwnerOnly, 0700},
        {0600, FileAccess::OwnerOnly, 0600}, {0644, FileAccess::Keep, 0644},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.before);
        const std::string ini = dir.write("Mail.ini", "[Smtp]\r\nServerPassword=\"x\"\r\n");
        ASSERT_EQ(::chmod(ini.c_str(), row.before), 0);
        writeProfileString(ini, "Optionen", "HTML", "1", row.access);
        EXPECT_EQ(TempFolder::modeOf(ini), row.after);
        EXPECT_EQ(dir.read("Mail.ini"), "[Smtp]\r\nServerPassword=\"x\"\r\n[Optionen]\r\nHTML=1\r\n");
    }
    // A new file is never wider than 0600 either way.
    const mode_t old = ::umask(0);
    writeProfileString(dir.path("neu.ini"), "A", "x", "1", FileAccess::OwnerOnly);
    ::umask(old);
    EXPECT_EQ(TempFolder::modeOf(dir.path("neu.ini")), 0600u);
}

TEST_F(ProfileFileTest, WriteThroughALinkReplacesTheTargetAndKeepsTheLink) {
    const std::string target = dir.write("real.ini", "[A]\r\nx=1\r\n");
    const std::string link = dir.path("link.ini");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    writeProfileString(link, "A", "x", "2");
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readProfileString(target, "A", "x", ""), "2");
}

TEST_F(ProfileFileTest, FailedWriteRaisesTheMessageAndLeavesTheFileAlone) {
    // No folder to put the file in: its parent is a regular file.
    const std::string blocker = dir.write("plain", "not a folder");
    const std::string inside = blocker + "/Mail.ini";
    expectThrowText<FileError>([&] { writeProfileString(inside, "Smtp", "ServerName", "x"); },
                               "In " + inside + " kann nicht geschrieben werden",
                               [&](const FileError& e) { EXPECT_EQ(e.errorNumber(), ENOTDIR); });
    EXPECT_EQ(readProfileString(inside, "Smtp", "ServerName", "d"), "d");
    EXPECT_EQ(dir.read("plain"), "not a folder");
}

TEST_F(ProfileFileTest, WriteThatRunsOutOfSpaceLosesNothing) {
    // A file-size limit makes the write of the new content fail half-way,
    // as a full disk would; the old file must stay whole and no temporary
    // file may remain.
    const std::string original = "[Smtp]\r\nServerName=mail.example.org\r\n; note\r\n";
    const std::string ini = dir.write("Mail.ini", original);
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    bool raised = false;
    try {
        writeProfileString(ini, "Smtp", "Big", std::string(10000, 'x'));
    } catch (const FileError& e) {
        raised = std::string(e.what()) == "In " + ini + " kann nicht geschrieben werden";
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_TRUE(raised);
    EXPECT_EQ(dir.read("Mail.ini"), original);
    EXPECT_EQ(dir.entryCount(), 1u);
}

TEST_F(ProfileFileTest, FolderWhereTheFileShouldBe) {
    const std::string ini = dir.path("Mail.ini");
    ASSERT_EQ(::mkdir(ini.c_str(), 0755), 0);
    EXPECT_EQ(readProfileString(ini, "Smtp", "ServerName", "d"), "d");
    EXPECT_EQ(readProfileInt(ini, "Smtp", "ServerPort", 25), 25);
    EXPECT_THROW(writeProfileString(ini, "Smtp", "ServerName", "x"), FileError);
    EXPECT_EQ(dir.entryCount(), 1u);
}

// Runs `body` as an unprivileged user, so file modes count even when the
// tests run as root; the exit code carries the result.
int runAsOrdinaryUser(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(100);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
}

TEST_F(ProfileFileTest, ReadOnlyAndUnreadableFilesAreNeverReplaced) {
    ASSERT_EQ(::chmod(dir.folder().c_str(), 0777), 0);  // the folder itself would allow a rename
    const std::string readOnly = dir.write("ro.ini", "[A]\r\nx=1\r\n");
    const std::string writeOnly = dir.write("wo.ini", "[A]\r\nx=1\r\n");
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(writeOnly.c_str(), 0222), 0);
    const int result = runAsOrdinaryUser([&] {
        if (readProfileString(readOnly, "A", "x", "") != "1")
            return 1;
        try {
            writeProfileString(readOnly, "A", "x", "2");
            return 2;
        } catch (const FileError& e) {
            if (std::string(e.what()) != "In " + readOnly + " kann nicht geschrieben werden")
                return 3;
        }
        // An unreadable file reads as defaults, and a write must not
        // replace what it could not read.
        if (readProfileString(writeOnly, "A", "x", "d") != "d")
            return 4;
        try {
            writeProfileString(writeOnly, "A", "y", "2");
            return 5;
        } catch (const FileError&) {}
        return 0;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(dir.read("ro.ini"), "[A]\r\nx=1\r\n");
    EXPECT_EQ(dir.read("wo.ini"), "[A]\r\nx=1\r\n");
    EXPECT_EQ(dir.entryCount(), 2u);
}

TEST_F(ProfileFileTest, CharacterSetOfTheFile) {
    // Windows-1252 and UTF-8 files give the same text.
    const std::string cp = dir.write("cp.ini", "[Email]\r\nRealname=J\xFCrgen Gro\xDF \x80\r\n");
    const std::string utf = dir.write("utf.ini", "[Email]\r\nRealname=Jürgen Groß €\r\n");
    const std::string bom = dir.write("bom.ini", "\xEF\xBB\xBF[Email]\r\nRealname=Jürgen Groß €\r\n");
    for (const std::string& p : {cp, utf, bom}) {
        EXPECT_EQ(readProfileString(p, "Email", "Realname", ""), "Jürgen Groß €") << p;
    }

    // Written as Windows-1252 while every character fits...
    const std::string ini = dir.path("new.ini");
    writeProfileString(ini, "Email", "Realname", "Änne Weiß €");
    EXPECT_EQ(dir.read("new.ini"), "[Email]\r\nRealname=\xC4nne Wei\xDF \x80\r\n");
    EXPECT_EQ(readProfileString(ini, "Email", "Realname", ""), "Änne Weiß €");

    // ...and as UTF-8 once one does not, with every other line intact.
    writeProfileString(ini, "Email", "Subject", "Zdravím Łódź");
    EXPECT_EQ(dir.read("new.ini"), "[Email]\r\nRealname=Änne Weiß €\r\nSubject=Zdravím Łódź\r\n");
    EXPECT_EQ(readProfileString(ini, "Email", "Subject", ""), "Zdravím Łódź");
    EXPECT_EQ(readProfileString(ini, "Email", "Realname", ""), "Änne Weiß €");

    // A UTF-8 file with a byte-order mark keeps it while it stays UTF-8.
    writeProfileString(bom, "Email", "Subject", "Łódź");
    EXPECT_EQ(dir.read("bom.ini"), "\xEF\xBB\xBF[Email]\r\nRealname=Jürgen Groß €\r\nSubject=Łódź\r\n");
}

TEST_F(ProfileFileTest, BinaryJunkAndNulBytesNeitherCrashNorGetLost) {
    std::string junk;
    for (int i = 0; i < 256; ++i)
        junk += char(i);
    std::string content = "[A]\r\nx=1\r\n";
    content += junk;
    content += "\r\n[B]\r\nnul=a";
    content += '\0';
    content += "b\r\n";
    const std::string ini = dir.write("junk.ini", content);
    EXPECT_EQ(readProfileString(ini, "A", "x", ""), "1");
    EXPECT_EQ(readProfileString(ini, "B", "nul", ""), std::string("a\0b", 3));

    writeProfileString(ini, "A", "x", "2");
    std::string expected = "[A]\r\nx=2\r\n";
    expected += junk;
    expected += "\r\n[B]\r\nnul=a";
    expected += '\0';
    expected += "b\r\n";
    EXPECT_EQ(dir.read("junk.ini"), expected) << "every junk byte is written back as it was";
}

TEST_F(ProfileFileTest, OneMegabyteLine) {
    const std::string big(1 << 20, 'z');
    const std::string ini = dir.write("big.ini", "[A]\r\nbig=" + big + "\r\nafter=yes\r\n" + big);
    EXPECT_EQ(readProfileString(ini, "A", "big", ""), std::string(2047, 'z'));
    EXPECT_EQ(readProfileString(ini, "A", "after", ""), "yes");
    writeProfileString(ini, "A", "after", "no");
    // Compared as a whole, so a failure does not print a megabyte.
    EXPECT_TRUE(dir.read("big.ini") == "[A]\r\nbig=" + big + "\r\nafter=no\r\n" + big);
}

}  // namespace
}  // namespace sendrix::platform

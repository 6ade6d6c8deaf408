// The switches of the command line, one argument list per case.
#include "app/command_line.h"

#include <gtest/gtest.h>

using sendrix::app::CommandLineFile;
using sendrix::app::CommandLineOptions;
using sendrix::app::ParseCommandLine;

namespace {

CommandLineOptions parse(std::vector<std::string> arguments) {
    return ParseCommandLine(arguments);
}

}  // namespace

TEST(CommandLine, NoArgumentsChangeNothing) {
    CommandLineOptions options = parse({});
    EXPECT_EQ(options.SalutationSwitch, -1);
    EXPECT_EQ(options.SubjectStamp, 0);
    EXPECT_FALSE(options.SendImmediately);
    EXPECT_FALSE(options.DontSave);
    EXPECT_FALSE(options.Subject);
    EXPECT_FALSE(options.To);
    EXPECT_FALSE(options.CC);
    EXPECT_FALSE(options.BCC);
    EXPECT_FALSE(options.ReplyTo);
    EXPECT_TRUE(options.Files.empty());
    EXPECT_TRUE(options.IniFiles.empty());
}

TEST(CommandLine, SalutationSwitchesIgnoreCaseAndTheLaterWins) {
    EXPECT_EQ(parse({"/anrede"}).SalutationSwitch, 1);
    EXPECT_EQ(parse({"/KeineAnrede"}).SalutationSwitch, 0);
    EXPECT_EQ(parse({"/ANREDE", "/KEINEANREDE"}).SalutationSwitch, 0);
    EXPECT_EQ(parse({"/KEINEANREDE", "/ANREDEn"}).SalutationSwitch, 1);  // prefix match
}

TEST(CommandLine, SenderFromBothSwitchesIsTheWholeTrimmedValue) {
    EXPECT_EQ(parse({"/from:anna@example.org"}).SenderOverride, "anna@example.org");
    EXPECT_EQ(parse({"/e:anna@example.org"}).SenderOverride, "anna@example.org");
    EXPECT_EQ(parse({"/FROM:  anna@example.org  "}).SenderOverride, "anna@example.org");
    EXPECT_EQ(parse({"/e:a@x.de", "/from:b@x.de"}).SenderOverride, "b@x.de");
}

TEST(CommandLine, SofortIsAPrefixDontsaveTheWholeArgument) {
    EXPECT_TRUE(parse({"/sofort"}).SendImmediately);
    EXPECT_TRUE(parse({"/SOFORTundmehr"}).SendImmediately);
    EXPECT_FALSE(parse({"/sofor"}).SendImmediately);

    EXPECT_TRUE(parse({"/dontsave"}).DontSave);
    EXPECT_TRUE(parse({"/DONTSAVE"}).DontSave);
    EXPECT_FALSE(parse({"/dontsaveX"}).DontSave);
    EXPECT_FALSE(parse({"/dontsave "}).DontSave);
    EXPECT_FALSE(parse({"/dontsav"}).DontSave);
}

TEST(CommandLine, AttachmentsAndBodiesKeepTheirOrder) {
    CommandLineOptions options = parse({"/A: /tmp/one.pdf ", "/b: /tmp/body.txt ", "/a:/tmp/two.pdf"});
    ASSERT_EQ(options.Files.size(), 3u);
    EXPECT_EQ(options.Files[0].kind, CommandLineFile::Kind::Attachment);
    EXPECT_EQ(options.Files[0].path, "/tmp/one.pdf");  // trimmed
    EXPECT_EQ(options.Files[1].kind, CommandLineFile::Kind::Body);
    EXPECT_EQ(options.Files[1].path, " /tmp/body.txt ");  // not trimmed
    EXPECT_EQ(options.Files[2].path, "/tmp/two.pdf");
}

TEST(CommandLine, SubjectToCcBccReplyAndName) {
    CommandLineOptions options = parse({"/subject: Rundbrief ", "/TO:bob@x.de", "/cc:c@x.de", "/BCC:d@x.de",
                                        "/r: reply@x.de ", "/n: Anna Muster "});
    EXPECT_EQ(options.Subject, "Rundbrief");
    EXPECT_EQ(options.To, "bob@x.de");
    EXPECT_EQ(options.CC, "c@x.de");
    EXPECT_EQ(options.BCC, "d@x.de");
    EXPECT_EQ(options.ReplyTo, "reply@x.de");
    EXPECT_EQ(options.DisplayNameOverride, "Anna Muster");
    EXPECT_EQ(parse({"/s:Rundbrief"}).Subject, parse({"/subject:Rundbrief"}).Subject);
    EXPECT_EQ(parse({"/s:eins", "/subject:zwei"}).Subject, "zwei");
}

TEST(CommandLine, DashEmptiesCcAndBcc) {
    CommandLineOptions options = parse({"/cc:a@x.de", "/bcc:b@x.de", "/cc:-", "/bcc: - "});
    EXPECT_EQ(options.CC, "");
    EXPECT_EQ(options.BCC, "");
    EXPECT_EQ(parse({"/cc:--"}).CC, "--");
}

TEST(CommandLine, DateStampTakesTheThirdCharacter) {
    struct Row {
        const char* argument;
        int stamp;
    } rows[] = {{"/DT", 1}, {"/dt", 1}, {"/DD", 2},    {"/DA", 3},      {"/Da", 3},
                {"/DX", 0}, {"/D", 0},  {"/DTxyz", 1}, {"/dontsave", 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.argument);
        EXPECT_EQ(parse({row.argument}).SubjectStamp, row.stamp);
    }
    EXPECT_EQ(parse({"/DT", "/DX"}).SubjectStamp, 1);  // another letter leaves it unchanged
    EXPECT_EQ(parse({"/DT", "/DA"}).SubjectStamp, 3);
}

TEST(CommandLine, IniValueIsNotTrimmed) {
    CommandLineOptions options = parse({"/INI:/tmp/a.ini", "/ini: /tmp/b.ini"});
    EXPECT_EQ(options.IniFiles, (std::vector<std::string>{"/tmp/a.ini", " /tmp/b.ini"}));
}

TEST(CommandLine, ValuesAreCutTo100Characters200ForAttachments) {
    const std::string longValue(250, 'x');
    EXPECT_EQ(parse({"/s:" + longValue}).Subject, std::string(100, 'x'));
    EXPECT_EQ(parse({"/subject:" + longValue}).Subject, std::string(100, 'x'));
    EXPECT_EQ(parse({"/s:" + std::string(100, 'y')}).Subject, std::string(100, 'y'));
    EXPECT_EQ(parse({"/to:" + longValue}).To->size(), 100u);
    EXPECT_EQ(parse({"/B:" + longValue}).Files[0].path.size(), 100u);
    EXPECT_EQ(parse({"/INI:" + longValue}).IniFiles[0].size(), 100u);
    EXPECT_EQ(parse({"/A:" + longValue}).Files[0].path, std::string(200, 'x'));
    // Cut first, then trimmed: blanks that end up at the end go as well.
    EXPECT_EQ(parse({"/s:" + std::string(99, 'z') + "   tail"}).Subject, std::string(99, 'z'));
}

TEST(CommandLine, CutCountsCharactersNotBytes) {
    std::string umlauts;
    for (int i = 0; i < 120; ++i)
        umlauts += "ä";
    std::string subject = *parse({"/s:" + umlauts}).Subject;
    EXPECT_EQ(subject.size(), 200u);  // 100 characters of two bytes each
    EXPECT_EQ(subject.substr(198), "ä");
}

TEST(CommandLine, UnknownArgumentsAndTheListFileAreIgnoredAsSwitches) {
    CommandLineOptions options = parse({"/tmp/liste.csv", "hello", "/x:1", "/sofort"});
    EXPECT_TRUE(options.SendImmediately);
    EXPECT_TRUE(options.Files.empty());
    EXPECT_FALSE(options.Subject);
}

TEST(CommandLine, EveryAddressSwitchRefusesControlCharactersTextSwitchesKeepThem) {
    const std::pair<std::string, std::string> rows[] = {
        {"/R:a@example.org\r\nBcc: b@example.net",
         "Der Wert von /R: enthält ein Steuerzeichen (etwa ein Zeilenende); es wurde nichts gesendet: "
         "\"a@example.org<CR><LF>Bcc: b@example.net\""},
        {"/from:a@example.org\nb@example.net", "Der Wert von /from: enthält ein Steuerzeichen"},
        {"/e:a@example.org\tb@example.net", "Der Wert von /e: enthält ein Steuerzeichen"},
        {"/R:" + std::string(95, 'r') + "@example.org", "Der Wert von /R: ist länger als 100 Zeichen; es "},
    };
    for (const auto& [argument, fault] : rows) {
        SCOPED_TRACE(argument);
        EXPECT_EQ(parse({argument}).Faults.at(0).rfind(fault, 0), 0u);
    }
    // As the same text from Mail.ini: kept for the writer to encode; only a
    // line break, which no line of Mail.ini holds, becomes a blank.
    const CommandLineOptions text = parse({"/s:Nummern\tund\x01Tab\r\nX", "/N:Weber\x02Nord"});
    EXPECT_TRUE(text.Faults.empty());
    EXPECT_EQ(text.Subject, "Nummern\tund\x01Tab  X");
    EXPECT_EQ(text.DisplayNameOverride, "Weber\x02Nord");
}

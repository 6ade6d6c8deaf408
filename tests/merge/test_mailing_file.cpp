// The mailing file: every field survives a save and an open, paths are kept
// relative to the file, and a broken file is refused with its line.
#include <gtest/gtest.h>

#include <filesystem>

#include "merge/mailing_file.h"
#include "support/expect_throw.h"
#include "support/temp_folder.h"

using namespace sendrix;
using namespace sendrix::merge;

namespace {

MailingDocument fullMailing(const std::string& folder) {
    MailingDocument m;
    m.subject = "Rundbrief {{Mitgliedsnummer}} – März";
    m.body = {"Liebe Mitglieder,", "", "[Mailing]", "Betreff=kein Schlüssel", "Grüße €", ""};
    m.listFile = folder + "listen/mitglieder.csv";
    m.attachments = {folder + "satzung.pdf", "/srv/gemeinsam/beitrag.pdf"};
    m.salutation = true;
    m.salutationTemplate = "Sehr geehrte%m/w %Name,";
    m.cc = "vorstand@example.org";
    m.bcc = "archiv@example.org, kasse@example.org";
    m.replyTo = "antwort@example.org";
    m.priorityIndex = 0;
    m.html = true;
    m.receipt = true;
    return m;
}

}  // namespace

TEST(MailingFile, EveryFieldSurvivesSaveAndOpen) {
    test::TempFolder home;
    const MailingDocument full = fullMailing(home.folder());
    // Each row changes one field of an empty mailing, then all at once: a
    // field that is not written or read back shows in its own row.
    struct Row {
        const char* name;
        void (*change)(MailingDocument&, const MailingDocument&);
    };
    const Row rows[] = {
        {"subject", [](MailingDocument& m, const MailingDocument& f) { m.subject = f.subject; }},
        {"body", [](MailingDocument& m, const MailingDocument& f) { m.body = f.body; }},
        {"body of empty lines",
         [](MailingDocument& m, const MailingDocument&) {
             m.body = {"", "", ""};
         }},
        {"body looking like mojibake",
         [](MailingDocument& m, const MailingDocument&) { m.body = {"Ã¤ bleibt"}; }},
        {"list", [](MailingDocument& m, const MailingDocument& f) { m.listFile = f.listFile; }},
        {"attachments", [](MailingDocument& m, const MailingDocument& f) { m.attachments = f.attachments; }},
        {"salutation", [](MailingDocument& m, const MailingDocument& f) { m.salutation = f.salutation; }},
        {"template",
         [](MailingDocument& m, const MailingDocument& f) { m.salutationTemplate = f.salutationTemplate; }},
        {"cc", [](MailingDocument& m, const MailingDocument& f) { m.cc = f.cc; }},
        {"bcc", [](MailingDocument& m, const MailingDocument& f) { m.bcc = f.bcc; }},
        {"reply-to", [](MailingDocument& m, const MailingDocument& f) { m.replyTo = f.replyTo; }},
        {"priority", [](MailingDocument& m, const MailingDocument& f) { m.priorityIndex = f.priorityIndex; }},
        {"lowest priority", [](MailingDocument& m, const MailingDocument&) { m.priorityIndex = 4; }},
        {"html", [](MailingDocument& m, const MailingDocument& f) { m.html = f.html; }},
        {"receipt", [](MailingDocument& m, const MailingDocument& f) { m.receipt = f.receipt; }},
        {"everything", [](MailingDocument& m, const MailingDocument& f) { m = f; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MailingDocument mailing;
        row.change(mailing, full);
        const std::string path = home.path("rundbrief.mailing");
        writeMailingFile(path, mailing);
        EXPECT_EQ(readMailingFile(path), mailing) << home.read("rundbrief.mailing");
    }
}

TEST(MailingFile, PathsInsideTheFolderAreWrittenRelativeAndReadAgainstTheFile) {
    test::TempFolder home;
    const std::string text = formatMailing(fullMailing(home.folder()), home.folder());
    EXPECT_NE(text.find("\r\nEmpfaengerliste=listen/mitglieder.csv\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nAnhang1=satzung.pdf\r\nAnhang2=/srv/gemeinsam/beitrag.pdf\r\n"),
              std::string::npos);

    // A path relative to the current folder (from the command line) is kept
    // as the file it named.
    MailingDocument relativeList;
    relativeList.listFile = "mitglieder.csv";
    EXPECT_EQ(parseMailing(formatMailing(relativeList, "/anderswo"), "/anderswo").listFile,
              (std::filesystem::current_path() / "mitglieder.csv").lexically_normal().string());

    // The folder moved elsewhere with its files: the mailing follows.
    const MailingDocument moved = parseMailing(text, "/anderswo/verein");
    EXPECT_EQ(moved.listFile, "/anderswo/verein/listen/mitglieder.csv");
    EXPECT_EQ(moved.attachments,
              (std::vector<std::string>{"/anderswo/verein/satzung.pdf", "/srv/gemeinsam/beitrag.pdf"}));

    // An HTML body's images inside the folder too; read back as written.
    MailingDocument images;
    images.html = true;
    images.body = {"<p><img src=\"" + home.folder() + "bilder/logo.png\" alt=\"L\">",
                   "<img src=\"/srv/bilder/wappen.png\"><img src=\"https://v.example/x.png\"></p>"};
    const std::vector<std::string> stored = {
        "<p><img src=\"bilder/logo.png\" alt=\"L\">",
        "<img src=\"/srv/bilder/wappen.png\"><img src=\"https://v.example/x.png\"></p>"};
    EXPECT_EQ(parseMailing(formatMailing(images, home.folder()), "/anderswo").body, stored);
    images.html = false;
    EXPECT_EQ(parseMailing(formatMailing(images, home.folder()), "/anderswo").body, images.body);
}

TEST(MailingFile, ReadsHandWrittenFiles) {
    const std::string text =
        "; von Hand\r\n"
        "[mailing]\n"
        "  betreff =  Hallo  \n"
        "empfaengerliste=..\\listen\\mitglieder.csv\n"
        "Anhang10=b.pdf\n"
        "Anhang2=a.pdf\n"
        "Anhang3=\n"
        "Prioritaet=low\n"
        "Unbekannt=wird übergangen\n"
        "[Spaeter]\n"
        "ohne Gleichheitszeichen\n"
        "[Text]\n"
        "erste Zeile\n"
        "zweite Zeile";
    const MailingDocument m = parseMailing(text, "/home/verein/post/");
    EXPECT_EQ(m.subject, "Hallo");
    EXPECT_EQ(m.listFile, "/home/verein/listen/mitglieder.csv");
    EXPECT_EQ(m.attachments,
              (std::vector<std::string>{"/home/verein/post/a.pdf", "/home/verein/post/b.pdf"}));
    EXPECT_EQ(m.priorityIndex, 3);
    EXPECT_FALSE(m.html);
    EXPECT_EQ(m.body, (std::vector<std::string>{"erste Zeile", "zweite Zeile"}));
}

TEST(MailingFile, RefusesBrokenFilesNamingFileLineAndReason) {
    struct Row {
        const char* name;
        const char* text;
        const char* reason;
    };
    const Row rows[] = {
        {"empty", "", "der Abschnitt [Mailing] fehlt"},
        {"a recipient list", "Name;Vorname;Email;Typ\r\nMuster;Anna;a@example.org;w\r\n",
         "Zeile 1 \"Name;Vorname;Email;Typ\" ist keine Zeile der Form Schlüssel=Wert im Abschnitt [Mailing]"},
        {"line without key", "[Mailing]\r\nBetreff=x\r\nnur Text\r\n",
         "Zeile 3 \"nur Text\" ist keine Zeile der Form Schlüssel=Wert im Abschnitt [Mailing]"},
        {"switch", "[Mailing]\r\nHTML=ja\r\n", "Zeile 2 \"HTML=ja\" hat keinen der Werte 0 oder 1"},
        {"priority", "[Mailing]\r\nPrioritaet=sehr hoch\r\n",
         "Zeile 2 \"Prioritaet=sehr hoch\" nennt keine Priorität (Highest, High, Normal, Low oder Lowest)"},
    };
    test::TempFolder home;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = home.write("kaputt.mailing", row.text);
        test::expectThrowText<MailingFileError>(
            [&] { readMailingFile(path); },
            "Die Datei " + path + " ist kein gültiges Mailing: " + row.reason + ".");
    }
    test::expectThrowText<FileError>([&] { readMailingFile(home.path("fehlt.mailing")); },
                                     testing::HasSubstr(home.path("fehlt.mailing")));
}

TEST(MailingFile, IsKnownByItsExtensionOrItsFirstLine) {
    test::TempFolder home;
    EXPECT_TRUE(isMailingFile(home.write("kaputt.MAILING", "Betreff=x\r\n")));
    EXPECT_FALSE(isMailingFile("/s:Bericht.mailing"));
    EXPECT_TRUE(isMailingFile(home.write("ohne-endung", "\xEF\xBB\xBF[Mailing]\r\nBetreff=x\r\n")));
    EXPECT_FALSE(isMailingFile(home.write("liste.csv", "Name;Vorname;Email;Typ\r\n")));
    EXPECT_FALSE(isMailingFile(home.path("fehlt.csv")));
}

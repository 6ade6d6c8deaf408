// The check before a list send: what it finds, at which level, and that it
// looks at marked rows only.
#include "merge/preflight.h"

#include <gtest/gtest.h>

#include "merge/personal_message.h"
#include "support/temp_folder.h"

using namespace sendrix;
using namespace sendrix::merge;

namespace {

std::vector<std::string> lines(const std::vector<Finding>& findings) {
    std::vector<std::string> out;
    for (const Finding& finding : findings)
        out.push_back(findingLine(finding));
    return out;
}

RecipientRow row(const std::string& email, const std::string& extra = "x") {
    return {"+", "N", "V", email, "", {extra}};
}

}  // namespace

TEST(Preflight, ReportsEveryKindOfFindingAtItsLevel) {
    test::TempFolder dir;
    dir.write("da.pdf", "%PDF");
    Mailing mailing;
    mailing.subject = "Nr. {{Nr}} {{Spitz}}";
    mailing.body.body = {"{{Spitz}} {{Unbekannt}}"};
    mailing.extraTitles = {"Nr"};
    EXPECT_EQ(lines(preflightCheck(mailing)),
              (std::vector<std::string>{
                  "Fehler: Der Platzhalter \"{{Spitz}}\" nennt keine Spalte der Empfängerliste.",
                  "Fehler: Text, Zeile 1: Der Platzhalter \"{{Unbekannt}}\" nennt keine Spalte der "
                  "Empfängerliste."}));

    mailing.subject = "Nr. {{Nr}}";
    mailing.body.body = {"Text"};
    mailing.extraTitles = {"Nr", "Anhang"};
    mailing.listFolder = dir.folder();
    mailing.attachments = {dir.path("weg.pdf")};
    mailing.rows = {
        {"+", "N", "V", "a@example.org", "", {"1", "da.pdf"}},
        {"+", "N", "V", "", "", {"2", ""}},
        {"+", "N", "V", "kein at", "", {"3", ""}},
        {"+", "N", "V", "A@Example.org", "", {"", "fehlt.pdf"}},
        {"", "N", "V", "kaputt", "", {"5", ""}},  // not marked: not looked at
        {"+", "N", "V", "b@localhost", "", {"6", ""}},
    };
    const std::vector<Finding> findings = preflightCheck(mailing);
    EXPECT_TRUE(hasError(findings));
    EXPECT_EQ(lines(findings),
              (std::vector<std::string>{
                  "Fehler: Der Anhang " + dir.path("weg.pdf") + " ist nicht zu finden.",
                  "Warnung: Zeile 2: keine E-Mail-Adresse; die Zeile wird übersprungen.",
                  "Fehler: Zeile 3: \"kein at\" ist keine gültige E-Mail-Adresse.",
                  "Warnung: Zeile 4: die Adresse A@Example.org steht schon in Zeile 1.",
                  "Warnung: Zeile 4: \"{{Nr}}\" im Betreff ist leer.",
                  "Fehler: Zeile 4: der Anhang " + dir.folder() + "/fehlt.pdf ist nicht zu finden.",
                  "Fehler: Zeile 6: \"b@localhost\" ist keine gültige E-Mail-Adresse."}));
}

TEST(Preflight, MessagesLargerThanTheServerTakesAreErrorsAndOverTheUsualSizeWarnings) {
    test::TempFolder dir;
    dir.write("gross.bin", std::string(30000, 'x'));
    Mailing mailing;
    mailing.attachments = {dir.path("gross.bin")};
    mailing.rows = {row("a@example.org")};
    mailing.extraTitles = {"Notiz"};
    EXPECT_TRUE(preflightCheck(mailing).empty());

    PreflightLimits limits;
    limits.usualSize = 40000;  // 30000 bytes are some 41000 in base64
    std::vector<Finding> findings = preflightCheck(mailing, limits);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].level, Finding::Level::Warning);

    limits.serverSize = 40000;
    findings = preflightCheck(mailing, limits);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].level, Finding::Level::Error);
    EXPECT_NE(findings[0].text.find("größer, als der Server annimmt"), std::string::npos) << findings[0].text;
}

TEST(Preflight, PlausibleAddresses) {
    for (const char* good :
         {"a@example.org", "a.b+c@sub.example.de", "x@[127.0.0.1]", "\"a@b\"@example.org"}) {
        SCOPED_TRACE(good);
        EXPECT_TRUE(plausibleAddress(good));
    }
    for (const char* bad : {"", "a", "@example.org", "a@", "a@b", "a b@example.org", "a@example.", "a@.org",
                            "a@@example.org", "a@exa..mple.org"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(plausibleAddress(bad));
    }
}

TEST(Preflight, LineBreaksInTheMailingsAddressFieldsAndOverLongAddressesAreErrors) {
    const struct {
        std::string Mailing::*field;
        std::string value;
        std::string finding;
    } rows[] = {
        {&Mailing::replyTo, "a@example.org\r\nBcc: b@example.net",
         "Fehler: Antwortadresse: \"a@example.org<CR><LF>Bcc: b@example.net\" enthält ein Zeilenende oder "
         "NUL."},
        {&Mailing::senderAddress, std::string("a@example.org\0x", 15),
         "Fehler: Absender: \"a@example.org<NUL>x\""},
        {&Mailing::bcc, "a@example.org\nb@example.net", "Fehler: BCC: \"a@example.org<LF>"},
    };
    for (const auto& c : rows) {
        SCOPED_TRACE(c.finding);
        Mailing mailing;
        mailing.rows = {row("kunde@example.org")};
        mailing.*c.field = c.value;
        const std::vector<std::string> found = lines(preflightCheck(mailing));
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].rfind(c.finding, 0), 0u) << found[0];
    }
    Mailing mailing;
    mailing.rows = {row("a@" + std::string(64, 'b') + ".de")};
    EXPECT_EQ(
        lines(preflightCheck(mailing)),
        std::vector<std::string>{"Fehler: Zeile 1: \"a@" + std::string(64, 'b') +
                                 ".de\" ist keine gültige E-Mail-Adresse: ein Teil des Namens nach dem @ "
                                 "ist länger als 63 Zeichen."});
}

TEST(Preflight, SectionsNameTheLineRowsTheirFileNumberAndRowCopiesAreChecked) {
    Mailing mailing;
    mailing.body.body = {"Hallo", "{{#Titel}}", "mit Titel"};
    mailing.extraTitles = {"Titel", "CC", "bcc"};
    mailing.cc = "vorstand@example.org";
    mailing.rows = {{"+", "N", "V", "a@example.org", "", {"", "kasse@example.org", "kasse(at)example.org"}}};
    mailing.sourceRows = {7};
    EXPECT_EQ(lines(preflightCheck(mailing)),
              (std::vector<std::string>{
                  "Fehler: Text, Zeile 2: Der Abschnitt \"{{#Titel}}\" wird nicht mit \"{{/Titel}}\" geschlossen.",
                  "Fehler: Zeile 7: \"kasse(at)example.org\" in der Spalte BCC ist keine gültige "
                  "E-Mail-Adresse."}));
    mailing.body.body.push_back("{{/Titel}}");
    mailing.rows[0].extra[2] = "";
    EXPECT_TRUE(preflightCheck(mailing).empty());
    const PersonalMessage message = personalMessage(mailing, mailing.rows[0]);
    EXPECT_EQ(message.cc, "vorstand@example.org, kasse@example.org");
    EXPECT_EQ(message.bcc, "");
}

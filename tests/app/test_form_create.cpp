// Start-up of the main window: the 17 steps, their order and the rule that a
// failing step skips the rest.
#include <cerrno>

#include "app/mail_settings.h"
#include "form_fixture.h"
#include "platform/profile_file.h"
#include "platform/text_file.h"

using namespace sendrix;
using namespace sendrix::test;
using app::kPageAnhang;
using app::kPageEmpfaengerliste;

namespace {

const std::vector<std::string> kTitles = {"OK", "Name", "Vorname", "Email", "Typ"};

}  // namespace

TEST_F(FormTest, NoArgumentsLeavesOnlyTheHeaderRowAndSwitchesTheSalutationOff) {
    home.write("Mail.ini", "[Optionen]\nBenutzeAnrede=1\nHTML=1\n");
    ASSERT_TRUE(create());
    EXPECT_TRUE(ui.errors.empty());
    ASSERT_EQ(form->empfaengerliste.RowCount(), 1);
    EXPECT_EQ(form->empfaengerliste.Cells[0], kTitles);
    EXPECT_FALSE(form->useAnrede.Checked);
    EXPECT_TRUE(form->empfaengerliste.Editing);
    EXPECT_FALSE(form->ListeSpeichern1.Enabled);
    EXPECT_TRUE(form->edtto.Enabled);
    EXPECT_EQ(form->edtto.Text, "");
    EXPECT_TRUE(form->html.Checked);
    EXPECT_EQ(form->cboPriority.ItemIndex, 2);
    EXPECT_EQ(form->cboPriority.Text, "Normal");
    EXPECT_EQ(form->Caption, "Sendrix");
    EXPECT_TRUE(form->calls.empty());
    EXPECT_EQ(form->RecipientListFile, "");
    EXPECT_TRUE(form->lvFiles.Items.empty());

    EXPECT_EQ(form->MailSettings.ConfigFile, home.path("Mail.ini"));
    EXPECT_EQ(form->UserSettingsFile, userFile());
    EXPECT_EQ(form->RecipientHistoryFile, historyFile());
    EXPECT_EQ(form->ProgramIniFile, platform::programFileInFolder() + ".ini");
    EXPECT_EQ(form->MailSettings.LogFile, home.path("logs/2026-03_EMail.log"));
    EXPECT_TRUE(home.exists("logs/2026-03_EMail.log"));
    EXPECT_EQ(home.read("logs/2026-03_EMail.log"), "");
    EXPECT_FALSE(form->SendImmediately || form->CloseAfterRun || form->DontSave);
}

TEST_F(FormTest, ArgumentsWithoutAListKeepTheEmptyRowAndTheSalutation) {
    home.write("Mail.ini", "[Optionen]\nBenutzeAnrede=1\n");
    ASSERT_TRUE(create({"/s:Rundbrief", "/liste-gibt-es-nicht.csv"}));
    EXPECT_EQ(form->empfaengerliste.RowCount(), 2);
    EXPECT_TRUE(form->useAnrede.Checked);
    EXPECT_TRUE(form->empfaengerliste.Editing);
    EXPECT_EQ(form->edtSubject.Text, "Rundbrief");
    EXPECT_TRUE(form->calls.empty());
    EXPECT_EQ(form->RecipientListFile, "");
}

TEST_F(FormTest, SalutationSwitchesOverrideTheConfiguration) {
    home.write("Mail.ini", "[Optionen]\nBenutzeAnrede=1\n");
    ASSERT_TRUE(create({"/KEINEANREDE"}));
    EXPECT_FALSE(form->useAnrede.Checked);
    ASSERT_TRUE(create({"/ANREDE"}));
    EXPECT_TRUE(form->useAnrede.Checked);
}

TEST_F(FormTest, FirstArgumentIsLoadedAsListBeforeTheSwitches) {
    const std::string list = home.write("liste.csv", "Muster;Anna;anna@example.org;w\r\n");
    const std::string pdf = home.write("a.pdf", "%PDF");
    const std::string body = home.write("body.txt", "Hallo\r\n");
    makeForm({list, "/A:" + pdf, "/A:" + home.path("fehlt.pdf"), "/B:" + body, "/a: " + pdf});
    form->Memo1.Lines = {"alt"};
    // The missing file stops the start (nothing is sent); the others come
    // in the order given.
    ASSERT_FALSE(runHandler(ui, [&] { form->FormCreate(); }));
    EXPECT_NE(ui.errors.back().find("Die Anlage " + home.path("fehlt.pdf")), std::string::npos);
    EXPECT_EQ(form->RecipientListFile, list);
    ASSERT_EQ(form->empfaengerliste.RowCount(), 2);
    EXPECT_EQ(form->empfaengerliste.Cells[1][3], "anna@example.org");
    EXPECT_EQ(form->lvFiles.Items, (std::vector<std::string>{pdf, pdf}));
    EXPECT_EQ(form->Memo.Lines, (std::vector<std::string>{"Hallo", ""}));
    EXPECT_TRUE(form->calls.empty());
    EXPECT_TRUE(form->Memo1.Lines.empty());
    EXPECT_TRUE(form->ListeSpeichern1.Enabled);
    EXPECT_EQ(form->edtto.Text, app::kRecipientListMarker);
}

TEST_F(FormTest, ConfigurationNamesListAndBodyFiles) {
    const std::string list = home.write("daten/liste.csv", "Muster;Anna;anna@example.org;w\r\n");
    const std::string body = home.write("daten/text.txt", "y\r\n");
    home.write("Mail.ini", "[Dateien]\nEmpfaenger=" + list + "\nNachricht=" + body + "\n");
    makeForm({"/to:bob@example.org"});
    form->Memo1.Lines = {"alt"};
    ASSERT_TRUE(runHandler(ui, [&] { form->FormCreate(); }));
    EXPECT_EQ(form->RecipientListFile, list);
    EXPECT_EQ(form->Memo.Lines, (std::vector<std::string>{"y", ""}));
    EXPECT_TRUE(form->Memo1.Lines.empty());
    // The list loaded by the configuration wins over "/to:".
    EXPECT_EQ(form->edtto.Text, app::kRecipientListMarker);
}

TEST_F(FormTest, ConfigurationPathsWrittenOnWindowsAreRelativeToTheProgramFolder) {
    const std::string list = home.write("listen/kunden.csv", "Muster;Anna;anna@example.org;w\r\n");
    home.write("Mail.ini", "[Dateien]\nEmpfaenger=.\\listen\\kunden.csv\nNachricht=fehlt.txt\n");
    ASSERT_TRUE(create());
    EXPECT_EQ(form->RecipientListFile, list);
    EXPECT_EQ(form->empfaengerliste.RowCount(), 2);
    EXPECT_TRUE(ui.errors.empty());
}

TEST_F(FormTest, ReadonlyConfigurationSetsDontSave) {
    home.write("Mail.ini", "[Optionen]\nReadonly=1\n");
    ASSERT_TRUE(create());
    EXPECT_TRUE(form->DontSave);
}

TEST_F(FormTest, ShowprofilZeroHidesOnlyTheProfileBox) {
    home.write("Mail.ini", "[optionen]\nshowprofil=0\n");
    ASSERT_TRUE(create());
    EXPECT_FALSE(form->selEmailProfil.Visible);
    EXPECT_TRUE(form->lblProfil.Visible);
    home.write("Mail.ini", "");
    ASSERT_TRUE(create());
    EXPECT_TRUE(form->selEmailProfil.Visible);
}

TEST_F(FormTest, IniSwitchNamingAMissingFileKeepsMailIni) {
    home.write("Mail.ini", "[Smtp]\nServerName=mail.example.org\n[Email]\nreplyto=r@example.org\n");
    ASSERT_TRUE(create({"/INI:" + home.path("gibt-es-nicht.ini")}));
    EXPECT_EQ(form->MailSettings.ConfigFile, home.path("Mail.ini"));
    EXPECT_EQ(form->edtReply.Text, "r@example.org");
}

TEST_F(FormTest, IniSwitchChangesTheConfigurationButNeverTheSmtpAccount) {
    home.write("Mail.ini", "[Smtp]\nServerName=mail.example.org\nServerPort=2525\n");
    const std::string other =
        home.write("other.ini", "[Smtp]\nServerName=evil.example.org\n[Email]\nreplyto=other@example.org\n");
    ASSERT_TRUE(create({"/INI:" + other}));
    EXPECT_EQ(form->MailSettings.ConfigFile, other);
    EXPECT_EQ(form->MailSettings.ServerName, "mail.example.org");
    EXPECT_EQ(form->MailSettings.ServerPort, 2525);
    EXPECT_EQ(form->edtReply.Text, "other@example.org");
}

TEST_F(FormTest, ServerPortThatIsNoNumberSkipsTheRemainingSteps) {
    home.write("Mail.ini",
               "[Smtp]\nServerName=mail.example.org\nServerPort=abc\n"
               "[Email]\nRealname=Anna\n");
    EXPECT_FALSE(create({"/s:Rundbrief"}));
    EXPECT_EQ(ui.errors, (std::vector<std::string>{"'abc' ist kein gültiger Integerwert"}));
    // Steps 1 to 5 happened ...
    EXPECT_EQ(form->empfaengerliste.Cells[0], kTitles);
    EXPECT_EQ(form->MailSettings.ServerName, "mail.example.org");
    // ... the command line, the configuration, the log file and the caption did not.
    EXPECT_EQ(form->edtSubject.Text, "");
    EXPECT_EQ(form->edtreal.Text, "");
    EXPECT_EQ(form->Caption, "Sendrix");
    EXPECT_FALSE(home.exists("logs/2026-03_EMail.log"));
    // The window can still be shown and closed.
    EXPECT_TRUE(runHandler(ui, [&] { form->FormShow(); }));
}

TEST_F(FormTest, UserSettingsReplaceTheConfigurationsSender) {
    home.write("Mail.ini", "[Email]\nPersonalEmail=config@example.org\nRealname=Konfig\n");
    ASSERT_TRUE(create());
    // No per-user file: both replaced by empty values.
    EXPECT_EQ(form->MailSettings.PersonalEmail, "");
    EXPECT_EQ(form->edtfrom.Text, "");
    EXPECT_EQ(form->edtreal.Text, "");

    platform::writeProfileString(userFile(), "email", "personalemail", "user@example.org");
    platform::writeProfileString(userFile(), "email", "realname", "Anna Muster");
    ASSERT_TRUE(create());
    EXPECT_EQ(form->MailSettings.PersonalEmail, "user@example.org");
    EXPECT_EQ(form->edtfrom.Text, "user@example.org");
    EXPECT_EQ(form->sAbsender.Caption, "user@example.org");
    EXPECT_EQ(form->Caption, "Sendrix (Anna Muster)");
}

TEST_F(FormTest, SenderAndNameSwitchesWinOverEverySetting) {
    platform::writeProfileString(userFile(), "Email", "PersonalEmail", "user@example.org");
    platform::writeProfileString(userFile(), "Email", "Realname", "Anna Muster");
    ASSERT_TRUE(create({"/from:cmd@example.org", "/N:Versand"}));
    EXPECT_EQ(form->MailSettings.PersonalEmail, "cmd@example.org");
    EXPECT_EQ(form->edtfrom.Text, "cmd@example.org");
    EXPECT_EQ(form->sAbsender.Caption, "cmd@example.org");
    EXPECT_EQ(form->edtreal.Text, "Versand");
    EXPECT_EQ(form->Caption, "Sendrix (Versand)");

    ASSERT_TRUE(create({"/e:", "/N:"}));  // empty overrides change nothing
    EXPECT_EQ(form->edtfrom.Text, "user@example.org");
    EXPECT_EQ(form->edtreal.Text, "Anna Muster");
}

TEST_F(FormTest, ReplyToSwitchSurvivesTheConfiguration) {
    home.write("Mail.ini", "[Email]\nreplyto=config@example.org\n");
    ASSERT_TRUE(create({"/R:caller@example.org"}));
    EXPECT_EQ(form->edtReply.Text, "caller@example.org");
    ASSERT_TRUE(create({"/R:"}));
    EXPECT_EQ(form->edtReply.Text, "config@example.org");
    ASSERT_TRUE(create({"/s:x"}));
    EXPECT_EQ(form->edtReply.Text, "config@example.org");
}

TEST_F(FormTest, SubjectFromConfigurationOnlyWhenTheKeyExists) {
    ASSERT_TRUE(create({"/s:Rundbrief"}));
    EXPECT_EQ(form->edtSubject.Text, "Rundbrief");
    home.write("Mail.ini", "[Email]\nSubject=Aus der Konfiguration\n");
    ASSERT_TRUE(create({"/s:Rundbrief"}));
    EXPECT_EQ(form->edtSubject.Text, "Aus der Konfiguration");
}

TEST_F(FormTest, DateSwitchStampsTheSubject) {
    struct Row {
        const char* stamp;
        const char* subject;
    } rows[] = {{"/DT", "Rundbrief (14:05:31)"},
                {"/DD", "Rundbrief (08.03.2026)"},
                {"/DA", "Rundbrief (08.03.2026 14:05:31)"},
                {"/DX", "Rundbrief"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stamp);
        ASSERT_TRUE(create({"/s:Rundbrief", row.stamp}));
        EXPECT_EQ(form->edtSubject.Text, row.subject);
    }
}

TEST_F(FormTest, CopyFieldsAndDash) {
    ASSERT_TRUE(create({"/cc:a@example.org", "/bcc:b@example.org"}));
    EXPECT_EQ(form->edtCC.Text, "a@example.org");
    EXPECT_EQ(form->edtBCC.Text, "b@example.org");
    ASSERT_TRUE(create({"/cc:a@example.org", "/cc:-", "/bcc:-"}));
    EXPECT_EQ(form->edtCC.Text, "");
    EXPECT_EQ(form->edtBCC.Text, "");
}

TEST_F(FormTest, SalutationTemplateIndexFromTheConfiguration) {
    struct Row {
        const char* value;
        int index;
        const char* text;
    } rows[] = {{"2", 2, "Sehr geehrte%m/w %Name,"},
                {"-1", -1, ""},
                {"99", -1, ""},
                {"kaputt", 0, "Hallo %Vorname,"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        home.write("Mail.ini", std::string("[Optionen]\nAnrede=") + row.value + "\n");
        ASSERT_TRUE(create());
        EXPECT_EQ(form->Anrede.ItemIndex, row.index);
        EXPECT_EQ(form->Anrede.Text, row.text);
    }
}

TEST_F(FormTest, RecipientHistoryIsLoadedSorted) {
    home.write(historyFile().substr(home.folder().size()), "zora@example.org\r\nanna@example.org\r\n");
    ASSERT_TRUE(create());
    EXPECT_EQ(form->edtto.Items, (std::vector<std::string>{"anna@example.org", "zora@example.org"}));
}

TEST_F(FormTest, LogFileThatCannotBeCreatedIsShownAndStopsTheStartUp) {
    home.write("logs", "a file where the folder belongs");
    home.write("Mail.ini", "[Email]\nRealname=Anna\n");
    EXPECT_FALSE(create());
    ASSERT_EQ(ui.errors.size(), 1u);
    EXPECT_NE(ui.errors[0].find(home.path("logs/2026-03_EMail.log")), std::string::npos);
    EXPECT_EQ(ui.errors[0].rfind(platform::fileErrorText(ENOTDIR), 0), 0u);
    EXPECT_EQ(form->Caption, "Sendrix (Anna)");  // set by the configuration, step 9
    EXPECT_TRUE(form->selEmailProfil.Items.empty());
}

TEST_F(FormTest, ExistingLogFileIsLeftAlone) {
    home.write("logs/2026-03_EMail.log", "alte Zeile\r\n");
    ASSERT_TRUE(create());
    EXPECT_EQ(home.read("logs/2026-03_EMail.log"), "alte Zeile\r\n");
}

TEST_F(FormTest, ProfilesAreListedAndTheLastMatchingOneSelected) {
    const std::string user = userFile();
    home.write(user.substr(home.folder().size()),
               "[Email]\nPersonalEmail=b@example.org\n"
               "[Email-Profil]\n0name=Privat\n0e=a@example.org\n1name=Büro\n1e=b@example.org\n"
               "1r=Bob Büro\n2name=Büro 2\n2e=b@example.org\n4name=Lücke\n");
    ASSERT_TRUE(create());
    EXPECT_EQ(form->selEmailProfil.Items, (std::vector<std::string>{"Privat", "Büro", "Büro 2"}));
    EXPECT_EQ(form->selEmailProfil.ItemIndex, 2);
    EXPECT_EQ(form->ProfileNumbers[0], 0);
    EXPECT_EQ(form->ProfileNumbers[2], 2);
    EXPECT_EQ(form->edtreal.Text, "");  // selecting at start does not load the profile

    const std::string before = home.read(user.substr(home.folder().size()));
    form->selEmailProfil.ItemIndex = 1;
    ASSERT_TRUE(runHandler(ui, [&] { form->selEmailProfilChange(); }));
    EXPECT_EQ(form->edtfrom.Text, "b@example.org");
    EXPECT_EQ(form->edtreal.Text, "Bob Büro");
    EXPECT_EQ(form->MailSettings.PersonalEmail, "b@example.org");
    EXPECT_EQ(form->Caption, "Sendrix (Bob Büro)");

    form->selEmailProfil.ItemIndex = 0;  // no "0r": empty display name
    form->selEmailProfilChange();
    EXPECT_EQ(form->edtfrom.Text, "a@example.org");
    EXPECT_EQ(form->sAbsender.Caption, "a@example.org");
    EXPECT_EQ(form->edtreal.Text, "");
    EXPECT_EQ(home.read(user.substr(home.folder().size())), before);  // nothing written
}

TEST_F(FormTest, ProfileTableStopsAt101Profiles) {
    std::string text = "[Email-Profil]\n";
    for (int n = 0; n < 130; ++n)
        text += std::to_string(n) + "name=P" + std::to_string(n) + "\n";
    home.write(userFile().substr(home.folder().size()), text);
    ASSERT_TRUE(create());
    ASSERT_EQ(form->selEmailProfil.Items.size(), 101u);
    EXPECT_EQ(form->selEmailProfil.Items.back(), "P100");
    form->selEmailProfil.ItemIndex = 100;
    EXPECT_TRUE(runHandler(ui, [&] { form->selEmailProfilChange(); }));
}

TEST_F(FormTest, UserNameWithCapitalsAndUmlautsKeepsTheUmlauts) {
    EXPECT_EQ(app::UserSettingsFileName("/p/", "ÄrgerMÜLLER Z"), "/p/ÄrgermÜller z.ini");
}

TEST_F(FormTest, SofortSendsAtShowAndClosesTheWindow) {
    ASSERT_TRUE(create({"/sofort", "/to:bob@example.org", "/s:Rundbrief"}));
    EXPECT_TRUE(form->SendImmediately);
    EXPECT_TRUE(form->CloseAfterRun);
    ASSERT_TRUE(runHandler(ui, [&] { form->FormShow(); }));
    EXPECT_EQ(form->calls, (std::vector<std::string>{"send"}));
    // The finished run asks for the close as well ("/sofort" sets CloseAfterRun).
    EXPECT_GT(ui.closeRequests, 0);
}

TEST_F(FormTest, FailedImmediateSendKeepsTheWindowOpen) {
    ASSERT_TRUE(create({"/SOFORT!", "/to:bob@example.org", "/s:Rundbrief"}));
    form->sendFails = true;
    EXPECT_FALSE(runHandler(ui, [&] { form->FormShow(); }));
    EXPECT_EQ(ui.errors, (std::vector<std::string>{"Verbindung abgelehnt"}));
    EXPECT_EQ(ui.closeRequests, 0);
    EXPECT_TRUE(form->SendImmediately);
}

TEST_F(FormTest, ShowWithoutSofortSendsNothingAndShowsAttachments) {
    const std::string pdf = home.write("a.pdf", "%PDF");
    ASSERT_TRUE(create({"/A:" + pdf}));
    form->pnltopright.ActivePageIndex = kPageEmpfaengerliste;
    ASSERT_TRUE(runHandler(ui, [&] { form->FormShow(); }));
    EXPECT_EQ(form->pnltopright.ActivePageIndex, kPageAnhang);
    EXPECT_EQ(ui.closeRequests, 0);

    ASSERT_TRUE(create());
    form->pnltopright.ActivePageIndex = kPageEmpfaengerliste;
    form->FormShow();
    EXPECT_EQ(form->pnltopright.ActivePageIndex, kPageEmpfaengerliste);
}

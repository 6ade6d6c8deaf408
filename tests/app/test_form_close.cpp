// What the close stores, where and when; the mail configuration menu items
// and the reply-to button.
#include <sys/stat.h>

#include "app/mail_settings.h"
#include "form_fixture.h"
#include "platform/profile_file.h"

using namespace sendrix;
using namespace sendrix::test;
using platform::readProfileBool;
using platform::readProfileInt;
using platform::readProfileString;

namespace {

std::string relative(const TestHome& home, const std::string& path) {
    return path.substr(home.folder().size());
}

}  // namespace

class FormCloseTest : public FormTest {
protected:
    // Choices a user might make before closing.
    void makeChoices() {
        form->Anrede.ItemIndex = 3;
        form->MailSettings.SentObjects = "/srv/gesendet";
        form->useAnrede.Checked = true;
        form->html.Checked = true;
        form->edtreal.Text = "Anna Muster";
        form->edtfrom.Text = "anna@example.org";
        form->edtto.Items = {"b@example.org", "a@example.org"};
    }
    // Closes as the view does: FormClose through the error handler.
    bool close() {
        return runHandler(ui, [&] { form->FormClose(); });
    }
};

TEST_F(FormCloseTest, StoresTheChoicesInConfigurationUserFileAndHistory) {
    const std::string original =
        "; Kommentar\r\n[Smtp]\r\nServerName=mail.example.org\r\n"
        "Fremd=bleibt\r\n";
    const std::string mailIni = home.write("Mail.ini", original);
    ASSERT_TRUE(create());
    makeChoices();
    ASSERT_TRUE(close());
    EXPECT_TRUE(ui.errors.empty());

    EXPECT_EQ(readProfileInt(mailIni, "Optionen", "Anrede", 0), 3);
    EXPECT_EQ(readProfileString(mailIni, "Optionen", "SentObjects", ""), "/srv/gesendet");
    EXPECT_TRUE(readProfileBool(mailIni, "Optionen", "BenutzeAnrede", false));
    EXPECT_TRUE(readProfileBool(mailIni, "Optionen", "HTML", false));
    const std::string text = home.read("Mail.ini");
    EXPECT_EQ(text.rfind(original, 0), 0u) << text;  // every other line kept, in front

    EXPECT_EQ(readProfileString(userFile(), "Email", "Realname", ""), "Anna Muster");
    EXPECT_EQ(readProfileString(userFile(), "Email", "PersonalEmail", ""), "anna@example.org");
    EXPECT_EQ(readProfileString(userFile(), "Optionen", "HTML", "none"), "none");
    EXPECT_EQ(home.read(relative(home, historyFile())), "b@example.org\r\na@example.org\r\n");

    // The next start reads back what was stored.
    ASSERT_TRUE(create({"/s:x"}));
    EXPECT_EQ(form->Anrede.ItemIndex, 3);
    EXPECT_EQ(form->MailSettings.SentObjects, "/srv/gesendet");
    EXPECT_TRUE(form->useAnrede.Checked);
    EXPECT_EQ(form->edtfrom.Text, "anna@example.org");
    EXPECT_EQ(form->Caption, "Sendrix (Anna Muster)");
    EXPECT_EQ(form->edtto.Items, (std::vector<std::string>{"a@example.org", "b@example.org"}));
}

TEST_F(FormCloseTest, NoneSelectedSalutationIsStoredAsMinusOne) {
    ASSERT_TRUE(create());
    form->Anrede.ItemIndex = -1;
    ASSERT_TRUE(close());
    EXPECT_EQ(readProfileString(home.path("Mail.ini"), "Optionen", "Anrede", ""), "-1");
}

TEST_F(FormCloseTest, SavesGoToTheIniSwitchesConfiguration) {
    home.write("Mail.ini", "[Smtp]\r\nServerName=mail.example.org\r\n");
    const std::string other = home.write("kampagne.ini", "[Email]\r\nreplyto=r@example.org\r\n");
    ASSERT_TRUE(create({"/INI:" + other}));
    makeChoices();
    ASSERT_TRUE(close());
    EXPECT_EQ(home.read("Mail.ini"), "[Smtp]\r\nServerName=mail.example.org\r\n");
    EXPECT_EQ(readProfileInt(other, "Optionen", "Anrede", 0), 3);
}

TEST_F(FormCloseTest, NothingIsWrittenWhenTheStartForbidsIt) {
    struct Row {
        const char* name;
        std::vector<std::string> arguments;
        const char* mailIni;
    } rows[] = {{"dontsave", {"/dontsave"}, "[Email]\r\nreplyto=r@example.org\r\n"},
                {"sofort", {"/sofort"}, "[Email]\r\nreplyto=r@example.org\r\n"},
                {"Readonly", {}, "[Optionen]\r\nReadonly=1\r\n"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        home.write("Mail.ini", row.mailIni);
        ASSERT_TRUE(create(row.arguments));
        makeChoices();
        ASSERT_TRUE(close());
        EXPECT_EQ(home.read("Mail.ini"), row.mailIni);
        EXPECT_FALSE(home.exists(relative(home, userFile())));
        EXPECT_FALSE(home.exists(relative(home, historyFile())));
    }
}

TEST_F(FormCloseTest, DontsaveWithTrailingCharactersStillSaves) {
    ASSERT_TRUE(create({"/dontsave2"}));
    makeChoices();
    ASSERT_TRUE(close());
    EXPECT_TRUE(home.exists(relative(home, userFile())));
}

TEST_F(FormCloseTest, UnwritableUserFileKeepsTheWindowOpenAndTheEarlierKeys) {
    ASSERT_TRUE(create());
    makeChoices();
    home.write(relative(home, userFile()) + "/blocker", "");  // a folder where the file belongs
    EXPECT_FALSE(close());
    EXPECT_EQ(ui.errors, (std::vector<std::string>{"In " + userFile() + " kann nicht geschrieben werden"}));
    EXPECT_EQ(readProfileInt(home.path("Mail.ini"), "Optionen", "Anrede", 0), 3);
    EXPECT_FALSE(home.exists(relative(home, historyFile())));
}

TEST_F(FormCloseTest, UnwritableHistoryFileKeepsTheWindowOpen) {
    ASSERT_TRUE(create());
    makeChoices();
    home.write(relative(home, historyFile()) + "/blocker", "");
    EXPECT_FALSE(close());
    EXPECT_EQ(ui.errors,
              (std::vector<std::string>{"Datei " + historyFile() + " kann nicht erstellt werden"}));
    EXPECT_EQ(readProfileString(userFile(), "Email", "PersonalEmail", ""), "anna@example.org");
}

TEST_F(FormCloseTest, BeendenAsksTheWindowToClose) {
    ASSERT_TRUE(create());
    form->Beenden1Click();
    EXPECT_EQ(ui.closeRequests, 1);
}

TEST_F(FormCloseTest, SavedConfigurationReopensWithoutListOrBody) {
    ASSERT_TRUE(create());
    form->MailSettings.PersonalEmail = "anna@example.org";
    form->edtreal.Text = "Anna Muster";
    form->edtReply.Text = "antwort@example.org";
    form->edtSubject.Text = "Rundbrief März";
    form->MailSettings.SentObjects = "./gesendet";
    form->Anrede.ItemIndex = 4;
    form->useAnrede.Checked = true;
    form->html.Checked = true;
    const std::string saved = home.path("kampagne.txt");
    ui.answerSaveFile(saved);
    ASSERT_TRUE(runHandler(ui, [&] { form->MailKonfigurationsichern1Click(); }));
    ASSERT_EQ(ui.saveDialogs.size(), 1u);
    EXPECT_EQ(ui.saveDialogs[0].Title, "Nachricht speichern");
    EXPECT_EQ(ui.saveDialogs[0].Filter, "Text-Dateien|*.txt|alle Dateien|*.*");
    EXPECT_EQ(readProfileString(saved, "Dateien", "Empfaenger", "x"), "");
    EXPECT_EQ(readProfileString(saved, "Dateien", "Nachricht", "x"), "");

    // Everything changed, then the saved configuration opened again.
    form->MailSettings.PersonalEmail = form->edtreal.Text = form->edtReply.Text = "";
    form->edtSubject.Text = "anders";
    form->MailSettings.SentObjects = "";
    form->Anrede.ItemIndex = 0;
    form->useAnrede.Checked = form->html.Checked = false;
    ui.answerOpenFile(saved);
    ASSERT_TRUE(runHandler(ui, [&] { form->MailKonfigurationffnen1Click(); }));
    ASSERT_EQ(ui.openDialogs.size(), 1u);
    EXPECT_EQ(ui.openDialogs[0].FilterIndex, 1);
    EXPECT_EQ(ui.openDialogs[0].Title, "Datei öffnen");
    EXPECT_EQ(ui.openDialogs[0].Filter, "Textdateien|*.txt|csv-Dateien|*.csv|alle Dateien|*.*");

    EXPECT_EQ(form->MailSettings.PersonalEmail, "anna@example.org");
    EXPECT_EQ(form->edtfrom.Text, "anna@example.org");
    EXPECT_EQ(form->sAbsender.Caption, "anna@example.org");
    EXPECT_EQ(form->edtreal.Text, "Anna Muster");
    EXPECT_EQ(form->Caption, "Sendrix (Anna Muster)");
    EXPECT_EQ(form->edtReply.Text, "antwort@example.org");
    EXPECT_EQ(form->edtSubject.Text, "Rundbrief März");
    EXPECT_EQ(form->MailSettings.SentObjects, "./gesendet");
    EXPECT_EQ(form->Anrede.ItemIndex, 4);
    EXPECT_TRUE(form->useAnrede.Checked);
    EXPECT_TRUE(form->html.Checked);
    EXPECT_TRUE(form->calls.empty());
    EXPECT_EQ(form->RecipientListFile, "");
    // Opening a configuration does not move the saves at close.
    EXPECT_EQ(form->MailSettings.ConfigFile, home.path("Mail.ini"));
}

TEST_F(FormCloseTest, CancelledDialogsDoNothing) {
    ASSERT_TRUE(create());
    form->edtSubject.Text = "bleibt";
    ui.answerOpenFile(std::nullopt);
    ui.answerSaveFile(std::nullopt);
    form->MailKonfigurationffnen1Click();
    form->MailKonfigurationsichern1Click();
    EXPECT_EQ(form->edtSubject.Text, "bleibt");
    EXPECT_EQ(ui.unusedAnswers(), 0u);
}

TEST_F(FormCloseTest, OpeningAHandWrittenConfigurationLoadsListAndBody) {
    ASSERT_TRUE(create());
    const std::string list = home.write("l.csv", "Muster;Anna;anna@example.org;w\r\n");
    const std::string body = home.write("b.txt", "y\r\n");
    const std::string config =
        home.write("hand.txt", "[Dateien]\r\nEmpfaenger=\"" + list + "\"\r\nNachricht=  " + body + "  \r\n");
    form->edtSubject.Text = "ohne Subject-Schlüssel";
    ui.answerOpenFile(config);
    ASSERT_TRUE(runHandler(ui, [&] { form->MailKonfigurationffnen1Click(); }));
    EXPECT_EQ(form->RecipientListFile, list);
    EXPECT_EQ(form->Memo.Lines, (std::vector<std::string>{"y", ""}));
    EXPECT_EQ(form->edtSubject.Text, "ohne Subject-Schlüssel");
}

TEST_F(FormCloseTest, SaveToAnUnwritablePlaceShowsTheError) {
    ASSERT_TRUE(create());
    const std::string folder = home.path("ordner");
    home.write("ordner/x", "");
    ui.answerSaveFile(folder);
    EXPECT_FALSE(runHandler(ui, [&] { form->MailKonfigurationsichern1Click(); }));
    EXPECT_EQ(ui.errors, (std::vector<std::string>{"In " + folder + " kann nicht geschrieben werden"}));
}

TEST_F(FormCloseTest, ReplyToButtonWritesToTheConfigurationAtOnce) {
    const std::string other = home.write("kampagne.ini", "");
    ASSERT_TRUE(create({"/INI:" + other}));
    form->edtReply.Text = "neu@example.org";
    form->SpeedButton1Click();
    EXPECT_EQ(readProfileString(other, "Email", "replyto", ""), "neu@example.org");
    EXPECT_FALSE(home.exists("Mail.ini"));
}

TEST_F(FormCloseTest, LeavingTheSenderFieldsUpdatesSenderLabelAndCaption) {
    ASSERT_TRUE(create());
    form->edtfrom.Text = "neu@example.org";
    form->edtreal.Text = "Neu";
    form->edtfromExit();
    EXPECT_EQ(form->MailSettings.PersonalEmail, "neu@example.org");
    EXPECT_EQ(form->sAbsender.Caption, "neu@example.org");
    EXPECT_EQ(form->Caption, "Sendrix (Neu)");
}

TEST_F(FormCloseTest, BrokenStartNeverWipesSettingsItDidNotRead) {
    const std::string mailIni = "[Smtp]\r\nServerPort=x25\r\n[Optionen]\r\nAnrede=4\r\nHTML=1\r\n";
    home.write("Mail.ini", mailIni);
    const std::string userText = "[Email]\r\nPersonalEmail=anna@example.org\r\n";
    home.write(relative(home, userFile()), userText);
    home.write(relative(home, historyFile()), "a@example.org\r\n");
    EXPECT_FALSE(create());
    ASSERT_TRUE(close());
    EXPECT_EQ(home.read("Mail.ini"), mailIni);
    EXPECT_EQ(home.read(relative(home, userFile())), userText);
    // The history was read before the failure and goes back unchanged.
    EXPECT_EQ(home.read(relative(home, historyFile())), "a@example.org\r\n");
}

TEST_F(FormCloseTest, AMailIniWithAPasswordThatOthersMayReadIsWarnedOfAndMadePrivate) {
    const std::string password = "[Smtp]\r\nServerPassword=\"" + app::ScramblePassword("geheim") + "\"\r\n";
    const std::string mailIni = home.path("Mail.ini");
    struct Row {
        const char* name;
        std::string text;
        unsigned mode;
        const char* warnedMode;  // nullptr: no warning
        unsigned afterClose;
    } rows[] = {
        {"password, 0644", password, 0644, "0644", 0600},
        {"password, group may read", password, 0640, "0640", 0600},
        {"password, others may only write", password, 0602, nullptr, 0600},
        {"password, private", password, 0600, nullptr, 0600},
        {"keyring marker", "[Smtp]\r\nServerPassword=`secret-service`\r\n", 0644, nullptr, 0644},
        {"no password", "[Smtp]\r\nServerName=mail.example.org\r\n", 0644, nullptr, 0644},
        {"empty password", "[Smtp]\r\nServerPassword=\"\"\r\n", 0644, nullptr, 0644},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        home.write("Mail.ini", row.text);
        ASSERT_EQ(::chmod(mailIni.c_str(), row.mode), 0);
        ui.warnings.clear();
        ASSERT_TRUE(create());
        std::vector<std::string> expected;
        if (row.warnedMode)
            expected.push_back("Die Datei " + mailIni +
                               " enthält das SMTP-Passwort und ist für Gruppe oder andere Benutzer lesbar "
                               "(Rechte " +
                               row.warnedMode +
                               "). Sendrix schreibt sie beim nächsten Speichern nur für den Besitzer lesbar "
                               "(0600); sofort geht es mit: chmod 600 " +
                               mailIni);
        EXPECT_EQ(ui.warnings, expected);
        ASSERT_TRUE(close());
        EXPECT_EQ(TempFolder::modeOf(mailIni), row.afterClose);
        EXPECT_EQ(home.read("Mail.ini").rfind(row.text, 0), 0u);
    }
}

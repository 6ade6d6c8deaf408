// The SMTP setup dialog: what it shows, what OK stores and in which order,
// and that the close box stores nothing.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "app/mail_settings.h"
#include "app/tfm_setup.h"
#include "form_fixture.h"
#include "platform/profile_file.h"
#include "platform/text_file.h"
#include "support/expect_throw.h"

using sendrix::test::expectThrowText;

namespace sendrix::test {
namespace {

using app::TfmSetup;
using app::TMailSettings;

TMailSettings accountSettings() {
    TMailSettings settings;
    settings.ServerName = "mail.example.org";
    settings.ServerPort = 587;
    settings.ServerUser = "anna";
    settings.ServerPassword = "geheim";
    settings.PasswordStorage = app::PasswordPlace::File;
    settings.SMTPAuthenticationType = 1;
    settings.SentObjects = ".\\gesendet";
    return settings;
}

TEST(TfmSetup, FormCreateShowsTheAccountWithThePlainPassword) {
    TMailSettings settings = accountSettings();
    ScriptedInteraction ui;
    TfmSetup dialog(settings, ui, "/nonexistent/Mail.ini");
    dialog.FormCreate();
    EXPECT_EQ(dialog.Caption, "E-Mail-Konto");
    EXPECT_EQ(dialog.SMTPServer.Text, "mail.example.org");
    EXPECT_EQ(dialog.SMTPPort.Text, "587");
    EXPECT_EQ(dialog.edtAccount.Text, "anna");
    EXPECT_EQ(dialog.edtPassword.Text, "geheim");
    EXPECT_TRUE(dialog.PasswordMasked);
    EXPECT_EQ(dialog.cboAuthType.ItemIndex, 1);
    EXPECT_EQ(dialog.cboAuthType.Text, "Benutzername und Passwort");
    EXPECT_EQ(dialog.sentobjects.Text, ".\\gesendet");
}

TEST(TfmSetup, AnUnknownLoginKindSelectsNoEntry) {
    for (int type : {-1, 5, 7}) {
        SCOPED_TRACE(type);
        TMailSettings settings = accountSettings();
        settings.SMTPAuthenticationType = type;
        ScriptedInteraction ui;
        TfmSetup dialog(settings, ui, "/nonexistent/Mail.ini");
        dialog.FormCreate();
        EXPECT_EQ(dialog.cboAuthType.ItemIndex, -1);
        EXPECT_EQ(dialog.cboAuthType.Text, "");
    }
}

TEST(TfmSetup, PasswordAnzeigenShowsThePasswordWhileTickedAndNoPopUpEver) {
    TMailSettings settings = accountSettings();
    ScriptedInteraction ui;
    TfmSetup dialog(settings, ui, "/nonexistent/Mail.ini");
    dialog.FormCreate();
    dialog.edtPassword.Text = "neu <b>&amp;";
    dialog.chkShowPassword.Checked = true;
    dialog.chkShowPasswordClick();
    EXPECT_FALSE(dialog.PasswordMasked);
    dialog.chkShowPassword.Checked = false;
    dialog.chkShowPasswordClick();
    EXPECT_TRUE(dialog.PasswordMasked);
    EXPECT_TRUE(ui.notices.empty());
}

class SetupStoreTest : public ::testing::Test {
protected:
    std::string mailIni() const { return home.path("Mail.ini"); }
    std::string key(const std::string& name) const {
        return platform::readProfileString(mailIni(), "Smtp", name, "<none>");
    }

    TestHome home;
    ScriptedInteraction ui;
    TMailSettings settings = accountSettings();
};

TEST_F(SetupStoreTest, OkStoresWhatWasTypedAndUpdatesTheRunningSettings) {
    home.write("Mail.ini", "[Smtp]\r\nServerName=alt\r\n[Optionen]\r\nSentobjects=alt\r\n");
    TfmSetup dialog(settings, ui, mailIni());
    dialog.FormCreate();
    dialog.SMTPServer.Text = "smtp.beispiel.de";
    dialog.SMTPPort.Text = "2525";
    dialog.edtAccount.Text = "jörg";
    dialog.edtPassword.Text = "Pass wort";
    dialog.cboAuthType.ItemIndex = 0;
    dialog.sentobjects.Text = "/srv/archiv";
    dialog.BitBtn1Click();

    EXPECT_EQ(key("ServerName"), "smtp.beispiel.de");
    EXPECT_EQ(key("ServerPort"), "2525");
    EXPECT_EQ(key("ServerUser"), "jörg");
    EXPECT_EQ(key("SMTPAuthenticationType"), "0");
    // Scrambled and quoted in the file, plain in memory.
    const std::string raw = home.read("Mail.ini");
    EXPECT_NE(raw.find("ServerPassword=\"" + app::ScramblePassword("Pass wort") + "\""), std::string::npos)
        << raw;
    EXPECT_EQ(raw.find("Pass wort"), std::string::npos);
    // The sent-objects folder is not written here.
    EXPECT_EQ(platform::readProfileString(mailIni(), "Optionen", "Sentobjects", ""), "alt");

    EXPECT_EQ(settings.ServerName, "smtp.beispiel.de");
    EXPECT_EQ(settings.ServerPort, 2525);
    EXPECT_EQ(settings.ServerUser, "jörg");
    EXPECT_EQ(settings.ServerPassword, "Pass wort");
    EXPECT_EQ(settings.SMTPAuthenticationType, 0);
    EXPECT_EQ(settings.SentObjects, "/srv/archiv");

    // Read back as the next start reads it.
    TMailSettings next;
    app::ReadSmtpAccount(mailIni(), next);
    EXPECT_EQ(next.ServerPassword, "Pass wort");
    EXPECT_EQ(next.ServerPort, 2525);
}

TEST_F(SetupStoreTest, APasswordStoredInTheFileLeavesItForItsOwnerAlone) {
    // A file others could read (written by hand, or before passwords were
    // kept private) becomes 0600 as the password goes in; new files are
    // 0600 from the start.
    for (bool existing : {true, false}) {
        SCOPED_TRACE(existing);
        ::unlink(mailIni().c_str());
        if (existing) {
            home.write("Mail.ini", "[Smtp]\r\nServerName=alt\r\n");
            ASSERT_EQ(::chmod(mailIni().c_str(), 0644), 0);
        }
        TfmSetup dialog(settings, ui, mailIni());
        dialog.FormCreate();
        dialog.edtPassword.Text = "geheim";
        dialog.BitBtn1Click();
        EXPECT_EQ(key("ServerPassword"), app::ScramblePassword("geheim"));
        EXPECT_EQ(test::TempFolder::modeOf(mailIni()), 0600u);
    }
}

TEST_F(SetupStoreTest, APortThatIsNoNumberIsRefusedBeforeAnythingIsStored) {
    home.write("Mail.ini", "[Smtp]\r\nServerPort=587\r\n");
    const std::string before = home.read("Mail.ini");
    TfmSetup dialog(settings, ui, mailIni());
    dialog.FormCreate();
    dialog.SMTPServer.Text = "neu.example.org";
    for (const char* typed : {"zwei", "", "70000", "0", "25 5"}) {
        SCOPED_TRACE(typed);
        dialog.SMTPPort.Text = typed;
        try {
            dialog.BitBtn1Click();
            ADD_FAILURE() << "no error";
        } catch (const Error& error) {
            const std::string text = error.what();
            EXPECT_EQ(text.substr(0, text.find('\r')).rfind("'" + std::string(typed) + "' ist kein", 0), 0u)
                << text;
            EXPECT_NE(text.find("\r\nPort 1 bis 65535 eintragen"), std::string::npos) << text;
        }
        EXPECT_TRUE(dialog.KeepOpen);
        EXPECT_EQ(home.read("Mail.ini"), before);
        EXPECT_EQ(settings.ServerName, "mail.example.org");
        EXPECT_EQ(settings.ServerPort, 587);
    }
    dialog.SMTPPort.Text = " 0x1A ";
    dialog.BitBtn1Click();
    EXPECT_EQ(settings.ServerPort, 26);
}

TEST_F(SetupStoreTest, AnEmptyPasswordIsAPairOfQuotesAndReadsBackEmpty) {
    TfmSetup dialog(settings, ui, mailIni());
    dialog.FormCreate();
    dialog.edtPassword.Text.clear();
    dialog.BitBtn1Click();
    EXPECT_NE(home.read("Mail.ini").find("ServerPassword=\"\"\r\n"), std::string::npos);
    TMailSettings next;
    app::ReadSmtpAccount(mailIni(), next);
    EXPECT_EQ(next.ServerPassword, "");
}

TEST_F(SetupStoreTest, NoSelectedLoginKindIsStoredAsMinusOne) {
    TfmSetup dialog(settings, ui, mailIni());
    dialog.FormCreate();
    dialog.cboAuthType.ItemIndex = -1;
    dialog.BitBtn1Click();
    EXPECT_EQ(key("SMTPAuthenticationType"), "-1");
    EXPECT_EQ(settings.SMTPAuthenticationType, -1);
}

TEST_F(SetupStoreTest, AnUnwritableFileStopsAtTheFirstKeyAndChangesNothing) {
    // A folder where the file should be: no write can succeed.
    ASSERT_TRUE(platform::createDirectories(home.path("Mail.ini")));
    TfmSetup dialog(settings, ui, mailIni());
    dialog.FormCreate();
    dialog.SMTPServer.Text = "neu.example.org";
    dialog.sentobjects.Text = "/neu";
    expectThrowText<FileError>([&] { dialog.BitBtn1Click(); },
                               "In " + mailIni() + " kann nicht geschrieben werden");
    EXPECT_EQ(settings.ServerName, "mail.example.org");
    EXPECT_EQ(settings.SentObjects, ".\\gesendet");
}

TEST_F(SetupStoreTest, APasswordThatCannotBeStoredKeepsTheEarlierStepsOnly) {
    TfmSetup dialog(settings, ui, mailIni());
    dialog.FormCreate();
    dialog.SMTPServer.Text = "neu.example.org";
    dialog.edtAccount.Text = "bert";
    dialog.edtPassword.Text = std::string(256, 'x');
    dialog.cboAuthType.ItemIndex = 0;
    dialog.sentobjects.Text = "/neu";
    EXPECT_THROW(dialog.BitBtn1Click(), Error);
    EXPECT_EQ(key("ServerName"), "neu.example.org");
    EXPECT_EQ(key("ServerUser"), "bert");
    EXPECT_EQ(key("ServerPassword"), "<none>");
    EXPECT_EQ(key("SMTPAuthenticationType"), "<none>");
    EXPECT_EQ(settings.ServerUser, "bert");
    EXPECT_EQ(settings.ServerPassword, "geheim");
    EXPECT_EQ(settings.SMTPAuthenticationType, 1);
    EXPECT_EQ(settings.SentObjects, ".\\gesendet");
}

// Drives the dialog as a person would, through a function.
class FunctionDialogRunner : public app::SetupDialogRunner {
public:
    explicit FunctionDialogRunner(std::function<void(TfmSetup&)> script) : m_script(std::move(script)) {}
    void RunModal(TfmSetup& dialog) override {
        ++opened;
        m_script(dialog);
    }
    int opened = 0;

private:
    std::function<void(TfmSetup&)> m_script;
};

class OptionenTest : public FormTest {};

TEST_F(OptionenTest, ANewDialogShowsTheDefaultsAndOkTakesEffectAtOnce) {
    home.write("Mail.ini", "[Email]\r\nSubject=Hallo\r\n");
    ASSERT_TRUE(create());
    std::string shownServer;
    bool shownMasked = false;
    FunctionDialogRunner runner([&](TfmSetup& dialog) {
        shownServer = dialog.SMTPServer.Text;
        shownMasked = dialog.PasswordMasked;
        dialog.chkShowPassword.Checked = true;
        dialog.chkShowPasswordClick();
        dialog.SMTPServer.Text = "smtp.neu.example";
        dialog.BitBtn1Click();
    });
    form->SetupDialogs = &runner;
    form->Optionen1Click();
    // The built-in ".invalid" host shows as an empty field with a placeholder.
    EXPECT_EQ(shownServer, "");
    EXPECT_TRUE(shownMasked);
    EXPECT_EQ(form->MailSettings.ServerName, "smtp.neu.example");
    EXPECT_EQ(platform::readProfileString(home.path("Mail.ini"), "Smtp", "ServerName", ""),
              "smtp.neu.example");

    // Opened again: a new dialog, masked again, showing the stored value.
    form->Optionen1Click();
    EXPECT_EQ(runner.opened, 2);
    EXPECT_EQ(shownServer, "smtp.neu.example");
    EXPECT_TRUE(shownMasked);
}

TEST_F(OptionenTest, TheCloseBoxLeavesFileAndSettingsAlone) {
    ASSERT_TRUE(create());
    const std::string before = home.read("Mail.ini");
    const app::TMailSettings settingsBefore = form->MailSettings;
    FunctionDialogRunner runner([](TfmSetup& dialog) {
        dialog.SMTPServer.Text = "getippt.example";
        dialog.edtPassword.Text = "getippt";
        dialog.sentobjects.Text = "/getippt";
        dialog.FormClose();
    });
    form->SetupDialogs = &runner;
    form->Optionen1Click();
    EXPECT_EQ(home.read("Mail.ini"), before);
    EXPECT_EQ(form->MailSettings.ServerName, settingsBefore.ServerName);
    EXPECT_EQ(form->MailSettings.ServerPassword, settingsBefore.ServerPassword);
    EXPECT_EQ(form->MailSettings.SentObjects, settingsBefore.SentObjects);
}

TEST_F(OptionenTest, OkWritesTheProgramFoldersMailIniNeverTheIniSwitchFile) {
    const std::string other = home.write("andere.ini", "[Email]\r\nSubject=x\r\n");
    ASSERT_TRUE(create({"/INI:" + other}));
    ASSERT_EQ(form->MailSettings.ConfigFile, other);
    FunctionDialogRunner runner([](TfmSetup& dialog) {
        dialog.SMTPServer.Text = "hier.example";
        dialog.BitBtn1Click();
    });
    form->SetupDialogs = &runner;
    form->Optionen1Click();
    EXPECT_EQ(platform::readProfileString(home.path("Mail.ini"), "Smtp", "ServerName", ""), "hier.example");
    EXPECT_EQ(platform::readProfileString(other, "Smtp", "ServerName", "<none>"), "<none>");
}

TEST(TfmSetup, ProviderEncryptionAndLoginFillTheFieldsThePortFollowsAndTheWarningShows) {
    TMailSettings settings = accountSettings();
    settings.ServerName = "smtp.web.de";
    settings.ServerPort = 25;
    ScriptedInteraction ui;
    TfmSetup dialog(settings, ui, "/nonexistent/Mail.ini");
    dialog.FormCreate();
    // A known server selects its provider; a login without encryption warns.
    EXPECT_EQ(dialog.cboProvider.Text, "WEB.DE");
    EXPECT_EQ(dialog.cboEncryption.Text, "Keine");
    EXPECT_TRUE(dialog.lblClearWarning.Visible);

    struct Step {
        const char* name;
        std::function<void()> act;
        std::string server, port, encryption;
        bool warning;
    };
    const std::vector<Step> steps = {
        {"STARTTLS: the usual port 25 becomes 587",
         [&] {
             dialog.cboEncryption.ItemIndex = 1;
             dialog.cboEncryptionChange();
         },
         "smtp.web.de", "587", "STARTTLS", false},
        {"SSL/TLS: 587 becomes 465",
         [&] {
             dialog.cboEncryption.ItemIndex = 2;
             dialog.cboEncryptionChange();
         },
         "smtp.web.de", "465", "SSL/TLS", false},
        {"a typed port stays",
         [&] {
             dialog.SMTPPort.Text = "2465";
             dialog.cboEncryption.ItemIndex = 0;
             dialog.cboEncryptionChange();
         },
         "smtp.web.de", "2465", "Keine", true},
        {"no login: no warning",
         [&] {
             dialog.cboAuthType.ItemIndex = 0;
             dialog.cboAuthTypeChange();
         },
         "smtp.web.de", "2465", "Keine", false},
        {"a provider fills server, port and encryption",
         [&] {
             dialog.cboProvider.ItemIndex = 3;
             dialog.cboProviderChange();
         },
         "securesmtp.t-online.de", "465", "SSL/TLS", false},
        {"own server changes nothing",
         [&] {
             dialog.cboProvider.ItemIndex = 0;
             dialog.cboProviderChange();
         },
         "securesmtp.t-online.de", "465", "SSL/TLS", false},
        {"XOAUTH2 with encryption: no warning",
         [&] {
             dialog.cboAuthType.ItemIndex = 3;
             dialog.cboAuthTypeChange();
         },
         "securesmtp.t-online.de", "465", "SSL/TLS", false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.act();
        EXPECT_EQ(dialog.SMTPServer.Text, step.server);
        EXPECT_EQ(dialog.SMTPPort.Text, step.port);
        EXPECT_EQ(dialog.cboEncryption.Items.at(dialog.cboEncryption.ItemIndex), step.encryption);
        EXPECT_EQ(dialog.lblClearWarning.Visible, step.warning);
    }
}

TEST_F(SetupStoreTest, NewKeysAreWrittenOnlyWhenSetAndReadBackByTheNextStart) {
    TfmSetup dialog(settings, ui, mailIni());
    dialog.FormCreate();
    dialog.BitBtn1Click();
    // A dialog that changes none of them leaves the file without them.
    EXPECT_EQ(key("Encryption"), "<none>");
    EXPECT_EQ(key("TokenCommand"), "<none>");

    dialog.cboEncryption.ItemIndex = 1;
    dialog.cboAuthType.ItemIndex = 3;
    dialog.edtTokenCommand.Text = "oauth2-token --konto \"anna b\"";
    dialog.BitBtn1Click();
    EXPECT_EQ(key("Encryption"), "1");
    EXPECT_EQ(settings.Encryption, 1);
    TMailSettings next;
    app::ReadSmtpAccount(mailIni(), next);
    EXPECT_EQ(next.Encryption, 1);
    EXPECT_EQ(next.SMTPAuthenticationType, 3);
    EXPECT_EQ(next.TokenCommand, "oauth2-token --konto \"anna b\"");

    // Back to "Keine": the key is present now, so it says so.
    dialog.cboEncryption.ItemIndex = 0;
    dialog.BitBtn1Click();
    EXPECT_EQ(key("Encryption"), "0");
}

TEST_F(SetupStoreTest, PaceOutsideItsRangeIsRefusedBeforeAnythingIsStoredAndWrittenOnlyWhenSet) {
    home.write("Mail.ini", "[Smtp]\r\nServerPort=587\r\n");
    const std::string before = home.read("Mail.ini");
    TfmSetup dialog(settings, ui, mailIni());
    dialog.FormCreate();
    EXPECT_EQ(dialog.edtMessagesPerMinute.Text, "0");
    EXPECT_EQ(dialog.edtMessagesPerConnection.Text, "1");
    struct Row {
        const char* perMinute;
        const char* perConnection;
        const char* refusal;  // start of the error, empty when stored
    } bad[] = {
        {"dreißig", "1",
         "'dreißig' ist kein gültiger Wert für \"Mails pro Minute (0: ohne Grenze)\".\r\n0 bis 10000"},
        {"-1", "1", "'-1' ist kein gültiger Wert für \"Mails pro Minute"},
        {"10001", "1", "'10001' ist kein gültiger Wert für \"Mails pro Minute"},
        {"30", "0", "'0' ist kein gültiger Wert für \"Mails pro Verbindung\".\r\n1 bis 1000 eintragen"},
        {"30", "1001", "'1001' ist kein gültiger Wert für \"Mails pro Verbindung"},
        {"30", "2 0", "'2 0' ist kein gültiger Wert für \"Mails pro Verbindung"},
    };
    for (const Row& row : bad) {
        SCOPED_TRACE(std::string(row.perMinute) + " / " + row.perConnection);
        dialog.edtMessagesPerMinute.Text = row.perMinute;
        dialog.edtMessagesPerConnection.Text = row.perConnection;
        expectThrowText<Error>([&] { dialog.BitBtn1Click(); }, ::testing::StartsWith(row.refusal));
        EXPECT_TRUE(dialog.KeepOpen);
        EXPECT_EQ(home.read("Mail.ini"), before);
        EXPECT_EQ(settings.MessagesPerMinute, 0);
    }
    // Blank is the absence: no limit, one message per connection; nothing new in the file.
    dialog.edtMessagesPerMinute.Text = " ";
    dialog.edtMessagesPerConnection.Text = "";
    dialog.BitBtn1Click();
    EXPECT_FALSE(dialog.KeepOpen);
    EXPECT_EQ(key("MessagesPerMinute"), "<none>");
    EXPECT_EQ(key("MessagesPerConnection"), "<none>");

    dialog.edtMessagesPerMinute.Text = " 30 ";
    dialog.edtMessagesPerConnection.Text = "1000";
    dialog.BitBtn1Click();
    EXPECT_EQ(key("MessagesPerMinute"), "30");
    EXPECT_EQ(key("MessagesPerConnection"), "1000");
    EXPECT_EQ(settings.MessagesPerMinute, 30);
    EXPECT_EQ(settings.MessagesPerConnection, 1000);
    TMailSettings next;
    app::ReadSmtpAccount(mailIni(), next);
    EXPECT_EQ(next.MessagesPerMinute, 30);
    EXPECT_EQ(next.MessagesPerConnection, 1000);
    // Once present, the defaults are written as such.
    dialog.edtMessagesPerMinute.Text = "0";
    dialog.edtMessagesPerConnection.Text = "1";
    dialog.BitBtn1Click();
    EXPECT_EQ(key("MessagesPerMinute"), "0");
    EXPECT_EQ(key("MessagesPerConnection"), "1");
}

}  // namespace
}  // namespace sendrix::test

namespace sendrix::test {
namespace {

TEST(TfmSetup, AProviderSetsLoginAndPaceAndTheOwnServerSetsThePaceBack) {
    TMailSettings settings = accountSettings();
    ScriptedInteraction ui;
    TfmSetup dialog(settings, ui, "/nonexistent/Mail.ini");
    dialog.FormCreate();
    struct Row {
        const char* provider;
        std::string server, login, perMinute, perConnection;
    } rows[] = {
        {"Microsoft 365", "smtp.office365.com", "Microsoft-/Google-Anmeldung (OAuth 2)", "30", "1"},
        {"GMX", "mail.gmx.net", "Benutzername und Passwort", "0", "1"},
        {"Gmail", "smtp.gmail.com", "Microsoft-/Google-Anmeldung (OAuth 2)", "0", "20"},
        {"(eigener Server)", "smtp.gmail.com", "Microsoft-/Google-Anmeldung (OAuth 2)", "0", "1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.provider);
        const auto& items = dialog.cboProvider.Items;
        dialog.cboProvider.ItemIndex =
            static_cast<int>(std::find(items.begin(), items.end(), row.provider) - items.begin());
        dialog.cboProviderChange();
        EXPECT_EQ(dialog.SMTPServer.Text, row.server);
        EXPECT_EQ(dialog.cboAuthType.Text, row.login);
        EXPECT_EQ(dialog.edtMessagesPerMinute.Text, row.perMinute);
        EXPECT_EQ(dialog.edtMessagesPerConnection.Text, row.perConnection);
    }
}

TEST(TfmSetup, AFoundServerComesWithThePasswordLoginAndTheAddressAsAccount) {
    TMailSettings settings = accountSettings();
    settings.ServerUser = app::kDefaultServerUser;
    ScriptedInteraction ui;
    TfmSetup dialog(settings, ui, "/nonexistent/Mail.ini");
    dialog.FormCreate();
    dialog.edtSenderAddress.Text = "anna@verein.example";
    dialog.cboAuthType.ItemIndex = 0;
    dialog.applyDiscovery(
        {app::Discovery::Source::Dns, -1, {"mail.verein.example", 465, app::kEncryptionTls}, ""});
    EXPECT_EQ(dialog.SMTPServer.Text, "mail.verein.example");
    EXPECT_EQ(dialog.SMTPPort.Text, "465");
    EXPECT_EQ(dialog.cboEncryption.Text, "SSL/TLS");
    EXPECT_EQ(dialog.cboAuthType.ItemIndex, 1);
    EXPECT_EQ(dialog.cboProvider.ItemIndex, 0);
    EXPECT_EQ(dialog.edtAccount.Text, "anna@verein.example");
}

TEST_F(SetupStoreTest, AnAccountNeverSetUpShowsEmptyFieldsAndOkLeavesTheDefaultsAsTheyWere) {
    home.write("Mail.ini", "[Smtp]\r\nServerName=mail.example.org\r\n");
    TMailSettings fresh;
    app::ReadSmtpAccount(mailIni(), fresh);
    TfmSetup dialog(fresh, ui, mailIni());
    dialog.FormCreate();
    // Neither "your_login" nor the unscrambled placeholder password shows.
    EXPECT_EQ(dialog.SMTPServer.Text, "mail.example.org");
    EXPECT_EQ(dialog.edtAccount.Text, "");
    EXPECT_EQ(dialog.edtPassword.Text, "");
    dialog.BitBtn1Click();
    EXPECT_EQ(key("ServerUser"), app::kDefaultServerUser);
    EXPECT_EQ(key("ServerPassword"), "<none>");
    EXPECT_EQ(fresh.PasswordStorage, app::PasswordPlace::Default);

    // A password typed later is stored as always.
    TfmSetup again(fresh, ui, mailIni());
    again.FormCreate();
    again.edtPassword.Text = "neu";
    again.BitBtn1Click();
    EXPECT_EQ(key("ServerPassword"), app::ScramblePassword("neu"));
    EXPECT_EQ(fresh.ServerPassword, "neu");
}

TEST_F(SetupStoreTest, OkStoresTheSenderInTheUserSettings) {
    TfmSetup dialog(settings, ui, mailIni());
    dialog.UserSettingsFile = home.path("anna.ini");
    dialog.FormCreate();
    dialog.edtSenderName.Text = "Förderverein";
    dialog.edtSenderAddress.Text = "vorstand@verein.example";
    dialog.BitBtn1Click();
    EXPECT_EQ(platform::readProfileString(home.path("anna.ini"), "Email", "realname", ""), "Förderverein");
    EXPECT_EQ(platform::readProfileString(home.path("anna.ini"), "Email", "Personalemail", ""),
              "vorstand@verein.example");
    EXPECT_EQ(settings.PersonalEmail, "vorstand@verein.example");
    EXPECT_TRUE(dialog.Stored);
}

}  // namespace
}  // namespace sendrix::test

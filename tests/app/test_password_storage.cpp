// Where "ServerPassword" keeps the password, on a machine without a keyring
// (the tests' session bus does not exist): the file's scrambled password
// keeps working, and a password left in a keyring is a clear error.
#include <gtest/gtest.h>

#include <sstream>

#include "app/mail_settings.h"
#include "app/secret_store.h"
#include "app/tfm_setup.h"
#include "app/unattended_run.h"
#include "platform/error.h"
#include "support/app/scripted_interaction.h"
#include "support/app/test_home.h"
#include "support/expect_throw.h"
#include "support/scripted_smtp_server.h"

using sendrix::test::expectThrowText;

using namespace sendrix;
using app::PasswordPlace;

namespace {

class PasswordStorageTest : public ::testing::Test {
protected:
    void writeAccount(int authenticationType, const std::string& passwordLine) {
        home.write("Mail.ini", "[Smtp]\r\nServerName=127.0.0.1\r\nServerPort=" +
                                   std::to_string(server.port()) + "\r\nServerUser=anna\r\n" +
                                   "SMTPAuthenticationType=" + std::to_string(authenticationType) + "\r\n" +
                                   passwordLine);
    }
    int runUnattended() {
        const std::vector<std::string> arguments = {
            "/to:bert@example.org", "/s:Rundbrief", "/from:anna@example.org",
            "/B:" + home.write("text.txt", "Guten Tag.\r\n"), "/sofort"};
        return app::RunWithoutWindow(arguments, out, err);
    }
    static test::SmtpBehaviour checkedLogin() {
        test::SmtpBehaviour behaviour;
        behaviour.user = "anna";
        behaviour.password = "geheim";
        return behaviour;
    }

    test::TestHome home;
    test::ScriptedSmtpServer server{{test::SmtpScript::standard(checkedLogin())}};
    std::ostringstream out;
    std::ostringstream err;
};

}  // namespace

TEST(PasswordStorage, TheFileSaysWhereThePasswordIs) {
    struct Row {
        const char* name;
        std::string line;
        PasswordPlace place;
        bool loaded;
        std::string password;
    };
    const Row rows[] = {
        // The placeholder is read as a stored (scrambled) value, as always.
        {"absent", "", PasswordPlace::Default, true, app::ScramblePassword("type_passcode")},
        {"scrambled", "ServerPassword=\"" + app::ScramblePassword("geheim") + "\"\r\n", PasswordPlace::File,
         true, "geheim"},
        {"empty", "ServerPassword=\"\"\r\n", PasswordPlace::File, true, ""},
        {"marker", "ServerPassword=`secret-service`\r\n", PasswordPlace::Keyring, false, ""},
        {"marker in quotes", "ServerPassword= \"`secret-service`\"\r\n", PasswordPlace::Keyring, false, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::TestHome home;
        app::TMailSettings settings;
        app::ReadSmtpAccount(home.write("Mail.ini", "[Smtp]\r\n" + row.line), settings);
        EXPECT_EQ(settings.PasswordStorage, row.place);
        EXPECT_EQ(settings.PasswordLoaded, row.loaded);
        EXPECT_EQ(settings.ServerPassword, row.password);
    }
}

TEST(PasswordStorage, APasswordInTheKeyringWithoutAStoreNamesTheWayOut) {
    app::TMailSettings settings;
    settings.PasswordLoaded = false;
    expectThrowText<Error>([&] { app::SmtpLoginPassword(settings, nullptr); },
                           "Das Passwort liegt im Schlüsselbund, und dieser Lauf hat keinen Zugang dazu. "
                           "Für den unbeaufsichtigten Betrieb das Passwort in Mail.ini speichern: in der "
                           "Einrichtung (Extras > Optionen) „Passwort in der Datei speichern (für "
                           "unbeaufsichtigten Betrieb)“ wählen.");
}

TEST_F(PasswordStorageTest, AScrambledPasswordSendsWithoutAnyKeyring) {
    writeAccount(1, "ServerPassword=\"" + app::ScramblePassword("geheim") + "\"\r\n");
    EXPECT_EQ(runUnattended(), 0) << err.str();
    ASSERT_TRUE(server.waitForSessions(1));
    EXPECT_NE(server.received(0).find("auth LOGIN\r\n"), std::string::npos);
    EXPECT_EQ(server.messages().size(), 1u);
}

TEST_F(PasswordStorageTest, AKeyringPasswordWithoutAKeyringStopsTheRunBeforeConnecting) {
    writeAccount(1, "ServerPassword=`secret-service`\r\n");
    EXPECT_EQ(runUnattended(), 1);
    const std::string errors = err.str();
    EXPECT_NE(errors.find("Kein Schlüsselbund (Secret Service) erreichbar: "), std::string::npos) << errors;
    EXPECT_NE(errors.find("„Passwort in der Datei speichern (für unbeaufsichtigten Betrieb)“ "
                          "wählen."),
              std::string::npos);
    EXPECT_EQ(server.sessionCount(), 0u);
}

TEST_F(PasswordStorageTest, WithoutLoginTheKeyringIsNeverAsked) {
    writeAccount(0, "ServerPassword=`secret-service`\r\n");
    EXPECT_EQ(runUnattended(), 0) << err.str();
    ASSERT_TRUE(server.waitForSessions(1));
    EXPECT_EQ(server.received(0).find("auth"), std::string::npos);
}

TEST_F(PasswordStorageTest, SetupWithoutAKeyringStoresIntoTheFileAndSaysSo) {
    writeAccount(1, "");
    app::TMailSettings settings;
    app::ReadSmtpAccount(home.path("Mail.ini"), settings);
    test::ScriptedInteraction ui;
    const std::unique_ptr<app::SecretStore> keyring = app::DesktopSecretStore(app::SecretPrompt::Allowed);
    app::TfmSetup dialog(settings, ui, home.path("Mail.ini"));
    dialog.Secrets = keyring.get();
    dialog.FormCreate();
    EXPECT_TRUE(dialog.chkPasswordInFile.Checked);
    EXPECT_FALSE(dialog.chkPasswordInFile.Enabled);
    EXPECT_EQ(dialog.lblPasswordStore.Caption,
              "Kein Schlüsselbund erreichbar: Das Passwort wird verschleiert in Mail.ini "
              "gespeichert.");
    dialog.edtPassword.Text = "geheim";
    dialog.BitBtn1Click();
    EXPECT_NE(home.read("Mail.ini").find("ServerPassword=\"" + app::ScramblePassword("geheim") + "\""),
              std::string::npos);
    EXPECT_EQ(runUnattended(), 0) << err.str();
}

TEST_F(PasswordStorageTest, SetupMendsAPasswordWhoseKeyringIsGone) {
    writeAccount(1, "ServerPassword=`secret-service`\r\n");
    app::TMailSettings settings;
    app::ReadSmtpAccount(home.path("Mail.ini"), settings);
    test::ScriptedInteraction ui;
    app::TfmSetup dialog(settings, ui, home.path("Mail.ini"));
    dialog.FormCreate();  // no keyring at all
    EXPECT_EQ(dialog.edtPassword.Text, "");
    EXPECT_EQ(dialog.lblPasswordStore.Caption.rfind("Das Passwort liegt im Schlüsselbund", 0), 0u);
    EXPECT_TRUE(dialog.chkPasswordInFile.Checked);
    dialog.edtPassword.Text = "geheim";
    dialog.BitBtn1Click();
    EXPECT_EQ(runUnattended(), 0) << err.str();
}

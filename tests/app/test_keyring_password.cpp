// The SMTP password in a real GNOME Keyring. CTest runs this program through
// tests/support/with_keyring.sh: a D-Bus session of its own with an
// unlocked "login" keyring in a throw-away home.
#include <libsecret/secret.h>

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "app/handler_runner.h"
#include "app/mail_settings.h"
#include "app/oauth_token_store.h"
#include "app/secret_store.h"
#include "app/tfm_setup.h"
#include "app/tfrm_message_editor.h"
#include "app/unattended_run.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/profile_file.h"
#include "support/app/scripted_interaction.h"
#include "support/app/test_home.h"
#include "support/scripted_smtp_server.h"

using namespace sendrix;
using app::SecretPrompt;
using app::TfmSetup;

namespace {

const std::string kPassword = "Gehe1m äöü €";

void lockTheDefaultKeyring() {
    GError* error = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
    ASSERT_TRUE(service) << error->message;
    SecretCollection* collection = secret_collection_for_alias_sync(service, SECRET_COLLECTION_DEFAULT,
                                                                    SECRET_COLLECTION_NONE, nullptr, &error);
    ASSERT_TRUE(collection) << error->message;
    GList* objects = g_list_append(nullptr, collection);
    const gint locked = secret_service_lock_sync(service, objects, nullptr, nullptr, &error);
    g_list_free(objects);
    g_object_unref(collection);
    g_object_unref(service);
    ASSERT_EQ(locked, 1) << (error ? error->message : "");
}

class KeyringPasswordTest : public ::testing::Test {
protected:
    KeyringPasswordTest() : clock(platform::LocalTime{2026, 3, 8, 14, 5, 31, 0, 60}) {}

    void SetUp() override {
        ASSERT_TRUE(windowKeyring->Available())
            << "no Secret Service: run through tests/support/with_keyring.sh";
    }
    std::string mailIni() const { return home.path("Mail.ini"); }
    void writeAccount(const std::string& passwordLine = "") {
        home.write("Mail.ini",
                   "[Smtp]\r\nServerName=127.0.0.1\r\nServerPort=" + std::to_string(server.port()) +
                       "\r\nServerUser=anna\r\nSMTPAuthenticationType=1\r\n" + passwordLine);
    }
    // Opens the setup dialog as "Extras > Optionen" does in the window.
    std::unique_ptr<TfmSetup> openSetup() {
        app::ReadSmtpAccount(mailIni(), settings);
        auto dialog = std::make_unique<TfmSetup>(settings, ui, mailIni());
        dialog->Secrets = windowKeyring.get();
        dialog->FormCreate();
        return dialog;
    }
    std::vector<std::string> unattendedArguments() {
        return {"/to:bert@example.org", "/s:Rundbrief", "/from:anna@example.org",
                "/B:" + home.write("text.txt", "Guten Tag.\r\n"), "/sofort"};
    }
    // The unattended program on this program folder: its exit status.
    int runUnattended() { return app::RunWithoutWindow(unattendedArguments(), out, err); }

    static test::SmtpBehaviour checkedLogin() {
        test::SmtpBehaviour behaviour;
        behaviour.user = "anna";
        behaviour.password = kPassword;
        return behaviour;
    }

    test::TestHome home;
    platform::FixedClock clock;
    test::ScriptedInteraction ui;
    test::ScriptedSmtpServer server{{test::SmtpScript::standard(checkedLogin())}};
    app::TMailSettings settings;
    std::unique_ptr<app::SecretStore> windowKeyring = app::DesktopSecretStore(SecretPrompt::Allowed);
    std::ostringstream out;
    std::ostringstream err;
};

}  // namespace

TEST_F(KeyringPasswordTest, SetupStoresThePasswordInTheKeyringAndTheSendLogsInWithIt) {
    writeAccount();
    std::unique_ptr<TfmSetup> dialog = openSetup();
    EXPECT_TRUE(dialog->chkPasswordInFile.Enabled);
    EXPECT_FALSE(dialog->chkPasswordInFile.Checked);
    EXPECT_EQ(dialog->lblPasswordStore.Caption,
              "Das Passwort wird im Schlüsselbund des Desktops gespeichert, in Mail.ini steht nur "
              "ein Verweis.");
    dialog->edtPassword.Text = kPassword;
    dialog->BitBtn1Click();

    const std::string file = home.read("Mail.ini");
    EXPECT_EQ(file.find(kPassword), std::string::npos);
    EXPECT_EQ(file.find(app::ScramblePassword(kPassword)), std::string::npos);
    EXPECT_NE(file.find("\r\nServerPassword=`secret-service`\r\n"), std::string::npos) << file;

    // A later start, unattended: it reads the keyring without a prompt.
    EXPECT_EQ(runUnattended(), 0) << err.str();
    ASSERT_TRUE(server.waitForSessions(1));
    const std::string session = server.received(0);
    EXPECT_NE(session.find("auth LOGIN\r\nYW5uYQ==\r\n"), std::string::npos) << session;
    EXPECT_EQ(server.messages().size(), 1u);
    EXPECT_EQ(home.read("Mail.ini"), file);
}

TEST_F(KeyringPasswordTest, ALockedKeyringStopsTheUnattendedRunWithTheWayOut) {
    writeAccount();
    std::unique_ptr<TfmSetup> dialog = openSetup();
    dialog->edtPassword.Text = kPassword;
    dialog->BitBtn1Click();
    lockTheDefaultKeyring();

    EXPECT_EQ(runUnattended(), 1);
    EXPECT_NE(err.str().find("Der Schlüsselbund ist gesperrt und kann ohne Rückfrage nicht "
                             "gelesen werden (Passwort für anna@127.0.0.1). Für den "
                             "unbeaufsichtigten Betrieb das Passwort in Mail.ini speichern: in der "
                             "Einrichtung (Extras > Optionen) „Passwort in der Datei speichern (für "
                             "unbeaufsichtigten Betrieb)“ wählen."),
              std::string::npos)
        << err.str();
    EXPECT_EQ(err.str().find(kPassword), std::string::npos);
    EXPECT_EQ(server.sessionCount(), 0u);
}

TEST_F(KeyringPasswordTest, TheSetupChoiceMovesThePasswordBackIntoTheFile) {
    writeAccount();
    {
        std::unique_ptr<TfmSetup> dialog = openSetup();
        dialog->edtPassword.Text = kPassword;
        dialog->BitBtn1Click();
    }
    std::unique_ptr<TfmSetup> dialog = openSetup();
    EXPECT_EQ(dialog->edtPassword.Text, kPassword);  // read from the keyring
    EXPECT_FALSE(dialog->chkPasswordInFile.Checked);
    dialog->chkPasswordInFile.Checked = true;
    dialog->chkPasswordInFileClick();
    EXPECT_EQ(dialog->lblPasswordStore.Caption, "Das Passwort wird verschleiert in Mail.ini gespeichert.");
    dialog->BitBtn1Click();
    EXPECT_EQ(platform::readProfileString(mailIni(), "Smtp", "ServerPassword", ""),
              app::ScramblePassword(kPassword));

    // The file's password needs no keyring: a run without one logs in.
    app::TMailSettings next;
    app::ReadSmtpAccount(mailIni(), next);
    EXPECT_EQ(app::SmtpLoginPassword(next, nullptr), kPassword);
    // No copy stays behind in the keyring.
    EXPECT_THROW(windowKeyring->Lookup({"127.0.0.1", "anna"}), Error);
    // And the next dialog keeps the choice.
    EXPECT_TRUE(openSetup()->chkPasswordInFile.Checked);
}

TEST_F(KeyringPasswordTest, AnotherAccountTakesThePasswordAlongAndTheOldEntryGoes) {
    writeAccount();
    {
        std::unique_ptr<TfmSetup> dialog = openSetup();
        dialog->edtPassword.Text = kPassword;
        dialog->BitBtn1Click();
    }
    std::unique_ptr<TfmSetup> dialog = openSetup();
    dialog->edtAccount.Text = "bert";
    dialog->BitBtn1Click();
    EXPECT_EQ(windowKeyring->Lookup({"127.0.0.1", "bert"}), kPassword);
    EXPECT_THROW(windowKeyring->Lookup({"127.0.0.1", "anna"}), Error);
}

TEST_F(KeyringPasswordTest, AMarkerWithoutItsKeyringEntryNamesTheAccount) {
    writeAccount("ServerPassword=`secret-service`\r\n");
    std::unique_ptr<TfmSetup> dialog = openSetup();
    EXPECT_EQ(dialog->edtPassword.Text, "");
    EXPECT_EQ(dialog->lblPasswordStore.Caption.rfind(
                  "Im Schlüsselbund liegt kein Passwort für anna@127.0.0.1. Für den "
                  "unbeaufsichtigten Betrieb",
                  0),
              0u)
        << dialog->lblPasswordStore.Caption;
    EXPECT_TRUE(ui.errors.empty());

    EXPECT_EQ(runUnattended(), 1);
    EXPECT_NE(err.str().find("Im Schlüsselbund liegt kein Passwort für anna@127.0.0.1."), std::string::npos)
        << err.str();
    EXPECT_EQ(server.sessionCount(), 0u);
}

TEST_F(KeyringPasswordTest, TheWindowAsksTheServiceToUnlockALockedKeyring) {
    writeAccount();
    std::unique_ptr<TfmSetup> dialog = openSetup();
    dialog->edtPassword.Text = kPassword;
    dialog->BitBtn1Click();
    lockTheDefaultKeyring();
    // The service's prompter needs a display, which this test has not: the
    // unlock it was asked for fails, and the window says so instead of
    // reporting a keyring that could not be asked.
    try {
        windowKeyring->Lookup({"127.0.0.1", "anna"});
        FAIL() << "no error";
    } catch (const Error& error) {
        EXPECT_EQ(std::string(error.what())
                      .rfind("Der Schlüsselbund wurde nicht entsperrt "
                             "(Passwort für anna@127.0.0.1).",
                             0),
                  0u)
            << error.what();
    }
}

TEST_F(KeyringPasswordTest, TheRefreshTokenIsAnEntryBesideThePasswordAndMovesIntoTheFileOnRequest) {
    writeAccount();
    std::unique_ptr<TfmSetup> dialog = openSetup();
    dialog->edtPassword.Text = kPassword;
    dialog->BitBtn1Click();
    app::SecretStore* keyring = windowKeyring.get();
    app::StoreRefreshToken(mailIni(), "127.0.0.1", "anna", "custom", "rt-1", keyring, false);
    EXPECT_EQ(platform::readProfileString(mailIni(), "Smtp", "OAuthRefreshToken", ""), "`secret-service`");
    EXPECT_EQ(app::LoadRefreshToken(mailIni(), "127.0.0.1", "anna", keyring), "rt-1");
    EXPECT_EQ(keyring->Lookup({"127.0.0.1", "anna"}), kPassword);
    // "In der Datei speichern": scrambled in the file, gone from the keyring.
    app::StoreRefreshToken(mailIni(), "127.0.0.1", "anna", "custom", "rt-2", keyring, true);
    EXPECT_EQ(app::LoadRefreshToken(mailIni(), "127.0.0.1", "anna", nullptr), "rt-2");
    EXPECT_THROW(keyring->Lookup({"127.0.0.1", "anna", app::kRefreshTokenKind}), Error);
    EXPECT_EQ(keyring->Lookup({"127.0.0.1", "anna"}), kPassword);
}

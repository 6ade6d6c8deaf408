// The setup dialog's password choice in the real Qt dialog, with a real
// GNOME Keyring (CTest runs this program through support/with_keyring.sh).
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/mail_settings.h"
#include "app/secret_store.h"
#include "platform/profile_file.h"
#include "window_fixture.h"

using namespace sendrix;

namespace {

class SetupDialogKeyringTest : public test::WindowTest {};

}  // namespace

TEST_F(SetupDialogKeyringTest, TheCheckboxMovesThePasswordFromTheKeyringIntoTheFile) {
    writeSettings();
    openWindow();
    const std::unique_ptr<app::SecretStore> keyring = app::DesktopSecretStore(app::SecretPrompt::Allowed);
    form->Secrets = keyring.get();

    bool enabled = false;
    bool checkedAtStart = true;
    std::string statusAtStart;
    std::string statusAfterClick;
    test::ModalAnswerer answerer;
    answerer.then([&](QWidget* dialog) {
        auto* box = dialog->findChild<QCheckBox*>(QStringLiteral("chkPasswordInFile"));
        auto* status = dialog->findChild<QLabel*>(QStringLiteral("lblPasswordStore"));
        ASSERT_NE(box, nullptr);
        ASSERT_NE(status, nullptr);
        enabled = box->isEnabled();
        checkedAtStart = box->isChecked();
        statusAtStart = status->text().toStdString();
        EXPECT_EQ(box->text(),
                  QString::fromUtf8("Passwort in der Datei speichern (für unbeaufsichtigten Betrieb)"));
        box->click();
        statusAfterClick = status->text().toStdString();
        auto* password = dialog->findChild<QLineEdit*>(QStringLiteral("edtPassword"));
        password->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(password, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(password, QStringLiteral("geheim"));
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("BitBtn1")), Qt::LeftButton);
    });
    child<QAction>("Optionen1")->trigger();
    ASSERT_EQ(answerer.pendingSteps(), 0u);

    EXPECT_TRUE(enabled);
    EXPECT_FALSE(checkedAtStart);
    EXPECT_EQ(statusAtStart,
              "Das Passwort wird im Schlüsselbund des Desktops gespeichert, in "
              "Mail.ini steht nur ein Verweis.");
    EXPECT_EQ(statusAfterClick, "Das Passwort wird verschleiert in Mail.ini gespeichert.");
    EXPECT_EQ(platform::readProfileString(home.path("Mail.ini"), "Smtp", "ServerPassword", ""),
              app::ScramblePassword("geheim"));
    EXPECT_EQ(form->MailSettings.ServerPassword, "geheim");
}

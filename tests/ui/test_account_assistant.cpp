// "Konto einrichten" and "Verbindung testen" in the real window offscreen:
// a GMX address gets GMX's server, STARTTLS and the password login in one
// step; against a real STARTTLS server (aiosmtpd, certificate from a test
// CA) the test says no to a wrong password and yes to the right one, the
// test message arrives, and "Fertig" stores the account as OK does.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWizard>

#include "app/mail_settings.h"
#include "platform/profile_file.h"
#include "support/tls_smtp_server.h"
#include "ui/account_assistant.h"
#include "window_fixture.h"

using namespace sendrix;
using test::ModalAnswerer;

namespace {

class AccountAssistantTest : public test::WindowTest {
protected:
    template <class T>
    static T* part(QWidget* dialog, const char* name) {
        auto* widget = dialog->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    static void type(QWidget* dialog, const char* name, const QString& text) {
        auto* field = part<QLineEdit>(dialog, name);
        field->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(field, text);
    }
    static void press(QWidget* dialog, const char* name) {
        QTest::mouseClick(part<QPushButton>(dialog, name), Qt::LeftButton);
    }
    static void next(QWizard* wizard) {
        QTest::mouseClick(wizard->button(QWizard::NextButton), Qt::LeftButton);
    }
    static std::string text(QWidget* dialog, const char* name) {
        if (auto* edit = dialog->findChild<QLineEdit*>(QString::fromLatin1(name)))
            return edit->text().toStdString();
        if (auto* box = dialog->findChild<QComboBox*>(QString::fromLatin1(name)))
            return box->currentText().toStdString();
        return part<QLabel>(dialog, name)->text().toStdString();
    }
    // The sender page filled and left; the server search waited for.
    static void enterSender(QWizard* wizard, const char* address) {
        type(wizard, "edtSenderName", QStringLiteral("Anna Meier"));
        type(wizard, "edtSenderAddress", QString::fromUtf8(address));
        next(wizard);
        auto* assistant = qobject_cast<ui::AccountAssistant*>(wizard);
        ASSERT_TRUE(test::waitUntil([assistant] { return assistant->searchDone(); }));
    }
};

}  // namespace

TEST_F(AccountAssistantTest, AGmxAddressGetsGmxsServerStartTlsAndThePasswordLoginInOneStep) {
    writeSettings();
    openWindow();
    std::vector<std::string> server, login, imap;
    ModalAnswerer answerer;
    answerer.then([&](QWidget* dialog) {
        auto* wizard = qobject_cast<QWizard*>(dialog);
        ASSERT_NE(wizard, nullptr);
        EXPECT_EQ(wizard->windowTitle(), QStringLiteral("Konto einrichten"));
        enterSender(wizard, "anna.mueller@GMX.de");
        server = {text(wizard, "lblFound"), text(wizard, "cboProvider"), text(wizard, "SMTPServer"),
                  text(wizard, "SMTPPort"), text(wizard, "cboEncryption")};
        next(wizard);
        login = {text(wizard, "cboAuthType"), text(wizard, "edtAccount")};
        next(wizard);
        imap = {text(wizard, "edtImapServer"), text(wizard, "edtImapPort"), text(wizard, "cboImapEncryption")};
        wizard->reject();
    });
    child<QAction>("KontoEinrichten1")->trigger();
    EXPECT_EQ(answerer.pendingSteps(), 0u);
    EXPECT_EQ(server,
              (std::vector<std::string>{"Anbieter erkannt: GMX", "GMX", "mail.gmx.net", "587", "STARTTLS"}));
    EXPECT_EQ(login, (std::vector<std::string>{"Benutzername und Passwort", "anna.mueller@GMX.de"}));
    EXPECT_EQ(imap, (std::vector<std::string>{"imap.gmx.net", "993", "SSL/TLS"}));
}

TEST_F(AccountAssistantTest, VerbindungTestenSaysNoToAWrongPasswordYesToTheRightOneAndFertigStores) {
    writeSettings();
    test::TlsSmtpServer tls("anna@verein.example", "richtig");
    tls.trustCa();
    openWindow();
    const std::string where = "localhost:" + std::to_string(tls.port());
    std::vector<std::string> verdicts;
    ModalAnswerer answerer;
    answerer.then([&](QWidget* dialog) {
        auto* wizard = qobject_cast<ui::AccountAssistant*>(dialog);
        ASSERT_NE(wizard, nullptr);
        // Where DNS would have led: the test's server.
        wizard->discover = [&](const std::string&) {
            return app::Discovery{app::Discovery::Source::Guess,
                                  -1,
                                  {"localhost", tls.port(), app::kEncryptionStartTls},
                                  "Server gefunden: " + where};
        };
        enterSender(wizard, "anna@verein.example");
        next(wizard);
        for (const char* password : {"falsch", "richtig"}) {
            type(wizard, "edtPassword", QString::fromLatin1(password));
            next(wizard);  // "Gesendet": no IMAP account
            next(wizard);
            press(wizard, "btnTestConnection");
            verdicts.push_back(text(wizard, "lblConnectionVerdict"));
            wizard->back();
            wizard->back();
        }
        next(wizard);
        next(wizard);
        press(wizard, "btnTestMessage");
        QTest::mouseClick(wizard->button(QWizard::FinishButton), Qt::LeftButton);
    });
    answerer.click(QMessageBox::Ok);  // the test message is on its way
    child<QAction>("KontoEinrichten1")->trigger();
    EXPECT_EQ(answerer.pendingSteps(), 0u);
    EXPECT_EQ(answerer.unexpected, 0);

    ASSERT_EQ(verdicts.size(), 2u);
    EXPECT_EQ(verdicts[0].rfind(
                  "Der Server " + where + " hat die Anmeldung als anna@verein.example abgelehnt: ", 0),
              0u)
        << verdicts[0];
    EXPECT_NE(verdicts[0].find("Kontoname und Passwort prüfen."), std::string::npos);
    EXPECT_EQ(verdicts[1], "Die Verbindung steht: " + where +
                               ", STARTTLS, Anmeldung als anna@verein.example angenommen. Es wurde keine "
                               "Nachricht gesendet.");
    const std::string message = tls.received(1);
    EXPECT_NE(message.find("Subject: Sendrix: Testnachricht"), std::string::npos) << message;
    EXPECT_NE(message.find("To: anna@verein.example"), std::string::npos) << message;

    // Stored as the dialog's OK stores, and the window's sender follows.
    const std::string mailIni = home.path("Mail.ini");
    using platform::readProfileString;
    EXPECT_EQ(readProfileString(mailIni, "Smtp", "ServerName", ""), "localhost");
    EXPECT_EQ(readProfileString(mailIni, "Smtp", "ServerPort", ""), std::to_string(tls.port()));
    EXPECT_EQ(readProfileString(mailIni, "Smtp", "Encryption", ""), "1");
    EXPECT_EQ(readProfileString(mailIni, "Smtp", "SMTPAuthenticationType", ""), "1");
    EXPECT_EQ(readProfileString(mailIni, "Smtp", "ServerUser", ""), "anna@verein.example");
    EXPECT_EQ(form->edtfrom.Text, "anna@verein.example");
    EXPECT_EQ(form->edtreal.Text, "Anna Meier");
    EXPECT_EQ(form->MailSettings.ServerPassword, "richtig");
}

// The setup dialog's provider, encryption and pace fields in the real Qt
// dialog offscreen, used with mouse and keyboard: what each choice fills in,
// the warning beside the password, a refused port or pace that stores
// nothing and keeps the dialog open, "Abbrechen", and "Verbindung testen"
// against a real STARTTLS server.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <functional>
#include <string>
#include <vector>

#include "app/mail_settings.h"
#include "platform/profile_file.h"
#include "support/tls_smtp_server.h"
#include "window_fixture.h"

using namespace sendrix;
using test::ModalAnswerer;

namespace {

class SetupDialogTest : public test::WindowTest {
protected:
    // What the dialog shows in the fields the choices change.
    struct Shown {
        std::string server, port, encryption, perMinute, perConnection;
        bool warning;
    };

    static QLineEdit* edit(QWidget* dialog, const char* name) {
        auto* widget = dialog->findChild<QLineEdit*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    static void typeInto(QWidget* dialog, const char* name, const QString& text) {
        QLineEdit* field = edit(dialog, name);
        field->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(field, text);
    }
    // Steps through the list with the arrow keys, as a person does with a
    // closed list box; every step is a choice of its own.
    static void choose(QWidget* dialog, const char* name, const QString& entry) {
        auto* box = dialog->findChild<QComboBox*>(QString::fromLatin1(name));
        ASSERT_NE(box, nullptr) << name;
        const int target = box->findText(entry);
        ASSERT_GE(target, 0) << entry.toStdString();
        box->setFocus(Qt::OtherFocusReason);
        for (int i = 0; i < box->count() && box->currentIndex() != target; ++i)
            QTest::keyClick(box, box->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
        ASSERT_EQ(box->currentIndex(), target);
    }
    static Shown shown(QWidget* dialog) {
        auto* warning = dialog->findChild<QLabel*>(QStringLiteral("lblClearWarning"));
        return {edit(dialog, "SMTPServer")->text().toStdString(),
                edit(dialog, "SMTPPort")->text().toStdString(),
                dialog->findChild<QComboBox*>(QStringLiteral("cboEncryption"))->currentText().toStdString(),
                edit(dialog, "edtMessagesPerMinute")->text().toStdString(),
                edit(dialog, "edtMessagesPerConnection")->text().toStdString(),
                warning != nullptr && warning->isVisible()};
    }
    static void click(QWidget* dialog, const char* button) {
        QTest::mouseClick(dialog->findChild<QPushButton*>(QString::fromLatin1(button)), Qt::LeftButton);
    }
};

}  // namespace

TEST_F(SetupDialogTest, ChoicesFillTheFieldsARefusedValueKeepsTheDialogOpenAndAbbrechenStoresNothing) {
    writeSettings();
    openWindow();
    const std::string before = home.read("Mail.ini");
    const std::string port = std::to_string(server.port());

    struct Step {
        const char* name;
        std::function<void(QWidget*)> act;
        Shown expected;
    };
    const std::vector<Step> steps = {
        {"as opened", [](QWidget*) {}, {"127.0.0.1", port, "Keine", "0", "1", false}},
        {"Microsoft 365 fills server, port, encryption and pace",
         [](QWidget* dialog) { choose(dialog, "cboProvider", QStringLiteral("Microsoft 365")); },
         {"smtp.office365.com", "587", "STARTTLS", "30", "1", false}},
        {"Gmail: several messages share one login",
         [](QWidget* dialog) { choose(dialog, "cboProvider", QStringLiteral("Gmail")); },
         {"smtp.gmail.com", "587", "STARTTLS", "0", "20", false}},
        {"a login over STARTTLS: no warning",
         [](QWidget* dialog) { choose(dialog, "cboAuthType", QStringLiteral("Benutzername und Passwort")); },
         {"smtp.gmail.com", "587", "STARTTLS", "0", "20", false}},
        {"Keine: the usual 587 becomes 25 and the warning shows",
         [](QWidget* dialog) { choose(dialog, "cboEncryption", QStringLiteral("Keine")); },
         {"smtp.gmail.com", "25", "Keine", "0", "20", true}},
        {"SSL/TLS: the usual 25 becomes 465",
         [](QWidget* dialog) { choose(dialog, "cboEncryption", QStringLiteral("SSL/TLS")); },
         {"smtp.gmail.com", "465", "SSL/TLS", "0", "20", false}},
        {"a typed port stays when the encryption changes",
         [](QWidget* dialog) {
             typeInto(dialog, "SMTPPort", QStringLiteral("2525"));
             choose(dialog, "cboEncryption", QStringLiteral("STARTTLS"));
         },
         {"smtp.gmail.com", "2525", "STARTTLS", "0", "20", false}},
        {"no login: no warning without encryption either",
         [](QWidget* dialog) {
             choose(dialog, "cboAuthType", QStringLiteral("Keine Anmeldung"));
             choose(dialog, "cboEncryption", QStringLiteral("Keine"));
         },
         {"smtp.gmail.com", "2525", "Keine", "0", "20", false}},
    };
    // Each refusal: the error box, the dialog still open, nothing stored.
    struct Refusal {
        const char* field;
        const char* typed;
        const char* error;
    } refusals[] = {
        {"SMTPPort", "abc", "'abc' ist kein gültiger Integerwert\r\nPort 1 bis 65535 eintragen"},
        {"SMTPPort", "70000", "'70000' ist keine gültige Portnummer\r\nPort 1 bis 65535 eintragen"},
        {"edtMessagesPerConnection", "0", "'0' ist kein gültiger Wert für \"Mails pro Verbindung\"."},
    };

    std::vector<Shown> seen;
    std::vector<bool> openAfterRefusal;
    {
        ModalAnswerer answerer;
        answerer.then([&](QWidget* dialog) {
            for (const Step& step : steps) {
                step.act(dialog);
                seen.push_back(shown(dialog));
            }
            for (const Refusal& refusal : refusals) {
                const QString kept = edit(dialog, refusal.field)->text();
                typeInto(dialog, refusal.field, QString::fromUtf8(refusal.typed));
                click(dialog, "BitBtn1");
                openAfterRefusal.push_back(dialog->isVisible());
                typeInto(dialog, refusal.field, kept);
            }
            click(dialog, "BitBtn2");
        });
        for (std::size_t i = 0; i < std::size(refusals); ++i)
            answerer.click(QMessageBox::Ok);
        child<QAction>("Optionen1")->trigger();
        EXPECT_EQ(answerer.pendingSteps(), 0u);
        EXPECT_EQ(answerer.unexpected, 0);

        ASSERT_EQ(seen.size(), steps.size());
        for (std::size_t i = 0; i < steps.size(); ++i) {
            SCOPED_TRACE(steps[i].name);
            EXPECT_EQ(seen[i].server, steps[i].expected.server);
            EXPECT_EQ(seen[i].port, steps[i].expected.port);
            EXPECT_EQ(seen[i].encryption, steps[i].expected.encryption);
            EXPECT_EQ(seen[i].perMinute, steps[i].expected.perMinute);
            EXPECT_EQ(seen[i].perConnection, steps[i].expected.perConnection);
            EXPECT_EQ(seen[i].warning, steps[i].expected.warning);
        }
        ASSERT_EQ(answerer.shown.size(), 1 + std::size(refusals));
        for (std::size_t i = 0; i < std::size(refusals); ++i) {
            SCOPED_TRACE(refusals[i].typed);
            EXPECT_EQ(answerer.shown[1 + i].kind, "critical");
            EXPECT_EQ(answerer.shown[1 + i].text.rfind(refusals[i].error, 0), 0u)
                << answerer.shown[1 + i].text;
            EXPECT_TRUE(openAfterRefusal.at(i));
        }
    }
    // Neither a refused OK nor "Abbrechen" stored anything.
    EXPECT_EQ(home.read("Mail.ini"), before);
    EXPECT_EQ(form->MailSettings.ServerName, "127.0.0.1");
    EXPECT_EQ(form->MailSettings.MessagesPerConnection, 1);

    // A provider chosen and OK: its pace is stored and in effect at once.
    ModalAnswerer again;
    again.then([](QWidget* dialog) {
        choose(dialog, "cboProvider", QStringLiteral("Microsoft 365"));
        click(dialog, "BitBtn1");
    });
    child<QAction>("Optionen1")->trigger();
    EXPECT_EQ(again.pendingSteps(), 0u);
    EXPECT_EQ(again.unexpected, 0) << (again.shown.size() > 1 ? again.shown[1].text : "");
    const std::string mailIni = home.path("Mail.ini");
    EXPECT_EQ(platform::readProfileString(mailIni, "Smtp", "ServerName", ""), "smtp.office365.com");
    EXPECT_EQ(platform::readProfileString(mailIni, "Smtp", "Encryption", ""), "1");
    EXPECT_EQ(platform::readProfileString(mailIni, "Smtp", "MessagesPerMinute", ""), "30");
    EXPECT_EQ(platform::readProfileString(mailIni, "Smtp", "MessagesPerConnection", "<none>"), "<none>");
    EXPECT_EQ(form->MailSettings.MessagesPerMinute, 30);
    EXPECT_EQ(form->MailSettings.Encryption, 1);
}

TEST_F(SetupDialogTest, OAuthSignInWaitsInABoxWhoseAbbrechenEndsItWithNothingStored) {
    writeSettings();
    const std::string mailIni = home.path("Mail.ini");
    for (auto [key, value] : {std::pair{"OAuthProvider", "custom"},
                              {"OAuthClientId", "sendrix-test"},
                              {"OAuthAuthorizationUrl", "https://127.0.0.1:9/authorize"},
                              {"OAuthTokenUrl", "https://127.0.0.1:9/token"}})
        platform::writeProfileString(mailIni, "Smtp", key, value);
    ::setenv("BROWSER", "true", 1);  // a browser that opens nothing: the box waits
    openWindow();
    ModalAnswerer answerer;
    answerer.then([](QWidget* dialog) {
        click(dialog, "btnOAuthSignIn");
        click(dialog, "BitBtn2");
    });
    answerer.then([](QWidget* progress) {
        EXPECT_EQ(progress->objectName(), QStringLiteral("dlgOAuthProgress"));
        QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);  // "Abbrechen"
    });
    answerer.click(QMessageBox::Ok);
    child<QAction>("Optionen1")->trigger();
    ::unsetenv("BROWSER");
    EXPECT_EQ(answerer.pendingSteps(), 0u);
    ASSERT_EQ(answerer.shown.size(), 3u);
    EXPECT_EQ(answerer.shown[2].text, "Die Anmeldung wurde abgebrochen oder hat zu lange gedauert.");
    EXPECT_EQ(platform::readProfileString(mailIni, "Smtp", "OAuthRefreshToken", "<none>"), "<none>");
}

TEST_F(SetupDialogTest, VerbindungTestenAnswersInGermanForTheFieldsAsTypedAndStoresNothing) {
    writeSettings();
    test::TlsSmtpServer tls("verein", "richtig");
    tls.trustCa();
    openWindow();
    const std::string before = home.read("Mail.ini");
    const std::string where = "localhost:" + std::to_string(tls.port());
    std::vector<std::string> verdicts;
    ModalAnswerer answerer;
    answerer.then([&](QWidget* dialog) {
        typeInto(dialog, "SMTPServer", QStringLiteral("localhost"));
        typeInto(dialog, "SMTPPort", QString::number(tls.port()));
        choose(dialog, "cboEncryption", QStringLiteral("STARTTLS"));
        choose(dialog, "cboAuthType", QStringLiteral("Benutzername und Passwort"));
        typeInto(dialog, "edtAccount", QStringLiteral("verein"));
        for (const char* password : {"falsch", "richtig"}) {
            typeInto(dialog, "edtPassword", QString::fromLatin1(password));
            click(dialog, "btnTestConnection");
            verdicts.push_back(
                dialog->findChild<QLabel*>(QStringLiteral("lblConnectionVerdict"))->text().toStdString());
        }
        click(dialog, "BitBtn2");
    });
    child<QAction>("Optionen1")->trigger();
    EXPECT_EQ(answerer.pendingSteps(), 0u);
    ASSERT_EQ(verdicts.size(), 2u);
    EXPECT_EQ(verdicts[0].rfind("Der Server " + where + " hat die Anmeldung als verein abgelehnt: 535", 0),
              0u)
        << verdicts[0];
    EXPECT_EQ(verdicts[1],
              "Die Verbindung steht: " + where +
                  ", STARTTLS, Anmeldung als verein angenommen. Es wurde keine Nachricht gesendet.");
    EXPECT_EQ(home.read("Mail.ini"), before);
}

// The "IMAP-Konto" group of the real setup dialog offscreen: a provider
// fills the IMAP fields without switching the account on; ticked and OK,
// the account is in Mail.ini and in effect at once.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/mail_settings.h"
#include "platform/profile_file.h"
#include "window_fixture.h"

using namespace sendrix;
using test::ModalAnswerer;

namespace {
class ImapAccountPageTest : public test::WindowTest {};
}  // namespace

TEST_F(ImapAccountPageTest, ImapGroupTakesTheProvidersServerAndStoresOnlyWhenTicked) {
    writeSettings();
    openWindow();
    std::string server;
    bool ticked = true;
    ModalAnswerer answerer;
    answerer.then([&](QWidget* dialog) {
        auto* provider = dialog->findChild<QComboBox*>(QStringLiteral("cboProvider"));
        provider->setFocus(Qt::OtherFocusReason);
        const int gmail = provider->findText(QStringLiteral("Gmail"));
        while (provider->currentIndex() < gmail)
            QTest::keyClick(provider, Qt::Key_Down);
        server = dialog->findChild<QLineEdit*>(QStringLiteral("edtImapServer"))->text().toStdString();
        ticked = dialog->findChild<QCheckBox*>(QStringLiteral("chkImap"))->isChecked();
        QTest::mouseClick(dialog->findChild<QCheckBox*>(QStringLiteral("chkImap")), Qt::LeftButton);
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("BitBtn1")), Qt::LeftButton);
    });
    child<QAction>("Optionen1")->trigger();
    EXPECT_EQ(answerer.pendingSteps(), 0u);
    EXPECT_EQ(server, "imap.gmail.com");
    EXPECT_FALSE(ticked);
    const std::string ini = home.path("Mail.ini");
    EXPECT_EQ(platform::readProfileString(ini, "Imap", "ServerName", ""), "imap.gmail.com");
    EXPECT_EQ(platform::readProfileString(ini, "Imap", "SentCopy", ""), "0");
    EXPECT_EQ(form->MailSettings.Imap.ServerPort, 993);
}

#include "app/imap_account_form.h"

#include <algorithm>

#include "app/mail_settings.h"
#include "platform/error.h"
#include "platform/text_trim.h"

namespace sendrix::app {

namespace {

int usualPort(int encryption) {
    return encryption == kEncryptionTls ? kDefaultImapsPort : kDefaultImapPort;
}

void select(TComboBox& box, int index) {
    box.ItemIndex = index;
    box.Text = box.Items[static_cast<std::size_t>(index)];
}

}  // namespace

ImapAccountForm::ImapAccountForm(TImapSettings& settings, std::string mailIni)
    : m_settings(settings), m_mailIni(std::move(mailIni)) {
    cboImapEncryption.Items = {"keine", "STARTTLS", "SSL/TLS"};
}

void ImapAccountForm::FormCreate() {
    chkImap.Checked = m_settings.Configured();
    edtImapServer.Text = m_settings.ServerName;
    const int encryption = std::clamp(m_settings.Encryption, 0, 2);
    select(cboImapEncryption, encryption);
    m_shownEncryption = encryption;
    edtImapPort.Text = std::to_string(m_settings.ServerPort);
    edtImapUser.Text = m_settings.ServerUser;
    edtImapPassword.Text = m_settings.ServerPassword;
    chkSentCopy.Checked = m_settings.SentCopy;
    edtSentFolder.Text = m_settings.SentFolder;
    lblImapHint.Caption = "Benutzer und Passwort leer: die Anmeldung des SMTP-Kontos gilt.";
    enableFields();
}

void ImapAccountForm::ProviderChosen(const MailProvider& provider) {
    if (provider.imapHost.empty())
        return;
    chkImap.Checked = true;
    edtImapServer.Text = provider.imapHost;
    select(cboImapEncryption, kEncryptionTls);
    m_shownEncryption = kEncryptionTls;
    edtImapPort.Text = std::to_string(kDefaultImapsPort);
    chkSentCopy.Checked = !provider.filesSubmittedMail;
    lblImapHint.Caption = provider.filesSubmittedMail
                              ? provider.name + " legt gesendete Mails selbst in \"Gesendet\" ab; "
                                                "eine zweite Kopie ist daher abgeschaltet."
                              : "Benutzer und Passwort leer: die Anmeldung des SMTP-Kontos gilt.";
    enableFields();
}

void ImapAccountForm::cboImapEncryptionChange() {
    const int chosen = std::max(0, cboImapEncryption.ItemIndex);
    const std::string port(platform::trimBlanks(edtImapPort.Text));
    if (port.empty() || port == std::to_string(usualPort(m_shownEncryption)))
        edtImapPort.Text = std::to_string(usualPort(chosen));
    m_shownEncryption = chosen;
}

void ImapAccountForm::chkImapClick() {
    enableFields();
}

void ImapAccountForm::enableFields() {
    for (TEdit* edit : {&edtImapServer, &edtImapPort, &edtImapUser, &edtImapPassword, &edtSentFolder})
        edit->Enabled = chkImap.Checked;
    chkSentCopy.Enabled = chkImap.Checked;
}

void ImapAccountForm::Store() {
    TImapSettings stored = m_settings;
    if (chkImap.Checked) {
        stored.ServerName = std::string(platform::trimBlanks(edtImapServer.Text));
        if (stored.ServerName.empty())
            throw Error("Für das IMAP-Konto ist kein Server eingetragen.");
        try {
            stored.ServerPort = ParseServerPort(edtImapPort.Text);
        } catch (const Error& error) {
            throw Error(std::string("IMAP-Port: ") + error.what());
        }
        stored.Encryption = std::clamp(cboImapEncryption.ItemIndex, 0, 2);
        stored.ServerUser = std::string(platform::trimBlanks(edtImapUser.Text));
        stored.ServerPassword = edtImapPassword.Text;
        stored.SentCopy = chkSentCopy.Checked;
        stored.SentFolder = std::string(platform::trimBlanks(edtSentFolder.Text));
    } else {
        stored.ServerName.clear();
    }
    WriteImapAccount(m_mailIni, stored);
    m_settings = stored;
}

}  // namespace sendrix::app

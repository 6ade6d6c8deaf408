#include "app/tfm_setup.h"

#include "app/secret_store.h"
#include "platform/error.h"
#include "platform/profile_file.h"

namespace sendrix::app {

namespace {

// The port the dialog gives the running program for a text that is no
// number. It is kept as it has always been, although SMTP's port is 25.
constexpr int kFallbackPort = 110;

}  // namespace

int DialogServerPort(const std::string& text) {
    try {
        return ParseServerPort(text);
    } catch (const Error&) {
        return kFallbackPort;
    }
}

TfmSetup::TfmSetup(TMailSettings& settings, Interaction& interaction, std::string mailIni)
    : m_settings(settings), m_interaction(interaction), m_mailIni(std::move(mailIni)) {
    lblServer.Caption = "SMTP-Server";
    lblAuthType.Caption = "&Typ";
    cboAuthType.Items = {"None", "Simple Login"};
    lblAccount.Caption = "&Kontoname";
    lblPassword.Caption = "&Passwort";
    lblSentObjects.Caption = "Gesendete Objekte";
    chkPasswordInFile.Caption = "Passwort in der Datei speichern (für unbeaufsichtigten Betrieb)";
}

void TfmSetup::FormCreate() {
    SMTPServer.Text = m_settings.ServerName;
    SMTPPort.Text = std::to_string(m_settings.ServerPort);
    edtAccount.Text = m_settings.ServerUser;
    m_keyringAvailable = Secrets && Secrets->Available();
    m_keyringProblem.clear();
    m_openedKey.reset();
    if (m_settings.PasswordStorage == PasswordPlace::Keyring)
        m_openedKey = SecretKey{m_settings.ServerName, m_settings.ServerUser};
    try {
        edtPassword.Text = SmtpLoginPassword(m_settings, m_keyringAvailable ? Secrets : nullptr);
    } catch (const Error& error) {
        // The dialog is where a lost keyring entry is mended, so it opens
        // anyway and says why the field is empty.
        edtPassword.Text.clear();
        m_keyringProblem = error.what();
    }
    chkPasswordInFile.Enabled = m_keyringAvailable;
    chkPasswordInFile.Checked =
        !m_keyringAvailable || m_settings.PasswordStorage == PasswordPlace::File;
    chkPasswordInFileClick();
    const int type = m_settings.SMTPAuthenticationType;
    if (type == 0 || type == 1) {
        cboAuthType.ItemIndex = type;
        cboAuthType.Text = cboAuthType.Items[type];
    } else {
        cboAuthType.ItemIndex = -1;
        cboAuthType.Text.clear();
    }
    sentobjects.Text = m_settings.SentObjects;
}

void TfmSetup::BitBtn1Click() {
    using platform::writeProfileString;
    writeProfileString(m_mailIni, "Smtp", "ServerName", SMTPServer.Text);
    m_settings.ServerName = SMTPServer.Text;

    writeProfileString(m_mailIni, "Smtp", "ServerPort", SMTPPort.Text);
    m_settings.ServerPort = DialogServerPort(SMTPPort.Text);

    writeProfileString(m_mailIni, "Smtp", "ServerUser", edtAccount.Text);
    m_settings.ServerUser = edtAccount.Text;

    // The key as a later start reads it back from the file.
    const SecretKey key{platform::readProfileString(m_mailIni, "Smtp", "ServerName", ""),
                        platform::readProfileString(m_mailIni, "Smtp", "ServerUser", "")};
    if (m_keyringAvailable && !chkPasswordInFile.Checked) {
        Secrets->Store(key, edtPassword.Text);
        writeProfileString(m_mailIni, "Smtp", "ServerPassword", kKeyringPasswordMarker);
        m_settings.PasswordStorage = PasswordPlace::Keyring;
    } else {
        // The quotes keep blanks at either end of the scrambled text; the
        // value is checked before anything of it is written.
        writeProfileString(m_mailIni, "Smtp", "ServerPassword",
                           StoredPasswordValue(edtPassword.Text));
        m_settings.PasswordStorage = PasswordPlace::File;
    }
    m_settings.ServerPassword = edtPassword.Text;
    m_settings.PasswordLoaded = true;

    const int type = cboAuthType.ItemIndex;
    platform::writeProfileInt(m_mailIni, "Smtp", "SMTPAuthenticationType", type);
    m_settings.SMTPAuthenticationType = type;

    // Stored with the mail configuration at close, not here.
    m_settings.SentObjects = sentobjects.Text;

    // A password that has moved leaves no copy behind in the keyring.
    const bool inKeyring = m_settings.PasswordStorage == PasswordPlace::Keyring;
    if (m_openedKey && m_keyringAvailable && (!inKeyring || !(key == *m_openedKey)))
        Secrets->Remove(*m_openedKey);
    m_openedKey = inKeyring ? std::optional<SecretKey>(key) : std::nullopt;
}

void TfmSetup::chkPasswordInFileClick() {
    if (!m_keyringAvailable)
        lblPasswordStore.Caption = "Kein Schlüsselbund erreichbar: Das Passwort wird verschleiert "
                                   "in Mail.ini gespeichert.";
    else if (chkPasswordInFile.Checked)
        lblPasswordStore.Caption = "Das Passwort wird verschleiert in Mail.ini gespeichert.";
    else
        lblPasswordStore.Caption = "Das Passwort wird im Schlüsselbund des Desktops gespeichert, "
                                   "in Mail.ini steht nur ein Verweis.";
    if (!m_keyringProblem.empty())
        lblPasswordStore.Caption = m_keyringProblem + " " + lblPasswordStore.Caption;
}

void TfmSetup::edtPasswordDblClick() { m_interaction.Notice(edtPassword.Text); }

void TfmSetup::SpeedButton1Click() { PasswordMasked = false; }

}  // namespace sendrix::app

#include "app/tfm_setup.h"

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
}

void TfmSetup::FormCreate() {
    SMTPServer.Text = m_settings.ServerName;
    SMTPPort.Text = std::to_string(m_settings.ServerPort);
    edtAccount.Text = m_settings.ServerUser;
    edtPassword.Text = m_settings.ServerPassword;
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

    // The quotes keep blanks at either end of the scrambled text; the value
    // is checked before anything of it is written.
    writeProfileString(m_mailIni, "Smtp", "ServerPassword", StoredPasswordValue(edtPassword.Text));
    m_settings.ServerPassword = edtPassword.Text;

    const int type = cboAuthType.ItemIndex;
    platform::writeProfileInt(m_mailIni, "Smtp", "SMTPAuthenticationType", type);
    m_settings.SMTPAuthenticationType = type;

    // Stored with the mail configuration at close, not here.
    m_settings.SentObjects = sentobjects.Text;
}

void TfmSetup::edtPasswordDblClick() { m_interaction.Notice(edtPassword.Text); }

void TfmSetup::SpeedButton1Click() { PasswordMasked = false; }

}  // namespace sendrix::app

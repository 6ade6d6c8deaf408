#pragma once
// The "IMAP-Konto" part of the setup dialog without a toolkit: its fields
// as plain control models and its handlers. The view (ui/imap_account_page)
// shows it beside the SMTP fields; the dialog tells it the provider chosen
// and calls Store with its own OK.
#include <string>

#include "app/controls.h"
#include "app/imap_settings.h"
#include "app/mail_providers.h"

namespace sendrix::app {

class ImapAccountForm {
public:
    // `mailIni` is the "Mail.ini" that Store writes; `settings` the
    // program's IMAP account, changed by Store.
    ImapAccountForm(TImapSettings& settings, std::string mailIni);

    TCheckBox chkImap{"IMAP-Konto verwenden (Kopien in \"Gesendet\")"};
    TLabel lblImapServer{"IMAP-Server"};
    TEdit edtImapServer;
    TEdit edtImapPort;
    TLabel lblImapEncryption{"Verschlüsselung"};
    TComboBox cboImapEncryption;
    TLabel lblImapUser{"Benutzer"};
    TEdit edtImapUser;  // empty: the SMTP account's
    TLabel lblImapPassword{"Passwort"};
    TEdit edtImapPassword;  // empty: the SMTP account's
    TCheckBox chkSentCopy{"Jede gesendete Mail in \"Gesendet\" ablegen"};
    TLabel lblSentFolder{"Ordner"};
    TEdit edtSentFolder;  // empty: found on the server
    TLabel lblImapHint;

    // Fields from the settings; without an account: unchecked, STARTTLS, 143.
    void FormCreate();
    // The provider chosen in the dialog: its IMAP server, SSL/TLS on 993,
    // the account switched on, and the copy off where the provider files
    // submitted mail itself (lblImapHint says so).
    void ProviderChosen(const MailProvider& provider);
    // The port follows the encryption when it still holds the usual port of
    // the previous choice (143 / 993) or is empty.
    void cboImapEncryptionChange();
    // The fields switch on and off with chkImap.
    void chkImapClick();
    // Writes [Imap] into "Mail.ini" and the settings. Throws sendrix::Error
    // before anything is written for a port that is not 1..65535 ("IMAP-Port:
    // ...") and for an account switched on without a server.
    void Store();

private:
    void enableFields();

    TImapSettings& m_settings;
    std::string m_mailIni;
    int m_shownEncryption = 1;
};

}  // namespace sendrix::app

#pragma once
// The SMTP setup dialog without a toolkit: its controls as plain models and
// its handlers. Created anew each time it is opened; the view (Qt, tests)
// shows it modally and calls the handlers.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/account_discovery.h"
#include "app/controls.h"
#include "app/interaction.h"
#include "app/mail_settings.h"
#include "app/secret_store.h"
#include "merge/mailing.h"

namespace sendrix::app {

class TfmSetup {
public:
    // `mailIni` is the "Mail.ini" in the program folder (never an "/INI:"
    // file); OK stores into it and into `settings`.
    TfmSetup(TMailSettings& settings, Interaction& interaction, std::string mailIni);
    TfmSetup(const TfmSetup&) = delete;
    TfmSetup& operator=(const TfmSetup&) = delete;

    // Fills the fields from the settings. A password in the keyring is read
    // now (the keyring may prompt); when that fails the field stays empty
    // and lblPasswordStore says why. The built-in defaults of an account
    // never set up (kDefaultServerName, kDefaultServerUser, the placeholder
    // password) show as empty fields with a placeholder text. Decides where OK stores the password:
    // chkPasswordInFile is checked, and disabled, without a Secret Service,
    // and checked while "Mail.ini" holds a password of its own.
    void FormCreate();
    // OK: stores the fields into "Mail.ini" and the settings in a fixed
    // order; the first key that cannot be written throws FileError and
    // leaves the later keys and fields unchanged. A port that is not
    // 1..65535, or a pace outside its range (messages a minute 0..10000,
    // blank 0; messages per connection 1..1000, blank 1), throws before
    // anything is stored and sets KeepOpen; the view closes the dialog
    // afterwards unless KeepOpen. "Encryption", "TokenCommand",
    // "MessagesPerMinute" and "MessagesPerConnection" are written only when
    // they differ from their absence or are already in the file, so a file
    // without them stays without them. With chkPasswordInFile unchecked the
    // password goes into the keyring first and "ServerPassword" gets only
    // kKeyringPasswordMarker; a keyring that refuses throws before the key
    // is written. A password field left empty on an account that had none
    // stored writes no "ServerPassword", and a server or account name left
    // empty where the default stood writes the default back, so an old file
    // reads as before. Then a keyring entry the dialog opened with is removed
    // when the password has moved (into the file, or to another account).
    // Last, with UserSettingsFile set, the sender's name and address go
    // into its [Email] "realname" and "Personalemail"; Stored becomes true.
    void BitBtn1Click();
    // The choice between file and keyring: lblPasswordStore follows it.
    void chkPasswordInFileClick();
    // "Passwort anzeigen": the password in clear while it is ticked.
    void chkShowPasswordClick();
    // "Anbieter": server, port, encryption, login type and pace of the
    // chosen provider; entry 0, "(eigener Server)", keeps server and login
    // and sets the pace back to no limit, one message per connection.
    void cboProviderChange();
    // "Verbindung testen": connects with the fields as they stand (nothing
    // stored), logs in, says "Quit"; the verdict goes to
    // lblConnectionVerdict and ConnectionOk. Never throws.
    void btnTestConnectionClick();
    // Sends a short message from and to edtSenderAddress over the account
    // as typed; a notice says where to look. Throws the send's error.
    void SendTestMessage();
    // The account assistant's server: a provider as if chosen under
    // "Anbieter", a found server with the password login and the pace of
    // an own server; nothing found changes nothing. The account name becomes
    // the sender address (with nothing found, only an empty one).
    void applyDiscovery(const Discovery& found);
    // The built-in sign-in has stored a refresh token for the account of the
    // fields: the login becomes "Microsoft-/Google-Anmeldung (OAuth 2)".
    void signedIn();
    // The account as the fields give it, for a test; throws for a port
    // that is no port number. An OAuth 2 login takes its token from the
    // token command of the field, else from the built-in sign-in.
    merge::SmtpAccount accountFromFields() const;
    // "Verschlüsselung": the port follows when it still holds the usual port
    // of the previous choice (DefaultPortFor) or is empty.
    void cboEncryptionChange();
    // "Typ": the warning about a login in the clear follows.
    void cboAuthTypeChange();
    // "Abbrechen": stores nothing; the view closes the dialog.
    void BitBtn2Click() {}
    void FormHide() {}
    // The close box: stores nothing.
    void FormClose() {}

    const std::string& mailIni() const { return m_mailIni; }
    TMailSettings& settings() { return m_settings; }

    std::string Caption = "E-Mail-Konto";
    TLabel lblServer;
    TEdit SMTPServer;
    TEdit SMTPPort;
    TLabel lblAuthType;
    TComboBox cboAuthType;
    std::vector<std::string> AuthTypeHints;  // the technical name of each entry
    TLabel lblAccount;
    TEdit edtAccount;
    std::string AccountPlaceholder;
    TLabel lblPassword;
    TEdit edtPassword;
    std::string PasswordPlaceholder;
    TCheckBox chkShowPassword;
    bool PasswordMasked = true;  // the field shows "*" for every character
    TLabel lblSenderName;
    TEdit edtSenderName;  // the form's "Anzeigename"; the caller fills it
    TLabel lblSenderAddress;
    TEdit edtSenderAddress;  // the sender address; the caller fills it
    TLabel lblConnectionVerdict;
    bool ConnectionOk = false;
    TLabel lblSentObjects;
    TEdit sentobjects;
    TCheckBox chkPasswordInFile;
    TLabel lblPasswordStore;  // where OK stores the password
    TLabel lblProvider;
    TComboBox cboProvider;
    TLabel lblEncryption;
    TComboBox cboEncryption;  // "Keine", "STARTTLS", "SSL/TLS" = [Smtp] Encryption
    TLabel lblTokenCommand;
    TEdit edtTokenCommand;  // [Smtp] TokenCommand
    TLabel lblMessagesPerMinute;
    TEdit edtMessagesPerMinute;  // [Smtp] MessagesPerMinute, "0": no limit
    TLabel lblMessagesPerConnection;
    TEdit edtMessagesPerConnection;  // [Smtp] MessagesPerConnection
    // Visible while a login is set and the encryption is "Keine".
    TLabel lblClearWarning;
    bool KeepOpen = false;  // OK refused the port: the dialog stays open
    bool Stored = false;    // OK has stored everything

    // The desktop's keyring; set before FormCreate (null: the file only).
    SecretStore* Secrets = nullptr;
    // The user settings file the sender goes into ("" : none).
    std::string UserSettingsFile;

private:
    static void select(TComboBox& box, int index);
    void updateClearWarning();
    int m_shownEncryption = 0;  // the encryption whose usual port is shown

    bool m_keyringAvailable = false;
    std::string m_keyringProblem;            // why the keyring's password is not shown
    std::optional<SecretKey> m_openedKey;    // the keyring entry at FormCreate
    bool m_openedWithoutPassword = false;    // no "ServerPassword" stored
    bool m_openedWithDefaultUser = false;    // "ServerUser" was kDefaultServerUser
    bool m_openedWithDefaultServer = false;  // "ServerName" was kDefaultServerName

    TMailSettings& m_settings;
    Interaction& m_interaction;
    std::string m_mailIni;
};

// Shows a setup dialog modally and returns when it has closed. The Qt view
// implements it; without one "&Optionen" does nothing.
class SetupDialogRunner {
public:
    virtual ~SetupDialogRunner() = default;
    virtual void RunModal(TfmSetup& dialog) = 0;
    // The account assistant over the same dialog model; without one,
    // nothing happens.
    virtual void RunAssistant(TfmSetup& dialog) { (void)dialog; }
};

// Port of the running program for a "ServerPort" text typed in the dialog:
// the number, or 110 when the text is no valid port number.
int DialogServerPort(const std::string& text);

// The usual port of an encryption choice: 25 none, 587 STARTTLS, 465 SSL/TLS.
int DefaultPortFor(int encryption);

}  // namespace sendrix::app

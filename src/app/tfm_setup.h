#pragma once
// The SMTP setup dialog without a toolkit: its controls as plain models and
// its handlers. Created anew each time it is opened; the view (Qt, tests)
// shows it modally and calls the handlers.
#include <optional>
#include <string>

#include "app/controls.h"
#include "app/interaction.h"
#include "app/mail_settings.h"
#include "app/secret_store.h"

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
    // and lblPasswordStore says why. Decides where OK stores the password:
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
    // is written. Last, a keyring entry the dialog opened with is removed
    // when the password has moved (into the file, or to another account).
    void BitBtn1Click();
    // The choice between file and keyring: lblPasswordStore follows it.
    void chkPasswordInFileClick();
    // Double click into the password field: the plain password in a notice.
    void edtPasswordDblClick();
    // "...": shows the password in clear until the dialog closes.
    void SpeedButton1Click();
    // "Anbieter": server, port, encryption and pace of the chosen provider
    // (entry 0, "(eigener Server)", changes nothing).
    void cboProviderChange();
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

    std::string Caption = "Setup";
    TLabel lblServer;
    TEdit SMTPServer;
    TEdit SMTPPort;
    TLabel lblAuthType;
    TComboBox cboAuthType;
    TLabel lblAccount;
    TEdit edtAccount;
    TLabel lblPassword;
    TEdit edtPassword;
    bool PasswordMasked = true;  // the field shows "*" for every character
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

    // The desktop's keyring; set before FormCreate (null: the file only).
    SecretStore* Secrets = nullptr;

private:
    static void select(TComboBox& box, int index);
    void updateClearWarning();
    int m_shownEncryption = 0;  // the encryption whose usual port is shown

    bool m_keyringAvailable = false;
    std::string m_keyringProblem;          // why the keyring's password is not shown
    std::optional<SecretKey> m_openedKey;  // the keyring entry at FormCreate

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
};

// Port of the running program for a "ServerPort" text typed in the dialog:
// the number, or 110 when the text is no valid port number.
int DialogServerPort(const std::string& text);

// The usual port of an encryption choice: 25 none, 587 STARTTLS, 465 SSL/TLS.
int DefaultPortFor(int encryption);

}  // namespace sendrix::app

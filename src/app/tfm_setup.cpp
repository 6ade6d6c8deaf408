#include "app/tfm_setup.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "app/access_token.h"
#include "app/account_discovery.h"
#include "app/connection_test.h"
#include "app/mail_providers.h"
#include "app/oauth_session.h"
#include "app/password_file.h"
#include "app/secret_store.h"
#include "mail/id_smtp.h"
#include "platform/ascii.h"
#include "platform/error.h"
#include "platform/profile_file.h"
#include "platform/text_trim.h"

namespace sendrix::app {

namespace {

// The port the dialog gives the running program for a text that is no
// number. It is kept as it has always been, although SMTP's port is 25.
constexpr int kFallbackPort = 110;

constexpr const char* kOwnServer = "(eigener Server)";

// The limit of "Verbindung testen" for connecting and each reply when
// "Mail.ini" sets none: a person waits for the verdict.
constexpr int kTestLimitSeconds = 15;

// A pace field's number: blank gives `blank`; anything but a whole number in
// `lowest`..`highest` throws naming the field and the range.
int paceOf(const TEdit& field, const TLabel& label, int blank, int lowest, int highest) {
    const std::string_view text = platform::trimBlanks(field.Text);
    if (text.empty())
        return blank;
    const std::optional<platform::ParsedInteger> number = platform::parseInteger(text);
    if (!number || number->negative || number->magnitude < std::uint64_t(lowest) ||
        number->magnitude > std::uint64_t(highest)) {
        std::string name = label.Caption;
        std::erase(name, '&');
        throw Error("'" + field.Text + "' ist kein gültiger Wert für \"" + name + "\".\r\n" +
                    std::to_string(lowest) + " bis " + std::to_string(highest) + " eintragen");
    }
    return static_cast<int>(number->magnitude);
}

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
    lblAuthType.Caption = "&Anmeldung";
    // The values of "SMTPAuthenticationType" in their order.
    cboAuthType.Items = {"Keine Anmeldung", "Benutzername und Passwort", "Benutzername und Passwort (PLAIN)",
                         "Microsoft-/Google-Anmeldung (OAuth 2)", "Anmeldung mit Zugriffstoken (OAuth 2)"};
    AuthTypeHints = {"Ohne AUTH", "AUTH LOGIN", "AUTH PLAIN (RFC 4616)", "AUTH XOAUTH2",
                     "AUTH OAUTHBEARER (RFC 7628)"};
    lblProvider.Caption = "&Anbieter";
    cboProvider.Items = {kOwnServer};
    for (const MailProvider& provider : mailProviders())
        cboProvider.Items.push_back(provider.name);
    lblEncryption.Caption = "&Verschlüsselung";
    cboEncryption.Items = {"Keine", "STARTTLS", "SSL/TLS"};
    lblTokenCommand.Caption = "T&oken-Befehl";
    lblMessagesPerMinute.Caption = "Mails pro &Minute (0: ohne Grenze)";
    lblMessagesPerConnection.Caption = "Mails pro V&erbindung";
    lblClearWarning.Caption = "Ohne Verschlüsselung gehen Kontoname und Passwort lesbar über das Netz.";
    lblClearWarning.Visible = false;
    lblAccount.Caption = "&Kontoname";
    AccountPlaceholder = "meist die E-Mail-Adresse";
    lblPassword.Caption = "&Passwort";
    PasswordPlaceholder = "Passwort des E-Mail-Kontos";
    chkShowPassword.Caption = "Passwort an&zeigen";
    lblSenderName.Caption = "A&nzeigename";
    lblSenderAddress.Caption = "Absender&adresse";
    lblSentObjects.Caption = "Gesendete Objekte";
    chkPasswordInFile.Caption = "Passwort in der Datei speichern (für unbeaufsichtigten Betrieb)";
}

void TfmSetup::FormCreate() {
    m_openedWithDefaultServer = m_settings.ServerName == kDefaultServerName;
    SMTPServer.Text = m_openedWithDefaultServer ? std::string() : m_settings.ServerName;
    SMTPPort.Text = std::to_string(m_settings.ServerPort);
    m_openedWithDefaultUser = m_settings.ServerUser == kDefaultServerUser;
    edtAccount.Text = m_openedWithDefaultUser ? std::string() : m_settings.ServerUser;
    m_openedWithoutPassword = m_settings.PasswordStorage == PasswordPlace::Default;
    m_keyringAvailable = Secrets && Secrets->Available();
    m_keyringProblem.clear();
    m_openedKey.reset();
    if (m_settings.PasswordStorage == PasswordPlace::Keyring)
        m_openedKey = SecretKey{m_settings.ServerName, m_settings.ServerUser};
    try {
        // The built-in placeholder is no password the user gave.
        edtPassword.Text = m_openedWithoutPassword
                               ? std::string()
                               : SmtpLoginPassword(m_settings, m_keyringAvailable ? Secrets : nullptr);
    } catch (const Error& error) {
        // The dialog is where a lost keyring entry is mended, so it opens
        // anyway and says why the field is empty.
        edtPassword.Text.clear();
        m_keyringProblem = error.what();
    }
    chkPasswordInFile.Enabled = m_keyringAvailable;
    chkPasswordInFile.Checked = !m_keyringAvailable || m_settings.PasswordStorage == PasswordPlace::File;
    chkPasswordInFileClick();
    const int type = m_settings.SMTPAuthenticationType;
    if (type >= 0 && type < static_cast<int>(cboAuthType.Items.size())) {
        cboAuthType.ItemIndex = type;
        cboAuthType.Text = cboAuthType.Items[type];
    } else {
        cboAuthType.ItemIndex = -1;
        cboAuthType.Text.clear();
    }
    sentobjects.Text = m_settings.SentObjects;
    select(cboEncryption, m_settings.Encryption);
    m_shownEncryption = m_settings.Encryption;
    edtTokenCommand.Text = m_settings.TokenCommand;
    edtMessagesPerMinute.Text = std::to_string(m_settings.MessagesPerMinute);
    edtMessagesPerConnection.Text = std::to_string(m_settings.MessagesPerConnection);
    chkShowPassword.Checked = false;
    PasswordMasked = true;
    edtSenderAddress.Text = m_settings.PersonalEmail;
    select(cboProvider, 0);
    for (std::size_t i = 0; i < mailProviders().size(); ++i)
        if (platform::equalsNoCase(mailProviders()[i].host, m_settings.ServerName))
            select(cboProvider, static_cast<int>(i) + 1);
    updateClearWarning();
}

void TfmSetup::select(TComboBox& box, int index) {
    const bool valid = index >= 0 && index < static_cast<int>(box.Items.size());
    box.ItemIndex = valid ? index : -1;
    box.Text = valid ? box.Items[index] : std::string();
}

void TfmSetup::updateClearWarning() {
    lblClearWarning.Visible = cboAuthType.ItemIndex > 0 && cboEncryption.ItemIndex <= 0;
}

void TfmSetup::cboProviderChange() {
    const int index = cboProvider.ItemIndex;
    if (index > static_cast<int>(mailProviders().size()))
        return;
    if (index < 1) {
        // An own server has no published pace: no limit, as without keys.
        edtMessagesPerMinute.Text = "0";
        edtMessagesPerConnection.Text = "1";
        return;
    }
    const MailProvider& provider = mailProviders()[index - 1];
    SMTPServer.Text = provider.host;
    SMTPPort.Text = std::to_string(provider.port);
    select(cboEncryption, provider.encryption);
    m_shownEncryption = provider.encryption;
    select(cboAuthType, providerLoginType(provider));
    edtMessagesPerMinute.Text = std::to_string(provider.messagesPerMinute);
    edtMessagesPerConnection.Text = std::to_string(provider.messagesPerConnection);
    updateClearWarning();
}

void TfmSetup::cboEncryptionChange() {
    const int chosen = std::max(0, cboEncryption.ItemIndex);
    // Only a port that still is the old choice's usual one follows: a port
    // the user typed stays.
    const std::string trimmed(platform::trimBlanks(SMTPPort.Text));
    if (trimmed.empty() || trimmed == std::to_string(DefaultPortFor(m_shownEncryption)))
        SMTPPort.Text = std::to_string(DefaultPortFor(chosen));
    m_shownEncryption = chosen;
    updateClearWarning();
}

void TfmSetup::cboAuthTypeChange() {
    updateClearWarning();
}

int DefaultPortFor(int encryption) {
    return encryption == kEncryptionStartTls ? 587 : encryption == kEncryptionTls ? 465 : kDefaultServerPort;
}

void TfmSetup::BitBtn1Click() {
    // Every write keeps a file that holds a password for its owner alone.
    const auto store = [this](const char* key, const std::string& value) {
        platform::writeProfileString(m_mailIni, "Smtp", key, value, SettingsFileAccess(m_mailIni));
    };
    // Before anything is stored: a port the next start could not read
    // would stop it.
    KeepOpen = true;  // until every field has passed its check
    int port = 0;
    try {
        port = ParseServerPort(SMTPPort.Text);
    } catch (const Error& error) {
        throw Error(
            std::string(error.what()) +
            "\r\nPort 1 bis 65535 eintragen (STARTTLS meist 587, SSL/TLS 465, ohne Verschlüsselung 25)");
    }
    const int perMinute = paceOf(edtMessagesPerMinute, lblMessagesPerMinute, 0, 0, kMaxMessagesPerMinute);
    const int perConnection =
        paceOf(edtMessagesPerConnection, lblMessagesPerConnection, 1, 1, kMaxMessagesPerConnection);
    KeepOpen = false;
    const std::string server = SMTPServer.Text.empty() && m_openedWithDefaultServer
                                   ? std::string(kDefaultServerName)
                                   : SMTPServer.Text;
    store("ServerName", server);
    m_settings.ServerName = server;

    store("ServerPort", SMTPPort.Text);
    m_settings.ServerPort = port;

    const std::string user = edtAccount.Text.empty() && m_openedWithDefaultUser
                                 ? std::string(kDefaultServerUser)
                                 : edtAccount.Text;
    store("ServerUser", user);
    m_settings.ServerUser = user;

    // The key as a later start reads it back from the file.
    const SecretKey key{platform::readProfileString(m_mailIni, "Smtp", "ServerName", ""),
                        platform::readProfileString(m_mailIni, "Smtp", "ServerUser", "")};
    if (m_openedWithoutPassword && edtPassword.Text.empty()) {
        // Still none: the file stays without the key, memory keeps the
        // placeholder it read.
    } else if (m_keyringAvailable && !chkPasswordInFile.Checked) {
        Secrets->Store(key, edtPassword.Text);
        store("ServerPassword", kKeyringPasswordMarker);
        m_settings.PasswordStorage = PasswordPlace::Keyring;
    } else {
        // The quotes keep blanks at either end of the scrambled text; the
        // value is checked before anything of it is written.
        platform::writeProfileString(m_mailIni, "Smtp", "ServerPassword",
                                     StoredPasswordValue(edtPassword.Text), platform::FileAccess::OwnerOnly);
        m_settings.PasswordStorage = PasswordPlace::File;
    }
    if (m_settings.PasswordStorage != PasswordPlace::Default) {
        m_settings.ServerPassword = edtPassword.Text;
        m_settings.PasswordLoaded = true;
    }

    const int type = cboAuthType.ItemIndex;
    store("SMTPAuthenticationType", std::to_string(type));
    m_settings.SMTPAuthenticationType = type;

    // Keys that earlier versions did not know are written only when they
    // say more than their absence, so such a file stays as it was.
    const auto writeNewKey = [&](const char* name, const std::string& value, const std::string& absent) {
        if (value != absent || platform::readProfileString(m_mailIni, "Smtp", name, "\n") != "\n")
            store(name, value);
    };
    const int encryption = std::max(0, cboEncryption.ItemIndex);
    writeNewKey("Encryption", std::to_string(encryption), "0");
    m_settings.Encryption = encryption;
    writeNewKey("TokenCommand", edtTokenCommand.Text, "");
    m_settings.TokenCommand = edtTokenCommand.Text;
    writeNewKey("MessagesPerMinute", std::to_string(perMinute), "0");
    m_settings.MessagesPerMinute = perMinute;
    writeNewKey("MessagesPerConnection", std::to_string(perConnection), "1");
    m_settings.MessagesPerConnection = perConnection;

    // Stored with the mail configuration at close, not here.
    m_settings.SentObjects = sentobjects.Text;

    // A password that has moved leaves no copy behind in the keyring.
    const bool inKeyring = m_settings.PasswordStorage == PasswordPlace::Keyring;
    if (m_openedKey && m_keyringAvailable && (!inKeyring || !(key == *m_openedKey)))
        Secrets->Remove(*m_openedKey);
    m_openedKey = inKeyring ? std::optional<SecretKey>(key) : std::nullopt;

    if (!UserSettingsFile.empty()) {
        // The keys the main window writes at close.
        platform::writeProfileString(UserSettingsFile, "Email", "realname", edtSenderName.Text);
        platform::writeProfileString(UserSettingsFile, "Email", "Personalemail", edtSenderAddress.Text);
        m_settings.PersonalEmail = edtSenderAddress.Text;
    }
    Stored = true;
}

void TfmSetup::chkPasswordInFileClick() {
    if (!m_keyringAvailable)
        lblPasswordStore.Caption =
            "Kein Schlüsselbund erreichbar: Das Passwort wird verschleiert "
            "in Mail.ini gespeichert.";
    else if (chkPasswordInFile.Checked)
        lblPasswordStore.Caption = "Das Passwort wird verschleiert in Mail.ini gespeichert.";
    else
        lblPasswordStore.Caption =
            "Das Passwort wird im Schlüsselbund des Desktops gespeichert, "
            "in Mail.ini steht nur ein Verweis.";
    if (!m_keyringProblem.empty())
        lblPasswordStore.Caption = m_keyringProblem + " " + lblPasswordStore.Caption;
}

void TfmSetup::chkShowPasswordClick() {
    PasswordMasked = !chkShowPassword.Checked;
}

void TfmSetup::applyDiscovery(const Discovery& found) {
    if (edtAccount.Text.empty() || found.source != Discovery::Source::None)
        edtAccount.Text = std::string(platform::trimBlanks(edtSenderAddress.Text));
    if (found.source == Discovery::Source::Provider) {
        select(cboProvider, found.providerIndex + 1);
        cboProviderChange();
        return;
    }
    if (found.source == Discovery::Source::None)
        return;
    select(cboProvider, 0);
    cboProviderChange();
    SMTPServer.Text = found.server.host;
    SMTPPort.Text = std::to_string(found.server.port);
    select(cboEncryption, found.server.encryption);
    m_shownEncryption = found.server.encryption;
    select(cboAuthType, mail::atLogin);
    updateClearWarning();
}

merge::SmtpAccount TfmSetup::accountFromFields() const {
    merge::SmtpAccount account;
    account.host = std::string(platform::trimBlanks(SMTPServer.Text));
    account.port = ParseServerPort(SMTPPort.Text);
    account.user = edtAccount.Text;
    account.password = edtPassword.Text;
    account.authenticationType = std::max(0, cboAuthType.ItemIndex);
    account.encryption = std::max(0, cboEncryption.ItemIndex);
    account.timeoutSeconds = m_settings.Timeout > 0 ? m_settings.Timeout : kTestLimitSeconds;
    // A certificate trusted for the stored server is trusted for it alone.
    if (platform::equalsNoCase(account.host, m_settings.ServerName))
        account.pinnedFingerprint = m_settings.TlsFingerprint;
    const std::string command = edtTokenCommand.Text;
    account.accessToken = [command] { return fetchAccessToken(command); };
    if (command.empty()) {
        TMailSettings typed = m_settings;
        typed.ServerName = account.host;
        typed.ServerUser = account.user;
        if (auto session = OpenOAuthSession(m_mailIni, typed, m_keyringAvailable ? Secrets : nullptr))
            account.accessToken = [session] { return session->AccessToken(); };
        else
            account.accessToken = []() -> std::string {
                throw Error("Das Konto ist noch nicht angemeldet: zuerst „Bei Microsoft / Google anmelden“.");
            };
    }
    return account;
}

void TfmSetup::signedIn() {
    if (cboAuthType.ItemIndex != mail::atXOAuth2 && cboAuthType.ItemIndex != mail::atOAuthBearer)
        select(cboAuthType, mail::atXOAuth2);
    updateClearWarning();
}

void TfmSetup::btnTestConnectionClick() {
    try {
        const ConnectionVerdict verdict = testSmtpConnection(accountFromFields());
        ConnectionOk = verdict.ok;
        lblConnectionVerdict.Caption = verdict.text;
    } catch (const Error& error) {
        ConnectionOk = false;
        lblConnectionVerdict.Caption = std::string("Kein Test möglich: ") + error.what();
    }
}

void TfmSetup::SendTestMessage() {
    const std::string address(platform::trimBlanks(edtSenderAddress.Text));
    if (address.empty())
        throw Error("Für die Testnachricht fehlt die Absenderadresse.");
    sendTestMessage(accountFromFields(), edtSenderName.Text, address);
    m_interaction.Notice("Die Testnachricht an " + address +
                         " ist abgeschickt. Sie sollte in wenigen Minuten im Posteingang sein.");
}

}  // namespace sendrix::app

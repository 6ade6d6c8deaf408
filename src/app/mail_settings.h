#pragma once
// The SMTP account and the sender's settings: one record per process, read at
// start from "Mail.ini" [Smtp] and changed by the setup dialog, a mail
// configuration and the sender fields of the main window.
#include <string>

#include "app/imap_settings.h"

namespace sendrix::app {

class SecretStore;

// Where "ServerPassword" keeps the password: absent (the placeholder
// "type_passcode" stands in), scrambled in the file, or in the keyring.
enum class PasswordPlace { Default, File, Keyring };

struct TMailSettings {
    std::string ServerName;
    int ServerPort = 25;
    std::string ServerUser;
    std::string ServerPassword;  // plain in memory, scrambled in the file
    PasswordPlace PasswordStorage = PasswordPlace::Default;
    // False while the password is in the keyring and has not been read: it
    // is read when a login first needs it (SmtpLoginPassword).
    bool PasswordLoaded = true;
    // 0 no login, 1 AUTH LOGIN, 2 AUTH PLAIN, 3 XOAUTH2, 4 OAUTHBEARER
    int SMTPAuthenticationType = 0;
    std::string PersonalEmail;  // sender address
    std::string SentObjects;    // sent-objects folder, empty = no archive
    std::string LogFile;        // monthly send log
    std::string ConfigFile;     // mail configuration saved at close
    // Limit for connecting and for every server reply, in whole seconds;
    // 0 means the SMTP client's own default.
    int Timeout = 0;
    // The provider's limits: messages over one connection (1-1000, RSET
    // between them) and messages started per minute (0 no limit, 1-10000).
    int MessagesPerConnection = 1;
    int MessagesPerMinute = 0;
    // [Smtp] "Pipelining" = 1: commands in one go where the server names
    // PIPELINING (RFC 2920); anything else: each waits for its reply.
    bool Pipelining = false;
    // [Smtp] "Encryption": 0 none, 1 STARTTLS, 2 SSL/TLS from the first byte.
    int Encryption = 0;
    // [Smtp] "TlsFingerprint": SHA-256 of a certificate trusted besides the
    // trust store ("AB:CD:..."), empty for none.
    std::string TlsFingerprint;
    // [Smtp] "TokenCommand": prints the OAuth 2 access token (logins 3, 4).
    std::string TokenCommand;
    // The IMAP account ([Imap], app/imap_settings.h).
    TImapSettings Imap;
};

inline constexpr int kEncryptionNone = 0;
inline constexpr int kEncryptionStartTls = 1;
inline constexpr int kEncryptionTls = 2;

// Host used while "Mail.ini" names none. The reserved ".invalid" domain never
// resolves, so an unconfigured program cannot hand mail to a stranger.
inline constexpr const char* kDefaultServerName = "smtp.example.invalid";
inline constexpr const char* kDefaultServerUser = "your_login";
// Stored (scrambled) form read when "ServerPassword" is absent.
inline constexpr const char* kDefaultStoredPassword = "type_passcode";
inline constexpr int kDefaultServerPort = 25;
inline constexpr int kMaxTimeoutSeconds = 3600;
inline constexpr int kMaxMessagesPerConnection = 1000;
inline constexpr int kMaxMessagesPerMinute = 10000;
inline constexpr std::size_t kMaxPasswordLength = 255;

// XOR of every character with one fixed key (0x1F); applying it twice gives
// the input back and the number of characters stays the same. The key keeps
// printable ASCII printable, so a scrambled password never holds NUL, CR or
// LF (which would break the settings file's line structure). Characters are
// code points of the UTF-8 text, so the result is valid UTF-8 again.
std::string ScramblePassword(const std::string& text);

// The value written for [Smtp] "ServerPassword": the scrambled password
// inside a pair of double quotes (so blanks at either end survive).
// Throws sendrix::Error when the password is longer than 255 characters or
// its scrambled form holds NUL, CR or LF; nothing may be written then.
std::string StoredPasswordValue(const std::string& password);

// The "ServerPassword" value of a password kept in the desktop's keyring
// (app/secret_store.h). Its "`" characters are DEL once unscrambled, which
// no typed password holds, so no stored password reads as the marker.
inline constexpr const char* kKeyringPasswordMarker = "`secret-service`";

// The password for the login: the one in memory, or, while it is in the
// keyring and not read yet, the keyring's (kept in `settings` afterwards).
// Throws sendrix::Error when the keyring cannot give it; without a
// `secrets` store the error names the way out for unattended use.
const std::string& SmtpLoginPassword(TMailSettings& settings, SecretStore* secrets);

// Converts a "ServerPort" text: decimal, optionally signed, or "0x" hex,
// blanks around allowed. Throws sendrix::Error "'%s' ist kein gültiger
// Integerwert" for anything else, and "'%s' ist keine gültige Portnummer"
// for a number outside 1..65535.
int ParseServerPort(const std::string& text);

// Reads the SMTP account from section "Smtp" of `mailIni` into `settings`
// (ServerName, ServerPort, ServerUser, ServerPassword unscrambled,
// SMTPAuthenticationType, Timeout, Encryption, TlsFingerprint, TokenCommand,
// MessagesPerConnection, MessagesPerMinute, Pipelining; a limit out of
// range gives its default). A "ServerPassword" holding kKeyringPasswordMarker leaves the
// password empty and unloaded. Fields are set one by one; a "ServerPort"
// that is no number throws (see ParseServerPort) and leaves the later fields. An "Encryption"
// other than 0, 1, 2 and a "TlsFingerprint" that is not 64 hex digits throw
// sendrix::Error: guessing could send a password in the clear.
void ReadSmtpAccount(const std::string& mailIni, TMailSettings& settings);

}  // namespace sendrix::app

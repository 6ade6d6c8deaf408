#include "app/mail_settings.h"

#include <climits>

#include "app/secret_store.h"
#include "mail/tls_session.h"
#include "platform/ascii.h"
#include "platform/error.h"
#include "platform/profile_file.h"
#include "platform/text_codec.h"
#include "platform/text_trim.h"

namespace sendrix::app {

namespace {

// Below 0x20 the XOR only swaps letters within their block of 32, so
// printable ASCII stays printable (only "`" becomes DEL) and no printable
// character turns into NUL, CR or LF.
constexpr unsigned kScrambleKey = 0x1F;

}  // namespace

std::string ScramblePassword(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t code = 0;
        const std::size_t length = platform::utf8SequenceAt(text, pos, code);
        if (length > 0) {
            // Code points keep their block of 256, so the result is never a
            // surrogate and stays valid UTF-8.
            platform::appendUtf8(out, code ^ kScrambleKey);
            pos += length;
        } else {
            // A byte that is no UTF-8 stands for itself.
            out += static_cast<char>(static_cast<unsigned char>(text[pos]) ^ kScrambleKey);
            ++pos;
        }
    }
    return out;
}

std::string StoredPasswordValue(const std::string& password) {
    if (platform::characterCount(password) > kMaxPasswordLength)
        throw Error("Das Passwort ist länger als 255 Zeichen und wird nicht gespeichert.");
    std::string scrambled = ScramblePassword(password);
    if (scrambled.find_first_of(std::string("\0\r\n", 3)) != std::string::npos)
        throw Error("Das Passwort enthält Steuerzeichen und kann nicht gespeichert werden.");
    return "\"" + scrambled + "\"";
}

const std::string& SmtpLoginPassword(TMailSettings& settings, SecretStore* secrets) {
    if (settings.PasswordLoaded)
        return settings.ServerPassword;
    if (!secrets)
        throw Error("Das Passwort liegt im Schlüsselbund, und dieser Lauf hat keinen Zugang dazu. " +
                    std::string(kUnattendedPasswordHint));
    settings.ServerPassword = secrets->Lookup({settings.ServerName, settings.ServerUser});
    settings.PasswordLoaded = true;
    return settings.ServerPassword;
}

int ParseServerPort(const std::string& text) {
    const std::string noNumber = "'" + text + "' ist kein gültiger Integerwert";
    const std::optional<platform::ParsedInteger> number = platform::parseInteger(platform::trimBlanks(text));
    if (!number || number->magnitude > INT_MAX)
        throw Error(noNumber);
    const long long magnitude = static_cast<long long>(number->magnitude);
    const long long value = number->negative ? -magnitude : magnitude;
    // A port the TCP layer cannot carry would silently reach another port.
    if (value < 1 || value > 65535)
        throw Error("'" + text + "' ist keine gültige Portnummer");
    return static_cast<int>(value);
}

void ReadSmtpAccount(const std::string& mailIni, TMailSettings& settings) {
    using namespace sendrix::platform;
    settings.ServerName = readProfileString(mailIni, "Smtp", "ServerName", kDefaultServerName);
    settings.ServerPort =
        ParseServerPort(readProfileString(mailIni, "Smtp", "ServerPort", std::to_string(kDefaultServerPort)));
    settings.ServerUser = readProfileString(mailIni, "Smtp", "ServerUser", kDefaultServerUser);
    // No stored value holds a line break, so "\n" tells an absent key.
    const std::string stored = readProfileString(mailIni, "Smtp", "ServerPassword", "\n");
    settings.PasswordLoaded = stored != kKeyringPasswordMarker;
    settings.PasswordStorage = stored == "\n"                     ? PasswordPlace::Default
                               : stored == kKeyringPasswordMarker ? PasswordPlace::Keyring
                                                                  : PasswordPlace::File;
    settings.ServerPassword = !settings.PasswordLoaded
                                  ? std::string()
                                  : ScramblePassword(stored == "\n" ? kDefaultStoredPassword : stored);
    settings.SMTPAuthenticationType = readProfileInt(mailIni, "Smtp", "SMTPAuthenticationType", 0);
    int timeout = readProfileInt(mailIni, "Smtp", "Timeout", 0);
    settings.Timeout = timeout >= 1 && timeout <= kMaxTimeoutSeconds ? timeout : 0;
    const int perConnection = readProfileInt(mailIni, "Smtp", "MessagesPerConnection", 1);
    settings.MessagesPerConnection =
        perConnection >= 1 && perConnection <= kMaxMessagesPerConnection ? perConnection : 1;
    const int perMinute = readProfileInt(mailIni, "Smtp", "MessagesPerMinute", 0);
    settings.MessagesPerMinute = perMinute >= 1 && perMinute <= kMaxMessagesPerMinute ? perMinute : 0;
    settings.Pipelining = readProfileInt(mailIni, "Smtp", "Pipelining", 0) == 1;

    const std::string encryption(trimBlanks(readProfileString(mailIni, "Smtp", "Encryption", "")));
    if (encryption.empty() || encryption == "0")
        settings.Encryption = kEncryptionNone;
    else if (encryption == "1")
        settings.Encryption = kEncryptionStartTls;
    else if (encryption == "2")
        settings.Encryption = kEncryptionTls;
    else
        throw Error("'" + encryption + "' ist kein gültiger Wert für [Smtp] Encryption\r\n" + mailIni +
                    " – 0 (keine), 1 (STARTTLS) oder 2 (SSL/TLS) eintragen");
    const std::string fingerprint = readProfileString(mailIni, "Smtp", "TlsFingerprint", "");
    settings.TlsFingerprint = mail::normalizeFingerprint(fingerprint);
    if (settings.TlsFingerprint.empty() && !trimBlanks(fingerprint).empty())
        throw Error("'" + fingerprint + "' ist kein SHA-256-Fingerabdruck für [Smtp] TlsFingerprint\r\n" +
                    mailIni + " – 64 Hex-Ziffern eintragen, paarweise durch \":\" getrennt");
    settings.TokenCommand = readProfileString(mailIni, "Smtp", "TokenCommand", "");
}

}  // namespace sendrix::app

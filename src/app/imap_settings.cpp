#include "app/imap_settings.h"

#include "app/mail_settings.h"
#include "platform/ascii.h"
#include "platform/error.h"
#include "platform/profile_file.h"
#include "platform/text_trim.h"

namespace sendrix::app {

namespace {

constexpr const char* kSection = "Imap";

bool usesToken(const TMailSettings& smtp) {
    return smtp.SMTPAuthenticationType == 3 || smtp.SMTPAuthenticationType == 4;
}

}  // namespace

void ReadImapAccount(const std::string& mailIni, TImapSettings& settings) {
    using namespace sendrix::platform;
    settings.ServerName = std::string(trimBlanks(readProfileString(mailIni, kSection, "ServerName", "")));
    const std::string encryption(trimBlanks(readProfileString(mailIni, kSection, "Encryption", "1")));
    if (encryption == "0" || encryption == "1" || encryption == "2")
        settings.Encryption = encryption[0] - '0';
    else
        throw Error("'" + encryption + "' ist kein gültiger Wert für [Imap] Encryption\r\n" + mailIni +
                    " – 0 (keine), 1 (STARTTLS) oder 2 (SSL/TLS) eintragen");
    const int defaultPort = settings.Encryption == kEncryptionTls ? kDefaultImapsPort : kDefaultImapPort;
    settings.ServerPort =
        ParseServerPort(readProfileString(mailIni, kSection, "ServerPort", std::to_string(defaultPort)));
    const std::string fingerprint = readProfileString(mailIni, kSection, "TlsFingerprint", "");
    settings.TlsFingerprint = mail::normalizeFingerprint(fingerprint);
    if (settings.TlsFingerprint.empty() && !trimBlanks(fingerprint).empty())
        throw Error("'" + fingerprint + "' ist kein SHA-256-Fingerabdruck für [Imap] TlsFingerprint\r\n" +
                    mailIni + " – 64 Hex-Ziffern eintragen, paarweise durch \":\" getrennt");
    settings.ServerUser = readProfileString(mailIni, kSection, "ServerUser", "");
    settings.ServerPassword = ScramblePassword(readProfileString(mailIni, kSection, "ServerPassword", ""));
    settings.SentCopy = readProfileInt(mailIni, kSection, "SentCopy", 1) != 0;
    settings.SentFolder = readProfileString(mailIni, kSection, "SentFolder", "");
    const int timeout = readProfileInt(mailIni, kSection, "Timeout", TImapSettings::kDefaultImapTimeout);
    settings.Timeout = timeout >= 1 && timeout <= kMaxTimeoutSeconds ? timeout : TImapSettings::kDefaultImapTimeout;
}

void WriteImapAccount(const std::string& mailIni, const TImapSettings& settings) {
    using platform::writeProfileString;
    const auto write = [&](const char* key, const std::string& value) {
        writeProfileString(mailIni, kSection, key, value, platform::FileAccess::OwnerOnly);
    };
    if (!settings.Configured()) {
        if (platform::readProfileString(mailIni, kSection, "ServerName", "\n") != "\n")
            write("ServerName", "");
        return;
    }
    // Checked before the first key is written.
    const std::string password =
        settings.ServerPassword.empty() ? std::string() : StoredPasswordValue(settings.ServerPassword);
    write("ServerName", settings.ServerName);
    write("ServerPort", std::to_string(settings.ServerPort));
    write("Encryption", std::to_string(settings.Encryption));
    write("TlsFingerprint", settings.TlsFingerprint);
    write("ServerUser", settings.ServerUser);
    write("ServerPassword", password);
    write("SentCopy", settings.SentCopy ? "1" : "0");
    write("SentFolder", settings.SentFolder);
    write("Timeout", std::to_string(settings.Timeout));
}

mail::ImapAccount imapAccountOf(const TImapSettings& imap, TMailSettings& smtp, SecretStore* secrets) {
    mail::ImapAccount account;
    account.host = imap.ServerName;
    account.port = imap.ServerPort;
    account.encryption = imap.Encryption == kEncryptionTls        ? mail::TlsMode::Implicit
                         : imap.Encryption == kEncryptionStartTls ? mail::TlsMode::StartTls
                                                                  : mail::TlsMode::None;
    account.pinnedFingerprint = imap.TlsFingerprint;
    account.timeoutSeconds = imap.Timeout;
    account.user = imap.ServerUser.empty() ? smtp.ServerUser : imap.ServerUser;
    if (!imap.ServerPassword.empty())
        account.password = imap.ServerPassword;
    else if (!usesToken(smtp))
        account.password = SmtpLoginPassword(smtp, secrets);
    return account;
}

std::unique_ptr<merge::SentCopy> sentCopyOf(const TImapSettings& imap, TMailSettings& smtp, SecretStore* secrets,
                                            std::function<std::string()> accessToken) {
    if (!imap.Configured() || !imap.SentCopy)
        return nullptr;
    // The SMTP account's token serves where the IMAP account has no password of its own.
    const bool token = imap.ServerPassword.empty() && usesToken(smtp);
    return std::make_unique<merge::ImapSentCopy>(imapAccountOf(imap, smtp, secrets), imap.SentFolder,
                                                 token ? std::move(accessToken) : nullptr);
}

std::string sentCopyNote(const TImapSettings& imap) {
    if (!imap.Configured() || !imap.SentCopy)
        return {};
    return "\r\nKopien in Gesendet" + (imap.SentFolder.empty() ? std::string() : " (\"" + imap.SentFolder + "\")") +
           " auf " + imap.ServerName + ".";
}

}  // namespace sendrix::app

#pragma once
// The IMAP account beside the SMTP account ("Mail.ini" [Imap]): where a
// copy of every delivered message goes ("Gesendet") and where delivery
// reports are read. Without [Imap] ServerName there is no IMAP account and
// nothing of it happens.
#include <functional>
#include <memory>
#include <string>

#include "mail/imap_client.h"
#include "merge/sent_copy.h"

namespace sendrix::app {

struct TMailSettings;
class SecretStore;

struct TImapSettings {
    std::string ServerName;  // empty: no IMAP account
    int ServerPort = 143;
    // 0 none, 1 STARTTLS, 2 SSL/TLS from the first byte (kEncryption...).
    int Encryption = 1;
    std::string TlsFingerprint;  // "AB:CD:...", empty: the trust store decides
    // Empty: the SMTP account's login (user and password, or its token).
    std::string ServerUser;
    std::string ServerPassword;  // plain in memory, scrambled in the file
    // Each delivered message is copied into the Sent folder.
    bool SentCopy = true;
    std::string SentFolder;  // empty: found on the server (\Sent, usual names)
    int Timeout = kDefaultImapTimeout;

    static constexpr int kDefaultImapTimeout = 30;
    bool Configured() const { return !ServerName.empty(); }
};

inline constexpr int kDefaultImapPort = 143;
inline constexpr int kDefaultImapsPort = 993;

// Reads section "Imap" of `mailIni`. Absent keys keep their defaults; the
// port defaults to 993 with Encryption 2, else 143; a Timeout outside
// 1..3600 gives 30. Throws sendrix::Error naming the key and the file for
// a port that is no port, an Encryption other than 0, 1, 2 and a
// TlsFingerprint that is not 64 hex digits.
void ReadImapAccount(const std::string& mailIni, TImapSettings& settings);

// Writes the settings into section "Imap" of `mailIni` (the password
// scrambled, only when it is not empty). With an empty ServerName only
// "ServerName" is written, and only when the file already has it, so a
// file without an IMAP account stays without one. Throws FileError or
// sendrix::Error (a password that cannot be stored) before writing it.
void WriteImapAccount(const std::string& mailIni, const TImapSettings& settings);

// The account for the IMAP client: its own user and password where set,
// else the SMTP account's (its password read from the keyring when it is
// there, its token from `accessToken` for the OAuth logins 3 and 4).
mail::ImapAccount imapAccountOf(const TImapSettings& imap, TMailSettings& smtp, SecretStore* secrets);

// The Sent copy of a run, or null when there is no IMAP account or
// SentCopy is off. `accessToken` gives the SMTP account's token (OAuth
// logins); it is asked when the copy begins.
std::unique_ptr<merge::SentCopy> sentCopyOf(const TImapSettings& imap, TMailSettings& smtp, SecretStore* secrets,
                                            std::function<std::string()> accessToken);

// "\r\nKopien in Gesendet auf <server>." for the send question, "" without copies.
std::string sentCopyNote(const TImapSettings& imap);

}  // namespace sendrix::app

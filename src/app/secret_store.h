#pragma once
// Secrets of the SMTP account in the desktop's keyring: the Secret Service
// on the session bus (GNOME Keyring, KWallet, KeePassXC), spoken to through
// libsecret. Only the settings layer uses it; the mail library gets the
// secret as a value.
#include <memory>
#include <string>

namespace sendrix::app {

// What one stored secret belongs to: the account as "Mail.ini" names it and
// what the secret is (the password; later also a token command's output).
struct SecretKey {
    std::string server;
    std::string user;
    std::string kind = "password";
    bool operator==(const SecretKey&) const = default;
};

// Whether reading may show the service's own unlock prompt: yes in the
// window, never unattended (nobody would answer it).
enum class SecretPrompt { Allowed, Never };

class SecretStore {
public:
    virtual ~SecretStore() = default;
    // True when a Secret Service answers on the session bus (or can be
    // started by it).
    virtual bool Available() = 0;
    // Stores `secret` under `key`, replacing one stored there before. May
    // show the service's prompt to unlock or create the keyring. Throws
    // sendrix::Error with the reason when it cannot be stored.
    virtual void Store(const SecretKey& key, const std::string& secret) = 0;
    // The secret stored under `key`. Throws sendrix::Error when no service
    // answers, nothing is stored under the key, or the keyring is locked
    // and stays locked (with SecretPrompt::Never: is locked at all); the
    // texts name the way out for unattended use.
    virtual std::string Lookup(const SecretKey& key) = 0;
    // Removes the secret stored under `key`; none stored is no error.
    // Throws sendrix::Error with the reason when it cannot be removed.
    virtual void Remove(const SecretKey& key) = 0;
};

// The desktop's Secret Service through libsecret.
std::unique_ptr<SecretStore> DesktopSecretStore(SecretPrompt prompt);

// "Für den unbeaufsichtigten Betrieb ..." : how an unattended machine does
// without the keyring. Ends every error about a keyring that cannot be read.
extern const char* const kUnattendedPasswordHint;

}  // namespace sendrix::app

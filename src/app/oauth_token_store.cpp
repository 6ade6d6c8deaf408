#include "app/oauth_token_store.h"

#include "app/mail_settings.h"
#include "app/secret_store.h"
#include "platform/error.h"
#include "platform/profile_file.h"

namespace sendrix::app {

namespace {

// The settings reader returns at most 2047 characters; a longer token
// would come back cut.
constexpr std::size_t kMaxFileToken = 2000;

std::string storedValue(const std::string& mailIni) {
    return platform::readProfileString(mailIni, "Smtp", kRefreshTokenKey, "");
}

}  // namespace

bool HoldsOwnRefreshToken(const std::string& mailIni) {
    const std::string stored = storedValue(mailIni);
    return !stored.empty() && stored != kKeyringPasswordMarker;
}

void StoreRefreshToken(const std::string& mailIni, const std::string& server, const std::string& user,
                       const std::string& providerKey, const std::string& token, SecretStore* secrets,
                       bool inFile) {
    const SecretKey key{server, user, kRefreshTokenKind};
    platform::writeProfileString(mailIni, "Smtp", "OAuthProvider", providerKey);
    if (secrets && !inFile) {
        secrets->Store(key, token);
        platform::writeProfileString(mailIni, "Smtp", kRefreshTokenKey, kKeyringPasswordMarker);
        return;
    }
    if (token.size() > kMaxFileToken)
        throw Error("Das Anmeldetoken ist zu lang für Mail.ini (" + std::to_string(token.size()) +
                    " Zeichen); bitte im Schlüsselbund speichern.");
    // Tokens are printable ASCII (oauth_flow.cpp checks that), which the
    // scrambling keeps free of NUL, CR and LF.
    platform::writeProfileString(mailIni, "Smtp", kRefreshTokenKey, "\"" + ScramblePassword(token) + "\"",
                                 platform::FileAccess::OwnerOnly);
    // A refresh token left in the keyring would outlive the user's choice.
    if (secrets && secrets->Available())
        secrets->Remove(key);
}

std::optional<std::string> LoadRefreshToken(const std::string& mailIni, const std::string& server,
                                            const std::string& user, SecretStore* secrets) {
    const std::string stored = storedValue(mailIni);
    if (stored.empty())
        return std::nullopt;
    if (stored != kKeyringPasswordMarker)
        return ScramblePassword(stored);
    if (!secrets)
        throw Error(std::string("Die Anmeldung des Kontos liegt im Schlüsselbund, der hier nicht erreichbar "
                                "ist. ") +
                    kUnattendedPasswordHint);
    return secrets->Lookup({server, user, kRefreshTokenKind});
}

}  // namespace sendrix::app

#pragma once
// Where the OAuth 2 refresh token of the SMTP account is kept: in the
// desktop's keyring (kind "oauth-refresh-token" beside the password) with
// only kKeyringPasswordMarker in "Mail.ini" [Smtp] "OAuthRefreshToken", or,
// when the user chose the file, scrambled there like the password.
#include <optional>
#include <string>

namespace sendrix::app {

class SecretStore;

inline constexpr const char* kRefreshTokenKind = "oauth-refresh-token";
inline constexpr const char* kRefreshTokenKey = "OAuthRefreshToken";

// Stores `token` for the account `server`/`user` of `mailIni`: into
// `secrets` unless `inFile` (or no store is given), else scrambled into the
// file, which then becomes readable for its owner alone. Also writes
// [Smtp] OAuthProvider = `providerKey`. A token left in the place not
// chosen is removed. Throws sendrix::Error when the keyring refuses or the
// token is too long for the file, FileError when the file cannot be
// written; the token stored before stays then.
void StoreRefreshToken(const std::string& mailIni, const std::string& server, const std::string& user,
                       const std::string& providerKey, const std::string& token, SecretStore* secrets,
                       bool inFile);

// The stored refresh token, nullopt when "Mail.ini" holds none. Throws
// sendrix::Error when it is in the keyring and the keyring cannot give it
// (without `secrets`: naming the way out for unattended use).
std::optional<std::string> LoadRefreshToken(const std::string& mailIni, const std::string& server,
                                            const std::string& user, SecretStore* secrets);

// True when [Smtp] OAuthRefreshToken holds a token itself (not the marker).
bool HoldsOwnRefreshToken(const std::string& mailIni);

}  // namespace sendrix::app

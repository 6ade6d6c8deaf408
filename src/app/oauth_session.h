#pragma once
// The access token of the built-in OAuth 2 sign-in during one send run: held
// in memory only, got from the stored refresh token when first needed and
// again shortly before it expires, never per message.
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/oauth_flow.h"

namespace sendrix::app {

class SecretStore;
struct TMailSettings;

// A token this close to its end is replaced before a connection uses it,
// so it cannot expire during the login.
inline constexpr std::chrono::seconds kAccessTokenMargin{300};

class OAuthSession {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    // `account` names the account in messages. `loadRefreshToken` gives the
    // stored token (read once, when first needed); `refresh` asks the token
    // endpoint; `keepRefreshToken` stores a new one the endpoint hands out
    // (rotation). `now` is the clock seam.
    OAuthSession(std::string account, std::string providerName, std::function<std::string()> loadRefreshToken,
                 std::function<OAuthTokens(const std::string&)> refresh,
                 std::function<void(const std::string&)> keepRefreshToken, Clock now);

    // The access token: the one held while more than kAccessTokenMargin is
    // left, else a fresh one. Throws sendrix::Error naming the account and
    // "… in den Optionen erneut anmelden" when the endpoint answers
    // invalid_grant; other failures as the endpoint's error.
    std::string AccessToken();

private:
    std::string m_account;
    std::string m_providerName;
    std::function<std::string()> m_loadRefreshToken;
    std::function<OAuthTokens(const std::string&)> m_refresh;
    std::function<void(const std::string&)> m_keepRefreshToken;
    Clock m_now;
    std::optional<std::string> m_refreshToken;
    std::string m_accessToken;
    std::chrono::steady_clock::time_point m_expires{};
};

// The session of the account in `mailIni` when it signs in through the
// built-in OAuth 2 ([Smtp] OAuthRefreshToken present), else null. Reads the
// refresh token now; throws sendrix::Error when the keyring cannot give it
// or the provider's keys are wrong (ReadOAuthProvider).
std::shared_ptr<OAuthSession> OpenOAuthSession(const std::string& mailIni, const TMailSettings& settings,
                                               SecretStore* secrets);

}  // namespace sendrix::app

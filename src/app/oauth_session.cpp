#include "app/oauth_session.h"

#include "app/mail_settings.h"
#include "app/oauth_token_store.h"
#include "platform/profile_file.h"

namespace sendrix::app {

namespace {

// An endpoint that does not say how long its token lives: assume a short life.
constexpr std::chrono::seconds kAssumedLifetime{600};

}  // namespace

OAuthSession::OAuthSession(std::string account, std::string providerName,
                           std::function<std::string()> loadRefreshToken,
                           std::function<OAuthTokens(const std::string&)> refresh,
                           std::function<void(const std::string&)> keepRefreshToken, Clock now)
    : m_account(std::move(account)),
      m_providerName(std::move(providerName)),
      m_loadRefreshToken(std::move(loadRefreshToken)),
      m_refresh(std::move(refresh)),
      m_keepRefreshToken(std::move(keepRefreshToken)),
      m_now(std::move(now)) {}

std::string OAuthSession::AccessToken() {
    if (!m_accessToken.empty() && m_now() + kAccessTokenMargin < m_expires)
        return m_accessToken;
    if (!m_refreshToken)
        m_refreshToken = m_loadRefreshToken();
    OAuthTokens tokens;
    try {
        tokens = m_refresh(*m_refreshToken);
    } catch (const OAuthRefusal& refusal) {
        if (refusal.Code() != "invalid_grant")
            throw;
        throw Error(m_providerName + " nimmt die gespeicherte Anmeldung des Kontos \"" + m_account +
                    "\" nicht mehr an (invalid_grant: widerrufen, abgelaufen oder die Zustimmung wurde "
                    "zurückgezogen). Bitte das Konto in den Optionen erneut anmelden (ohne Anzeige: "
                    "sendrix /anmelden).");
    }
    const std::chrono::seconds life =
        tokens.expiresIn > 0 ? std::chrono::seconds(tokens.expiresIn) : kAssumedLifetime;
    m_accessToken = tokens.accessToken;
    m_expires = m_now() + life;
    if (!tokens.refreshToken.empty() && tokens.refreshToken != *m_refreshToken) {
        m_keepRefreshToken(tokens.refreshToken);
        m_refreshToken = tokens.refreshToken;
    }
    return m_accessToken;
}

std::shared_ptr<OAuthSession> OpenOAuthSession(const std::string& mailIni, const TMailSettings& settings,
                                               SecretStore* secrets) {
    const std::string stored = platform::readProfileString(mailIni, "Smtp", kRefreshTokenKey, "");
    if (stored.empty())
        return nullptr;
    const OAuthProvider provider = ReadOAuthProvider(mailIni);
    const bool inFile = stored != kKeyringPasswordMarker;
    const std::string server = settings.ServerName;
    const std::string user = settings.ServerUser;
    // Read here, on the thread that prepares the run, as the password is.
    const std::string refreshToken = *LoadRefreshToken(mailIni, server, user, secrets);
    return std::make_shared<OAuthSession>(
        user, provider.name, [refreshToken] { return refreshToken; },
        [provider](const std::string& token) { return RefreshAccessToken(provider, token); },
        [=](const std::string& token) {
            StoreRefreshToken(mailIni, server, user, provider.key, token, secrets, inFile);
        },
        [] { return std::chrono::steady_clock::now(); });
}

}  // namespace sendrix::app

#pragma once
// Where an OAuth 2 sign-in goes: the endpoints, scope and client of
// Microsoft, Google or a custom identity server, from "Mail.ini" [Smtp]
// and the client IDs a distributor built in (CMake options
// SENDRIX_OAUTH_MICROSOFT_CLIENT_ID, SENDRIX_OAUTH_GOOGLE_CLIENT_ID,
// SENDRIX_OAUTH_GOOGLE_CLIENT_SECRET).
#include <string>

namespace sendrix::app {

struct OAuthProvider {
    std::string key;   // "microsoft", "google", "custom" ([Smtp] OAuthProvider)
    std::string name;  // for messages: "Microsoft", "Google", the token endpoint's host
    std::string authorizationUrl;
    std::string tokenUrl;
    std::string deviceUrl;  // RFC 8628 device authorization endpoint; may be empty
    std::string scope;
    std::string clientId;      // empty: none configured (the dialog asks)
    std::string clientSecret;  // Google's desktop clients have one; it is no secret there
};

// "microsoft" for Microsoft's SMTP hosts (smtp.office365.com,
// smtp-mail.outlook.com), "google" for smtp.gmail.com; empty otherwise.
std::string GuessOAuthProvider(const std::string& serverName);

// The provider of the account in `mailIni`: `providerKey` when given, else
// [Smtp] OAuthProvider, else guessed from [Smtp] ServerName. Client ID and secret
// from [Smtp] OAuthClientId / OAuthClientSecret, else the built-in ones;
// Microsoft's tenant from [Smtp] OAuthTenant ("common" when absent); a
// custom provider's endpoints and scope from [Smtp] OAuthAuthorizationUrl,
// OAuthTokenUrl, OAuthDeviceUrl, OAuthScope. Throws sendrix::Error naming
// the key for an unknown provider, a tenant that is not a plain name, and
// a custom provider without a token endpoint.
OAuthProvider ReadOAuthProvider(const std::string& mailIni, const std::string& providerKey = "");

// The README section on registering a desktop application, for the dialog
// that asks for a client ID.
inline constexpr const char* kClientIdHelpUrl =
    "https://github.com/sendrix/sendrix#anwendung-registrieren-oauth-2";

}  // namespace sendrix::app

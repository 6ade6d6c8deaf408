#include "app/oauth_provider.h"

#include <cctype>

#include "app/oauth_http.h"
#include "platform/ascii.h"
#include "platform/error.h"
#include "platform/profile_file.h"
#include "platform/text_trim.h"

// A distributor's client IDs (CMake options); empty when none was given.
#ifndef SENDRIX_OAUTH_MICROSOFT_CLIENT_ID
#define SENDRIX_OAUTH_MICROSOFT_CLIENT_ID ""
#endif
#ifndef SENDRIX_OAUTH_GOOGLE_CLIENT_ID
#define SENDRIX_OAUTH_GOOGLE_CLIENT_ID ""
#endif
#ifndef SENDRIX_OAUTH_GOOGLE_CLIENT_SECRET
#define SENDRIX_OAUTH_GOOGLE_CLIENT_SECRET ""
#endif

namespace sendrix::app {

namespace {

std::string smtpKey(const std::string& mailIni, const char* key) {
    return std::string(platform::trimBlanks(platform::readProfileString(mailIni, "Smtp", key, "")));
}

bool endsWith(const std::string& host, const std::string& domain) {
    return host.size() >= domain.size() &&
           platform::equalsNoCase(host.substr(host.size() - domain.size()), domain);
}

// The tenant becomes part of the endpoints' path: a name, a domain or a GUID.
bool plainTenant(const std::string& tenant) {
    if (tenant.empty())
        return false;
    for (char c : tenant)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.' && c != '_')
            return false;
    return true;
}

}  // namespace

std::string GuessOAuthProvider(const std::string& serverName) {
    const std::string host(platform::trimBlanks(serverName));
    if (endsWith(host, "office365.com") || endsWith(host, "outlook.com"))
        return "microsoft";
    if (endsWith(host, "gmail.com") || endsWith(host, "googlemail.com"))
        return "google";
    return "";
}

OAuthProvider ReadOAuthProvider(const std::string& mailIni, const std::string& providerKey) {
    OAuthProvider provider;
    provider.key = providerKey;
    if (provider.key.empty())
        provider.key = smtpKey(mailIni, "OAuthProvider");
    if (provider.key.empty())
        provider.key = GuessOAuthProvider(smtpKey(mailIni, "ServerName"));
    provider.key = platform::asciiLowered(provider.key);
    provider.clientId = smtpKey(mailIni, "OAuthClientId");
    provider.clientSecret = smtpKey(mailIni, "OAuthClientSecret");
    const bool ownClient = !provider.clientId.empty();
    if (provider.key == "microsoft") {
        std::string tenant = smtpKey(mailIni, "OAuthTenant");
        if (tenant.empty())
            tenant = "common";
        if (!plainTenant(tenant))
            throw Error("Der Mandant \"" + tenant +
                        "\" in Mail.ini ([Smtp] OAuthTenant) ist kein gültiger Name; erlaubt sind "
                        "Buchstaben, Ziffern, \"-\", \".\" und \"_\" (etwa common, organizations, "
                        "firma.onmicrosoft.com).");
        const std::string base = "https://login.microsoftonline.com/" + tenant + "/oauth2/v2.0/";
        provider.name = "Microsoft";
        provider.authorizationUrl = base + "authorize";
        provider.tokenUrl = base + "token";
        provider.deviceUrl = base + "devicecode";
        // offline_access: without it Microsoft gives no refresh token.
        provider.scope = "https://outlook.office.com/SMTP.Send offline_access";
        if (!ownClient)
            provider.clientId = SENDRIX_OAUTH_MICROSOFT_CLIENT_ID;
    } else if (provider.key == "google") {
        provider.name = "Google";
        provider.authorizationUrl = "https://accounts.google.com/o/oauth2/v2/auth";
        provider.tokenUrl = "https://oauth2.googleapis.com/token";
        provider.deviceUrl = "https://oauth2.googleapis.com/device/code";
        provider.scope = "https://mail.google.com/";
        if (!ownClient) {
            provider.clientId = SENDRIX_OAUTH_GOOGLE_CLIENT_ID;
            provider.clientSecret = SENDRIX_OAUTH_GOOGLE_CLIENT_SECRET;
        }
    } else if (provider.key == "custom") {
        provider.authorizationUrl = smtpKey(mailIni, "OAuthAuthorizationUrl");
        provider.tokenUrl = smtpKey(mailIni, "OAuthTokenUrl");
        provider.deviceUrl = smtpKey(mailIni, "OAuthDeviceUrl");
        provider.scope = smtpKey(mailIni, "OAuthScope");
        if (provider.tokenUrl.empty())
            throw Error(
                "Für den eigenen Anmeldedienst fehlt in Mail.ini der Token-Endpunkt "
                "([Smtp] OAuthTokenUrl).");
        provider.name = UrlHost(provider.tokenUrl);
    } else {
        throw Error(provider.key.empty()
                        ? std::string("Für diesen Server ist kein Anmeldedienst bekannt: in Mail.ini "
                                      "[Smtp] OAuthProvider (microsoft, google oder custom) eintragen.")
                        : "Der Anmeldedienst \"" + provider.key +
                              "\" in Mail.ini ([Smtp] OAuthProvider) ist unbekannt; möglich sind "
                              "microsoft, google und custom.");
    }
    return provider;
}

}  // namespace sendrix::app

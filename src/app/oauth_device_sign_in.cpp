#include "app/oauth_device_sign_in.h"

#include "app/mail_settings.h"
#include "app/oauth_flow.h"
#include "app/oauth_token_store.h"
#include "app/secret_store.h"
#include "platform/ascii.h"
#include "platform/profile_file.h"

namespace sendrix::app {

std::optional<bool> DeviceSignInRequested(const std::vector<std::string>& arguments) {
    std::optional<bool> inFile;
    for (const std::string& argument : arguments) {
        if (platform::equalsNoCase(argument, "/anmelden"))
            inFile = false;
        if (platform::equalsNoCase(argument, "/anmelden:datei"))
            inFile = true;
    }
    return inFile;
}

int RunDeviceSignIn(bool inFile, const std::string& mailIni, SecretStore* secrets, std::ostream& out,
                    std::ostream& err, const std::function<void(long seconds)>& wait) {
    try {
        TMailSettings settings;
        ReadSmtpAccount(mailIni, settings);
        const OAuthProvider provider = ReadOAuthProvider(mailIni);
        if (provider.clientId.empty())
            throw Error("Für " + provider.name +
                        " ist keine Client-ID bekannt: in Mail.ini [Smtp] OAuthClientId eintragen (README, "
                        "Abschnitt „Anwendung registrieren (OAuth 2)“).");
        if (!inFile && (!secrets || !secrets->Available()))
            throw Error(
                "Kein Schlüsselbund erreichbar. Mit /anmelden:datei speichert Sendrix die Anmeldung "
                "verschleiert in Mail.ini (für unbeaufsichtigten Betrieb).");
        const DeviceAuthorization device = RequestDeviceAuthorization(provider);
        out << DeviceSignInPrompt(device) << std::endl;
        const OAuthTokens tokens = PollDeviceTokens(provider, device, wait);
        if (tokens.refreshToken.empty())
            throw Error(provider.name +
                        " hat kein Token für spätere Anmeldungen geliefert (refresh_token); "
                        "ohne dieses kann Sendrix nicht unbeaufsichtigt senden.");
        StoreRefreshToken(mailIni, settings.ServerName, settings.ServerUser, provider.key,
                          tokens.refreshToken, inFile ? nullptr : secrets, inFile);
        std::string note;
        if (settings.SMTPAuthenticationType != 3 && settings.SMTPAuthenticationType != 4) {
            platform::writeProfileString(mailIni, "Smtp", "SMTPAuthenticationType", "3");
            note = " Die Anmeldeart ist jetzt XOAUTH2 ([Smtp] SMTPAuthenticationType=3).";
        }
        out << "Angemeldet: Das Konto \"" << settings.ServerUser << "\" sendet mit der Anmeldung bei "
            << provider.name << "." << note << std::endl;
        return 0;
    } catch (const std::exception& error) {
        err << error.what() << std::endl;
        return 1;
    }
}

}  // namespace sendrix::app

#pragma once
// "Bei Microsoft / Google anmelden": the OAuth 2 sign-in in the desktop's
// browser (authorization code with PKCE, answer on a loopback port) as a
// modal progress box with "Abbrechen". The setup dialog and the account
// assistant call it; what it stores, the next send reads (app/oauth_*).
#include <string>

class QWidget;

namespace sendrix::app {
class SecretStore;
}

namespace sendrix::ui {

// The account to sign in and where its refresh token goes.
struct OAuthSignInRequest {
    std::string mailIni;  // "Mail.ini": [Smtp] OAuth keys and, with storeInFile, the token
    std::string server;   // [Smtp] ServerName as the dialog shows it (keyring key, provider guess)
    std::string user;     // [Smtp] ServerUser: the account's address (keyring key, login hint)
    // "microsoft", "google" or "custom"; empty: [Smtp] OAuthProvider, else
    // guessed from `server` (smtp.office365.com, smtp.gmail.com, ...).
    std::string provider;
    bool storeInFile = false;             // "in der Datei speichern" is ticked
    app::SecretStore* secrets = nullptr;  // the keyring; null: the file only
};

// Signs the account in: asks for the client ID when neither Mail.ini nor
// the build names one (and stores it as [Smtp] OAuthClientId), opens the
// browser ($BROWSER, else xdg-open), waits with a modal box ("Abbrechen",
// time limit) for the answer on 127.0.0.1, exchanges the code and stores
// the refresh token (keyring, or scrambled in Mail.ini with storeInFile)
// and [Smtp] OAuthProvider. True when signed in; false when cancelled or
// failed, after a German message box saying why.
bool signInWithOAuth(QWidget* parent, const OAuthSignInRequest& request);

}  // namespace sendrix::ui

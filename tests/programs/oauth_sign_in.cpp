// The browser sign-in (app/oauth_flow.h) without a window, for the interop
// tests: oauth_sign_in MAIL.INI signs the account of MAIL.INI in through
// $BROWSER and stores the refresh token scrambled in the file. Exit 0 when
// signed in, 1 with the error on standard error. Waits at most 30 seconds.
#include <chrono>
#include <iostream>

#include "app/mail_settings.h"
#include "app/oauth_flow.h"
#include "app/oauth_token_store.h"

int main(int argc, char** argv) {
    using namespace sendrix::app;
    if (argc != 2) {
        std::cerr << "usage: oauth_sign_in MAIL.INI\n";
        return 2;
    }
    try {
        TMailSettings settings;
        ReadSmtpAccount(argv[1], settings);
        const OAuthProvider provider = ReadOAuthProvider(argv[1]);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        const OAuthTokens tokens = SignInWithBrowser(
            provider, settings.ServerUser, [&] { return std::chrono::steady_clock::now() < deadline; },
            [](const std::string&) { std::cerr << "no browser\n"; });
        StoreRefreshToken(argv[1], settings.ServerName, settings.ServerUser, provider.key, tokens.refreshToken,
                          nullptr, true);
        return 0;
    } catch (const std::exception& error) {
        std::cerr << error.what() << "\n";
        return 1;
    }
}

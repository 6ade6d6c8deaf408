// The OAuth 2 sign-ins without a window, for the interop tests:
//
//   oauth_sign_in browser MAIL.INI   signs the account of MAIL.INI in through
//                                    $BROWSER (at most 30 s) and stores the
//                                    refresh token scrambled in the file
//   oauth_sign_in device MAIL.INI ARGUMENT...
//                                    "/anmelden:datei" with every wait
//                                    recorded instead of slept, printed as
//                                    "waits: 5 5 10" on standard error
//
// Exit 0 when signed in, 1 with the error on standard error.
#include <chrono>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/mail_settings.h"
#include "app/oauth_device_sign_in.h"
#include "app/oauth_flow.h"
#include "app/oauth_token_store.h"

namespace {

using namespace sendrix::app;

int browserSignIn(const std::string& mailIni) {
    TMailSettings settings;
    ReadSmtpAccount(mailIni, settings);
    const OAuthProvider provider = ReadOAuthProvider(mailIni);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    const OAuthTokens tokens = SignInWithBrowser(
        provider, settings.ServerUser, [&] { return std::chrono::steady_clock::now() < deadline; },
        [](const std::string&) { std::cerr << "no browser\n"; });
    StoreRefreshToken(mailIni, settings.ServerName, settings.ServerUser, provider.key, tokens.refreshToken,
                      nullptr, true);
    return 0;
}

int deviceSignIn(const std::string& mailIni, const std::vector<std::string>& arguments) {
    std::vector<long> waits;
    const std::optional<bool> inFile = DeviceSignInRequested(arguments);
    const int status = inFile ? RunDeviceSignIn(*inFile, mailIni, nullptr, std::cout, std::cerr,
                                                [&](long seconds) { waits.push_back(seconds); })
                              : 2;
    std::cerr << "waits:";
    for (long wait : waits)
        std::cerr << " " << wait;
    std::cerr << "\n";
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 2 && args[0] == "browser")
            return browserSignIn(args[1]);
        if (args.size() >= 2 && args[0] == "device")
            return deviceSignIn(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
    } catch (const std::exception& error) {
        std::cerr << error.what() << "\n";
        return 1;
    }
    std::cerr << "usage: oauth_sign_in browser MAIL.INI | device MAIL.INI ARGUMENT...\n";
    return 2;
}

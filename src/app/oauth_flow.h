#pragma once
// The OAuth 2 grants Sendrix speaks, without a toolkit: authorization code
// with PKCE (RFC 7636, S256) answered on a loopback port (RFC 8252), the
// refresh grant, and the device authorization grant (RFC 8628).
#include <functional>
#include <string>

#include "app/oauth_provider.h"
#include "platform/error.h"

namespace sendrix::app {

// What a token endpoint gave. expiresIn: seconds, 0 when not said.
struct OAuthTokens {
    std::string accessToken;
    std::string refreshToken;  // empty when the endpoint kept the old one
    long expiresIn = 0;
};

// The endpoint refused the grant with an OAuth error code (RFC 6749 5.2),
// e.g. "invalid_grant" for a revoked or expired refresh token.
class OAuthRefusal : public Error {
public:
    OAuthRefusal(const std::string& message, std::string code) : Error(message), m_code(std::move(code)) {}
    const std::string& Code() const { return m_code; }

private:
    std::string m_code;
};

// A PKCE pair: a random verifier (43 characters) and its S256 challenge.
struct Pkce {
    std::string verifier;
    std::string challenge;
};
Pkce MakePkce();
// BASE64URL(SHA256(verifier)) without padding.
std::string PkceChallenge(const std::string& verifier);
// 128 random bits, base64url: the `state` of one sign-in.
std::string RandomState();

// The browser's address for the sign-in. `loginHint` (the account's
// address) preselects the account; empty leaves it out.
std::string AuthorizationUrl(const OAuthProvider& provider, const std::string& redirectUri,
                             const std::string& state, const std::string& challenge,
                             const std::string& loginHint);

// Listens on 127.0.0.1 at a port the system picks, for the one redirect of
// the browser.
class LoopbackReceiver {
public:
    // Throws sendrix::Error when no port can be opened.
    LoopbackReceiver();
    ~LoopbackReceiver();
    LoopbackReceiver(const LoopbackReceiver&) = delete;
    LoopbackReceiver& operator=(const LoopbackReceiver&) = delete;

    // "http://127.0.0.1:<port>/"
    std::string RedirectUri() const;
    // Waits for the redirect and returns the authorization code. Every
    // ~100 ms `keepWaiting` is asked (the view's cancel button and time
    // limit); false ends the wait with an Error. The browser gets a German
    // page either way. Requests without code, error or state (a favicon)
    // get 404 and the wait goes on. Throws sendrix::Error for a `state`
    // other than `state` (nothing is exchanged then), an error answer
    // (e.g. access_denied) or a redirect without a code.
    std::string WaitForCode(const std::string& state, const std::function<bool()>& keepWaiting);

private:
    int m_socket = -1;
    int m_port = 0;
};

// Starts the desktop's browser with `url`: the first command of $BROWSER
// (a ":"-separated list; "%s" stands for the address, else it is
// appended), else xdg-open. False when it could not be started.
bool OpenBrowser(const std::string& url);

// The authorization code exchanged for tokens (with the PKCE verifier).
// Throws OAuthRefusal for an error answer, sendrix::Error when no access
// token comes back.
OAuthTokens ExchangeAuthorizationCode(const OAuthProvider& provider, const std::string& code,
                                      const std::string& verifier, const std::string& redirectUri);

// A new access token for `refreshToken`. Throws OAuthRefusal (Code()
// "invalid_grant" when the sign-in is revoked or has expired).
OAuthTokens RefreshAccessToken(const OAuthProvider& provider, const std::string& refreshToken);

// The whole sign-in in the browser: opens the loopback port, starts the
// browser (OpenBrowser) with the authorization address (PKCE, fresh
// state), waits for the code as WaitForCode does and exchanges it.
// `onNoBrowser(url)` is called when no browser could be started, so the
// view can show the address. Throws as WaitForCode and the exchange do.
OAuthTokens SignInWithBrowser(const OAuthProvider& provider, const std::string& loginHint,
                              const std::function<bool()>& keepWaiting,
                              const std::function<void(const std::string& url)>& onNoBrowser);

// The device authorization answer (RFC 8628 3.2).
struct DeviceAuthorization {
    std::string deviceCode;
    std::string userCode;
    std::string verificationUri;
    long expiresIn = 0;  // seconds
    long interval = 5;   // seconds between polls
};

// Asks the device endpoint for a user code. Throws sendrix::Error when the
// provider has none, OAuthRefusal on an error answer.
DeviceAuthorization RequestDeviceAuthorization(const OAuthProvider& provider);

// The German line for the user: where to go and which code to enter.
std::string DeviceSignInPrompt(const DeviceAuthorization& device);

// Polls the token endpoint until the user has signed in: before each poll
// `wait(seconds)` is called (the clock seam; the program sleeps there),
// slow_down adds 5 seconds to the interval (RFC 8628 3.5), and once the
// waits add up to expires_in the poll ends with an Error. Throws
// OAuthRefusal for access_denied, expired_token and other error answers.
OAuthTokens PollDeviceTokens(const OAuthProvider& provider, const DeviceAuthorization& device,
                             const std::function<void(long seconds)>& wait);

}  // namespace sendrix::app

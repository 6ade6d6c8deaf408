#include "app/oauth_flow.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/rand.h>
#include <openssl/sha.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>

#include "app/oauth_http.h"
#include "mail/id_coder_3to4.h"
#include "platform/process.h"
#include "platform/visible_text.h"

namespace sendrix::app {

namespace {

using Form = std::vector<std::pair<std::string, std::string>>;

constexpr const char* kDeviceGrant = "urn:ietf:params:oauth:grant-type:device_code";
// A browser's request head is well below this; more is not a browser.
constexpr std::size_t kMaxRequest = 16 * 1024;
constexpr int kPollSliceMs = 100;
// What the browser may take to send its request once connected; short, as
// a browser may open a connection in advance and send nothing on it.
constexpr auto kRequestTime = std::chrono::seconds(3);
// RFC 8628 3.5: "slow_down" adds 5 seconds to the interval.
constexpr long kSlowDownSeconds = 5;
// An answer without expires_in still ends at some time.
constexpr long kDefaultDeviceLifetime = 900;

std::string base64Url(std::string_view bytes) {
    std::string text = mail::EncodeBase64Text(bytes);
    std::replace(text.begin(), text.end(), '+', '-');
    std::replace(text.begin(), text.end(), '/', '_');
    text.erase(text.find_last_not_of('=') + 1);
    return text;
}

std::string randomBase64Url(std::size_t bytes) {
    std::string buffer(bytes, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(buffer.data()), static_cast<int>(bytes)) != 1)
        throw Error("Für die Anmeldung fehlen Zufallszahlen (OpenSSL RAND_bytes).");
    return base64Url(buffer);
}

// RFC 6749 A.12/A.17: tokens are printable ASCII. Anything else would be
// a broken answer, and a line end could smuggle an SMTP command.
bool printableToken(const std::string& token) {
    return std::all_of(token.begin(), token.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

std::string fieldOf(const OAuthReply& fields, const char* name) {
    const auto found = fields.find(name);
    return found == fields.end() ? std::string() : found->second;
}

// The error answer as a German sentence: the provider, the code and its
// description (outside text, shown visibly and shortened).
[[noreturn]] void refuse(const OAuthProvider& provider, const OAuthReply& fields, const std::string& what) {
    const std::string code = fieldOf(fields, "error");
    std::string text = provider.name + " hat " + what + " abgelehnt (" +
                       platform::visibleText(code.empty() ? "unbekannter Fehler" : code);
    if (const std::string description = fieldOf(fields, "error_description"); !description.empty())
        text += ": " + platform::visibleText(description.substr(0, 200));
    throw OAuthRefusal(text + ").", code);
}

OAuthTokens tokensOf(const OAuthProvider& provider, const OAuthHttpReply& reply, const std::string& what) {
    if (reply.fields.count("error") || reply.status != 200)
        refuse(provider, reply.fields, what);
    OAuthTokens tokens;
    const auto field = [&](const char* name) { return fieldOf(reply.fields, name); };
    tokens.accessToken = field("access_token");
    tokens.refreshToken = field("refresh_token");
    tokens.expiresIn = std::strtol(field("expires_in").c_str(), nullptr, 10);
    if (tokens.accessToken.empty() || !printableToken(tokens.accessToken) ||
        !printableToken(tokens.refreshToken))
        throw Error(provider.name + " hat kein brauchbares Zugriffstoken geliefert.");
    return tokens;
}

Form withClient(const OAuthProvider& provider, Form form) {
    form.emplace_back("client_id", provider.clientId);
    if (!provider.clientSecret.empty())
        form.emplace_back("client_secret", provider.clientSecret);
    return form;
}

std::string percentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The query of "GET /path?query HTTP/1.1" as names and values.
std::map<std::string, std::string> queryOf(const std::string& requestLine) {
    std::map<std::string, std::string> query;
    const std::size_t target = requestLine.find(' ');
    const std::size_t end = requestLine.find(' ', target + 1);
    if (target == std::string::npos || end == std::string::npos)
        return query;
    const std::string path = requestLine.substr(target + 1, end - target - 1);
    const std::size_t mark = path.find('?');
    if (mark == std::string::npos)
        return query;
    std::string_view rest = std::string_view(path).substr(mark + 1);
    while (!rest.empty()) {
        const std::string_view pair = rest.substr(0, rest.find('&'));
        rest.remove_prefix(std::min(rest.size(), pair.size() + 1));
        const std::size_t equals = pair.find('=');
        query[percentDecoded(pair.substr(0, equals))] =
            equals == std::string_view::npos ? std::string() : percentDecoded(pair.substr(equals + 1));
    }
    return query;
}

// Sends the browser its page and closes the connection.
void answerBrowser(int client, int status, const std::string& message) {
    const std::string html =
        "<!DOCTYPE html><html lang=\"de\"><head><meta charset=\"utf-8\"><title>Sendrix</title>"
        "</head><body><p>" +
        message + "</p></body></html>";
    const std::string response =
        "HTTP/1.1 " + std::to_string(status) + (status == 200 ? " OK" : " Not Found") +
        "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " + std::to_string(html.size()) +
        "\r\nConnection: close\r\n\r\n" + html;
    // The page is a courtesy; a browser that went away changes nothing.
    (void)::send(client, response.data(), response.size(), MSG_NOSIGNAL);
    // The request was read whole, so closing sends FIN, not a reset that
    // could make the browser drop the page.
    ::shutdown(client, SHUT_WR);
    ::close(client);
}

// The request head on `client`, read whole within kRequestTime; its first line
// is returned.
std::string readRequestLine(int client, const std::function<bool()>& keepWaiting) {
    std::string head;
    const auto deadline = std::chrono::steady_clock::now() + kRequestTime;
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < kMaxRequest &&
           std::chrono::steady_clock::now() < deadline && keepWaiting()) {
        pollfd ready{client, POLLIN, 0};
        if (::poll(&ready, 1, kPollSliceMs) <= 0)
            continue;
        char buffer[2048];
        const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        head.append(buffer, static_cast<std::size_t>(got));
    }
    return head.substr(0, head.find("\r\n"));
}

}  // namespace

Pkce MakePkce() {
    Pkce pkce;
    // RFC 7636 4.1: 32 random octets give a 43-character verifier.
    pkce.verifier = randomBase64Url(32);
    pkce.challenge = PkceChallenge(pkce.verifier);
    return pkce;
}

std::string PkceChallenge(const std::string& verifier) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(verifier.data()), verifier.size(), digest);
    return base64Url(std::string_view(reinterpret_cast<const char*>(digest), sizeof digest));
}

std::string RandomState() {
    return randomBase64Url(16);
}

std::string AuthorizationUrl(const OAuthProvider& provider, const std::string& redirectUri,
                             const std::string& state, const std::string& challenge,
                             const std::string& loginHint) {
    std::string url = provider.authorizationUrl;
    url += url.find('?') == std::string::npos ? '?' : '&';
    url += "response_type=code&client_id=" + PercentEncode(provider.clientId) +
           "&redirect_uri=" + PercentEncode(redirectUri) + "&scope=" + PercentEncode(provider.scope) +
           "&state=" + PercentEncode(state) + "&code_challenge=" + PercentEncode(challenge) +
           "&code_challenge_method=S256";
    if (provider.key == "google")
        url += "&access_type=offline&prompt=consent";  // Google gives a refresh token only so
    if (!loginHint.empty())
        url += "&login_hint=" + PercentEncode(loginHint);
    return url;
}

LoopbackReceiver::LoopbackReceiver() {
    m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;  // RFC 8252 7.3: any free port
    socklen_t length = sizeof address;
    if (m_socket < 0 || ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_socket, 4) != 0 ||
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = errno;
        if (m_socket >= 0)
            ::close(m_socket);
        throw Error("Für die Anmeldung kann Sendrix keinen Port auf 127.0.0.1 öffnen (Fehler " +
                    std::to_string(error) + ").");
    }
    m_port = ntohs(address.sin_port);
}

LoopbackReceiver::~LoopbackReceiver() {
    ::close(m_socket);
}

std::string LoopbackReceiver::RedirectUri() const {
    return "http://127.0.0.1:" + std::to_string(m_port) + "/";
}

std::string LoopbackReceiver::WaitForCode(const std::string& state,
                                          const std::function<bool()>& keepWaiting) {
    while (keepWaiting()) {
        pollfd ready{m_socket, POLLIN, 0};
        if (::poll(&ready, 1, kPollSliceMs) <= 0)
            continue;
        const int client = ::accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        const std::map<std::string, std::string> query = queryOf(readRequestLine(client, keepWaiting));
        const auto value = [&](const char* name) {
            const auto found = query.find(name);
            return found == query.end() ? std::string() : found->second;
        };
        if (!query.count("code") && !query.count("error") && !query.count("state")) {
            answerBrowser(client, 404, "Sendrix wartet auf die Anmeldung.");
            continue;
        }
        // RFC 6749 10.12: an answer to another request (or a forged one) is
        // refused before its code is used.
        if (value("state") != state) {
            answerBrowser(client, 200, "Anmeldung abgelehnt – die Antwort gehört nicht zu dieser Anmeldung.");
            throw Error(
                "Die Antwort des Browsers gehört nicht zu dieser Anmeldung (state stimmt nicht "
                "überein); sie wurde verworfen. Bitte erneut anmelden.");
        }
        if (!value("error").empty() || value("code").empty()) {
            answerBrowser(client, 200,
                          "Anmeldung nicht abgeschlossen – Sie können dieses Fenster schließen.");
            throw Error("Die Anmeldung wurde nicht abgeschlossen (" +
                        platform::visibleText(value("error").empty() ? "kein Code" : value("error")) + ").");
        }
        answerBrowser(client, 200, "Anmeldung abgeschlossen – Sie können dieses Fenster schließen.");
        return value("code");
    }
    throw Error("Die Anmeldung wurde abgebrochen oder hat zu lange gedauert.");
}

bool OpenBrowser(const std::string& url) {
    const char* browser = std::getenv("BROWSER");
    std::string first = browser ? browser : "";
    first = first.substr(0, first.find(':'));
    std::vector<std::string> argv = platform::splitCommandParameters(first);
    if (argv.empty())
        return platform::startDetached("xdg-open", {url});
    bool placed = false;
    for (std::string& argument : argv)
        if (const std::size_t at = argument.find("%s"); at != std::string::npos) {
            argument.replace(at, 2, url);
            placed = true;
        }
    if (!placed)
        argv.push_back(url);
    return platform::startDetached(argv[0], std::vector<std::string>(argv.begin() + 1, argv.end()));
}

OAuthTokens ExchangeAuthorizationCode(const OAuthProvider& provider, const std::string& code,
                                      const std::string& verifier, const std::string& redirectUri) {
    const OAuthHttpReply reply = PostOAuthForm(provider.tokenUrl,
                                               withClient(provider, {{"grant_type", "authorization_code"},
                                                                     {"code", code},
                                                                     {"redirect_uri", redirectUri},
                                                                     {"code_verifier", verifier}}),
                                               provider.name);
    return tokensOf(provider, reply, "die Anmeldung");
}

OAuthTokens RefreshAccessToken(const OAuthProvider& provider, const std::string& refreshToken) {
    const OAuthHttpReply reply = PostOAuthForm(
        provider.tokenUrl,
        withClient(provider, {{"grant_type", "refresh_token"}, {"refresh_token", refreshToken}}),
        provider.name);
    return tokensOf(provider, reply, "die gespeicherte Anmeldung");
}

OAuthTokens SignInWithBrowser(const OAuthProvider& provider, const std::string& loginHint,
                              const std::function<bool()>& keepWaiting,
                              const std::function<void(const std::string& url)>& onNoBrowser) {
    if (provider.authorizationUrl.empty())
        throw Error("Für " + provider.name +
                    " ist keine Anmeldeseite eingetragen (Mail.ini [Smtp] OAuthAuthorizationUrl).");
    LoopbackReceiver receiver;
    const Pkce pkce = MakePkce();
    const std::string state = RandomState();
    const std::string url =
        AuthorizationUrl(provider, receiver.RedirectUri(), state, pkce.challenge, loginHint);
    if (!OpenBrowser(url))
        onNoBrowser(url);
    const std::string code = receiver.WaitForCode(state, keepWaiting);
    return ExchangeAuthorizationCode(provider, code, pkce.verifier, receiver.RedirectUri());
}

DeviceAuthorization RequestDeviceAuthorization(const OAuthProvider& provider) {
    if (provider.deviceUrl.empty())
        throw Error("Für " + provider.name +
                    " ist keine Geräteanmeldung eingetragen (Mail.ini [Smtp] OAuthDeviceUrl).");
    const OAuthHttpReply reply =
        PostOAuthForm(provider.deviceUrl, withClient(provider, {{"scope", provider.scope}}), provider.name);
    if (reply.fields.count("error") || reply.status != 200)
        refuse(provider, reply.fields, "die Geräteanmeldung");
    DeviceAuthorization device;
    const auto field = [&](const char* name) { return fieldOf(reply.fields, name); };
    device.deviceCode = field("device_code");
    device.userCode = field("user_code");
    // Microsoft's older answers name it verification_url.
    device.verificationUri =
        field("verification_uri").empty() ? field("verification_url") : field("verification_uri");
    device.expiresIn = std::strtol(field("expires_in").c_str(), nullptr, 10);
    if (device.expiresIn <= 0)
        device.expiresIn = kDefaultDeviceLifetime;
    const long interval = std::strtol(field("interval").c_str(), nullptr, 10);
    device.interval = interval > 0 ? interval : 5;  // RFC 8628 3.2: 5 when absent
    if (device.deviceCode.empty() || device.userCode.empty() || device.verificationUri.empty())
        throw Error(provider.name + " hat keine vollständige Geräteanmeldung geliefert.");
    return device;
}

std::string DeviceSignInPrompt(const DeviceAuthorization& device) {
    return "Zum Anmelden im Browser " + platform::visibleText(device.verificationUri) +
           " öffnen und den Code " + platform::visibleText(device.userCode) + " eingeben (gültig " +
           std::to_string(device.expiresIn / 60) + " Minuten).";
}

OAuthTokens PollDeviceTokens(const OAuthProvider& provider, const DeviceAuthorization& device,
                             const std::function<void(long seconds)>& wait) {
    long interval = device.interval;
    long waited = 0;
    while (waited + interval <= device.expiresIn) {
        wait(interval);
        waited += interval;
        const OAuthHttpReply reply = PostOAuthForm(
            provider.tokenUrl,
            withClient(provider, {{"grant_type", kDeviceGrant}, {"device_code", device.deviceCode}}),
            provider.name);
        const std::string error = fieldOf(reply.fields, "error");
        if (error == "authorization_pending")
            continue;
        if (error == "slow_down") {
            interval += kSlowDownSeconds;
            continue;
        }
        return tokensOf(provider, reply, "die Geräteanmeldung");
    }
    throw Error("Der Code " + platform::visibleText(device.userCode) +
                " ist abgelaufen, ohne dass die Anmeldung abgeschlossen wurde. Bitte erneut versuchen.");
}

}  // namespace sendrix::app

#pragma once
// The HTTPS requests of OAuth 2 (token and device endpoints) through
// libcurl, with the certificate checks of the SMTP connection: the system
// trust store as OpenSSL finds it (SSL_CERT_FILE / SSL_CERT_DIR honoured),
// the host name checked, TLS 1.2 or newer, no redirects, https only.
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace sendrix::app {

// A JSON reply's top-level members that are strings or numbers, numbers as
// their decimal text ({"expires_in": 3599} gives "3599").
using OAuthReply = std::map<std::string, std::string>;

struct OAuthHttpReply {
    long status = 0;
    OAuthReply fields;  // empty when the body was no JSON object
};

// Time an endpoint gets to answer.
inline constexpr int kOAuthHttpTimeoutSeconds = 30;

// POSTs `form` (application/x-www-form-urlencoded) to `url` and reads the
// JSON answer. Throws sendrix::Error naming `provider` and the endpoint's
// host (never a form value, which may hold a token) when the URL is not
// https, the connection or the certificate check fails, or the body is no
// JSON object.
OAuthHttpReply PostOAuthForm(const std::string& url,
                             const std::vector<std::pair<std::string, std::string>>& form,
                             const std::string& provider);

// The host (and port) of `url`: "login.example.com:8443" of
// "https://login.example.com:8443/token".
std::string UrlHost(const std::string& url);

// `text` percent-encoded for a URL query or form (RFC 3986 unreserved kept).
std::string PercentEncode(const std::string& text);

}  // namespace sendrix::app

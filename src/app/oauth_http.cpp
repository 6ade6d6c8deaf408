#include "app/oauth_http.h"

#include <curl/curl.h>
#include <openssl/ssl.h>

#include <cctype>
#include <memory>
#include <nlohmann/json.hpp>

#include "platform/error.h"

namespace sendrix::app {

namespace {

// An endpoint's answer is a small JSON object; more is no token answer.
constexpr std::size_t kMaxBody = 256 * 1024;

struct Body {
    std::string text;
    bool tooLong = false;
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* target) {
    auto* body = static_cast<Body*>(target);
    if (body->text.size() + size * count > kMaxBody) {
        body->tooLong = true;
        return 0;  // ends the transfer
    }
    body->text.append(data, size * count);
    return size * count;
}

// The trust store of the SMTP connection (mail/tls_session.cpp) on top of
// curl's own bundle path, so SSL_CERT_FILE / SSL_CERT_DIR count here too.
CURLcode useDefaultVerifyPaths(CURL*, void* context, void*) {
    SSL_CTX_set_default_verify_paths(static_cast<SSL_CTX*>(context));
    return CURLE_OK;
}

bool isHttps(const std::string& url) {
    return url.size() > 8 && (url.compare(0, 8, "https://") == 0 || url.compare(0, 8, "HTTPS://") == 0);
}

OAuthReply flatFields(const std::string& body) {
    OAuthReply fields;
    const nlohmann::json json = nlohmann::json::parse(body, nullptr, false);
    if (!json.is_object())
        return fields;
    for (const auto& [name, value] : json.items()) {
        if (value.is_string())
            fields[name] = value.get<std::string>();
        else if (value.is_number_integer())
            fields[name] = std::to_string(value.get<long long>());
        else if (value.is_number())
            fields[name] = std::to_string(static_cast<long long>(value.get<double>()));
    }
    return fields;
}

}  // namespace

std::string UrlHost(const std::string& url) {
    const std::size_t start = url.find("://");
    const std::size_t from = start == std::string::npos ? 0 : start + 3;
    return url.substr(from, url.find_first_of("/?#", from) - from);
}

std::string PercentEncode(const std::string& text) {
    static const char* const hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

OAuthHttpReply PostOAuthForm(const std::string& url,
                             const std::vector<std::pair<std::string, std::string>>& form,
                             const std::string& provider) {
    const std::string host = UrlHost(url);
    const std::string where = provider == host ? provider : provider + " (" + host + ")";
    // A token must never travel in the clear.
    if (!isHttps(url))
        throw Error("Der Anmeldedienst " + where + " ist nicht über https:// eingetragen: \"" + url +
                    "\". Sendrix sendet Anmeldedaten nur verschlüsselt.");
    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    const std::unique_ptr<CURL, void (*)(CURL*)> curl(initialised == CURLE_OK ? curl_easy_init() : nullptr,
                                                      curl_easy_cleanup);
    if (!curl)
        throw Error("Die Verbindung zum Anmeldedienst " + where +
                    " kann nicht vorbereitet werden (libcurl).");
    std::string fields;
    for (const auto& [name, value] : form)
        fields += (fields.empty() ? "" : "&") + PercentEncode(name) + "=" + PercentEncode(value);
    Body body;
    char error[CURL_ERROR_SIZE] = "";
    curl_slist* headers = curl_slist_append(nullptr, "Accept: application/json");
    const std::unique_ptr<curl_slist, void (*)(curl_slist*)> headerList(headers, curl_slist_free_all);
    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(h, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    curl_easy_setopt(h, CURLOPT_SSL_CTX_FUNCTION, useDefaultVerifyPaths);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, static_cast<long>(kOAuthHttpTimeoutSeconds));
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, fields.c_str());
    curl_easy_setopt(h, CURLOPT_USERAGENT, "Sendrix");
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error);
    const CURLcode result = curl_easy_perform(h);
    if (body.tooLong)
        throw Error("Der Anmeldedienst " + where + " hat eine zu lange Antwort geschickt.");
    if (result != CURLE_OK)
        throw Error("Der Anmeldedienst " + where +
                    " ist nicht erreichbar: " + (*error ? std::string(error) : curl_easy_strerror(result)) +
                    (result == CURLE_PEER_FAILED_VERIFICATION
                         ? ". Sein Zertifikat wird nicht vertraut (Zertifikatsspeicher des Systems)."
                         : "."));
    OAuthHttpReply reply;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &reply.status);
    reply.fields = flatFields(body.text);
    if (reply.fields.empty())
        throw Error("Der Anmeldedienst " + where + " hat mit HTTP " + std::to_string(reply.status) +
                    " und ohne verständliche Antwort (JSON) geantwortet.");
    return reply;
}

}  // namespace sendrix::app

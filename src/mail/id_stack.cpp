#include "mail/id_stack.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "mail/id_exception.h"
#include "mail/idn_address.h"
#include "mail/socket_error_map.h"
#include "platform/ascii.h"

namespace sendrix::mail {

namespace {

std::mutex g_stackMutex;
int g_componentCount = 0;
std::unique_ptr<TIdStack> g_stack;

// A part of a dotted quad: decimal digits only, value 0..255.
bool readQuadPart(std::string_view part, unsigned& value) {
    if (part.empty())
        return false;
    value = 0;
    for (char c : part) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + unsigned(c - '0');
        if (value > 255)
            return false;
    }
    return true;
}

bool splitQuad(std::string_view text, unsigned parts[4]) {
    for (int i = 0; i < 3; ++i) {
        size_t dot = text.find('.');
        if (dot == std::string_view::npos || !readQuadPart(text.substr(0, dot), parts[i]))
            return false;
        text.remove_prefix(dot + 1);
    }
    // The fourth part is all that follows the third "."; a further "." fails.
    return readQuadPart(text, parts[3]);
}

}  // namespace

TIdStack::TIdStack() = default;

TIdStack& TIdStack::Instance() {
    return *g_stack;
}

std::string TIdStack::ResolveAddress(const std::string& host) const {
    if (platform::equalsNoCase(host, "LOCALHOST"))
        return "127.0.0.1";
    if (IsDottedQuad(host))
        return host;

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    // DNS knows an internationalised name only by its A-label; a name that
    // has none is looked up as it is and fails there.
    const std::string ascii = AsciiDomain(host);
    const std::string& name = ascii.empty() ? host : ascii;
    errno = 0;
    int rc = getaddrinfo(name.c_str(), nullptr, &hints, &result);
    if (rc != 0)
        RaiseSocketError(winsockErrorFromLookup(rc, errno));
    if (result == nullptr)
        RaiseSocketError(kWsaNoData);
    const auto* address = reinterpret_cast<const sockaddr_in*>(result->ai_addr);
    std::string text = addressToDottedQuad(address->sin_addr.s_addr);
    freeaddrinfo(result);
    return text;
}

bool TIdStack::IsDottedQuad(std::string_view text) {
    unsigned parts[4];
    return splitQuad(text, parts);
}

unsigned int dottedQuadToAddress(std::string_view text) {
    unsigned parts[4] = {0, 0, 0, 0};
    splitQuad(text, parts);
    return htonl((parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3]);
}

std::string addressToDottedQuad(unsigned int address) {
    const unsigned int host = ntohl(address);
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        text += std::to_string((host >> shift) & 0xffu);
        if (shift > 0)
            text += '.';
    }
    return text;
}

std::string TIdStack::LocalHostName() const {
    char buffer[250] = {};
    gethostname(buffer, sizeof buffer - 1);
    std::string name(buffer);
    // A host without a name still has to introduce itself in EHLO.
    return name.empty() ? std::string("localhost") : name;
}

std::string TIdStack::FullyQualifiedHostName() const {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* result = nullptr;
    if (::getaddrinfo(LocalHostName().c_str(), nullptr, &hints, &result) != 0 || result == nullptr)
        return {};
    std::string name = result->ai_canonname ? result->ai_canonname : "";
    ::freeaddrinfo(result);
    return name.find('.') == std::string::npos ? std::string() : name;
}

std::string TIdStack::SocketErrorText(int errorNumber) {
    switch (errorNumber) {
        case 10004: return "Unterbrochener Systemaufruf.";
        case 10009: return "Falsche Dateinummer.";
        case 10013: return "Zugriff verweigert.";
        case 10014: return "Falsche Adresse.";
        case 10022: return "Ungültiges Argument.";
        case 10024: return "Zu viele geöffnete Dateien.";
        case 10035: return "Die Operation würde blockieren. ";
        case 10036: return "Die Operation wird gerade durchgeführt.";
        case 10037: return "Die Operation wird bereits durchgeführt.";
        case 10038: return "Socket-Operation auf Nicht-Socket.";
        case 10039: return "Zieladresse erforderlich.";
        case 10040: return "Die Botschaft ist zu lang.";
        case 10041: return "Das Protokoll hat für Socket den falschen Typ.";
        case 10042: return "Falsche Protokolloption.";
        case 10043: return "Protokoll wird nicht unterstützt.";
        case 10044: return "Socket-Typ wird nicht unterstützt.";
        case 10045: return "Die Operation wird bei Socket nicht unterstützt.";
        case 10046: return "Die Protokollfamilie wird nicht unterstützt.";
        case 10047: return "Die Adreßfamilie wird von der Protokollfamilie nicht unterstützt.";
        case 10048: return "Die Adresse ist bereits in Gebrauch.";
        case 10049: return "Die angeforderte Adresse kann nicht zugewiesen werden.";
        case 10050: return "Netzwerk ist ausgefallen.";
        case 10051: return "Netzwerk ist nicht erreichbar.";
        case 10052: return "Netz hat die Verbindung verloren oder zurückgesetzt.";
        case 10053: return "Die Software hat den Abbruch der Verbindung verursacht.";
        case 10054: return "Die Verbindung wurde von Peer zurückgesetzt.";
        case 10055: return "Es ist kein Pufferplatz verfügbar.";
        case 10056: return "Socket ist bereits verbunden.";
        case 10057: return "Socket ist nicht verbunden.";
        case 10058: return "Nach Schließen des Socket kann weder gesendet noch empfangen werden.";
        case 10059: return "Zu viele Referenzen.";
        case 10060: return "Zeitüberschreitung bei Verbindung.";
        case 10061: return "Verbindung abgelehnt.";
        case 10062: return "Zu viele Ebenen von symbolischen Links.";
        case 10063: return "Dateiname ist zu lang.";
        case 10064: return "Der Host ist ausgefallen.";
        case 10065: return "Keine Route zum Host.";
        case 10066: return "Verzeichnis ist nicht leer";
        default: return "";
    }
}

bool TIdStack::CheckSocketResult(int result, std::initializer_list<int> tolerated) const {
    if (result != -1)
        return false;
    int number = LastErrorNumber();
    for (int t : tolerated)
        if (t == number)
            return true;
    RaiseSocketError(number);
}

void TIdStack::RaiseSocketError(int errorNumber) {
    throw EIdSocketError(errorNumber, "Socket-Fehler # " + std::to_string(errorNumber) + "\r\n" +
                                          SocketErrorText(errorNumber));
}

int TIdStack::LastErrorNumber() {
    return winsockErrorFromErrno(errno);
}

TIdComponent::TIdComponent() {
    std::lock_guard lock(g_stackMutex);
    if (g_componentCount++ == 0)
        g_stack = std::make_unique<TIdStack>();
}

TIdComponent::~TIdComponent() {
    std::lock_guard lock(g_stackMutex);
    if (--g_componentCount == 0)
        g_stack.reset();
}

}  // namespace sendrix::mail

#include "mail/envelope_address.h"

#include <algorithm>

#include "mail/id_exception.h"
#include "platform/ascii.h"
#include "platform/visible_text.h"

namespace sendrix::mail {

std::string recipientAddressFault(std::string_view address) {
    if (address.empty())
        return "sie ist leer";
    bool quoted = false;
    for (char c : address) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            return "sie enthält ein Steuerzeichen (etwa ein Zeilenende)";
        if (c == '"')
            quoted = !quoted;
        else if (c == ' ' && !quoted)
            return "sie enthält ein Leerzeichen";
    }
    const size_t at = address.rfind('@');
    if (at == std::string_view::npos)
        return "das Zeichen @ fehlt";
    if (at == 0)
        return "vor dem @ steht nichts";
    if (at + 1 == address.size())
        return "nach dem @ steht nichts";
    if (at > kMaxLocalPartLength)
        return "der Teil vor dem @ ist länger als " + std::to_string(kMaxLocalPartLength) + " Zeichen";
    const std::string_view domain = address.substr(at + 1);
    if (domain.size() > kMaxDomainLength)
        return "der Teil nach dem @ ist länger als " + std::to_string(kMaxDomainLength) + " Zeichen";
    // A domain literal ("[192.0.2.1]") has no labels.
    for (size_t start = 0; domain.front() != '[' && start <= domain.size();) {
        const size_t dot = std::min(domain.find('.', start), domain.size());
        if (dot - start > kMaxLabelLength)
            return "ein Teil des Namens nach dem @ ist länger als " + std::to_string(kMaxLabelLength) +
                   " Zeichen";
        start = dot + 1;
    }
    if (address.size() + 2 > kMaxPathLength)
        return "die Adresse ist länger als " + std::to_string(kMaxPathLength - 2) + " Zeichen";
    return {};
}

void checkRecipientAddress(const std::string& address) {
    const std::string fault = recipientAddressFault(address);
    if (!fault.empty())
        throw EIdInvalidEnvelopeAddress("Die Empfängeradresse \"" + platform::visibleText(address) +
                                        "\" ist ungültig: " + fault + "; es wurde nichts gesendet.");
}

void checkHostName(const std::string& name, const std::string& what) {
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b == 0x7F)
            throw EIdException(what + " \"" + platform::visibleText(name) +
                               "\" enthält ein Leerzeichen oder Steuerzeichen; es wurde keine Verbindung "
                               "aufgebaut.");
    }
}

bool sameMailbox(std::string_view a, std::string_view b) {
    const size_t atA = a.rfind('@');
    const size_t atB = b.rfind('@');
    if (atA == std::string_view::npos || atB == std::string_view::npos)
        return a == b;
    return a.substr(0, atA) == b.substr(0, atB) && platform::equalsNoCase(a.substr(atA), b.substr(atB));
}

std::vector<std::string> withoutRepeatedMailboxes(const std::vector<std::string>& addresses) {
    std::vector<std::string> once;
    for (const std::string& address : addresses)
        if (std::none_of(once.begin(), once.end(),
                         [&](const std::string& kept) { return sameMailbox(kept, address); }))
            once.push_back(address);
    return once;
}

}  // namespace sendrix::mail

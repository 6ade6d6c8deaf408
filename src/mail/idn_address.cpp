#include "mail/idn_address.h"

#include <cstdlib>
#include <idn2.h>

#include "platform/ascii.h"

namespace sendrix::mail {

std::string AsciiDomain(std::string_view domain, std::string* reason) {
    if (platform::isAscii(domain))
        return std::string(domain);
    char* output = nullptr;
    const std::string input(domain);
    // Non-transitional processing (IDNA 2008 with UTS 46 mapping): "ß"
    // stays "ß" and becomes part of the A-label.
    const int rc = ::idn2_to_ascii_8z(input.c_str(), &output, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL);
    if (rc != IDN2_OK) {
        if (reason)
            *reason = ::idn2_strerror(rc);
        return {};
    }
    std::string result(output);
    ::idn2_free(output);
    return result;
}

std::string WithAsciiDomain(std::string_view address) {
    if (platform::isAscii(address))
        return std::string(address);  // its domain is its own A-label
    const size_t at = address.rfind('@');
    if (at == std::string_view::npos)
        return std::string(address);
    const std::string domain = AsciiDomain(address.substr(at + 1));
    if (domain.empty())
        return std::string(address);
    return std::string(address.substr(0, at + 1)) + domain;
}

bool HasNonAsciiLocalPart(std::string_view address) {
    const size_t at = address.rfind('@');
    return !platform::isAscii(at == std::string_view::npos ? address : address.substr(0, at));
}

}  // namespace sendrix::mail

#pragma once
// Internationalised addresses on the wire: a domain outside ASCII goes out
// as its A-label (IDNA 2008, Debian's libidn2), so "müller-bäckerei.de"
// reaches every server as "xn--mller-bckerei-hfb76a.de". A local part outside
// ASCII has no such form; only a server offering SMTPUTF8 (RFC 6531) takes it.
#include <string>
#include <string_view>

namespace sendrix::mail {

// The domain as its A-label; an ASCII domain comes back unchanged (letter
// case kept). Empty when the domain is no valid internationalised name,
// with the reason in `reason` when given.
std::string AsciiDomain(std::string_view domain, std::string* reason = nullptr);

// `address` with the part after its last "@" as its A-label; unchanged when
// there is no "@", the domain is ASCII, or it cannot be converted.
std::string WithAsciiDomain(std::string_view address);

// True when the part before the last "@" holds a byte outside ASCII.
bool HasNonAsciiLocalPart(std::string_view address);

}  // namespace sendrix::mail

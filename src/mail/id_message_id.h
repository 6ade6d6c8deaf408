#pragma once
// Message-ID values (RFC 5322 3.6.4) that are unique across processes and
// machines without any shared state.
#include <string>
#include <string_view>

namespace sendrix::mail {

// "<left@domain>": the left part joins the microseconds since 1970, the
// process id and 64 random bits from the system (getrandom, drawn anew for
// every identifier, so forked processes never repeat each other); the domain
// is that of `senderAddress` as its A-label, or "sendrix.invalid" when the
// address has no usable domain (never "localhost" or a bare host name).
std::string NewMessageId(std::string_view senderAddress);

// The domain NewMessageId uses for `senderAddress`.
std::string MessageIdDomain(std::string_view senderAddress);

}  // namespace sendrix::mail

#pragma once
// The checks an address passes before it becomes a recipient of an SMTP
// envelope. A recipient that fails is never repaired or parsed again: the
// message is not sent and the reason is shown.
#include <string>
#include <string_view>
#include <vector>

namespace sendrix::mail {

// Longest local part (before the "@"), domain, label of a domain and path
// ("<" address ">"), in octets (RFC 5321 4.5.3.1, RFC 1035 2.3.4).
constexpr size_t kMaxLocalPartLength = 64;
constexpr size_t kMaxDomainLength = 255;
constexpr size_t kMaxLabelLength = 63;
constexpr size_t kMaxPathLength = 256;

// Why `address` cannot be a recipient, as a German clause ("sie enthält ein
// Leerzeichen"); "" when it can. Refused: an empty address, a control
// character (CR, LF, NUL, TAB, ...), a blank outside a quoted local part, a
// missing "@", an empty local part or domain, a local part over 64 octets, a
// domain over 255, a label of the domain over 63, a path over 256. The
// limits hold for the domain as it goes out: pass the A-label.
std::string recipientAddressFault(std::string_view address);

// Throws EIdInvalidEnvelopeAddress naming the address and the reason when
// recipientAddressFault finds one.
void checkRecipientAddress(const std::string& address);

// Throws EIdException ("<what> \"name\" enthält ...") when the host name
// holds a blank or a control character (CR, LF, ...), which would smuggle a
// command into the dialogue.
void checkHostName(const std::string& name, const std::string& what);

// True when both name the same mailbox: the local parts equal byte for byte,
// the domains equal without regard to ASCII case.
bool sameMailbox(std::string_view a, std::string_view b);

// `addresses` in their order, each mailbox once (sameMailbox).
std::vector<std::string> withoutRepeatedMailboxes(const std::vector<std::string>& addresses);

}  // namespace sendrix::mail

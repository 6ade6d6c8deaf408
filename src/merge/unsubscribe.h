#pragma once
// The mailing's unsubscribe address ("Abmeldeadresse"): the List-Unsubscribe
// header (RFC 2369) and the line at the end of the body that name it.
#include <string>
#include <vector>

namespace sendrix::merge {

// Why `address` cannot be the unsubscribe address, as a German clause;
// "" when it can. The same checks as every recipient address (preflight's
// plausibleAddress and the envelope limits), so nothing but one address can
// reach the header.
std::string unsubscribeAddressFault(const std::string& address);

// "<mailto:abmelden@example.org?subject=Abmelden>": the address (domain as
// its A-label) percent-encoded as a mailto URI requires (RFC 6068 2).
// `address` must have passed unsubscribeAddressFault.
std::string unsubscribeHeaderValue(const std::string& address);

// Appends the sentence that names the address to a composed body: a line
// of its own after an empty one, or for HTML a paragraph with a mailto link
// before the closing body tag (at the end when there is none).
void appendUnsubscribeLine(std::vector<std::string>& body, const std::string& address, bool html);

}  // namespace sendrix::merge

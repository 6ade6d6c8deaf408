#pragma once
// "Verbindung testen" of the setup dialog and the account assistant, and the
// assistant's test message to the user's own address.
#include <string>

#include "merge/mailing.h"

namespace sendrix::app {

struct ConnectionVerdict {
    bool ok = false;
    std::string text;  // German, for the person at the window
};

// Connects to the account's server with its encryption (the certificate is
// checked as for a send), logs in when a login is set and says "Quit": no
// mail goes. Never throws; the verdict says what worked, or what failed and
// why. The password and the token appear in no text.
ConnectionVerdict testSmtpConnection(const merge::SmtpAccount& account);

// One short message from `address` to `address` over the account (named
// `name` as the sender). Throws what the send raises.
void sendTestMessage(const merge::SmtpAccount& account, const std::string& name, const std::string& address);

}  // namespace sendrix::app

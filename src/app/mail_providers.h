#pragma once
// The mail providers the setup dialog offers under "Anbieter": server, port,
// encryption and pace for sending, and the IMAP server of the mailbox, as
// each provider publishes them.
#include <string>
#include <vector>

namespace sendrix::app {

struct MailProvider {
    std::string name;  // as shown in the list
    std::string host;
    int port = 0;
    int encryption = 0;  // kEncryptionNone, kEncryptionStartTls, kEncryptionTls
    // [Smtp] MessagesPerMinute (0: no limit) and MessagesPerConnection.
    int messagesPerMinute = 0;
    int messagesPerConnection = 1;
    // The IMAP server (SSL/TLS on 993 for every provider listed).
    std::string imapHost;
    // The provider files mail submitted over SMTP in the Sent folder
    // itself: a copy of the program's own would be a second one.
    bool filesSubmittedMail = false;
};

// Every provider in the order of the list.
const std::vector<MailProvider>& mailProviders();

}  // namespace sendrix::app

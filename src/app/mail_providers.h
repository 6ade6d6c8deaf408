#pragma once
// The mail providers the setup dialog offers under "Anbieter": server, port,
// encryption and pace for sending, as each provider publishes them.
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
};

// Every provider in the order of the list.
const std::vector<MailProvider>& mailProviders();

}  // namespace sendrix::app

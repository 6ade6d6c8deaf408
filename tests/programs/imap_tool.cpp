// One IMAP command through mail::ImapClient, for the interop tests against a
// real Dovecot:
//
//   imap_tool PORT none|starttls|tls USER PASSWORD COMMAND ARG...
//     list                         one line per folder: name, TAB, flags
//     sent                         the Sent folder, then "created" or "found"
//     append FOLDER FILE           the file's bytes, flagged \Seen
//     search FOLDER YYYY-MM-DD     the UIDs since the day, blank-separated
//     fetch FOLDER UID             the message's bytes on standard output
//     copy|move FOLDER UID,... TARGET
//
// The host is "localhost"; the CA comes from SSL_CERT_FILE. Exit status 0,
// or 1 with the failure's kind (refused, login, connection, timeout, setup,
// certificate) and its text on standard error.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "mail/imap_client.h"

using namespace sendrix::mail;

namespace {

std::vector<std::uint32_t> uidsOf(const std::string& text) {
    std::vector<std::uint32_t> uids;
    std::stringstream list(text);
    for (std::string uid; std::getline(list, uid, ',');)
        uids.push_back(static_cast<std::uint32_t>(std::stoul(uid)));
    return uids;
}

const char* kindName(ImapFailure kind) {
    switch (kind) {
        case ImapFailure::Refused: return "refused";
        case ImapFailure::Login: return "login";
        case ImapFailure::Connection: return "connection";
        case ImapFailure::Timeout: return "timeout";
        case ImapFailure::Setup: return "setup";
    }
    return "?";
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() < 5)
        return 2;
    ImapAccount account;
    account.host = "localhost";
    account.port = std::stoi(args[0]);
    account.encryption = args[1] == "tls" ? TlsMode::Implicit : args[1] == "none" ? TlsMode::None : TlsMode::StartTls;
    account.user = args[2];
    account.password = args[3];
    account.timeoutSeconds = 20;
    const std::string& command = args[4];
    try {
        ImapClient client(account);
        if (command == "list") {
            for (const ImapFolder& folder : client.ListFolders()) {
                std::cout << folder.name << '\t';
                for (const std::string& flag : folder.flags)
                    std::cout << flag << ' ';
                std::cout << '\n';
            }
        } else if (command == "sent") {
            bool created = false;
            const std::string folder = client.FindOrCreateSentFolder(&created);
            std::cout << folder << '\n' << (created ? "created" : "found") << '\n';
        } else if (command == "append") {
            std::ifstream file(args.at(6), std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            client.Append(args.at(5), bytes);
        } else if (command == "search") {
            const std::string& day = args.at(6);
            const ImapDate since{std::stoi(day.substr(0, 4)), std::stoi(day.substr(5, 2)), std::stoi(day.substr(8, 2))};
            for (std::uint32_t uid : client.SearchSince(args.at(5), since))
                std::cout << uid << ' ';
            std::cout << '\n';
        } else if (command == "fetch") {
            std::cout << client.FetchMessage(args.at(5), static_cast<std::uint32_t>(std::stoul(args.at(6))));
        } else if (command == "copy") {
            client.CopyMessages(args.at(5), uidsOf(args.at(6)), args.at(7));
        } else if (command == "move") {
            client.MoveMessages(args.at(5), uidsOf(args.at(6)), args.at(7));
        } else {
            return 2;
        }
    } catch (const EIdCertificateError& error) {
        std::cerr << "certificate\n" << error.what() << '\n';
        return 1;
    } catch (const EIdImapError& error) {
        std::cerr << kindName(error.Kind()) << '\n' << error.what() << '\n';
        return 1;
    }
    return 0;
}

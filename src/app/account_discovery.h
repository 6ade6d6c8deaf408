#pragma once
// Where the account assistant looks for an address's submission server: the
// provider table by the address's domain, then the domain's SRV records
// (RFC 6186, RFC 8314), then the usual host names, each tried briefly.
#include <functional>
#include <string>
#include <vector>

#include "app/mail_providers.h"

namespace sendrix::app {

struct SubmissionServer {
    std::string host;
    int port = 0;
    int encryption = 0;  // kEncryptionStartTls or kEncryptionTls
};

// The entry of mailProviders() for the domain of `address` (case does not
// count), or -1 when the table knows none.
int providerIndexForAddress(const std::string& address);

// The "SMTPAuthenticationType" a provider wants: 3 (OAuth 2) for Microsoft
// and Google, which refuse or restrict passwords, else 1 (AUTH LOGIN).
int providerLoginType(const MailProvider& provider);

// The domain of `address` (after the last "@", lower case); "" without one.
std::string addressDomain(const std::string& address);

// The domain's SRV records "_submissions._tcp" (SSL/TLS) and then
// "_submission._tcp" (STARTTLS), each in order of priority; a target "."
// (no such service) is left out. Empty when DNS has none or does not
// answer within a few seconds.
std::vector<SubmissionServer> submissionServersFromDns(const std::string& domain);

// smtp.<domain> and mail.<domain>, each on 465 (SSL/TLS) and 587 (STARTTLS).
std::vector<SubmissionServer> guessedServers(const std::string& domain);

// Whether a submission server answers there: connect, TLS (certificate
// checked), greeting and EHLO within `limitSeconds`, then "Quit".
bool submissionServerAnswers(const SubmissionServer& server, int limitSeconds);

struct Discovery {
    enum class Source { None, Provider, Dns, Guess } source = Source::None;
    int providerIndex = -1;  // Source::Provider
    SubmissionServer server;
    // German, for the assistant: where the server came from.
    std::string text;
};

using SrvLookup = std::function<std::vector<SubmissionServer>(const std::string& domain)>;
using ServerProbe = std::function<bool(const SubmissionServer&)>;

// The first that gives a server: the provider table, the SRV records (the
// first whose server answers), the guesses (the first that answers).
Discovery discoverSubmissionServer(const std::string& address, const SrvLookup& lookup,
                                   const ServerProbe& probe);

}  // namespace sendrix::app

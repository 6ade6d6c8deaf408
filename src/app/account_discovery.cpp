#include "app/account_discovery.h"

#include <arpa/nameser.h>
#include <netinet/in.h>
#include <resolv.h>

#include <algorithm>
#include <array>

#include "app/mail_settings.h"
#include "mail/id_smtp.h"
#include "platform/ascii.h"

namespace sendrix::app {

namespace {

// Mail domains of the providers in the table, by their submission host.
// Microsoft 365, IONOS and Strato serve their customers' own domains, which
// no list can name; the assistant finds those by DNS or by asking.
struct ProviderDomains {
    const char* host;
    std::vector<const char*> domains;
};

const std::vector<ProviderDomains>& providerDomains() {
    static const std::vector<ProviderDomains> table = {
        {"mail.gmx.net", {"gmx.de", "gmx.net", "gmx.at", "gmx.ch", "gmx.com"}},
        {"smtp.web.de", {"web.de"}},
        {"securesmtp.t-online.de", {"t-online.de", "magenta.de"}},
        {"smtp.gmail.com", {"gmail.com", "googlemail.com"}},
        {"smtp-mail.outlook.com",
         {"outlook.com", "outlook.de", "hotmail.com", "hotmail.de", "live.com", "live.de", "msn.com"}},
        {"smtp.mailbox.org", {"mailbox.org"}},
        {"posteo.de", {"posteo.de", "posteo.net"}},
    };
    return table;
}

// One SRV record set; `encryption` is what its service name means.
void appendSrv(const std::string& name, int encryption, std::vector<SubmissionServer>& out) {
    struct __res_state state {};
    if (res_ninit(&state) != 0)
        return;
    // A short limit: the assistant waits for the answer.
    state.retrans = 2;
    state.retry = 1;
    std::array<unsigned char, NS_PACKETSZ * 4> answer{};
    const int length = res_nquery(&state, name.c_str(), ns_c_in, ns_t_srv, answer.data(), answer.size());
    ns_msg message{};
    if (length > 0 && ns_initparse(answer.data(), length, &message) == 0) {
        struct Record {
            int priority, weight;
            SubmissionServer server;
        };
        std::vector<Record> records;
        for (int i = 0; i < ns_msg_count(message, ns_s_an); ++i) {
            ns_rr rr{};
            if (ns_parserr(&message, ns_s_an, i, &rr) != 0 || ns_rr_type(rr) != ns_t_srv ||
                ns_rr_rdlen(rr) < 7)
                continue;
            const unsigned char* data = ns_rr_rdata(rr);
            char target[NS_MAXDNAME];
            if (dn_expand(ns_msg_base(message), ns_msg_end(message), data + 6, target, sizeof target) < 0)
                continue;
            const std::string host = target;
            // RFC 2782: the target "." says the service is not offered.
            if (host.empty() || host == ".")
                continue;
            const auto field = [data](int offset) { return static_cast<int>(ns_get16(data + offset)); };
            records.push_back({field(0), field(2), {host, field(4), encryption}});
        }
        // Lower priority first; within one, the heavier weight first (a
        // person sets up one server, so no random pick among equals).
        std::stable_sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
            return a.priority != b.priority ? a.priority < b.priority : a.weight > b.weight;
        });
        for (const Record& record : records)
            out.push_back(record.server);
    }
    res_nclose(&state);
}

}  // namespace

std::string addressDomain(const std::string& address) {
    const std::size_t at = address.rfind('@');
    if (at == std::string::npos)
        return {};
    std::string domain = address.substr(at + 1);
    while (!domain.empty() && (domain.back() == ' ' || domain.back() == '>' || domain.back() == '.'))
        domain.pop_back();
    return platform::asciiLowered(domain);
}

int providerIndexForAddress(const std::string& address) {
    const std::string domain = addressDomain(address);
    for (const ProviderDomains& entry : providerDomains())
        if (std::find(entry.domains.begin(), entry.domains.end(), domain) != entry.domains.end())
            for (std::size_t i = 0; i < mailProviders().size(); ++i)
                if (mailProviders()[i].host == entry.host)
                    return static_cast<int>(i);
    return -1;
}

int providerLoginType(const MailProvider& provider) {
    for (const char* host : {"smtp.gmail.com", "smtp-mail.outlook.com", "smtp.office365.com"})
        if (provider.host == host)
            return mail::atXOAuth2;
    return mail::atLogin;
}

std::vector<SubmissionServer> submissionServersFromDns(const std::string& domain) {
    std::vector<SubmissionServer> servers;
    if (domain.empty())
        return servers;
    // RFC 8314 3.3: TLS from the first byte is preferred over STARTTLS.
    appendSrv("_submissions._tcp." + domain, kEncryptionTls, servers);
    appendSrv("_submission._tcp." + domain, kEncryptionStartTls, servers);
    return servers;
}

std::vector<SubmissionServer> guessedServers(const std::string& domain) {
    std::vector<SubmissionServer> servers;
    for (const char* prefix : {"smtp.", "mail."}) {
        servers.push_back({prefix + domain, 465, kEncryptionTls});
        servers.push_back({prefix + domain, 587, kEncryptionStartTls});
    }
    return servers;
}

bool submissionServerAnswers(const SubmissionServer& server, int limitSeconds) {
    mail::TIdSMTP smtp;
    smtp.SetHost(server.host);
    smtp.SetPort(server.port);
    smtp.SetEncryption(server.encryption == kEncryptionTls ? mail::TlsMode::Implicit
                                                           : mail::TlsMode::StartTls);
    smtp.SetTimeoutSeconds(limitSeconds);
    try {
        smtp.Open();
        smtp.Close();
        return true;
    } catch (const Error&) {
        // Open has closed the connection; the next candidate is tried.
        return false;
    }
}

Discovery discoverSubmissionServer(const std::string& address, const SrvLookup& lookup,
                                   const ServerProbe& probe) {
    Discovery found;
    found.providerIndex = providerIndexForAddress(address);
    if (found.providerIndex >= 0) {
        const MailProvider& provider = mailProviders()[found.providerIndex];
        found.source = Discovery::Source::Provider;
        found.server = {provider.host, provider.port, provider.encryption};
        found.text = "Anbieter erkannt: " + provider.name;
        return found;
    }
    const std::string domain = addressDomain(address);
    if (domain.empty()) {
        found.text = "Die Adresse enthält keine Domain; bitte den Server eintragen.";
        return found;
    }
    const auto firstAnswering = [&](const std::vector<SubmissionServer>& candidates, Discovery::Source source,
                                    const std::string& how) {
        for (const SubmissionServer& server : candidates)
            if (probe(server)) {
                found.source = source;
                found.server = server;
                found.text = how + server.host + ":" + std::to_string(server.port);
                return true;
            }
        return false;
    };
    if (firstAnswering(lookup(domain), Discovery::Source::Dns, "Im DNS von " + domain + " gefunden: ") ||
        firstAnswering(guessedServers(domain), Discovery::Source::Guess, "Server gefunden: "))
        return found;
    found.text = "Für " + domain + " wurde kein Server gefunden; bitte den Server eintragen.";
    return found;
}

}  // namespace sendrix::app

// Where the account assistant finds an address's submission server: the
// provider table by domain, then the SRV records, then the guessed names,
// each answering server taken in that order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/account_discovery.h"
#include "app/mail_settings.h"

namespace sendrix::app {
namespace {

std::string nameOf(const SubmissionServer& server) {
    return server.host + ":" + std::to_string(server.port) + "/" + std::to_string(server.encryption);
}

TEST(AccountDiscovery, FindsTheProviderThenTheFirstAnsweringSrvTargetThenTheFirstAnsweringGuess) {
    const std::vector<SubmissionServer> srv = {{"a.example.org", 465, kEncryptionTls},
                                               {"b.example.org", 587, kEncryptionStartTls}};
    struct Row {
        const char* name;
        const char* address;
        std::vector<SubmissionServer> srv;
        std::vector<std::string> answering;  // servers that answer the probe
        Discovery::Source source;
        std::string server;               // nameOf the result ("" none)
        std::vector<std::string> probed;  // in order
        std::string text;
    } rows[] = {
        {"GMX by its domain, any case, nothing probed",
         "Anna <anna@GMX.DE>",
         srv,
         {},
         Discovery::Source::Provider,
         "mail.gmx.net:587/1",
         {},
         "Anbieter erkannt: GMX"},
        {"googlemail is Gmail",
         "b@googlemail.com",
         {},
         {},
         Discovery::Source::Provider,
         "smtp.gmail.com:587/1",
         {},
         "Anbieter erkannt: Gmail"},
        {"the first SRV target that answers",
         "c@verein.example",
         srv,
         {"b.example.org:587/1"},
         Discovery::Source::Dns,
         "b.example.org:587/1",
         {"a.example.org:465/2", "b.example.org:587/1"},
         "Im DNS von verein.example gefunden: b.example.org:587"},
        {"no SRV: smtp. and mail. on 465, then 587",
         "d@verein.example",
         {},
         {"mail.verein.example:587/1"},
         Discovery::Source::Guess,
         "mail.verein.example:587/1",
         {"smtp.verein.example:465/2", "smtp.verein.example:587/1", "mail.verein.example:465/2",
          "mail.verein.example:587/1"},
         "Server gefunden: mail.verein.example:587"},
        {"nothing answers",
         "e@verein.example",
         srv,
         {},
         Discovery::Source::None,
         "",
         {"a.example.org:465/2", "b.example.org:587/1", "smtp.verein.example:465/2",
          "smtp.verein.example:587/1", "mail.verein.example:465/2", "mail.verein.example:587/1"},
         "Für verein.example wurde kein Server gefunden; bitte den Server eintragen."},
        {"no domain",
         "anna",
         srv,
         {},
         Discovery::Source::None,
         "",
         {},
         "Die Adresse enthält keine Domain; bitte den Server eintragen."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> probed;
        const Discovery found = discoverSubmissionServer(
            row.address, [&](const std::string&) { return row.srv; },
            [&](const SubmissionServer& server) {
                probed.push_back(nameOf(server));
                return std::find(row.answering.begin(), row.answering.end(), nameOf(server)) !=
                       row.answering.end();
            });
        EXPECT_EQ(found.source, row.source);
        EXPECT_EQ(found.source == Discovery::Source::None ? "" : nameOf(found.server), row.server);
        EXPECT_EQ(probed, row.probed);
        EXPECT_EQ(found.text, row.text);
    }
}

}  // namespace
}  // namespace sendrix::app

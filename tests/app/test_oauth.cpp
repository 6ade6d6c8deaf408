#include <gtest/gtest.h>

#include <vector>

#include "app/oauth_session.h"
#include "support/temp_folder.h"

namespace sendrix::app {
namespace {

using namespace std::chrono_literals;
using Time = std::chrono::steady_clock::time_point;

TEST(Pkce, ChallengeIsTheS256OfTheVerifierFromRfc7636AppendixB) {
    EXPECT_EQ(PkceChallenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
              "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
}

// A session whose token endpoint answers from `answers` in turn and records
// the refresh token of each request; the clock is `now`.
struct SessionRig {
    Time now{};
    std::vector<OAuthTokens> answers;
    std::vector<std::string> asked;
    std::vector<std::string> kept;
    OAuthSession session{"anna@example.org",
                         "Microsoft",
                         [] { return std::string("rt-1"); },
                         [this](const std::string& token) {
                             asked.push_back(token);
                             OAuthTokens next = answers.front();
                             answers.erase(answers.begin());
                             return next;
                         },
                         [this](const std::string& token) { kept.push_back(token); },
                         [this] { return now; }};
};

TEST(OAuthSession, KeepsTheAccessTokenUntilFiveMinutesBeforeItsEndAndKeepsARotatedRefreshToken) {
    SessionRig rig;
    rig.answers = {{"at-1", "", 3600}, {"at-2", "rt-2", 3600}, {"at-3", "", 3600}};
    EXPECT_EQ(rig.session.AccessToken(), "at-1");
    rig.now += 3600s - kAccessTokenMargin - 1s;
    EXPECT_EQ(rig.session.AccessToken(), "at-1");
    rig.now += 1s;
    EXPECT_EQ(rig.session.AccessToken(), "at-2");
    rig.now += 3600s;
    EXPECT_EQ(rig.session.AccessToken(), "at-3");
    EXPECT_EQ(rig.asked, (std::vector<std::string>{"rt-1", "rt-1", "rt-2"}));
    EXPECT_EQ(rig.kept, std::vector<std::string>{"rt-2"});
}

TEST(OAuthProvider, MicrosoftsTenantGoesIntoThePathOnlyAsAPlainName) {
    test::TempFolder folder;
    const struct {
        const char* smtp;
        const char* tokenUrl;  // empty: refused
    } rows[] = {
        {"ServerName=smtp.office365.com", "https://login.microsoftonline.com/common/oauth2/v2.0/token"},
        {"OAuthProvider=microsoft\r\nOAuthTenant=firma.onmicrosoft.com",
         "https://login.microsoftonline.com/firma.onmicrosoft.com/oauth2/v2.0/token"},
        {"OAuthProvider=microsoft\r\nOAuthTenant=common/../evil?x=", ""},
        {"ServerName=smtp.gmail.com", "https://oauth2.googleapis.com/token"},
        {"OAuthProvider=custom", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.smtp);
        const std::string ini = folder.write("Mail.ini", std::string("[Smtp]\r\n") + row.smtp + "\r\n");
        if (*row.tokenUrl)
            EXPECT_EQ(ReadOAuthProvider(ini).tokenUrl, row.tokenUrl);
        else
            EXPECT_THROW(ReadOAuthProvider(ini), Error);
    }
}

}  // namespace
}  // namespace sendrix::app

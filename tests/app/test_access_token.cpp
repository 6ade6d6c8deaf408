// The token command of the OAuth 2 logins: a real child process per row,
// started without a shell, with its own deadline.
#include "app/access_token.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "support/expect_throw.h"

using sendrix::app::fetchAccessToken;
using testing::HasSubstr;

namespace {

constexpr const char* kCheck = "\r\nToken-Befehl in den Optionen ([Smtp] TokenCommand) prüfen";

TEST(FetchAccessToken, ReturnsTheFirstOutputLineWithoutItsLineEnd) {
    EXPECT_EQ(fetchAccessToken("/bin/echo ya29.token"), "ya29.token");
    EXPECT_EQ(fetchAccessToken("/usr/bin/printf \"  tok en \\r\\nzweite Zeile\\n\""), "tok en");
    // No shell: its characters reach the program as they are.
    EXPECT_EQ(fetchAccessToken("/bin/echo $HOME;x"), "$HOME;x");
}

TEST(FetchAccessToken, EachFailureNamesTheProgramButNeverItsArguments) {
    struct Row {
        const char* name;
        const char* command;
        int timeoutMs;
        std::string text;
    };
    const std::vector<Row> rows = {
        {"empty", "  ", 5000,
         "Für die Anmeldung mit Zugriffstoken ist kein Token-Befehl eingetragen." + std::string(kCheck)},
        {"not found", "/nonexistent/token-helper geheim", 5000,
         "Der Token-Befehl \"/nonexistent/token-helper\" kann nicht gestartet werden (Programm nicht "
         "gefunden)." +
             std::string(kCheck)},
        {"exit status and first error line", "/bin/sh -c \"echo kaputt >&2; echo zwei >&2; exit 3\" geheim",
         5000,
         "Der Token-Befehl \"/bin/sh\" ist mit dem Status 3 beendet worden: kaputt" + std::string(kCheck)},
        {"no output", "/bin/true geheim", 5000,
         "Der Token-Befehl \"/bin/true\" hat kein Token ausgegeben." + std::string(kCheck)},
        // The child ends by the deadline, not by the test waiting.
        {"past its deadline", "/bin/sleep 30", 1000,
         "Der Token-Befehl \"/bin/sleep\" hat nach 1 Sekunde kein Token geliefert und wurde beendet." +
             std::string(kCheck)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sendrix::test::expectThrowText<sendrix::Error>([&] { fetchAccessToken(row.command, row.timeoutMs); },
                                                       row.text);
    }
}

}  // namespace

// The SMTP account in "Mail.ini" and the scrambled password.
#include "app/mail_settings.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/profile_file.h"
#include "support/app/test_home.h"

using namespace sendrix::app;
using sendrix::test::TestHome;

namespace {

std::string expectError(const std::function<void()>& action) {
    try {
        action();
    } catch (const sendrix::Error& error) {
        return error.what();
    }
    ADD_FAILURE() << "no error raised";
    return "";
}

}  // namespace

TEST(ScramblePassword, IsItsOwnInverseAndKeepsTheLength) {
    for (std::string password : {"", "geheim", " blanks at both ends ", "Käse€ß", "a\"b'c=`~"}) {
        SCOPED_TRACE(password);
        const std::string scrambled = ScramblePassword(password);
        EXPECT_NE(scrambled, password.empty() ? "x" : password);
        EXPECT_EQ(ScramblePassword(scrambled), password);
    }
    EXPECT_EQ(ScramblePassword("geheim").size(), 6u);
}

TEST(ScramblePassword, PrintableAsciiNeverBecomesAControlCharacter) {
    std::string printable;
    for (char c = ' '; c <= '~'; ++c)
        printable += c;
    for (char c : ScramblePassword(printable)) {
        EXPECT_GE(static_cast<unsigned char>(c), 0x20u);
        EXPECT_LE(static_cast<unsigned char>(c), 0x7Fu);
    }
}

TEST(StoredPasswordValue, QuotesTheScrambledTextAndRefusesWhatCannotBeStored) {
    EXPECT_EQ(StoredPasswordValue(""), "\"\"");
    EXPECT_EQ(StoredPasswordValue("abc"), "\"" + ScramblePassword("abc") + "\"");

    EXPECT_NO_THROW(StoredPasswordValue(std::string(255, 'p')));
    std::string umlauts;
    for (int i = 0; i < 255; ++i)
        umlauts += "ö";  // 255 characters, 510 bytes
    EXPECT_NO_THROW(StoredPasswordValue(umlauts));
    EXPECT_EQ(expectError([] { StoredPasswordValue(std::string(256, 'p')); }),
              "Das Passwort ist länger als 255 Zeichen und wird nicht gespeichert.");

    // The control character that scrambles to CR would split the line.
    const std::string toCarriageReturn = ScramblePassword("\r");
    EXPECT_EQ(expectError([&] { StoredPasswordValue("pw" + toCarriageReturn); }),
              "Das Passwort enthält Steuerzeichen und kann nicht gespeichert werden.");
}

TEST(ParseServerPort, AcceptsWholeNumbersAndNamesTheBadText) {
    EXPECT_EQ(ParseServerPort("25"), 25);
    EXPECT_EQ(ParseServerPort(" 587 "), 587);
    EXPECT_EQ(ParseServerPort("0x19"), 25);
    EXPECT_EQ(ParseServerPort("+2525"), 2525);
    EXPECT_EQ(ParseServerPort("65535"), 65535);
    for (const char* bad : {"abc", "", "25a", "2 5", "0x", "-", "99999999999999"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(expectError([&] { ParseServerPort(bad); }),
                  std::string("'") + bad + "' ist kein gültiger Integerwert");
    }
    for (const char* outside : {"0", "65536", "-25"}) {
        SCOPED_TRACE(outside);
        EXPECT_EQ(expectError([&] { ParseServerPort(outside); }),
                  std::string("'") + outside + "' ist keine gültige Portnummer");
    }
}

TEST(ReadSmtpAccount, MissingFileGivesTheDefaults) {
    TestHome home;
    TMailSettings settings;
    ReadSmtpAccount(home.path("Mail.ini"), settings);
    EXPECT_EQ(settings.ServerName, "smtp.example.invalid");
    EXPECT_EQ(settings.ServerPort, 25);
    EXPECT_EQ(settings.ServerUser, "your_login");
    EXPECT_EQ(settings.ServerPassword, ScramblePassword("type_passcode"));
    EXPECT_EQ(settings.SMTPAuthenticationType, 0);
    EXPECT_EQ(settings.Timeout, 0);
    EXPECT_FALSE(home.exists("Mail.ini"));  // reading never creates it
}

TEST(ReadSmtpAccount, ReadsEveryKeyWithAnyCase) {
    TestHome home;
    const std::string ini =
        home.write("Mail.ini",
                   "[SMTP]\r\nservername=mail.example.org\r\nSERVERPORT=2525\r\n"
                   "serveruser=anna\r\nServerPassword=" +
                       StoredPasswordValue(" pass word ") + "\r\nsmtpauthenticationtype=1\r\ntimeout=30\r\n");
    TMailSettings settings;
    ReadSmtpAccount(ini, settings);
    EXPECT_EQ(settings.ServerName, "mail.example.org");
    EXPECT_EQ(settings.ServerPort, 2525);
    EXPECT_EQ(settings.ServerUser, "anna");
    EXPECT_EQ(settings.ServerPassword, " pass word ");  // blanks kept by the quotes
    EXPECT_EQ(settings.SMTPAuthenticationType, 1);
    EXPECT_EQ(settings.Timeout, 30);
}

TEST(ReadSmtpAccount, PasswordStoredThroughTheProfileFileReadsBackIntact) {
    TestHome home;
    const std::string ini = home.path("Mail.ini");
    // Every printable character, so quotes, "=" and ";" land in the stored form.
    std::string password;
    for (char c = ' '; c <= '~'; ++c)
        password += c;
    password += "äöüß€";
    sendrix::platform::writeProfileString(ini, "Smtp", "ServerPassword", StoredPasswordValue(password));
    TMailSettings settings;
    ReadSmtpAccount(ini, settings);
    EXPECT_EQ(settings.ServerPassword, password);
}

TEST(ReadSmtpAccount, TimeoutOutsideOneToAnHourMeansTheDefault) {
    TestHome home;
    for (const char* value : {"0", "-5", "3601", "zehn", "3600", "1"}) {
        SCOPED_TRACE(value);
        const std::string ini = home.write("Mail.ini", std::string("[Smtp]\nTimeout=") + value + "\n");
        TMailSettings settings;
        ReadSmtpAccount(ini, settings);
        const int expected = std::string(value) == "3600" ? 3600 : std::string(value) == "1" ? 1 : 0;
        EXPECT_EQ(settings.Timeout, expected);
    }
}

TEST(ReadSmtpAccount, PipeliningOnlyWithOne) {
    TestHome home;
    for (const char* value : {"1", "0", "2", "ja", ""}) {
        SCOPED_TRACE(value);
        const std::string ini = home.write("Mail.ini", std::string("[Smtp]\nPipelining=") + value + "\n");
        TMailSettings settings;
        ReadSmtpAccount(ini, settings);
        EXPECT_EQ(settings.Pipelining, std::string(value) == "1");
    }
}

TEST(ReadSmtpAccount, PortThatIsNoNumberStopsBeforeTheLaterKeys) {
    TestHome home;
    const std::string ini = home.write(
        "Mail.ini", "[Smtp]\nServerName=mail.example.org\nServerPort=fünfundzwanzig\nServerUser=anna\n");
    TMailSettings settings;
    EXPECT_EQ(expectError([&] { ReadSmtpAccount(ini, settings); }),
              "'fünfundzwanzig' ist kein gültiger Integerwert");
    EXPECT_EQ(settings.ServerName, "mail.example.org");
    EXPECT_EQ(settings.ServerUser, "");
}

TEST(ReadSmtpAccount, LongerStoredPasswordIsUsedWhole) {
    // Only storing is limited to 255 characters; a hand-written longer value
    // is not cut, so the login gets exactly what the file says.
    TestHome home;
    const std::string password(300, 'k');
    const std::string ini =
        home.write("Mail.ini", "[Smtp]\nServerPassword=\"" + ScramblePassword(password) + "\"\n");
    TMailSettings settings;
    ReadSmtpAccount(ini, settings);
    EXPECT_EQ(settings.ServerPassword, password);
}

TEST(ReadSmtpAccount, JunkFileGivesDefaultsOrAClearError) {
    TestHome home;
    std::string junk(std::string("\0\x01\xff[Smtp\n=\n\x1a", 11));
    junk += std::string(1 << 20, 'x');  // a 1 MB line
    junk += "\n[Smtp]\nServerUser=anna\0bob\n";
    const std::string ini = home.write("Mail.ini", junk);
    TMailSettings settings;
    ReadSmtpAccount(ini, settings);
    EXPECT_EQ(settings.ServerName, "smtp.example.invalid");
    EXPECT_EQ(settings.ServerPort, 25);
    EXPECT_EQ(settings.ServerUser.substr(0, 4), "anna");
}

TEST(ReadSmtpAccount, EncryptionAndFingerprintAreReadOrStopTheStart) {
    struct Row {
        const char* name;
        std::string lines;
        int encryption;
        std::string fingerprint;  // "!" : the start stops
    };
    const std::string hex = "ab01" + std::string(60, 'c');
    const std::string normal = "AB:01:" + [] {
        std::string out;
        for (int i = 0; i < 30; ++i)
            out += i ? ":CC" : "CC";
        return out;
    }();
    const std::vector<Row> rows = {
        {"absent: as before", "", 0, ""},
        {"STARTTLS", "Encryption=1\n", 1, ""},
        {"SSL/TLS with blanks", "Encryption= 2 \n", 2, ""},
        {"unknown value", "Encryption=3\n", 0, "!"},
        {"a word", "Encryption=tls\n", 0, "!"},
        {"fingerprint without colons, lower case", "TlsFingerprint=" + hex + "\n", 0, normal},
        {"fingerprint one digit short", "TlsFingerprint=" + hex.substr(1) + "\n", 0, "!"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TestHome home;
        const std::string ini = home.write("Mail.ini", "[Smtp]\n" + row.lines);
        TMailSettings settings;
        if (row.fingerprint == "!") {
            EXPECT_THROW(ReadSmtpAccount(ini, settings), sendrix::Error);
            continue;
        }
        ReadSmtpAccount(ini, settings);
        EXPECT_EQ(settings.Encryption, row.encryption);
        EXPECT_EQ(settings.TlsFingerprint, row.fingerprint);
    }
}

#include "app/connection_test.h"

#include "mail/id_exception.h"
#include "mail/id_message.h"
#include "mail/id_smtp.h"
#include "merge/send_run.h"
#include "platform/clock.h"

namespace sendrix::app {

namespace {

std::string serverOf(const merge::SmtpAccount& account) {
    return account.host + ":" + std::to_string(account.port);
}

const char* encryptionName(int encryption) {
    return encryption == 1 ? "STARTTLS" : encryption == 2 ? "SSL/TLS" : "ohne Verschlüsselung";
}

// A client set up from the account, with the access token of an OAuth login
// fetched now (it may throw: no token, no test).
void prepare(mail::TIdSMTP& smtp, const merge::SmtpAccount& account) {
    merge::configureSmtpClient(smtp, account);
    const bool tokenLogin =
        account.authenticationType == mail::atXOAuth2 || account.authenticationType == mail::atOAuthBearer;
    if (tokenLogin && account.accessToken)
        smtp.SetAccessToken(account.accessToken());
}

// Ends a connection whose test has already failed: that failure is the
// verdict, not a failing "Quit".
void closeAfterFailure(mail::TIdSMTP& smtp) {
    try {
        smtp.Close();
    } catch (const Error&) {}
}

}  // namespace

ConnectionVerdict testSmtpConnection(const merge::SmtpAccount& account) {
    mail::TIdSMTP smtp;
    bool connected = false;
    try {
        prepare(smtp, account);
        smtp.Open();
        connected = true;
        const bool login = smtp.LogIn();
        smtp.Close();
        return {true, "Die Verbindung steht: " + serverOf(account) + ", " +
                          encryptionName(account.encryption) +
                          (login ? ", Anmeldung als " + account.user + " angenommen." : ", ohne Anmeldung.") +
                          " Es wurde keine Nachricht gesendet."};
    } catch (const mail::EIdProtocolReplyError& error) {
        closeAfterFailure(smtp);
        // After Open only the login can be refused.
        if (connected)
            return {false, "Der Server " + serverOf(account) + " hat die Anmeldung als " + account.user +
                               " abgelehnt: " + error.what() + "\r\nKontoname und Passwort prüfen."};
        return {false, "Keine Verbindung zu " + serverOf(account) + ": " + error.what()};
    } catch (const Error& error) {
        closeAfterFailure(smtp);
        return {false, "Keine Verbindung zu " + serverOf(account) + ": " + error.what()};
    }
}

void sendTestMessage(const merge::SmtpAccount& account, const std::string& name, const std::string& address) {
    mail::TIdSMTP smtp;
    const platform::SystemClock clock;
    prepare(smtp, account);
    smtp.SetClock(&clock);
    mail::TIdMessage message;
    message.From.SetNameAndAddress(name, address);
    message.Recipients.SetAddresses(address);
    message.Subject = "Sendrix: Testnachricht";
    message.ContentType = "text/plain";
    message.Body = {"Diese Nachricht hat Sendrix zum Test des E-Mail-Kontos gesendet.",
                    "Sie ist angekommen: Das Konto ist richtig eingerichtet."};
    mail::deliverOnce(smtp, message);
}

}  // namespace sendrix::app

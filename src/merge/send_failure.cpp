#include "merge/send_failure.h"

#include "mail/id_exception.h"
#include "mail/socket_error_map.h"

namespace sendrix::merge {

namespace {

const mail::EIdProtocolReplyError* replyError(const std::exception& error) {
    return dynamic_cast<const mail::EIdProtocolReplyError*>(&error);
}

// The enhanced status code class "5.x.y" of a reply line, e.g. "5.1.1";
// empty when the line has none.
std::string enhancedCode(const std::string& line) {
    const std::size_t blank = line.find_first_of(" -");
    if (blank == std::string::npos)
        return {};
    const std::size_t start = blank + 1;
    const std::size_t end = line.find(' ', start);
    const std::string word = line.substr(start, end == std::string::npos ? end : end - start);
    if (word.size() < 5 || (word[0] != '2' && word[0] != '4' && word[0] != '5') || word[1] != '.')
        return {};
    return word;
}

std::string recipientHint(int code, const std::string& enhanced, bool invalidAddress) {
    if (invalidAddress || code == 553 || enhanced == "5.1.3")
        return "Die Adresse ist ungültig; bitte die Schreibweise in der Empfängerliste prüfen.";
    if (enhanced == "5.1.1" || code == 550)
        return "Der Server kennt dieses Postfach nicht; bitte die Adresse prüfen.";
    if (enhanced.starts_with("5.7."))
        return "Der Server lehnt die Mail nach seinen Regeln ab (zum Beispiel Absenderadresse, "
               "Anmeldung oder Versandlimit des Anbieters).";
    if (code == 552 || enhanced == "5.3.4")
        return "Die Mail ist dem Server zu groß; bitte die Anhänge verkleinern.";
    return "Der Server hat die Mail für diesen Empfänger abgewiesen.";
}

std::string serverHint(const std::exception& error, bool inLogin) {
    if (const auto* socket = dynamic_cast<const mail::EIdSocketError*>(&error)) {
        switch (socket->ErrorNumber()) {
            case mail::kWsaEConnRefused:
                return "Der Server nimmt keine Verbindung an; bitte Servername und Port unter "
                       "Extras > Optionen prüfen.";
            case mail::kWsaETimedOut:
                return "Der Server antwortet nicht rechtzeitig; bitte Netzverbindung, Firewall "
                       "und Port prüfen.";
            case mail::kWsaHostNotFound:
            case mail::kWsaTryAgain:
            case mail::kWsaNoRecovery:
            case mail::kWsaNoData:
                return "Der Servername ist unbekannt; bitte die Schreibweise unter Extras > "
                       "Optionen und die Netzverbindung prüfen.";
            default: return "Die Verbindung zum Server ist gestört.";
        }
    }
    const auto* reply = replyError(error);
    if (inLogin || (reply && (reply->ReplyCode() == 535 || reply->ReplyCode() == 534)))
        return "Die Anmeldung wurde abgelehnt; bitte Konto und Kennwort unter Extras > Optionen "
               "prüfen.";
    if (reply && isTemporaryReply(reply->ReplyCode()))
        return "Der Server bittet, es später noch einmal zu versuchen.";
    return "Der Versand wurde abgebrochen.";
}

}  // namespace

bool isTemporaryReply(int code) {
    return code == 421 || code == 450 || code == 451 || code == 452 || code == 454;
}

FailureKind classifyFailure(const std::exception& error, bool inTransaction) {
    if (dynamic_cast<const mail::EIdInvalidEnvelopeAddress*>(&error))
        return FailureKind::Recipient;
    const auto* reply = replyError(error);
    if (!reply)
        return FailureKind::Run;
    if (isTemporaryReply(reply->ReplyCode()))
        return FailureKind::Temporary;
    if (inTransaction && reply->ReplyCode() >= 500 && reply->ReplyCode() <= 599)
        return FailureKind::Recipient;
    return FailureKind::Run;
}

std::string failureReply(const std::exception& error) {
    std::string text = error.what();
    for (char& c : text)
        if (c == '\r' || c == '\n' || c == '\t')
            c = ' ';
    return text;
}

std::string failureContext(const std::exception& error, FailureKind kind, bool inLogin,
                           const std::string& host, int port, const std::string& address) {
    if (kind == FailureKind::Recipient) {
        const auto* reply = replyError(error);
        const int code = reply ? reply->ReplyCode() : 0;
        const std::string enhanced = reply ? enhancedCode(reply->what()) : std::string();
        if (dynamic_cast<const mail::EIdSmtpUtf8NotOffered*>(&error))
            return "Empfänger " + address +
                   ": Der Server nimmt keine Adresse mit Zeichen außerhalb von ASCII vor dem @ an; bitte "
                   "eine andere Adresse des Empfängers verwenden.";
        const bool invalid = dynamic_cast<const mail::EIdInvalidEnvelopeAddress*>(&error);
        return "Empfänger " + address + ": " + recipientHint(code, enhanced, invalid);
    }
    // The archive or the log: their own texts name the file.
    if (!dynamic_cast<const mail::EIdException*>(&error))
        return {};
    return "Server " + host + ", Port " + std::to_string(port) + ": " + serverHint(error, inLogin);
}

}  // namespace sendrix::merge

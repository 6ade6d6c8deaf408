#include "mail/id_smtp.h"

#include <algorithm>
#include <exception>

#include "mail/envelope_address.h"
#include "mail/id_coder_3to4.h"
#include "mail/id_exception.h"
#include "mail/id_message.h"
#include "mail/idn_address.h"
#include "mail/memory_write_target.h"
#include "mail/socket_error_map.h"
#include "platform/visible_text.h"
#include "platform/ascii.h"

namespace sendrix::mail {

namespace {

// The address as the error message shows it, its control characters named.
std::string visible(const std::string& address) {
    std::string out;
    for (char c : address) {
        if (c == '\r')
            out += "<CR>";
        else if (c == '\n')
            out += "<LF>";
        else if (c == '\0')
            out += "<NUL>";
        else
            out += c;
    }
    return out;
}

// RFC 7628 3.1: "," and "=" in the gs2 authorization name are escaped.
std::string gs2Name(const std::string& user) {
    std::string out;
    for (char c : user) {
        if (c == ',')
            out += "=2C";
        else if (c == '=')
            out += "=3D";
        else
            out += c;
    }
    return out;
}

bool holdsControl(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return true;
    return false;
}

bool containsNoCase(const std::string& text, const std::string& upperWord) {
    return platform::asciiUppered(text).find(upperWord) != std::string::npos;
}

// Whether the upper-cased EHLO reply line names the extension `keyword`
// right behind its code ("250-STARTTLS", "250 SMTPUTF8"), alone or with
// parameters after a blank.
bool namesExtension(const std::string& line, std::string_view keyword) {
    return line.size() >= 4 + keyword.size() && line.compare(4, keyword.size(), keyword) == 0 &&
           (line.size() == 4 + keyword.size() || line[4 + keyword.size()] == ' ');
}

// An address with a domain outside ASCII that has no A-label cannot be
// written into an SMTP command; the reason comes from libidn2.
void checkDomainConvertible(const std::string& address) {
    const size_t at = address.rfind('@');
    if (at == std::string::npos)
        return;
    std::string reason;
    if (at + 1 < address.size() && AsciiDomain(std::string_view(address).substr(at + 1), &reason).empty())
        throw EIdInvalidEnvelopeAddress("Die E-Mail-Adresse \"" + platform::visibleText(address) +
                                        "\" hat keinen gültigen internationalen Domainnamen (" + reason +
                                        "); es wurde nichts gesendet.");
}

}  // namespace

std::string MechanismName(TAuthenticationType type) {
    switch (type) {
        case atLogin: return "LOGIN";
        case atPlain: return "PLAIN";
        case atXOAuth2: return "XOAUTH2";
        case atOAuthBearer: return "OAUTHBEARER";
        default: return "";
    }
}

void checkEnvelopeAddress(const std::string& address) {
    if (address.find_first_of(std::string("\r\n\0<>", 5)) != std::string::npos)
        throw EIdInvalidEnvelopeAddress("Die E-Mail-Adresse \"" + visible(address) +
                                        "\" enthält ein unzulässiges Zeichen (Zeilenende, "
                                        "NUL, \"<\" oder \">\"); es wurde nichts gesendet.");
}

std::string HeloName(std::string_view fqdn, std::string_view localIp) {
    const std::string name = platform::asciiLowered(fqdn);
    // RFC 5321 4.1.2: a domain is letters, digits, hyphens and dots. The
    // system's answer is not checked by anyone else, and a blank, a line
    // end or a "<" in it would change the command.
    const bool hostNameText =
        name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-.") == std::string::npos;
    const bool qualified = hostNameText && name.find('.') != std::string::npos && name.front() != '.' &&
                           name.back() != '.' && !name.starts_with("localhost") &&
                           !TIdStack::IsDottedQuad(name);
    if (qualified)
        return std::string(fqdn);
    return "[" + std::string(localIp.empty() ? "127.0.0.1" : localIp) + "]";
}

TIdSMTP::TIdSMTP() {
    SetPort(25);
    SetRecvBufferSize(8192);
}

TIdSMTP::~TIdSMTP() = default;

void TIdSMTP::SetPinnedFingerprint(const std::string& fingerprint) {
    if (fingerprint == m_pinnedFingerprint)
        return;
    m_pinnedFingerprint = fingerprint;
    // Sessions were trusted under the old pin; the next handshake is full.
    if (m_tlsContext)
        m_tlsContext->ForgetSessions();
}

std::string TIdSMTP::hint(const std::string& check) const {
    return "Server " + Host() + ":" + std::to_string(Port()) + " " + check;
}

void TIdSMTP::startTls() {
    if (!m_tlsContext)
        m_tlsContext = std::make_unique<TlsClientContext>();
    if (!m_sessionResumption)
        m_tlsContext->ForgetSessions();
    try {
        StartTls(*m_tlsContext, Host(), m_pinnedFingerprint);
    } catch (const EIdSocketError& error) {
        if (error.ErrorNumber() != kWsaETimedOut)
            throw;
        throw EIdSocketError(error.ErrorNumber(),
                             std::string(error.what()) + "\r\n" +
                                 hint("antwortet nicht auf den TLS-Aufbau – Verschlüsselung und Port in den "
                                      "Optionen prüfen"));
    }
}

void TIdSMTP::startTlsCommand(const std::string& host, bool extended) {
    // With STARTTLS set, nothing but EHLO and STARTTLS may go out in the
    // clear: without the extension the attempt ends here.
    if (!extended || !m_offersStartTls)
        throw EIdTlsError(
            "Der Server bietet kein STARTTLS an; es wurde nichts gesendet.\r\n" +
            hint("– Verschlüsselung \"SSL/TLS\" (Port 465) versuchen oder den Betreiber fragen"));
    if (SendCommand("STARTTLS", -1) != 220)
        throw EIdProtocolReplyError(
            ReplyCode(), LastReplyLine() + "\r\n" +
                             hint("lehnt STARTTLS ab – später erneut versuchen oder Verschlüsselung in den "
                                  "Optionen prüfen"));
    // RFC 3207 5 and the injection attacks of 2011: anything the server
    // "sent" after its 220 and before the handshake may come from someone
    // in the path and would be read as the answer to an encrypted command.
    FillInput(false, 0);
    if (!PendingInput().empty()) {
        DropConnection();  // not another word over a connection tampered with
        throw EIdTlsError(
            "Der Server hat nach seiner Zusage zu STARTTLS unverschlüsselte Daten gesendet; die "
            "Verbindung wurde abgebrochen.\r\n" +
            hint("– jemand im Netz könnte Befehle einschleusen; Netz und Server prüfen"));
    }
    startTls();
    // RFC 3207 4.2: forget what was learnt in the clear, ask again.
    m_authMechanisms.clear();
    m_offersStartTls = false;
    m_offersSmtpUtf8 = false;
    SendCommand("ehlo " + host, 250);
    collectMechanisms(ReplyLines());
}

void TIdSMTP::Open() {
    m_rsetAhead = false;
    // A line end or blank in a name would end or extend the EHLO command.
    checkHostName(Host(), "Der Servername");
    checkHostName(ownHostName(), "Der eigene Rechnername");
    TIdTCPClient::Open();
    try {
        if (m_tlsMode == TlsMode::Implicit)
            startTls();
        ReadReply({220});
        m_authMechanisms.clear();
        m_offersStartTls = false;
        m_offersSmtpUtf8 = false;
        m_offersPipelining = false;
        const std::string host = HeloName(ownFullyQualifiedName(), Binding().LocalIP());
        const bool extended = SendCommand("ehlo " + host, -1) == 250;
        if (extended)
            collectMechanisms(ReplyLines());
        else if (m_tlsMode != TlsMode::StartTls)
            // A server may answer EHLO with 500 (no service extensions):
            // introduce ourselves the old way.
            SendCommand("Helo " + host, 250);
        if (m_tlsMode == TlsMode::StartTls)
            startTlsCommand(host, extended);
    } catch (...) {
        Close();  // an error of its own leaves Open in place of the first
        throw;
    }
}

void TIdSMTP::collectMechanisms(const std::vector<std::string>& replyLines) {
    // The first line is the server's name and greeting, never a keyword.
    for (size_t i = 1; i < replyLines.size(); ++i) {
        const std::string line = platform::asciiUppered(replyLines[i]);
        if (namesExtension(line, "STARTTLS"))
            m_offersStartTls = true;
        if (namesExtension(line, "SMTPUTF8"))
            m_offersSmtpUtf8 = true;
        if (namesExtension(line, "PIPELINING"))
            m_offersPipelining = true;
        // "250-AUTH LOGIN" or "250 AUTH=LOGIN": the keyword right behind
        // the code and its separator; "250-X-AUTH LOGIN" does not count.
        if (line.find("AUTH") != 4 || line.size() < 9 || (line[8] != ' ' && line[8] != '='))
            continue;
        std::string rest = line.substr(9);
        for (char& c : rest)
            if (c == '=')
                c = ' ';
        while (!rest.empty()) {
            size_t blank = rest.find(' ');
            std::string word = rest.substr(0, blank);
            rest = blank == std::string::npos ? std::string() : rest.substr(blank + 1);
            if (!word.empty() &&
                std::find(m_authMechanisms.begin(), m_authMechanisms.end(), word) == m_authMechanisms.end())
                m_authMechanisms.push_back(word);
        }
    }
}

bool TIdSMTP::MechanismOffered(TAuthenticationType type) const {
    const std::string name = MechanismName(type);
    // Names are stored upper-cased, so this lookup ignores letter case.
    return !name.empty() &&
           std::find(m_authMechanisms.begin(), m_authMechanisms.end(), name) != m_authMechanisms.end();
}

bool TIdSMTP::LogIn() {
    switch (m_authenticationType) {
        case atLogin:
            // The texts of the 334 replies are not looked at: the name
            // always goes first and the password second.
            SendCommand("auth LOGIN", 334);
            SendCommand(EncodeBase64Text(m_userId), 334);
            SendCommand(EncodeBase64Text(m_password), 235);
            break;
        case atPlain:
            // RFC 4616: [authzid] NUL authcid NUL passwd, sent as the
            // initial response of RFC 4954.
            SendCommand("auth PLAIN " + EncodeBase64Text(std::string(1, '\0') + m_userId + '\0' + m_password),
                        235);
            break;
        case atXOAuth2:
        case atOAuthBearer: logInWithToken(); break;
        default: m_loggedIn = true; return false;
    }
    m_loggedIn = true;
    return true;
}

void TIdSMTP::logInWithToken() {
    // The fields are separated by ^A: one inside them would forge another.
    if (m_accessToken.empty() || holdsControl(m_accessToken) || holdsControl(m_userId))
        throw EIdException(
            "Das Zugriffstoken oder der Kontoname ist leer oder enthält Steuerzeichen; es "
            "wurde nichts gesendet.\r\n" +
            hint("– Token-Befehl und Kontoname in den Optionen prüfen"));
    std::string command;
    std::string retry;
    if (m_authenticationType == atXOAuth2) {
        command = "auth XOAUTH2 " + EncodeBase64Text("user=" + m_userId +
                                                     "\x01"
                                                     "auth=Bearer " +
                                                     m_accessToken + "\x01\x01");
        // The server's 334 carries its error as base64 JSON; an empty line
        // makes it end the exchange with its final code.
        retry = "";
    } else {
        // RFC 7628 3.1 with the host and port of this connection.
        command = "auth OAUTHBEARER " + EncodeBase64Text("n,a=" + gs2Name(m_userId) + ",\x01host=" + Host() +
                                                         "\x01port=" + std::to_string(Port()) +
                                                         "\x01"
                                                         "auth=Bearer " +
                                                         m_accessToken + "\x01\x01");
        // RFC 7628 3.2.3: after the error the client sends a lone ^A.
        retry = EncodeBase64Text("\x01");
    }
    if (SendCommand(command, -1) == 334)
        SendCommand(retry, -1);
    if (ReplyCode() != 235)
        throw EIdProtocolReplyError(
            ReplyCode(), LastReplyLine() + "\r\n" +
                             hint("nimmt das Zugriffstoken nicht an – Kontoname und Token-Befehl prüfen"));
}

SmtpEnvelope envelopeOf(const TIdMessage& message) {
    SmtpEnvelope envelope;
    envelope.from = message.From.Address();
    for (const TIdEMailAddressList* list : {&message.Recipients, &message.CCList, &message.BccList})
        for (const TIdEMailAddressItem& item : *list)
            envelope.recipients.push_back(item.Address());
    // A mailbox named in To and again in CC gets the message once.
    envelope.recipients = withoutRepeatedMailboxes(envelope.recipients);
    return envelope;
}

void checkEnvelope(const SmtpEnvelope& envelope) {
    checkEnvelopeAddress(envelope.from);
    // Without a recipient a server would take MAIL and then refuse DATA, or
    // a lenient one would take a message that goes nowhere.
    if (envelope.recipients.empty())
        throw EIdInvalidEnvelopeAddress("Die Nachricht hat keinen Empfänger; es wurde nichts gesendet.");
    checkDomainConvertible(envelope.from);
    for (const auto& address : envelope.recipients) {
        checkEnvelopeAddress(address);
        checkDomainConvertible(address);
        // The length limits hold for the domain as it goes out.
        checkRecipientAddress(WithAsciiDomain(address));
    }
}

void checkHeaderAddresses(const TIdMessage& message) {
    for (const TIdEMailAddressItem& item : message.ReplyTo)
        if (item.Address().find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
            throw EIdInvalidEnvelopeAddress("Die Antwortadresse \"" + visible(item.Address()) +
                                            "\" enthält ein Zeilenende oder NUL; es wurde nichts gesendet.");
}

bool needsSmtpUtf8(const SmtpEnvelope& envelope) {
    if (HasNonAsciiLocalPart(envelope.from))
        return true;
    return std::any_of(envelope.recipients.begin(), envelope.recipients.end(),
                       [](const std::string& address) { return HasNonAsciiLocalPart(address); });
}

namespace {

bool holdsAttachment(TIdMessage& message) {
    for (int i = 0; i < message.MessageParts.Count(); ++i)
        if (message.MessageParts.Items(i).Kind() == TIdMessagePartKind::Attachment)
            return true;
    return false;
}

}  // namespace

void TIdSMTP::Deliver(TIdMessage& message) {
    checkHeaderAddresses(message);
    const auto write = [&](IdWriteTarget& target) {
        SetMailAgentHeader(message);
        WriteMessageTo(target, message);
    };
    m_sentText.clear();
    // Attachments can be large: they are read from their files while they
    // go, unless the text is to be kept anyway.
    if (holdsAttachment(message) && !m_keepSentText) {
        deliverEnvelope(envelopeOf(message), [&] { write(*this); });
        return;
    }
    MemoryWriteTarget text;
    deliverEnvelope(
        envelopeOf(message), [&] { WriteText(text.Bytes()); }, [&] { write(text); });
    if (m_keepSentText)
        m_sentText = withoutDoubledDots(text.Bytes());
}

std::string withoutDoubledDots(std::string_view text) {
    // RFC 5321 4.5.2: the writer put one "." before every line that began
    // with "."; the server takes it away again.
    std::string out;
    out.reserve(text.size());
    bool lineStart = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(lineStart && text[i] == '.'))
            out += text[i];
        lineStart = text[i] == '\n';
    }
    return out;
}

void TIdSMTP::WriteMessageText(IdWriteTarget& target, TIdMessage& message) {
    checkHeaderAddresses(message);
    SetMailAgentHeader(message);
    WriteMessageTo(target, message);
}

void TIdSMTP::SetMailAgentHeader(TIdMessage& message) const {
    // An empty agent removes the entry, so no "X-Mailer" line is written.
    message.ExtraHeaders.SetHeaderValue("X-Mailer", m_mailAgent);
}

void TIdSMTP::checkSmtpUtf8(const SmtpEnvelope& envelope) const {
    if (m_offersSmtpUtf8)
        return;
    const auto check = [](const std::string& address) {
        if (HasNonAsciiLocalPart(address))
            throw EIdSmtpUtf8NotOffered(
                "Die E-Mail-Adresse \"" + platform::visibleText(address) +
                "\" hat vor dem @ Zeichen außerhalb von ASCII, und der Server bietet SMTPUTF8 "
                "nicht an; es wurde nichts gesendet.");
    };
    check(envelope.from);
    for (const std::string& address : envelope.recipients)
        check(address);
}

namespace {

// "530 5.7.0 Must issue a STARTTLS command first" (RFC 3207 4) to MAIL:
// what to change, for the error's second line; empty when the refusal
// stays as it is.
std::string mailFromCheck(const EIdProtocolReplyError& error, bool tlsActive, bool offersStartTls) {
    if (error.ReplyCode() != 530 || tlsActive)
        return {};
    return containsNoCase(error.what(), "STARTTLS") || offersStartTls
               ? "verlangt STARTTLS – Verschlüsselung in den Optionen einstellen"
               : "verlangt eine Anmeldung – Anmeldeart und Konto in den Optionen einstellen";
}

}  // namespace

void TIdSMTP::runPrepare(const std::function<void()>& prepare) {
    if (!prepare)
        return;
    try {
        prepare();
    } catch (...) {
        // The server's reply is still to come; nothing said now could be
        // taken for what it answers.
        DropConnection();
        m_loggedIn = false;
        throw;
    }
}

void TIdSMTP::sendEnvelope(const SmtpEnvelope& envelope, const std::string& mailFrom,
                           const std::function<void()>& prepare) {
    try {
        refuseEarlyReply();
        WriteLine(mailFrom);
        FlushOutput();
        runPrepare(prepare);
        ReadReply({250});
    } catch (const EIdProtocolReplyError& error) {
        const std::string check = mailFromCheck(error, TlsActive(), m_offersStartTls);
        if (check.empty())
            throw;
        // The server's line stays first, the second says what to change.
        throw EIdProtocolReplyError(530, std::string(error.what()) + "\r\n" + hint(check));
    }
    // 251 ("will forward") is a refusal too: only 250 is accepted.
    for (const auto& address : envelope.recipients)
        SendCommand("RCPT to:<" + WithAsciiDomain(address) + ">", 250);
    SendCommand("Data", 354, Timeouts().dataReplyMs);
}

bool TIdSMTP::pipelinedTransaction() const {
    // RFC 2920: the login is no part of a group; once done, the
    // transactions on the connection may go pipelined.
    return m_pipelining && m_offersPipelining && (m_authenticationType == atNone || m_loggedIn);
}

void TIdSMTP::SendRsetAhead() {
    m_rsetAhead = false;
    if (pipelinedTransaction() || !IsOpen() || InputWaiting())
        return;
    try {
        WriteLine("Rset");
        FlushOutput();
        m_rsetAhead = true;
    } catch (...) {
        // Nothing half-said may stay on a connection; the next message
        // opens a new one.
        DropConnection();
        m_loggedIn = false;
    }
}

bool TIdSMTP::takeRsetAhead() {
    if (!m_rsetAhead)
        return false;
    m_rsetAhead = false;
    ReadReply({});
    return true;
}

void TIdSMTP::sendEnvelopePipelined(const SmtpEnvelope& envelope, const std::string& mailFrom,
                                    const std::function<void()>& prepare) {
    // RFC 2920 3.1: "Data" ends the group; the replies come in the order of
    // the commands. The bytes are those of the dialogue one at a time.
    const bool rsetAnswered = takeRsetAhead();
    refuseEarlyReply();
    if (!rsetAnswered)
        WriteLine("Rset");
    WriteLine(mailFrom);
    for (const auto& address : envelope.recipients)
        WriteLine("RCPT to:<" + WithAsciiDomain(address) + ">");
    WriteLine("Data");
    FlushOutput();
    runPrepare(prepare);
    std::exception_ptr refusal;
    // The first refusal is kept; the replies after it are still read, so
    // that the connection stays in step for the next transaction. True
    // when the reply was one of `allowed`.
    const auto reply = [&](const std::vector<int>& allowed, int timeoutMs, bool mail) {
        try {
            ReadReply(allowed, timeoutMs);
            return true;
        } catch (const EIdProtocolReplyError& error) {
            if (refusal)
                return false;
            const std::string check = mail ? mailFromCheck(error, TlsActive(), m_offersStartTls) : "";
            refusal = check.empty() ? std::current_exception()
                                    : std::make_exception_ptr(EIdProtocolReplyError(
                                          530, std::string(error.what()) + "\r\n" + hint(check)));
            return false;
        }
    };
    bool dataTaken = false;
    try {
        if (!rsetAnswered)
            reply({}, kReplyDeadline, false);
        reply({250}, kReplyDeadline, true);
        for (std::size_t i = 0; i < envelope.recipients.size(); ++i)
            reply({250}, kReplyDeadline, false);
        dataTaken = reply({354}, Timeouts().dataReplyMs, false);
    } catch (...) {
        // The connection failed with replies outstanding; a refusal before
        // that is what the user must read.
        if (!refusal)
            throw;
    }
    if (!refusal)
        return;
    // A refused sender or recipient, and yet the server waits for the text:
    // only closing ends its data mode without delivering anything.
    if (dataTaken) {
        DropConnection();
        m_loggedIn = false;
    }
    std::rethrow_exception(refusal);
}

void TIdSMTP::deliverEnvelope(const SmtpEnvelope& envelope, const std::function<void()>& writeText,
                              const std::function<void()>& prepare) {
    checkEnvelope(envelope);
    checkSmtpUtf8(envelope);

    // RFC 6531 3.4: a local part outside ASCII travels only with the
    // SMTPUTF8 parameter; a domain always goes out as its A-label.
    const std::string mailFrom =
        "Mail from:<" + WithAsciiDomain(envelope.from) + ">" + (needsSmtpUtf8(envelope) ? " SMTPUTF8" : "");
    if (pipelinedTransaction()) {
        sendEnvelopePipelined(envelope, mailFrom, prepare);
    } else {
        if (!takeRsetAhead())
            SendCommand("Rset", -1);
        if (m_authenticationType != atNone && !m_loggedIn) {
            // Sending without the login that is set could be refused late or,
            // worse, accepted by a relay the user did not mean to use.
            if (!MechanismOffered(m_authenticationType)) {
                std::string offered;
                for (const auto& name : m_authMechanisms)
                    offered += (offered.empty() ? "" : " ") + name;
                std::string check = offered.empty() ? "bietet keine Anmeldung an" : "bietet an: " + offered;
                check +=
                    !TlsActive() && (m_offersStartTls || offered.empty())
                        ? " – Verschlüsselung in den Optionen einstellen (viele Server nehmen die Anmeldung "
                          "erst über TLS an)"
                        : " – Anmeldeart in den Optionen prüfen";
                throw EIdLoginNotOffered("Der Server bietet die Anmeldung " +
                                         MechanismName(m_authenticationType) +
                                         " nicht an; es wurde nichts gesendet.\r\n" + hint(check));
            }
            LogIn();
        }
        sendEnvelope(envelope, mailFrom, prepare);
    }
    try {
        writeText();
        // After 354 the server has nothing to say until the final ".": a
        // reply now (a doubled 250, a 554 sent ahead) leaves the dialogue
        // out of step, and whatever the client wrote next, "Quit" included,
        // would be message text.
        refuseEarlyReply();
    } catch (...) {
        // Everything up to a line holding only "." is text to the server,
        // commands included, so after half a text nothing can be said that
        // it would not take as text: the connection goes without the final
        // "." (RFC 5321 4.1.1.4), and a server drops a text it never saw end.
        DropConnection();
        m_loggedIn = false;
        throw;
    }
    if (m_beforeEndOfData) {
        try {
            m_beforeEndOfData();
        } catch (...) {
            // Without the "." the server drops the text (as above).
            DropConnection();
            m_loggedIn = false;
            throw;
        }
    }
    // RFC 5321 4.1.1.4: the text ends with a line holding only ".". The
    // dots that begin text lines were doubled where each line was written.
    SendCommand(".", 250, Timeouts().endOfDataReplyMs);
}

void TIdSMTP::Close() {
    m_rsetAhead = false;
    std::exception_ptr error;
    try {
        if (IsOpen())
            WriteLine("Quit");  // its reply is not awaited
    } catch (...) {
        error = std::current_exception();
    }
    try {
        TIdTCPConnection::Close();
    } catch (...) {
        if (!error)
            error = std::current_exception();
    }
    m_loggedIn = false;
    if (error)
        std::rethrow_exception(error);
}

void deliverAndClose(TIdSMTP& smtp, const std::function<void()>& transaction) {
    try {
        transaction();
    } catch (...) {
        try {
            smtp.Close();
        } catch (...) {
            // The refusal that ended the transaction is the error the user
            // must see; a failing goodbye after it adds nothing.
        }
        throw;
    }
    try {
        smtp.Close();
    } catch (const EIdException&) {
        // The server took the message with its 250 to the final "."; a
        // connection lost while saying goodbye does not undo that, and
        // reporting it as a failure would make the sender mail it twice.
    }
}

void deliverOnce(TIdSMTP& smtp, TIdMessage& message) {
    // A refused address opens no connection.
    checkEnvelope(envelopeOf(message));
    checkHeaderAddresses(message);
    smtp.Open();  // closes the connection itself when it fails
    deliverAndClose(smtp, [&] { smtp.Deliver(message); });
}

}  // namespace sendrix::mail

#include "mail/id_smtp.h"


#include <algorithm>
#include <exception>

#include "mail/id_coder_3to4.h"
#include "mail/id_exception.h"
#include "mail/id_message.h"
#include "platform/ascii.h"

namespace sendrix::mail {

namespace {

// The address as the error message shows it, its control characters named.
std::string visible(const std::string& address)
{
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

}  // namespace

void checkEnvelopeAddress(const std::string& address)
{
    if (address.find_first_of(std::string("\r\n\0<>", 5)) != std::string::npos)
        throw EIdInvalidEnvelopeAddress("Die E-Mail-Adresse \"" + visible(address) +
                                        "\" enthält ein unzulässiges Zeichen (Zeilenende, "
                                        "NUL, \"<\" oder \">\"); es wurde nichts gesendet.");
}

TIdSMTP::TIdSMTP()
{
    SetPort(25);
    SetRecvBufferSize(8192);
}

TIdSMTP::~TIdSMTP() = default;

void TIdSMTP::Open()
{
    TIdTCPClient::Open();
    try {
        ReadReply({220});
        m_authMechanisms.clear();
        const std::string host = Stack().LocalHostName();
        if (SendCommand("ehlo " + host, -1) == 250)
            collectMechanisms(ReplyLines());
        else
            // A server may answer EHLO with 500 (no service extensions):
            // introduce ourselves the old way.
            SendCommand("Helo " + host, 250);
    } catch (...) {
        Close();  // an error of its own leaves Open in place of the first
        throw;
    }
}

void TIdSMTP::collectMechanisms(const std::vector<std::string>& replyLines)
{
    // The first line is the server's name and greeting, never a keyword.
    for (size_t i = 1; i < replyLines.size(); ++i) {
        const std::string line = platform::asciiUppered(replyLines[i]);
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

bool TIdSMTP::MechanismOffered(TAuthenticationType type) const
{
    if (type != atLogin)
        return false;
    // Names are stored upper-cased, so this lookup ignores letter case.
    return std::find(m_authMechanisms.begin(), m_authMechanisms.end(), "LOGIN") != m_authMechanisms.end();
}

bool TIdSMTP::LogIn()
{
    if (m_authenticationType != atLogin) {
        m_loggedIn = true;
        return false;
    }
    // The texts of the 334 replies are not looked at: the name always goes
    // first and the password second.
    SendCommand("auth LOGIN", 334);
    SendCommand(EncodeBase64Text(m_userId), 334);
    SendCommand(EncodeBase64Text(m_password), 235);
    m_loggedIn = true;
    return true;
}

void TIdSMTP::Deliver(TIdMessage& message)
{
    SmtpEnvelope envelope;
    envelope.from = message.From.Address();
    for (const TIdEMailAddressList* list : {&message.Recipients, &message.CCList, &message.BccList})
        for (const TIdEMailAddressItem& item : *list)
            envelope.recipients.push_back(item.Address());
    deliverEnvelope(envelope, [&] {
        SetMailAgentHeader(message);
        WriteMessage(message);
    });
}

void TIdSMTP::WriteMessageText(IdWriteTarget& target, TIdMessage& message)
{
    SetMailAgentHeader(message);
    WriteMessageTo(target, message);
}

void TIdSMTP::SetMailAgentHeader(TIdMessage& message) const
{
    // An empty agent removes the entry, so no "X-Mailer" line is written.
    message.ExtraHeaders.SetHeaderValue("X-Mailer", m_mailAgent);
}

void TIdSMTP::deliverEnvelope(const SmtpEnvelope& envelope, const std::function<void()>& writeText)
{
    checkEnvelopeAddress(envelope.from);
    for (const auto& address : envelope.recipients)
        checkEnvelopeAddress(address);

    SendCommand("Rset", -1);
    if (m_authenticationType != atNone && MechanismOffered(m_authenticationType) && !m_loggedIn)
        LogIn();
    SendCommand("Mail from:<" + envelope.from + ">", 250);
    // 251 ("will forward") is a refusal too: only 250 is accepted.
    for (const auto& address : envelope.recipients)
        SendCommand("RCPT to:<" + address + ">", 250);
    SendCommand("Data", 354, Timeouts().dataReplyMs);
    writeText();
    // RFC 5321 4.1.1.4: the text ends with a line holding only ".". The
    // dots that begin text lines were doubled where each line was written.
    SendCommand(".", 250, Timeouts().endOfDataReplyMs);
}

void TIdSMTP::Close()
{
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

void deliverAndClose(TIdSMTP& smtp, const std::function<void()>& transaction)
{
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

void deliverOnce(TIdSMTP& smtp, TIdMessage& message)
{
    smtp.Open();  // closes the connection itself when it fails
    deliverAndClose(smtp, [&] { smtp.Deliver(message); });
}

}  // namespace sendrix::mail

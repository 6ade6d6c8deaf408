#pragma once
// The SMTP client: one connection per message, SMTP without pipelining, in
// the clear, with STARTTLS (RFC 3207) or with TLS from the first byte
// (RFC 8314), optional login (AUTH LOGIN, PLAIN, XOAUTH2, OAUTHBEARER). Open
// greets and introduces itself, Deliver runs one mail transaction, Close
// ends the connection. Every command waits for its whole reply; an
// unexpected code raises EIdProtocolReplyError with the server's last reply
// line.
//
// Errors of the encrypted paths and of the newer logins keep their fixed
// first line and add a second one naming the server and what to check
// ("Server smtp.gmx.net:587 verlangt STARTTLS – Verschlüsselung in den
// Optionen einstellen").
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mail/id_message_client.h"

namespace sendrix::mail {

// The values of "Mail.ini" [Smtp] "SMTPAuthenticationType".
enum TAuthenticationType { atNone = 0, atLogin = 1, atPlain = 2, atXOAuth2 = 3, atOAuthBearer = 4 };

// The SASL name of a login kind ("LOGIN", ...); "" for atNone.
std::string MechanismName(TAuthenticationType type);

// The addresses of one transaction: MAIL FROM and every RCPT TO in order.
struct SmtpEnvelope {
    std::string from;
    std::vector<std::string> recipients;
};

class TIdSMTP : public TIdMessageClient {
public:
    // Port 25, RecvBufferSize 8192, no login.
    TIdSMTP();
    ~TIdSMTP() override;

    TAuthenticationType AuthenticationType() const { return m_authenticationType; }
    void SetAuthenticationType(TAuthenticationType type) { m_authenticationType = type; }
    const std::string& UserId() const { return m_userId; }
    void SetUserId(const std::string& userId) { m_userId = userId; }
    const std::string& Password() const { return m_password; }
    void SetPassword(const std::string& password) { m_password = password; }
    // The OAuth 2 access token for atXOAuth2 and atOAuthBearer (fetched by
    // the caller for each connection).
    void SetAccessToken(const std::string& token) { m_accessToken = token; }

    TlsMode Encryption() const { return m_tlsMode; }
    void SetEncryption(TlsMode mode) { m_tlsMode = mode; }
    // SHA-256 fingerprint of a certificate trusted besides the trust store
    // (any form normalizeFingerprint takes; empty: none).
    void SetPinnedFingerprint(const std::string& fingerprint);
    // Whether a connection may resume the TLS session of the previous one
    // to the same server (on by default; saves the full handshake).
    void SetSessionResumption(bool on) { m_sessionResumption = on; }
    // Drops the TLS context with its trust store and the sessions it keeps:
    // the next encrypted connection reads the trust store as it is then and
    // checks the server's certificate in a full handshake. A send run
    // begins with it, so that a change of trust between runs counts.
    void ForgetTlsContext() { m_tlsContext.reset(); }
    // Whether a transaction may send "Rset", MAIL, the RCPTs and "Data" in
    // one go when the server names PIPELINING (RFC 2920) and no login is
    // pending; off by default: each command waits for its reply.
    void SetPipelining(bool on) { m_pipelining = on; }
    // Whether the server named PIPELINING in its last EHLO reply.
    bool OffersPipelining() const { return m_offersPipelining; }
    // Whether the open connection is encrypted / resumed a TLS session.
    bool Encrypted() const { return TlsActive(); }
    bool SessionResumed() const { return TlsResumed(); }
    // The message's "X-Mailer" value; empty removes the header.
    const std::string& MailAgent() const { return m_mailAgent; }
    void SetMailAgent(const std::string& agent) { m_mailAgent = agent; }
    // The mechanisms the server named in its EHLO reply (upper case, each once).
    const std::vector<std::string>& AuthMechanisms() const { return m_authMechanisms; }
    bool LoggedIn() const { return m_loggedIn; }
    // Whether the server named SMTPUTF8 (RFC 6531) in its last EHLO reply.
    bool OffersSmtpUtf8() const { return m_offersSmtpUtf8; }

    // The "Mail.ini" [Smtp] "Timeout" value in whole seconds: 1..3600
    // replaces the connect limit and the limit of every reply (the replies
    // to "Data" and "." keep their longer defaults when those are longer);
    // any other value restores all defaults (IdTimeouts). Takes effect at
    // the next wait.
    void SetTimeoutSeconds(int seconds) { SetTimeouts(IdTimeouts::FromSetting(seconds)); }

    // Connects, expects the 220 greeting, sends "ehlo " + HeloName of the
    // host's fully qualified name and the connection's local address, and
    // falls back to "Helo " when that is not answered 250. On any
    // failure Close has run (its own error, if any, replaces the first).
    // Throws EIdAlreadyConnected when already open.
    // Implicit TLS: the handshake comes right after connecting, before the
    // greeting. STARTTLS: after the EHLO reply "STARTTLS", 220, handshake,
    // EHLO again; the login mechanisms come from the new reply only. A
    // server without STARTTLS, bytes after its 220 (RFC 3207 5: they could
    // have been injected by someone in the path), a failed handshake or an
    // untrusted certificate raise EIdTlsError / EIdCertificateError, a
    // refusal of STARTTLS EIdProtocolReplyError; nothing more is sent then.
    void Open() override;

    // One mail transaction for the message: "Rset", the login when one is
    // set, MAIL, RCPT for To, CC, BCC (each mailbox once), "Data", the
    // message text, ".". Domains go out as their A-labels; MAIL carries
    // "SMTPUTF8" when a local part is outside ASCII. Throws
    // EIdInvalidEnvelopeAddress before sending anything when checkEnvelope
    // refuses the envelope, EIdSmtpUtf8NotOffered (naming the address) when
    // such a local part meets a server without SMTPUTF8, and
    // EIdLoginNotOffered (before MAIL) when the server does not offer the
    // login that is set; leaves the connection open on failure, except
    // when writing the text fails: the connection is then dropped without
    // the final "." and without "Quit", so no half message is taken.
    // A message without attachments is written into memory while the
    // server answers MAIL and goes out from there after the 354; a failure
    // of that writing drops the connection the same way, before RCPT.
    virtual void Deliver(TIdMessage& message);
    // Called in every Deliver right before the final ".", once the text is
    // written: from then on the server may hold the message even when no
    // reply comes, which a caller keeping a record of its sends must note
    // first. When it throws, the connection is dropped without the "." and
    // the error passes on. Empty: nothing is called.
    void SetBeforeEndOfData(std::function<void()> hook) { m_beforeEndOfData = std::move(hook); }

    // Whether Deliver keeps the text of each message it sends, as the
    // server stores it (dots no longer doubled), for SentText; off by
    // default. A message with attachments is then written into memory
    // first too.
    void SetKeepSentText(bool on) { m_keepSentText = on; }
    // The text of the last message Deliver sent while SetKeepSentText was
    // on: what the server took with its 250 to the final ".".
    const std::string& SentText() const { return m_sentText; }

    // Writes the "Rset" that begins the next transaction now, right after
    // a delivery, so that the server answers it while the caller prepares
    // the next message; the next Deliver reads that reply instead of
    // sending "Rset" again. The bytes on the wire are the same; only one
    // command is ever unanswered. Does nothing when the connection is
    // closed or something from the server waits (the next Deliver finds it
    // as before), and when the next transaction goes pipelined ("Rset" is
    // part of its group then); when the write fails the connection is
    // dropped, so the next message opens a new one.
    void SendRsetAhead();

    // The message text Deliver sends, into `target`: the "X-Mailer" line of
    // MailAgent, the "Date" of the client's clock, dots doubled.
    void WriteMessageText(IdWriteTarget& target, TIdMessage& message);

    // The same transaction for a given envelope; `writeText` writes the
    // message text (with its dots doubled) through this connection. A
    // refusal raises the first refused step's reply; when it comes while
    // the server has taken "Data" (pipelined), the connection is dropped,
    // since only that ends its data mode without delivering. `prepare`,
    // when given, runs once MAIL (or the pipelined group) is on the wire,
    // before its reply is read: work for the time the server takes to
    // answer. When it throws, the connection is dropped and its error
    // raised.
    void deliverEnvelope(const SmtpEnvelope& envelope, const std::function<void()>& writeText,
                         const std::function<void()>& prepare = {});

    // The login that is set (true); nothing for atNone (false). LOGIN and
    // PLAIN send UserId and Password as they are (UTF-8); XOAUTH2 and
    // OAUTHBEARER the access token. A refusal raises EIdProtocolReplyError.
    virtual bool LogIn();
    // Whether the mechanism of `type` is in AuthMechanisms (false for atNone).
    virtual bool MechanismOffered(TAuthenticationType type) const;

    // Writes "Quit" (reply not read) when open, then closes the socket on
    // every path; LoggedIn becomes false. A failed "Quit" is raised after.
    void Close() override;

private:
    void SetMailAgentHeader(TIdMessage& message) const;
    void checkSmtpUtf8(const SmtpEnvelope& envelope) const;
    // MAIL, the RCPTs and "Data" of deliverEnvelope, one reply at a time
    // or pipelined.
    void sendEnvelope(const SmtpEnvelope& envelope, const std::string& mailFrom,
                      const std::function<void()>& prepare);
    void sendEnvelopePipelined(const SmtpEnvelope& envelope, const std::string& mailFrom,
                               const std::function<void()>& prepare);
    // Runs `prepare` (when given); when it throws, the connection is
    // dropped with the server's reply still to come, and the error raised.
    void runPrepare(const std::function<void()>& prepare);
    // Whether the next transaction sends its commands in one go.
    bool pipelinedTransaction() const;
    // Reads the reply to the "Rset" of SendRsetAhead: true when one was
    // sent, false when the transaction must send its own.
    bool takeRsetAhead();
    void collectMechanisms(const std::vector<std::string>& replyLines);
    void startTls();
    void startTlsCommand(const std::string& host, bool extended);
    void logInWithToken();
    // "Server host:port " + `check`, the second line of an error.
    std::string hint(const std::string& check) const;

    TAuthenticationType m_authenticationType = atNone;
    std::string m_userId;
    std::string m_password;
    std::string m_accessToken;
    TlsMode m_tlsMode = TlsMode::None;
    std::string m_pinnedFingerprint;
    std::unique_ptr<TlsClientContext> m_tlsContext;
    bool m_offersStartTls = false;
    bool m_offersSmtpUtf8 = false;
    bool m_offersPipelining = false;
    bool m_pipelining = false;
    bool m_sessionResumption = true;
    std::string m_mailAgent;
    std::function<void()> m_beforeEndOfData;
    bool m_keepSentText = false;
    std::string m_sentText;
    std::vector<std::string> m_authMechanisms;
    bool m_loggedIn = false;
    // SendRsetAhead wrote "Rset"; its reply is still to be read.
    bool m_rsetAhead = false;
};

// The name a client introduces itself with (RFC 5321 4.1.4): `fqdn` when it
// is a fully qualified domain name (a dot, not "localhost" or an address),
// else the address literal "[localIp]". Receivers refuse a bare host name
// (Postfix's reject_non_fqdn_helo_hostname: 504).
std::string HeloName(std::string_view fqdn, std::string_view localIp);

// The message text as the server stores it: the dot doubled at the start
// of a line (RFC 5321 4.5.2) taken away again.
std::string withoutDoubledDots(std::string_view text);

// Throws EIdInvalidEnvelopeAddress when `address` holds CR, LF, NUL, "<" or
// ">", which would smuggle a command or a parameter into the dialogue.
void checkEnvelopeAddress(const std::string& address);

// The envelope of the message: its sender, then To, CC and BCC in order,
// each mailbox once.
SmtpEnvelope envelopeOf(const TIdMessage& message);
// Throws EIdInvalidEnvelopeAddress when the envelope has no recipient, when
// an address fails checkEnvelopeAddress, when its domain is outside ASCII
// and has no A-label, or when a recipient (its domain as the A-label) fails
// checkRecipientAddress (mail/envelope_address.h).
void checkEnvelope(const SmtpEnvelope& envelope);
// Throws EIdInvalidEnvelopeAddress naming the reply address when one holds
// CR, LF or NUL: no part of the envelope, it would still go out as one
// Reply-To line holding a second address of the sender's choosing.
void checkHeaderAddresses(const TIdMessage& message);
// Whether an address of the envelope has a local part outside ASCII, which
// only a server offering SMTPUTF8 takes.
bool needsSmtpUtf8(const SmtpEnvelope& envelope);

// Runs `transaction` (Deliver or deliverEnvelope) on the open client, then
// Close. When the transaction throws, Close runs and the transaction's error
// is raised, whatever Close raises. When it returns, an EIdException from
// Close is not raised: the server has taken the message.
void deliverAndClose(TIdSMTP& smtp, const std::function<void()>& transaction);

// One message over a connection of its own: checkEnvelope and
// checkHeaderAddresses, Open, Deliver,
// Close by the rules of deliverAndClose. Throws what Open or Deliver raise.
void deliverOnce(TIdSMTP& smtp, TIdMessage& message);

}  // namespace sendrix::mail

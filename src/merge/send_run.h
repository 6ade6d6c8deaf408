#pragma once
// The send run: one message per marked recipient row, each over its own
// SMTP connection, with the status line, the protocol, the progress bar,
// the send log and the sent-objects archive. Nothing here catches an error
// to carry on: the first failure ends the run and reaches the caller.
#include <string>
#include <vector>

#include "mail/id_message.h"
#include "mail/id_smtp.h"
#include "merge/mailing.h"
#include "platform/clock.h"

namespace sendrix::merge {

// The parts of the window that the run brings up to date at once.
enum class SendView { StatusBar, Protocol, PageControl };

// What the run shows; the main window implements it on its controls.
class SendObserver {
public:
    virtual ~SendObserver() = default;
    virtual void setStatusText(const std::string& text) = 0;  // second status panel
    virtual void addProtocolLine(const std::string& text) = 0;
    virtual void clearProtocol() = 0;
    virtual void showProtocolPage() = 0;
    virtual void showProgress(int maximum) = 0;  // position 0, visible
    virtual void setProgressPosition(int position) = 0;
    virtual void hideProgress() = 0;
    // The staging text: the body of the message being sent.
    virtual void setStagingText(const std::vector<std::string>& lines) = 0;
    virtual void repaint(SendView view) = 0;
};

inline constexpr const char* kRunFinishedText = "Sendrix durchgeführt.";

// "<folder>" for a sent-objects setting: empty (no archive) when the value
// is blank; one beginning with ".\" or "./" lies below `programFolder`
// (ending in "/"), its backslashes made "/"; any other value as it stands.
std::string sentObjectsFolder(const std::string& sentObjects, const std::string& programFolder);

class SendRun {
public:
    // All references must outlive the run. `logFile` is the send log.
    SendRun(mail::TIdMessage& message, mail::TIdSMTP& smtp, SendObserver& observer,
            const platform::Clock& clock, std::string logFile);

    // Sends `body` to `address` (several when comma-separated) with the
    // mailing's fields and the account. A blank address returns at once
    // (nothing shown, logged or sent). Otherwise: status and protocol line,
    // the log line, the message fields, Open, Deliver, Close, and the
    // "versendet worden" line. Throws the transport's or the log's error;
    // the connection is closed then. `subject` replaces the mailing's when
    // given (a personalised one).
    void sendToAddress(const Mailing& mailing, const SmtpAccount& account,
                       const std::vector<std::string>& body, const std::string& address,
                       int number, const std::string* subject = nullptr);

    // The list-send message of `row` (personal subject, body and
    // attachments) to `address` instead of the row's own, as message 1: the
    // test mail of a list.
    void sendRowToAddress(const Mailing& mailing, const SmtpAccount& account,
                          const RecipientRow& row, const std::string& address);

    // Dry run: from now on every message is written as "NNNN.eml" (the
    // running number, four digits) into `folder`, byte for byte what the
    // server would store, instead of being sent; no send log line and no
    // archive. The folder is created when missing. Empty: send again.
    void setDryRunFolder(std::string folder) { m_dryRunFolder = std::move(folder); }

    // The list send after its confirmation: the archive (when
    // `archiveFolder` is not empty), progress bar, protocol start, one
    // message per marked row (merge/personal_message.h: subject, body and
    // attachments filled from the row; the row's own files are added to the
    // message's parts for that message only), the final status text (when
    // `showFinishedText`), progress bar hidden. Returns the number of
    // messages handed to the server.
    int runList(const Mailing& mailing, const SmtpAccount& account,
                const std::string& archiveFolder, bool showFinishedText);

    // Fills the outgoing message's fields for one address, converted to
    // Windows-1252 (characters without a Windows-1252 byte become "?").
    // Attachment parts stay as they are.
    void fillMessage(const Mailing& mailing, const std::vector<std::string>& body,
                     const std::string& address, const std::string* subject = nullptr);

    // Host, port, login, encryption, pinned certificate and time limits of
    // the client from the account (the access token comes per connection).
    void configureClient(const SmtpAccount& account);

private:
    // Writes the filled message into the dry-run folder; returns the path.
    std::string writeMessageFile(int number);

    mail::TIdMessage& m_message;
    mail::TIdSMTP& m_smtp;
    SendObserver& m_observer;
    const platform::Clock& m_clock;
    std::string m_logFile;
    std::string m_dryRunFolder;
    // Looked up once per run: the log names the same user on every line.
    std::string m_userName;
};

}  // namespace sendrix::merge

#pragma once
// The send run: one message per marked recipient row, with the status line,
// the protocol, the progress bar, the send log, the sent-objects archive
// and the result file. It is the one loop for the window and the console:
// it reports to its observer and asks it at decision points (go on after a
// refused recipient, stop requested). Its policies:
// - a refusal that concerns one recipient (5xx to MAIL, RCPT, DATA or ".",
//   an invalid envelope address) fails that row; the observer decides
//   whether the next row goes;
// - a temporary refusal (421, 450, 451, 452, 454) is tried again after
//   30 s, 2 min and 5 min, then fails the row;
// - an error that would hit every row (connection, greeting, login, the
//   log, the archive) ends the run and reaches the caller;
// - messages per connection (RSET between them) and messages per minute
//   from the account; the waits go through RunTime, so tests never sleep.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "mail/id_message.h"
#include "mail/id_smtp.h"
#include "merge/mailing.h"
#include "merge/personal_message.h"
#include "merge/run_record.h"
#include "merge/run_time.h"
#include "merge/send_result.h"
#include "merge/sent_copy.h"
#include "platform/clock.h"
#include "platform/error.h"

namespace sendrix::merge {

// The parts of the window that the run brings up to date at once.
enum class SendView { StatusBar, Protocol, PageControl };

// What the run shows and asks; the main window implements it on its
// controls. The run may call it from a thread of its own (see the window).
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
    // "12 von 300": marked rows done and marked rows in all.
    virtual void setProgressCount(int done, int total) { (void)done, (void)total; }
    // The outcome of one grid row as it becomes known (Waiting before a
    // further try, then Delivered or Failed).
    virtual void rowOutcome(const RowResult& result) { (void)result; }
    // A refusal that concerns one recipient: `question` ends in "Mit dem
    // nächsten Empfänger fortfahren?". True: the run goes on with the next
    // row; false: it stops with the refusal as its error.
    virtual bool continueAfterRefusal(const std::string& question) {
        (void)question;
        return false;
    }
    // True once the user asked to stop: the run ends after the message in
    // flight, and a wait (retry, pace) ends at once.
    virtual bool stopRequested() { return false; }
};

inline constexpr const char* kRunFinishedText = "Sendrix durchgeführt.";

// The error that ends a run: the transport's first line as it always was,
// a second line naming the server and port or the recipient with a hint.
class SendRunError : public Error {
public:
    using Error::Error;
};

// How a list send ended.
struct RunSummary {
    int marked = 0;        // marked rows
    int delivered = 0;     // messages the server took
    int failed = 0;        // rows refused (the run went on)
    bool stopped = false;  // ended early at the user's request
    std::string resultFile;
    // Rows whose message may or may not have arrived (left out, or the
    // connection broke after their final "."), by address.
    std::vector<std::string> uncertain;
    // Every marked row with an address was delivered.
    bool complete() const { return !stopped && failed == 0 && uncertain.empty(); }
};

// How a list send writes its run record (merge/run_record.h).
struct RecordPlan {
    RunRecordWriter* writer = nullptr;  // null: no record
    // Empty: a new run of `fingerprint`; else the id of the run in the
    // writer's file that this send continues: its delivered rows are left
    // out, and so are its uncertain ones unless `resendUncertain`.
    std::string continueRun;
    std::string fingerprint;
    std::string listFile;
    bool resendUncertain = false;
};

// "<folder>" for a sent-objects setting: empty (no archive) when the value
// is blank; one beginning with ".\" or "./" lies below `programFolder`
// (ending in "/"), its backslashes made "/"; any other value as it stands.
std::string sentObjectsFolder(const std::string& sentObjects, const std::string& programFolder);

class SendRun {
public:
    // All references must outlive the run. `logFile` is the send log;
    // `time` serves the waits between tries and of the pace limit.
    SendRun(mail::TIdMessage& message, mail::TIdSMTP& smtp, SendObserver& observer,
            const platform::Clock& clock, std::string logFile, RunTime& time = steadyRunTime());
    ~SendRun();
    SendRun(const SendRun&) = delete;
    SendRun& operator=(const SendRun&) = delete;

    // Sends `body` to `address` (several when comma-separated) with the
    // mailing's fields and the account. A blank address returns at once
    // (nothing shown, logged or sent). Otherwise: status and protocol line,
    // the log line, the message fields, Open, Deliver, Close, and the
    // "versendet worden" line (a temporary refusal is not tried again).
    // Throws SendRunError (or the log's error) when it was not delivered;
    // the connection is closed then. `subject` replaces the mailing's when
    // given (a personalised one).
    void sendToAddress(const Mailing& mailing, const SmtpAccount& account,
                       const std::vector<std::string>& body, const std::string& address, int number,
                       const std::string* subject = nullptr);

    // The list-send message of `row` (personal subject, body and
    // attachments) to `address` instead of the row's own, as message 1: the
    // test mail of a list.
    void sendRowToAddress(const Mailing& mailing, const SmtpAccount& account, const RecipientRow& row,
                          const std::string& address);

    // Dry run: from now on every message is written as "NNNN.eml" (the
    // running number, four digits) into `folder`, byte for byte what the
    // server would store, instead of being sent; no send log line, no
    // archive, no result file, and the rows keep their marks. The folder is
    // created when missing. Empty: send again.
    void setDryRunFolder(std::string folder) { m_dryRunFolder = std::move(folder); }

    // Where each delivered message's copy goes (merge/sent_copy.h); null,
    // the default: no copy. The run begins the copy before its first row
    // (the protocol says where copies go), hands it every delivered
    // message's text and goes on while the copy is made, and ends it with
    // the run (waiting for the copies still on their way). A failed copy
    // adds ", keine Kopie in Gesendet: <reason>" to its row (status column
    // again, protocol, result file, record). Must outlive the runs.
    void setSentCopy(SentCopy* copy) { m_sentCopy = copy; }

    // The run record of the next runList: an event before each final "."
    // and after each outcome, the result file made from it. A record that
    // cannot be written ends the run before the next message goes. A dry
    // run writes none.
    void setRecord(RecordPlan plan) { m_record = std::move(plan); }

    // The list send after its confirmation: the archive (when
    // `archiveFolder` is not empty), progress bar, protocol start, one
    // message per marked row (merge/personal_message.h: subject, body and
    // attachments filled from the row; the row's own files are added to the
    // message's parts for that message only), the result file in `archiveFolder` (else in
    // `resultFolder`) named in the protocol, the final status text (when
    // `showFinishedText`), progress bar hidden. A stop request ends it
    // after the message in flight, saying in protocol and status how many
    // went and how many remain. Throws SendRunError for an error that ends
    // the run (and for a refusal the observer does not want to go on
    // after), once the result file is written.
    RunSummary runList(const Mailing& mailing, const SmtpAccount& account, const std::string& archiveFolder,
                       const std::string& resultFolder, bool showFinishedText);

    // Fills the outgoing message's fields for one address, converted to
    // Windows-1252 (characters without a Windows-1252 byte become "?").
    // Attachment parts stay as they are.
    void fillMessage(const Mailing& mailing, const std::vector<std::string>& body, const std::string& address,
                     const std::string* subject = nullptr);

    // Host, port, login, encryption, pinned certificate, time limits and pipelining of
    // the client from the account (the access token comes per connection).
    void configureClient(const SmtpAccount& account);

    // The waits before the second, third and fourth try of a temporarily
    // refused message, in seconds.
    static constexpr int kRetryWaitSeconds[] = {30, 120, 300};

private:
    // One row's message with its further tries (`retry`). Returns Delivered, Failed
    // (m_failure then holds the error) or NotSent (stopped while waiting).
    // Throws SendRunError for an error that ends the run.
    RowResult deliver(const Mailing& mailing, const SmtpAccount& account,
                      const std::vector<std::string>& body, const std::string& address, int number, int row,
                      const std::string* subject, bool retry);
    // Writes the filled message into the dry-run folder; returns the path.
    std::string writeMessageFile(int number);
    // The dry run's stand-in for a delivery: the file and its protocol line.
    void writeDryRunMessage(const Mailing& mailing, const std::vector<std::string>& body,
                            const std::string& address, int number, const std::string* subject);
    // Waits for the pace limit; false when a stop request ended the wait.
    bool waitForPace(const SmtpAccount& account);
    void announce(const Mailing& mailing, const std::string& address, int number, const std::string* subject);
    // Ends the connection; a failing goodbye adds nothing to what happened.
    void closeQuietly();
    // Gives every attachment of the message the size its file had when the
    // run first sent it, so a file that changes or vanishes during the run
    // stops it (the message writer checks).
    void pinAttachmentSizes();
    bool stopRequested();
    // Appends an event to the record, when there is one.
    void record(RecordEvent::Kind kind, int row, const std::string& address, const std::string& text);
    // Forces the record to disk before a wait.
    void syncRecord();
    // Begins the Sent copy when it has not begun, saying so in the protocol.
    void beginSentCopy();
    // Hands the message just delivered to the Sent copy.
    void copyToSent(int row, const std::string& address);
    // Waits for the copies on their way and ends the Sent copy.
    void endSentCopy();
    // Records and shows the copies that failed so far; `results` (the
    // rows of a list send, null for one address) get their reasons.
    void reportCopyFaults(std::vector<RowResult>* results);

    mail::TIdMessage& m_message;
    // The row being sent of a list: its CC and BCC (with the row's own
    // columns) replace the mailing's; null for a typed address.
    const PersonalMessage* m_rowMessage = nullptr;
    mail::TIdSMTP& m_smtp;
    SendObserver& m_observer;
    const platform::Clock& m_clock;
    std::string m_logFile;
    std::string m_dryRunFolder;
    RunTime& m_time;
    // Looked up once per run: the log names the same user on every line.
    std::string m_userName;
    // Transactions on the open connection.
    int m_onConnection = 0;
    // When the last message was started, for the pace limit.
    bool m_started = false;
    std::chrono::milliseconds m_lastStart{0};
    // The error text of the last failed row: its reply and the context.
    std::string m_failure;
    // The reply column of the row whose failure ended the run (a refused
    // login), for the result file; set by deliver before it throws.
    std::string m_stopReply;
    // Attachment path -> its size when the run first used it.
    std::map<std::string, std::uint64_t> m_attachmentSizes;
    RecordPlan m_record;
    SentCopy* m_sentCopy = nullptr;
    bool m_copyBegun = false;
    // The row whose message is in flight, for the event before its ".".
    int m_recordRow = 0;
    std::string m_recordAddress;
    // Set once the final "." of the message in flight is about to go.
    bool m_endOfDataSent = false;
    // Rows that became uncertain in this run (the connection broke after
    // their "."), by address.
    std::vector<std::string> m_uncertain;
};

}  // namespace sendrix::merge

#include "merge/send_run.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <iterator>

#include "mail/id_exception.h"
#include "mail/id_message_id.h"
#include "mail/message_file_target.h"
#include "mail/wire_charset.h"
#include "merge/body_composition.h"
#include "merge/html_images.h"
#include "merge/personal_message.h"
#include "merge/send_failure.h"
#include "merge/placeholders.h"
#include "merge/send_log.h"
#include "merge/sent_archive.h"
#include "merge/unsubscribe.h"
#include "platform/ascii.h"
#include "platform/file.h"
#include "platform/system_info.h"
#include "platform/text_codec.h"
#include "platform/text_file.h"
#include "platform/text_trim.h"

namespace sendrix::merge {

namespace {

mail::TIdMessagePriority priorityAt(int index) {
    switch (index) {
        case 0: return mail::mpHighest;
        case 1: return mail::mpHigh;
        case 3: return mail::mpLow;
        case 4: return mail::mpLowest;
        default: return mail::mpNormal;
    }
}

// Gives the outgoing message one recipient's attachments while it lives: the
// common attachment parts carry their names with the row's values, the row's
// own files are appended. Everything is put back on every path, so the next
// message starts from the attachments the user added.
class RecipientAttachments {
public:
    RecipientAttachments(mail::TIdMessage& message, const Mailing& mailing, const RecipientRow& row)
        : m_parts(message.MessageParts), m_commonCount(m_parts.Count()) {
        for (int i = 0; i < m_commonCount; ++i) {
            mail::TIdMessagePart& part = m_parts.Items(i);
            if (part.Kind() != mail::TIdMessagePartKind::Attachment)
                continue;
            auto& attachment = static_cast<mail::TIdAttachment&>(part);
            if (placeholderNames(attachment.FileName()).empty())
                continue;
            m_renamed.push_back({i, attachment.FileName()});
            attachment.SetFileName(attachmentPath(mailing, row, attachment.FileName()));
        }
        for (const std::string& file : rowAttachments(mailing, row))
            m_parts.AddAttachment(file);
    }
    ~RecipientAttachments() {
        while (m_parts.Count() > m_commonCount)
            m_parts.Delete(m_parts.Count() - 1);
        for (const auto& [index, name] : m_renamed)
            static_cast<mail::TIdAttachment&>(m_parts.Items(index)).SetFileName(name);
    }
    RecipientAttachments(const RecipientAttachments&) = delete;
    RecipientAttachments& operator=(const RecipientAttachments&) = delete;

private:
    mail::TIdMessageParts& m_parts;
    int m_commonCount;
    std::vector<std::pair<int, std::string>> m_renamed;
};

std::string fourDigits(int number) {
    std::string digits = std::to_string(number);
    return digits.size() < 4 ? std::string(4 - digits.size(), '0') + digits : digits;
}

}  // namespace

std::string sentObjectsFolder(const std::string& sentObjects, const std::string& programFolder) {
    if (platform::trimControl(sentObjects).empty())
        return {};
    return platform::resolveStoredPath(sentObjects, programFolder);
}

SendRun::SendRun(mail::TIdMessage& message, mail::TIdSMTP& smtp, SendObserver& observer,
                 const platform::Clock& clock, std::string logFile, RunTime& time)
    : m_message(message),
      m_smtp(smtp),
      m_observer(observer),
      m_clock(clock),
      m_logFile(std::move(logFile)),
      m_time(time),
      m_userName(platform::CurrentUserName()) {}

SendRun::~SendRun() {
    closeQuietly();
    // The message outlives the run; the next run, a preview or a single
    // send takes the files as they are then.
    for (int i = 0; i < m_message.MessageParts.Count(); ++i) {
        mail::TIdMessagePart& part = m_message.MessageParts.Items(i);
        if (part.Kind() == mail::TIdMessagePartKind::Attachment)
            static_cast<mail::TIdAttachment&>(part).SetExpectedSize(std::nullopt);
    }
}

void SendRun::pinAttachmentSizes() {
    for (int i = 0; i < m_message.MessageParts.Count(); ++i) {
        mail::TIdMessagePart& part = m_message.MessageParts.Items(i);
        if (part.Kind() != mail::TIdMessagePartKind::Attachment)
            continue;
        auto& attachment = static_cast<mail::TIdAttachment&>(part);
        auto known = m_attachmentSizes.find(attachment.FileName());
        if (known == m_attachmentSizes.end()) {
            // A file that cannot be found now fails when it is opened.
            struct stat info {};
            if (::stat(attachment.FileName().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
                attachment.SetExpectedSize(std::nullopt);
                continue;
            }
            // A size of 0 may be no size at all (/proc, some network file
            // systems): the bytes the first reading gives are the size then.
            const std::uint64_t size = info.st_size != 0 ? std::uint64_t(info.st_size)
                                                         : platform::bytesInFile(attachment.FileName());
            known = m_attachmentSizes.emplace(attachment.FileName(), size).first;
        }
        attachment.SetExpectedSize(known->second);
    }
}

void SendRun::fillMessage(const Mailing& mailing, const std::vector<std::string>& body,
                          const std::string& address, const std::string* subject) {
    mail::TIdMessage& m = m_message;
    // Program text as it is: the message writer chooses each text's wire
    // charset, so no character is lost on the way.
    m.Body = body;
    m.InlineImages.clear();
    if (mailing.body.html) {
        // A local image goes with the message, never as a path.
        EmbeddedImages embedded = embedLocalImages(m.Body, mailing.bodyFolder);
        m.Body = std::move(embedded.lines);
        m.InlineImages = std::move(embedded.images);
        nameSentCharset(m.Body);
    }
    // The name is never parsed: a "<" or an inner quote in it stays text.
    m.From.SetNameAndAddress(mailing.displayName, mailing.senderAddress);
    m.Recipients.SetAddresses(address);
    m.Subject = subject ? *subject : mailing.subject;
    m.ContentType = mailing.body.html ? "text/html; charset=\"Windows-1252\"" : "text/plain";
    m.Priority = priorityAt(mailing.priorityIndex);
    m.CCList.SetAddresses(m_rowMessage ? m_rowMessage->cc : mailing.cc);
    m.BccList.SetAddresses(m_rowMessage ? m_rowMessage->bcc : mailing.bcc);
    m.ReplyTo.SetAddresses(mailing.replyTo);
    // The pre-flight check refused a faulty address; an empty value removes
    // a header the reused message still holds.
    const std::string unsubscribe = platform::trimControl(mailing.unsubscribeAddress);
    m.ExtraHeaders.SetHeaderValue("List-Unsubscribe", unsubscribe.empty() || !unsubscribeAddressFault(unsubscribe).empty()
                                                          ? std::string()
                                                          : unsubscribeHeaderValue(unsubscribe));
    if (mailing.receipt)
        m.ReceiptRecipient = m.From;
    else
        m.ReceiptRecipient.Clear();
}

void configureSmtpClient(mail::TIdSMTP& smtp, const SmtpAccount& account) {
    if (account.authenticationType >= mail::atNone && account.authenticationType <= mail::atOAuthBearer)
        smtp.SetAuthenticationType(mail::TAuthenticationType(account.authenticationType));
    smtp.SetEncryption(account.encryption == 1   ? mail::TlsMode::StartTls
                       : account.encryption == 2 ? mail::TlsMode::Implicit
                                                 : mail::TlsMode::None);
    smtp.SetPinnedFingerprint(account.pinnedFingerprint);
    // One TLS context for the run: its connections resume each other's
    // session, and the next run trusts what the system trusts then.
    smtp.ForgetTlsContext();
    smtp.SetUserId(account.user);
    smtp.SetPassword(account.password);
    smtp.SetHost(account.host);
    smtp.SetPort(account.port);
    smtp.SetTimeouts(mail::IdTimeouts::FromSetting(account.timeoutSeconds));
    smtp.SetPipelining(account.pipelining);
}

void SendRun::configureClient(const SmtpAccount& account) {
    configureSmtpClient(m_smtp, account);
    m_smtp.SetClock(&m_clock);
    m_smtp.SetKeepSentText(m_sentCopy != nullptr);
}

std::string SendRun::writeMessageFile(int number) {
    if (!platform::directoryExists(m_dryRunFolder) && !platform::createDirectories(m_dryRunFolder))
        throw platform::fileFailure("Der Ordner " + m_dryRunFolder + " kann nicht angelegt werden", errno,
                                    platform::ReasonAt::AfterColon);
    mail::MessageBytesTarget target;
    m_smtp.WriteMessageText(target, m_message);
    const std::string path = m_dryRunFolder + "/" + fourDigits(number) + ".eml";
    platform::replaceFileAtomically(path, target.Bytes(), "In " + path + " kann nicht geschrieben werden");
    return path;
}

bool SendRun::stopRequested() {
    return m_observer.stopRequested();
}

void SendRun::record(RecordEvent::Kind kind, int row, const std::string& address, const std::string& text) {
    if (!m_record.writer)
        return;
    RecordEvent event;
    event.when = m_clock.now();
    event.kind = kind;
    event.row = row;
    event.address = address;
    event.text = text;
    if (kind == RecordEvent::Kind::FinalDot || kind == RecordEvent::Kind::Delivered)
        event.messageId = m_message.MsgId;
    m_record.writer->append(event);
}

void SendRun::syncRecord() {
    if (m_record.writer)
        m_record.writer->sync();
}

void SendRun::beginSentCopy() {
    if (!m_sentCopy || m_copyBegun)
        return;
    m_copyBegun = true;
    m_observer.addProtocolLine(platform::longTime(m_clock.now()) + ": " + m_sentCopy->begin());
    m_observer.repaint(SendView::Protocol);
}

void SendRun::copyToSent(int row, const std::string& address) {
    beginSentCopy();
    m_sentCopy->store(row, address, m_smtp.SentText());
}

void SendRun::reportCopyFaults(std::vector<RowResult>* results) {
    if (!m_sentCopy)
        return;
    for (const CopyFault& fault : m_sentCopy->faults()) {
        record(RecordEvent::Kind::NoCopy, fault.row, fault.address, fault.reason);
        m_observer.addProtocolLine(platform::longTime(m_clock.now()) + ": Keine Kopie der Mail an " +
                                   fault.address + " in Gesendet: " + fault.reason);
        if (!results)
            continue;
        for (RowResult& result : *results)
            if (result.row == fault.row && result.state == RowResult::State::Delivered) {
                result.copyFault = fault.reason;
                m_observer.rowOutcome(result);
            }
    }
}

void SendRun::endSentCopy() {
    if (m_sentCopy && m_copyBegun)
        m_sentCopy->end();
    m_copyBegun = false;
}

void SendRun::closeQuietly() {
    m_onConnection = 0;
    try {
        m_smtp.Close();
    } catch (...) {
        // After a 250 to the final "." a connection lost while saying
        // goodbye does not undo the delivery (reporting it would make the
        // sender mail it twice); after a refusal the refusal is what counts.
    }
}

bool SendRun::waitForPace(const SmtpAccount& account) {
    if (account.messagesPerMinute > 0 && m_started) {
        const std::chrono::milliseconds interval{(60000 + account.messagesPerMinute - 1) /
                                                 account.messagesPerMinute};
        const std::chrono::milliseconds until = m_lastStart + interval;
        const std::chrono::milliseconds left = until - m_time.now();
        if (left > std::chrono::milliseconds::zero()) {
            const long seconds = static_cast<long>((left.count() + 999) / 1000);
            m_observer.setStatusText(platform::longTime(m_clock.now()) + ": Versandlimit " +
                                     std::to_string(account.messagesPerMinute) +
                                     " Mails pro Minute, nächste Mail um " +
                                     platform::longTime(platform::addSeconds(m_clock.now(), seconds)));
            m_observer.repaint(SendView::StatusBar);
            syncRecord();
            if (!m_time.waitUntil(until, [this] { return stopRequested(); }))
                return false;
        }
    }
    m_started = true;
    m_lastStart = m_time.now();
    return true;
}

void SendRun::announce(const Mailing& mailing, const std::string& address, int number,
                       const std::string* subject) {
    const std::string started = platform::longTime(m_clock.now()) + ": Mail wird an " + address +
                                " versendet (" + std::to_string(number) + ")";
    m_observer.setStatusText(started);
    m_observer.addProtocolLine(started);
    m_observer.repaint(SendView::StatusBar);

    appendSendLogLine(m_logFile, sendLogLine(m_clock.now(), number, m_userName, address,
                                             subject ? *subject : mailing.subject));
}

RowResult SendRun::deliver(const Mailing& mailing, const SmtpAccount& account,
                           const std::vector<std::string>& body, const std::string& address, int number,
                           int row, const std::string* subject, bool retry) {
    RowResult result;
    result.row = row;
    result.address = address;
    const int perConnection = std::max(1, account.messagesPerConnection);
    m_stopReply.clear();
    for (std::size_t attempt = 0;; ++attempt) {
        if (!waitForPace(account))
            return result;
        announce(mailing, address, number, subject);
        if (attempt == 0)
            fillMessage(mailing, body, address, subject);
        pinAttachmentSizes();
        if (m_record.writer) {
            // Known before the "." goes, so the record can name the message.
            m_message.MsgId = mail::NewMessageId(m_message.From.Address());
            m_recordRow = row;
            m_recordAddress = address;
        }
        m_endOfDataSent = false;

        bool opened = false;
        bool loginNeeded = false;
        try {
            if (!m_smtp.IsOpen()) {
                // A refused address opens no connection; on an open one
                // Deliver checks the envelope before it says anything.
                mail::checkEnvelope(mail::envelopeOf(m_message));
                mail::checkHeaderAddresses(m_message);
                m_onConnection = 0;
                // A token is short-lived: fetched anew for every connection.
                const auto type = m_smtp.AuthenticationType();
                if ((type == mail::atXOAuth2 || type == mail::atOAuthBearer) && account.accessToken)
                    m_smtp.SetAccessToken(account.accessToken());
                m_smtp.Open();  // closes the connection itself when it fails
            }
            opened = true;
            loginNeeded = m_smtp.AuthenticationType() != mail::atNone &&
                          m_smtp.MechanismOffered(m_smtp.AuthenticationType()) && !m_smtp.LoggedIn();
            m_smtp.Deliver(m_message);
        } catch (const std::exception& error) {
            const bool inLogin = opened && loginNeeded && !m_smtp.LoggedIn();
            const FailureKind kind = classifyFailure(error, opened && !inLogin);
            const std::string context =
                failureContext(error, kind, inLogin, account.host, account.port, address);
            m_failure = error.what();
            if (!context.empty())
                m_failure += "\n" + context;
            result.reply = failureReply(error);
            // A server's refusal (a login refused) is the reply of the row
            // it stopped; a lost connection is no reply.
            if (dynamic_cast<const mail::EIdProtocolReplyError*>(&error))
                m_stopReply = result.reply;
            result.when = m_clock.now();
            // After the "." only the server's answer says what happened;
            // without one, nobody knows whether the message arrived.
            if (m_endOfDataSent && !dynamic_cast<const mail::EIdProtocolReplyError*>(&error)) {
                record(RecordEvent::Kind::Uncertain, row, address, result.reply);
                m_uncertain.push_back(address);
                result.state = RowResult::State::Uncertain;
                m_observer.rowOutcome(result);
            } else if (kind == FailureKind::Temporary && retry && attempt < std::size(kRetryWaitSeconds)) {
                record(RecordEvent::Kind::Temporary, row, address, result.reply);
            } else if (kind != FailureKind::Run) {
                record(RecordEvent::Kind::Refused, row, address, result.reply);
            }
            // A refused transaction leaves the connection usable: the next
            // one begins with RSET.
            const bool keepOpen = kind == FailureKind::Recipient && ++m_onConnection < perConnection;
            if (!keepOpen)
                closeQuietly();

            const std::string now = platform::longTime(m_clock.now());
            if (kind == FailureKind::Temporary && retry && attempt < std::size(kRetryWaitSeconds)) {
                const int wait = kRetryWaitSeconds[attempt];
                const std::string line = now + ": Mail an " + address + " vorläufig abgewiesen (" +
                                         result.reply + "), nächster Versuch um " +
                                         platform::longTime(platform::addSeconds(m_clock.now(), wait));
                m_observer.setStatusText(line);
                m_observer.addProtocolLine(line);
                m_observer.repaint(SendView::StatusBar);
                result.state = RowResult::State::Waiting;
                m_observer.rowOutcome(result);
                syncRecord();
                if (!m_time.waitUntil(m_time.now() + std::chrono::seconds(wait),
                                      [this] { return stopRequested(); })) {
                    result.state = RowResult::State::NotSent;
                    return result;
                }
                continue;
            }
            // The status keeps naming the attempt, as it always did; the
            // error box or the next row follows at once.
            m_observer.addProtocolLine(now + ": Mail an " + address + " nicht versendet: " + result.reply);
            // A refused certificate keeps its class: the window offers to
            // trust it.
            if (dynamic_cast<const mail::EIdCertificateError*>(&error))
                throw;
            if (kind == FailureKind::Run)
                throw SendRunError(m_failure);
            result.state = RowResult::State::Failed;
            return result;
        }
        // Right after the reply, before anything else can fail or end.
        record(RecordEvent::Kind::Delivered, row, address, m_smtp.LastReplyLine());
        if (++m_onConnection >= perConnection)
            closeQuietly();

        result.state = RowResult::State::Delivered;
        result.messageId = m_message.MsgId;
        result.reply.clear();  // a refusal before a later try is history
        result.when = m_clock.now();

        const std::string done =
            platform::longTime(result.when) + ": Mail ist an " + address + " versendet worden.";
        m_observer.setStatusText(done);
        m_observer.repaint(SendView::StatusBar);
        m_observer.addProtocolLine(done);
        // The delivery stands whatever happens to its copy.
        if (m_sentCopy)
            copyToSent(row, address);
        return result;
    }
}

void SendRun::sendToAddress(const Mailing& mailing, const SmtpAccount& account,
                            const std::vector<std::string>& body, const std::string& address, int number,
                            const std::string* subject) {
    if (platform::trimControl(address).empty())
        return;

    if (!m_dryRunFolder.empty()) {
        writeDryRunMessage(mailing, body, address, number, subject);
        return;
    }

    configureClient(account);
    // One message: the connection ends with it, whatever the account allows.
    SmtpAccount single = account;
    single.messagesPerConnection = 1;
    // A single message is not tried again: its sender is waiting for it.
    RowResult result;
    try {
        result = deliver(mailing, single, body, address, number, 0, subject, false);
    } catch (...) {
        endSentCopy();
        throw;
    }
    endSentCopy();
    reportCopyFaults(nullptr);
    closeQuietly();
    if (result.state == RowResult::State::Failed)
        throw SendRunError(m_failure);
    if (result.state == RowResult::State::NotSent)
        throw SendRunError("Der Versand wurde abgebrochen; die Mail an " + address +
                           " ist nicht versendet worden.");
}

void SendRun::writeDryRunMessage(const Mailing& mailing, const std::vector<std::string>& body,
                                 const std::string& address, int number, const std::string* subject) {
    fillMessage(mailing, body, address, subject);
    pinAttachmentSizes();
    m_smtp.SetClock(&m_clock);
    const std::string path = writeMessageFile(number);
    const std::string done = platform::longTime(m_clock.now()) + ": Mail an " + address + " ist als " + path +
                             " gespeichert worden.";
    m_observer.setStatusText(done);
    m_observer.addProtocolLine(done);
    m_observer.repaint(SendView::StatusBar);
}

void SendRun::sendRowToAddress(const Mailing& mailing, const SmtpAccount& account, const RecipientRow& row,
                               const std::string& address) {
    const PersonalMessage message = personalMessage(mailing, row);
    m_observer.setStagingText(message.body);
    const RecipientAttachments attachments(m_message, mailing, row);
    m_rowMessage = &message;
    try {
        sendToAddress(mailing, account, message.body, address, 1, &message.subject);
    } catch (...) {
        m_rowMessage = nullptr;
        throw;
    }
    m_rowMessage = nullptr;
}

namespace {

// The start to the second, "-2", "-3" ... when a run of the record began
// in the same second.
std::string recordRunId(const RunRecordFile& file, const platform::LocalTime& start) {
    using platform::TwoDigits;
    const std::string stamp = std::to_string(start.year) + TwoDigits(start.month) + TwoDigits(start.day) + "-" +
                              TwoDigits(start.hour) + TwoDigits(start.minute) + TwoDigits(start.second);
    std::string id = stamp;
    for (int counter = 2;; ++counter) {
        const bool taken =
            std::any_of(file.runs.begin(), file.runs.end(), [&](const RecordedRun& run) { return run.id == id; });
        if (!taken)
            return id;
        id = stamp + "-" + std::to_string(counter);
    }
}

std::string countText(int delivered, int marked, int remaining) {
    return std::to_string(delivered) + " von " + std::to_string(marked) + " versendet, " +
           std::to_string(remaining) + " noch zu senden";
}

}  // namespace

RunSummary SendRun::runList(const Mailing& mailing, const SmtpAccount& account,
                            const std::string& archiveFolder, const std::string& resultFolder,
                            bool showFinishedText) {
    RunSummary summary;
    const platform::LocalTime start = m_clock.now();
    const bool dryRun = !m_dryRunFolder.empty();
    if (dryRun)
        m_record.writer = nullptr;
    m_uncertain.clear();
    // A continuation first: its delivered rows are known before any is counted.
    const RecordedRun* earlier = nullptr;
    if (m_record.writer && !m_record.continueRun.empty()) {
        RecordEvent event;
        event.when = start;
        event.kind = RecordEvent::Kind::Continue;
        event.run = m_record.continueRun;
        m_record.writer->append(event);
        earlier = &m_record.writer->run();
    }
    if (!archiveFolder.empty() && !dryRun)
        writeSentArchive(archiveFolder, start, mailing.subject, mailing.body.body);

    const int rowCount = static_cast<int>(mailing.rows.size()) + 1;
    m_observer.showProgress(rowCount);

    m_observer.clearProtocol();
    m_observer.addProtocolLine("Beginn der Mailübertragung: " + platform::shortDate(start) + " " +
                               platform::longTime(start));
    m_observer.showProtocolPage();
    m_observer.repaint(SendView::PageControl);

    // A row the continued run delivered to is no part of this send.
    const auto leftOut = [&](int r, const RecipientRow& row) {
        return row.ok != kSendMark || (earlier && earlier->deliveredTo(r, row.email));
    };
    std::vector<RowResult> results;
    int blank = 0;
    for (int r = 1; r < rowCount; ++r) {
        const RecipientRow& row = mailing.rows[r - 1];
        if (leftOut(r, row))
            continue;
        RowResult result;
        result.row = r;
        result.address = row.email;
        if (platform::trimControl(row.email).empty()) {
            result.state = RowResult::State::NoAddress;
            ++blank;
        } else if (earlier && !m_record.resendUncertain && earlier->uncertain(r, row.email)) {
            // Sent again, it could arrive twice; the caller names it.
            result.state = RowResult::State::Uncertain;
            ++blank;
        }
        results.push_back(result);
    }
    summary.marked = static_cast<int>(results.size());
    // Rows still to go over the wire, so that the next one's "Rset" can go
    // ahead while it is prepared.
    auto toSend = std::count_if(results.begin(), results.end(),
                                [](const RowResult& r) { return r.state == RowResult::State::NotSent; });
    const std::string folder = archiveFolder.empty() ? resultFolder : archiveFolder;
    // A dry run sends nothing, so it has no results.
    if (earlier)
        summary.resultFile = earlier->resultFile;
    else if (!folder.empty() && !dryRun)
        summary.resultFile = resultFileName(folder, start, mailing.subject);
    if (m_record.writer && !earlier) {
        RecordEvent event;
        event.when = start;
        event.kind = RecordEvent::Kind::Start;
        event.run = recordRunId(m_record.writer->contents(), start);
        event.fingerprint = m_record.fingerprint;
        event.toSend = static_cast<int>(toSend);
        event.resultFile = summary.resultFile;
        event.listFile = m_record.listFile;
        event.subject = mailing.subject;
        m_record.writer->append(event);
    }
    if (m_record.writer)
        m_smtp.SetBeforeEndOfData([this] {
            record(RecordEvent::Kind::FinalDot, m_recordRow, m_recordAddress, {});
            m_endOfDataSent = true;
        });
    const auto remaining = [&] { return summary.marked - summary.delivered - blank; };
    // The connection ends and the result file is written on every way out.
    const auto finish = [&] {
        closeQuietly();
        endSentCopy();
        reportCopyFaults(&results);
        m_smtp.SetRememberLookups(false);
        m_smtp.SetBeforeEndOfData({});
        if (m_record.writer)
            m_message.MsgId.clear();  // later messages get new ones again
        summary.uncertain.insert(summary.uncertain.end(), m_uncertain.begin(), m_uncertain.end());
        if (m_record.writer)
            m_record.writer->sync();
        if (summary.resultFile.empty())
            return;
        writeResultFile(summary.resultFile, m_record.writer ? m_record.writer->run().results(results) : results,
                        mailing.sourceRows);
        m_observer.addProtocolLine("Ergebnisdatei: " + summary.resultFile);
    };

    configureClient(account);
    // One lookup of the server and of this host for the whole run, not one
    // for each of its connections.
    m_smtp.SetRememberLookups(true);
    if (!dryRun && toSend > 0)
        beginSentCopy();
    m_started = false;
    m_observer.setProgressCount(0, summary.marked);
    const ListBody body(mailing.body, mailing.extraTitles);
    PersonalMessage message;  // refilled for each row, its storage kept
    m_rowMessage = &message;
    struct ForgetRow {
        const PersonalMessage*& row;
        ~ForgetRow() { row = nullptr; }
    } forgetRow{m_rowMessage};
    int number = 1;
    std::size_t index = 0;
    try {
        for (int r = 1; r < rowCount; ++r) {
            const RecipientRow& row = mailing.rows[r - 1];
            // The staging text is empty wherever no row's body stands in it.
            // A row's body replaces the last one in place: emptied first,
            // every line of it would be made anew for every row.
            if (row.ok != kSendMark) {
                m_observer.setStagingText({});
                continue;
            }
            if (leftOut(r, row))
                continue;
            RowResult& result = results[index++];
            if (result.state == RowResult::State::Uncertain) {
                record(RecordEvent::Kind::Skipped, r, row.email, "unklar, ob die Mail angekommen ist");
                summary.uncertain.push_back(row.email);
                ++number;
                continue;
            }
            if (stopRequested()) {
                m_observer.setStagingText({});
                summary.stopped = true;
                break;
            }
            try {
                personalMessage(mailing, row, body, message);
            } catch (...) {
                m_observer.setStagingText({});
                throw;
            }
            m_observer.setStagingText(message.body);
            const RecipientAttachments attachments(m_message, mailing, row);
            if (result.state != RowResult::State::NoAddress && dryRun) {
                // Nothing goes out: the row keeps its mark.
                writeDryRunMessage(mailing, message.body, row.email, number, &message.subject);
                ++summary.delivered;
            } else if (result.state == RowResult::State::NoAddress) {
                record(RecordEvent::Kind::NoAddress, r, {}, {});
            } else {
                try {
                    result =
                        deliver(mailing, account, message.body, row.email, number, r, &message.subject, true);
                } catch (...) {
                    // The row stays not sent, but the result file says why.
                    result.reply = m_stopReply;
                    throw;
                }
                // The next row's transaction begins while that row is
                // prepared; after a refusal the run may stop instead.
                const bool nextFollows = --toSend > 0 && result.state == RowResult::State::Delivered;
                // The server answers the next "Rset" meanwhile.
                if (nextFollows && m_onConnection > 0 && !stopRequested())
                    m_smtp.SendRsetAhead();
                m_observer.rowOutcome(result);
                // Or, once the outcome is shown (and a stop asked on seeing
                // it is known), a new connection's handshake and greeting
                // arrive meanwhile; not before a pace wait, which the
                // connection would spend idle.
                if (nextFollows && m_onConnection == 0 && account.messagesPerMinute <= 0 && !stopRequested())
                    m_smtp.ConnectAhead();
                if (result.state == RowResult::State::NotSent) {
                    summary.stopped = true;
                    break;
                }
                if (result.state == RowResult::State::Delivered)
                    ++summary.delivered;
                if (result.state == RowResult::State::Failed)
                    ++summary.failed;
            }
            ++number;
            reportCopyFaults(&results);
            m_observer.setProgressPosition(r + 1);
            m_observer.setProgressCount(static_cast<int>(index), summary.marked);
            m_observer.addProtocolLine("");
            m_observer.repaint(SendView::Protocol);
            if (result.state == RowResult::State::Failed &&
                !m_observer.continueAfterRefusal(m_failure + "\nMit dem nächsten Empfänger fortfahren?"))
                throw SendRunError(m_failure);
        }
    } catch (...) {
        m_observer.addProtocolLine(platform::longTime(m_clock.now()) +
                                   ": Versand wegen eines Fehlers beendet: " +
                                   countText(summary.delivered, summary.marked, remaining()) + ".");
        try {
            std::string text;
            try {
                throw;
            } catch (const std::exception& error) {
                text = error.what();
            }
            record(RecordEvent::Kind::Failed, 0, {}, text);
        } catch (...) {
            // An unwritable record is no reason to hide the first error.
        }
        try {
            finish();
        } catch (...) {
            // The error that ended the run is the one to show.
        }
        m_observer.repaint(SendView::Protocol);
        throw;
    }

    if (summary.stopped) {
        const std::string line = platform::longTime(m_clock.now()) + ": Versand abgebrochen: " +
                                 countText(summary.delivered, summary.marked, remaining()) + ".";
        m_observer.addProtocolLine(line);
        m_observer.setStatusText(line);
    } else if (summary.failed > 0) {
        const std::string line = std::to_string(summary.delivered) + " von " +
                                 std::to_string(summary.marked) + " versendet, " +
                                 std::to_string(summary.failed) + " abgewiesen.";
        m_observer.addProtocolLine(line);
        if (showFinishedText)
            m_observer.setStatusText("Sendrix durchgeführt: " + line);
    } else if (showFinishedText) {
        m_observer.setStatusText(kRunFinishedText);
    }
    // The last copies belong to the run before its end is recorded.
    endSentCopy();
    reportCopyFaults(&results);
    record(summary.stopped ? RecordEvent::Kind::Stopped : RecordEvent::Kind::End, 0, {}, {});
    finish();
    m_observer.repaint(SendView::Protocol);
    m_observer.hideProgress();
    return summary;
}

}  // namespace sendrix::merge

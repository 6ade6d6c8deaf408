#include "merge/send_run.h"

#include <cerrno>

#include "mail/message_file_target.h"
#include "mail/wire_charset.h"
#include "merge/body_composition.h"
#include "merge/personal_message.h"
#include "merge/placeholders.h"
#include "merge/send_log.h"
#include "merge/sent_archive.h"
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
            if (part.Kind() != mail::TIdMessagePartKind::Attachment) continue;
            auto& attachment = static_cast<mail::TIdAttachment&>(part);
            if (placeholderNames(attachment.FileName()).empty()) continue;
            m_renamed.push_back({i, attachment.FileName()});
            attachment.SetFileName(attachmentPath(mailing, row, attachment.FileName()));
        }
        for (const std::string& file : rowAttachments(mailing, row)) m_parts.AddAttachment(file);
    }
    ~RecipientAttachments() {
        while (m_parts.Count() > m_commonCount) m_parts.Delete(m_parts.Count() - 1);
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
    if (platform::trimControl(sentObjects).empty()) return {};
    return platform::resolveStoredPath(sentObjects, programFolder);
}

SendRun::SendRun(mail::TIdMessage& message, mail::TIdSMTP& smtp, SendObserver& observer,
                 const platform::Clock& clock, std::string logFile)
    : m_message(message), m_smtp(smtp), m_observer(observer), m_clock(clock),
      m_logFile(std::move(logFile)), m_userName(platform::CurrentUserName()) {}

void SendRun::fillMessage(const Mailing& mailing, const std::vector<std::string>& body,
                          const std::string& address, const std::string* subject) {
    mail::TIdMessage& m = m_message;
    // Program text as it is: the message writer chooses each text's wire
    // charset, so no character is lost on the way.
    m.Body = body;
    if (mailing.body.html) {
        // The HTML head line names the charset the writer chooses for this
        // body (the same choice), not a fixed label the bytes may not match.
        const std::string charset = mail::ChooseWireCharset(body, platform::localeLanguage()).name;
        for (std::string& line : m.Body) {
            if (line != kHtmlHeadLine) continue;
            const size_t at = line.find("charset=iso-8859-1");
            line.replace(at, 18, "charset=" + charset);
        }
    }
    if (!mailing.displayName.empty()) {
        m.From.SetText(mailing.displayName + " <" + mailing.senderAddress + ">");
    } else {
        m.From.SetText(mailing.senderAddress);
    }
    m.Recipients.SetAddresses(address);
    m.Subject = subject ? *subject : mailing.subject;
    m.ContentType = mailing.body.html ? "text/html; charset=\"Windows-1252\"" : "text/plain";
    m.Priority = priorityAt(mailing.priorityIndex);
    m.CCList.SetAddresses(mailing.cc);
    m.BccList.SetAddresses(mailing.bcc);
    m.ReplyTo.SetAddresses(mailing.replyTo);
    m.ReceiptRecipient.SetText(mailing.receipt ? m.From.Text() : std::string());
}

void SendRun::configureClient(const SmtpAccount& account) {
    if (account.authenticationType >= mail::atNone && account.authenticationType <= mail::atOAuthBearer)
        m_smtp.SetAuthenticationType(mail::TAuthenticationType(account.authenticationType));
    m_smtp.SetEncryption(account.encryption == 1   ? mail::TlsMode::StartTls
                         : account.encryption == 2 ? mail::TlsMode::Implicit
                                                   : mail::TlsMode::None);
    m_smtp.SetPinnedFingerprint(account.pinnedFingerprint);
    m_smtp.SetUserId(account.user);
    m_smtp.SetPassword(account.password);
    m_smtp.SetHost(account.host);
    m_smtp.SetPort(account.port);
    m_smtp.SetTimeouts(mail::IdTimeouts::FromSetting(account.timeoutSeconds));
    m_smtp.SetClock(&m_clock);
}

std::string SendRun::writeMessageFile(int number) {
    if (!platform::directoryExists(m_dryRunFolder) && !platform::createDirectories(m_dryRunFolder))
        throw platform::fileFailure("Der Ordner " + m_dryRunFolder + " kann nicht angelegt werden",
                                    errno, platform::ReasonAt::AfterColon);
    mail::MessageBytesTarget target;
    m_smtp.WriteMessageText(target, m_message);
    const std::string path = m_dryRunFolder + "/" + fourDigits(number) + ".eml";
    platform::replaceFileAtomically(path, target.Bytes(),
                                    "In " + path + " kann nicht geschrieben werden");
    return path;
}

void SendRun::sendToAddress(const Mailing& mailing, const SmtpAccount& account,
                            const std::vector<std::string>& body, const std::string& address,
                            int number, const std::string* subject) {
    if (platform::trimControl(address).empty()) return;

    if (!m_dryRunFolder.empty()) {
        fillMessage(mailing, body, address, subject);
        m_smtp.SetClock(&m_clock);
        const std::string path = writeMessageFile(number);
        const std::string done = platform::longTime(m_clock.now()) + ": Mail an " + address +
                                 " ist als " + path + " gespeichert worden.";
        m_observer.setStatusText(done);
        m_observer.addProtocolLine(done);
        m_observer.repaint(SendView::StatusBar);
        return;
    }

    const std::string started = platform::longTime(m_clock.now()) + ": Mail wird an " + address +
                                " versendet (" + std::to_string(number) + ")";
    m_observer.setStatusText(started);
    m_observer.addProtocolLine(started);
    m_observer.repaint(SendView::StatusBar);

    appendSendLogLine(m_logFile, sendLogLine(m_clock.now(), number, m_userName, address,
                                             subject ? *subject : mailing.subject));

    fillMessage(mailing, body, address, subject);
    configureClient(account);
    const auto type = m_smtp.AuthenticationType();
    if ((type == mail::atXOAuth2 || type == mail::atOAuthBearer) && account.accessToken)
        m_smtp.SetAccessToken(account.accessToken());

    mail::deliverOnce(m_smtp, m_message);

    const std::string done =
        platform::longTime(m_clock.now()) + ": Mail ist an " + address + " versendet worden.";
    m_observer.setStatusText(done);
    m_observer.repaint(SendView::StatusBar);
    m_observer.addProtocolLine(done);
}

void SendRun::sendRowToAddress(const Mailing& mailing, const SmtpAccount& account,
                               const RecipientRow& row, const std::string& address) {
    const PersonalMessage message = personalMessage(mailing, row);
    m_observer.setStagingText(message.body);
    const RecipientAttachments attachments(m_message, mailing, row);
    sendToAddress(mailing, account, message.body, address, 1, &message.subject);
}

int SendRun::runList(const Mailing& mailing, const SmtpAccount& account,
                     const std::string& archiveFolder, bool showFinishedText) {
    const platform::LocalTime start = m_clock.now();
    if (!archiveFolder.empty() && m_dryRunFolder.empty())
        writeSentArchive(archiveFolder, start, mailing.subject, mailing.body.body);

    const int rowCount = static_cast<int>(mailing.rows.size()) + 1;
    m_observer.showProgress(rowCount);

    m_observer.clearProtocol();
    m_observer.addProtocolLine("Beginn der Mailübertragung: " + platform::shortDate(start) + " " +
                               platform::longTime(start));
    m_observer.showProtocolPage();
    m_observer.repaint(SendView::PageControl);

    int number = 1;
    int handed = 0;
    for (int r = 1; r < rowCount; ++r) {
        const RecipientRow& row = mailing.rows[r - 1];
        m_observer.setStagingText({});
        if (row.ok != kSendMark) continue;
        const PersonalMessage message = personalMessage(mailing, row);
        m_observer.setStagingText(message.body);
        const RecipientAttachments attachments(m_message, mailing, row);
        sendToAddress(mailing, account, message.body, row.email, number, &message.subject);
        if (!platform::trimControl(row.email).empty()) ++handed;
        ++number;
        m_observer.setProgressPosition(r + 1);
        m_observer.addProtocolLine("");
        m_observer.repaint(SendView::Protocol);
    }

    if (showFinishedText) m_observer.setStatusText(kRunFinishedText);
    m_observer.hideProgress();
    return handed;
}

}  // namespace sendrix::merge

#include "merge/send_run.h"

#include "merge/body_composition.h"
#include "merge/send_log.h"
#include "merge/sent_archive.h"
#include "platform/system_info.h"
#include "platform/text_codec.h"
#include "platform/text_trim.h"

namespace sendrix::merge {

namespace {

std::string wire(const std::string& text) { return platform::utf8ToCp1252(text); }

mail::TIdMessagePriority priorityAt(int index) {
    switch (index) {
        case 0: return mail::mpHighest;
        case 1: return mail::mpHigh;
        case 3: return mail::mpLow;
        case 4: return mail::mpLowest;
        default: return mail::mpNormal;
    }
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
                          const std::string& address) {
    mail::TIdMessage& m = m_message;
    m.Body.clear();
    m.Body.reserve(body.size());
    for (const std::string& line : body) m.Body.push_back(wire(line));
    if (!mailing.displayName.empty()) {
        m.From.SetText(wire(mailing.displayName + " <" + mailing.senderAddress + ">"));
    } else {
        m.From.SetText(wire(mailing.senderAddress));
    }
    m.Recipients.SetAddresses(wire(address));
    m.Subject = wire(mailing.subject);
    m.ContentType = mailing.body.html ? "text/html; charset=\"Windows-1252\"" : "text/plain";
    m.Priority = priorityAt(mailing.priorityIndex);
    m.CCList.SetAddresses(wire(mailing.cc));
    m.BccList.SetAddresses(wire(mailing.bcc));
    m.ReplyTo.SetAddresses(wire(mailing.replyTo));
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

void SendRun::sendToAddress(const Mailing& mailing, const SmtpAccount& account,
                            const std::vector<std::string>& body, const std::string& address,
                            int number) {
    if (platform::trimControl(address).empty()) return;

    const std::string started = platform::longTime(m_clock.now()) + ": Mail wird an " + address +
                                " versendet (" + std::to_string(number) + ")";
    m_observer.setStatusText(started);
    m_observer.addProtocolLine(started);
    m_observer.repaint(SendView::StatusBar);

    appendSendLogLine(m_logFile, sendLogLine(m_clock.now(), number, m_userName,
                                             address, mailing.subject));

    fillMessage(mailing, body, address);
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

int SendRun::runList(const Mailing& mailing, const SmtpAccount& account,
                     const std::string& archiveFolder, bool showFinishedText) {
    const platform::LocalTime start = m_clock.now();
    if (!archiveFolder.empty())
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
        const std::vector<std::string> body = composeListBody(mailing.body, row);
        m_observer.setStagingText(body);
        sendToAddress(mailing, account, body, row.email, number);
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

#include "app/report_mailbox.h"

namespace sendrix::app {

namespace {

constexpr const char* kInbox = "INBOX";

class ImapReportMailbox : public ReportMailbox {
public:
    explicit ImapReportMailbox(const mail::ImapAccount& account) : m_client(account) {}

    std::vector<InboxMessage> InboxSince(const mail::ImapDate& since) override {
        std::vector<InboxMessage> messages;
        for (const std::uint32_t uid : m_client.SearchSince(kInbox, since))
            messages.push_back({uid, m_client.FetchMessage(kInbox, uid)});
        return messages;
    }

    void MoveToFolder(const std::vector<std::uint32_t>& uids, const std::string& folder) override {
        if (!uids.empty())
            m_client.MoveMessages(kInbox, uids, folder);
    }

private:
    mail::ImapClient m_client;
};

}  // namespace

std::unique_ptr<ReportMailbox> imapReportMailbox(const mail::ImapAccount& account) {
    return std::make_unique<ImapReportMailbox>(account);
}

}  // namespace sendrix::app

#pragma once
// A copy of every delivered message in the mailbox's Sent folder, as mail
// programs keep one: most providers do not file mail submitted over SMTP.
// The send run hands each delivered message's exact text to a SentCopy; a
// copy that fails never fails, delays or repeats the delivery: the row
// then says why there is no copy.
#include <functional>
#include <memory>
#include <string>

#include "mail/imap_client.h"

namespace sendrix::merge {

class SentCopy {
public:
    virtual ~SentCopy() = default;
    // Before the first copy: connects and finds the folder. Returns the
    // protocol line that says where the copies go, or why none go. Never
    // throws.
    virtual std::string begin() = 0;
    // Stores one delivered message (its text as the SMTP server took it).
    // Returns "" once stored, else the reason in one line. Never throws;
    // takes at most the account's time limit (twice, when the connection
    // is opened again).
    virtual std::string store(const std::string& message) = 0;
    // After the last copy of a run; never throws.
    virtual void end() noexcept = 0;
};

// The Sent copy over one IMAP connection per run. A refused APPEND costs
// only its own copy; a lost connection is opened again once, and when that
// fails too, no further copy is tried in this run (each row says why).
class ImapSentCopy : public SentCopy {
public:
    // `folder` empty: the Sent folder is looked up (ImapClient::
    // FindOrCreateSentFolder), else that folder is used (created when
    // missing). `accessToken`, when given, gives the OAuth 2 token at begin.
    ImapSentCopy(mail::ImapAccount account, std::string folder,
                 std::function<std::string()> accessToken = {});
    ~ImapSentCopy() override;

    std::string begin() override;
    std::string store(const std::string& message) override;
    void end() noexcept override;

    // The folder copies go to, once begin found it.
    const std::string& Folder() const { return m_folder; }

private:
    mail::ImapAccount m_account;
    std::string m_folder;
    std::function<std::string()> m_accessToken;
    std::unique_ptr<mail::ImapClient> m_client;
    // Set once no further copy is tried: the reason every row gets.
    std::string m_fault;
    bool m_reconnected = false;
};

}  // namespace sendrix::merge

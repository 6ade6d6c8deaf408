#pragma once
// A copy of every delivered message in the mailbox's Sent folder, as mail
// programs keep one: most providers do not file mail submitted over SMTP.
// The send run hands each delivered message's exact text to a SentCopy and
// goes on at once; the copies are made meanwhile. A copy that fails never
// fails, delays or repeats the delivery: the row then says why there is no
// copy.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "mail/imap_client.h"

namespace sendrix::merge {

// A delivered row whose copy did not reach the Sent folder, and why.
struct CopyFault {
    int row = 0;
    std::string address;
    std::string reason;  // one line
};

class SentCopy {
public:
    virtual ~SentCopy() = default;
    // Before the first copy: connects and finds the folder. Returns the
    // protocol line that says where the copies go, or why none go. Never
    // throws.
    virtual std::string begin() = 0;
    // Hands over the text of the message just delivered to `row` (as the
    // SMTP server took it) and returns; waits only while copies of more
    // than kMaxPendingBytes are still to be made. Never throws.
    virtual void store(int row, const std::string& address, std::string message) = 0;
    // The copies that failed since the last call.
    virtual std::vector<CopyFault> faults() = 0;
    // Waits until every copy handed over is made or has failed (each
    // within the account's time limit), then ends the connection. Never
    // throws.
    virtual void end() noexcept = 0;

    static constexpr std::size_t kMaxPendingBytes = 64u << 20;
};

// The Sent copy over one IMAP connection per run, made by a thread of its
// own. The copies waiting are appended together where the server offers
// MULTIAPPEND (RFC 3502): a server stores one command's messages at about
// the cost of one, so the copies keep pace with a fast SMTP server. A
// refused APPEND costs only its own copies (a batch refused as a whole is
// tried message by message); a lost connection costs the copies under way
// and is opened again once, and when that fails too, no further copy is
// tried in this run (each row says why).
class ImapSentCopy : public SentCopy {
public:
    // `folder` empty: the Sent folder is looked up (ImapClient::
    // FindOrCreateSentFolder), else that folder is used (created when
    // missing). `accessToken`, when given, gives the OAuth 2 token at begin.
    ImapSentCopy(mail::ImapAccount account, std::string folder,
                 std::function<std::string()> accessToken = {});
    ~ImapSentCopy() override;

    std::string begin() override;
    void store(int row, const std::string& address, std::string message) override;
    std::vector<CopyFault> faults() override;
    void end() noexcept override;

    // The folder copies go to, once begin found it.
    const std::string& Folder() const { return m_folder; }

    // One APPEND takes at most this many copies, so that a connection that
    // breaks costs no more.
    static constexpr std::size_t kMaxBatchMessages = 100;
    static constexpr std::size_t kMaxBatchBytes = 8u << 20;

private:
    struct Job {
        int row = 0;
        std::string address;
        std::string text;
    };
    // What became of an APPEND: "" or why there is no copy, and whether the
    // server refused it (the connection goes on).
    struct Outcome {
        std::string reason;
        bool refused = false;
    };
    void work();
    // The copies of `batch` with the policy above: per job "" or the reason.
    std::vector<std::string> appendAll(const std::vector<Job>& batch);
    Outcome attempt(const std::function<void()>& append);

    mail::ImapAccount m_account;
    std::string m_folder;
    std::function<std::string()> m_accessToken;
    std::unique_ptr<mail::ImapClient> m_client;
    // Set once no further copy is tried: the reason every row gets.
    std::string m_fault;
    bool m_reconnected = false;

    std::thread m_worker;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_jobs;
    std::size_t m_pendingBytes = 0;
    bool m_ending = false;
    std::vector<CopyFault> m_faults;
};

}  // namespace sendrix::merge

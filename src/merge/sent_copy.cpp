#include "merge/sent_copy.h"

#include <exception>

namespace sendrix::merge {

namespace {

// An error's text in one line, for a grid cell and a result file field.
std::string oneLine(const std::string& text) {
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            line += " – ";
            ++i;
        } else {
            line += text[i] == '\n' || text[i] == '\r' ? ' ' : text[i];
        }
    }
    return line;
}

}  // namespace

ImapSentCopy::ImapSentCopy(mail::ImapAccount account, std::string folder,
                           std::function<std::string()> accessToken)
    : m_account(std::move(account)), m_folder(std::move(folder)), m_accessToken(std::move(accessToken)) {}

ImapSentCopy::~ImapSentCopy() {
    end();
}

std::string ImapSentCopy::begin() {
    end();
    m_fault.clear();
    m_reconnected = false;
    m_ending = false;
    try {
        if (m_accessToken)
            m_account.accessToken = m_accessToken();
        m_client = std::make_unique<mail::ImapClient>(m_account);
        m_client->Connect();
        bool created = false;
        if (m_folder.empty())
            m_folder = m_client->FindOrCreateSentFolder(&created);
        else
            m_client->CreateFolder(m_folder);
        m_worker = std::thread([this] { work(); });
        return "Kopien der Mails gehen in den Ordner \"" + m_folder + "\" auf " + m_client->Where() +
               (created ? " (neu angelegt)." : ".");
    } catch (const std::exception& error) {
        m_fault = oneLine(error.what());
        m_client.reset();
        return "Keine Kopien in Gesendet: " + m_fault;
    }
}

void ImapSentCopy::store(int row, const std::string& address, std::string message) {
    std::unique_lock lock(m_mutex);
    if (!m_worker.joinable()) {
        m_faults.push_back({row, address, m_fault.empty() ? "keine IMAP-Verbindung" : m_fault});
        return;
    }
    // A slow mailbox must not fill the memory with large messages.
    m_changed.wait(lock, [this] { return m_pendingBytes < kMaxPendingBytes || m_jobs.empty(); });
    m_pendingBytes += message.size();
    m_jobs.push_back({row, address, std::move(message)});
    m_changed.notify_all();
}

std::vector<CopyFault> ImapSentCopy::faults() {
    std::lock_guard lock(m_mutex);
    std::vector<CopyFault> taken;
    taken.swap(m_faults);
    return taken;
}

void ImapSentCopy::work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_ending || !m_jobs.empty(); });
        if (m_jobs.empty())
            return;
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        lock.unlock();
        const std::string reason = append(job.text);
        lock.lock();
        m_pendingBytes -= job.text.size();
        if (!reason.empty())
            m_faults.push_back({job.row, job.address, reason});
        m_changed.notify_all();
    }
}

std::string ImapSentCopy::append(const std::string& text) {
    if (!m_fault.empty())
        return m_fault;
    try {
        m_client->Append(m_folder, text);
        return {};
    } catch (const mail::EIdImapError& error) {
        const std::string reason = oneLine(error.what());
        // A refusal (quota, rights) concerns this copy; the next may fit.
        if (error.Kind() == mail::ImapFailure::Refused)
            return reason;
        // Never the same copy again: the server may hold it already. The
        // next copy opens a new connection, once per run.
        if (m_reconnected || error.Kind() == mail::ImapFailure::Login || error.Kind() == mail::ImapFailure::Setup)
            m_fault = reason;
        m_reconnected = true;
        return reason;
    } catch (const std::exception& error) {
        return m_fault = oneLine(error.what());
    }
}

void ImapSentCopy::end() noexcept {
    {
        std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_changed.notify_all();
    if (m_worker.joinable())
        m_worker.join();
    if (m_client)
        m_client->Disconnect();
    m_client.reset();
}

}  // namespace sendrix::merge

#include "merge/sent_copy.h"

#include <algorithm>
#include <exception>
#include <string_view>

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
        // All copies waiting go together, up to a batch's limits: the server
        // then stores them in one go instead of one command each.
        std::vector<Job> batch;
        std::size_t bytes = 0;
        while (!m_jobs.empty() && batch.size() < kMaxBatchMessages &&
               (batch.empty() || bytes + m_jobs.front().text.size() <= kMaxBatchBytes)) {
            bytes += m_jobs.front().text.size();
            batch.push_back(std::move(m_jobs.front()));
            m_jobs.pop_front();
        }
        lock.unlock();
        const std::vector<std::string> reasons = appendAll(batch);
        lock.lock();
        m_pendingBytes -= bytes;
        for (std::size_t i = 0; i < batch.size(); ++i)
            if (!reasons[i].empty())
                m_faults.push_back({batch[i].row, batch[i].address, reasons[i]});
        m_changed.notify_all();
    }
}

std::vector<std::string> ImapSentCopy::appendAll(const std::vector<Job>& batch) {
    std::vector<std::string> reasons(batch.size());
    if (batch.size() > 1) {
        std::vector<std::string_view> texts;
        for (const Job& job : batch)
            texts.emplace_back(job.text);
        bool many = false;
        const Outcome outcome = attempt([&] {
            many = m_client->AppendsMany();
            if (many)
                m_client->AppendAll(m_folder, texts);
        });
        if (many && outcome.reason.empty())
            return reasons;
        // Anything but a refusal costs the whole batch. Refused as a whole
        // (a quota, one message too large), the server stored none: each
        // goes alone, and only those refused again have no copy.
        if (!outcome.reason.empty() && !outcome.refused) {
            std::fill(reasons.begin(), reasons.end(), outcome.reason);
            return reasons;
        }
    }
    for (std::size_t i = 0; i < batch.size(); ++i)
        reasons[i] = attempt([&] { m_client->Append(m_folder, batch[i].text); }).reason;
    return reasons;
}

ImapSentCopy::Outcome ImapSentCopy::attempt(const std::function<void()>& append) {
    if (!m_fault.empty())
        return {m_fault};
    try {
        append();
        return {};
    } catch (const mail::EIdImapError& error) {
        const std::string reason = oneLine(error.what());
        // A refusal (quota, rights) concerns these copies; the next may fit.
        if (error.Kind() == mail::ImapFailure::Refused)
            return {reason, true};
        // Never the same copy again: the server may hold it already. The
        // next copy opens a new connection, once per run.
        if (m_reconnected || error.Kind() == mail::ImapFailure::Login || error.Kind() == mail::ImapFailure::Setup)
            m_fault = reason;
        m_reconnected = true;
        return {reason};
    } catch (const std::exception& error) {
        return {m_fault = oneLine(error.what())};
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

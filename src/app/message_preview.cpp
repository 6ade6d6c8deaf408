#include "app/message_preview.h"

#include <sys/stat.h>

#include "merge/personal_message.h"
#include "merge/placeholders.h"
#include "platform/text_file.h"

namespace sendrix::app {

namespace {

std::string sizeText(const std::string& path) {
    struct stat st {};
    if (!platform::fileExists(path) || ::stat(path.c_str(), &st) != 0)
        return "fehlt";
    return std::to_string(static_cast<long long>(st.st_size)) + " Bytes";
}

}  // namespace

MessagePreview::MessagePreview(merge::Mailing mailing) : m_mailing(std::move(mailing)) {
    for (std::size_t i = 0; i < m_mailing.rows.size(); ++i)
        if (m_mailing.rows[i].ok == merge::kSendMark)
            m_marked.push_back(static_cast<int>(i));
}

void MessagePreview::Back() {
    if (CanGoBack())
        --m_position;
}

void MessagePreview::On() {
    if (CanGoOn())
        ++m_position;
}

std::string MessagePreview::Caption() const {
    if (m_marked.empty())
        return "Keine markierte Zeile";
    return "Zeile " + std::to_string(m_marked[m_position] + 1) + " (" + std::to_string(m_position + 1) +
           " von " + std::to_string(Count()) + ")";
}

std::vector<std::string> MessagePreview::Lines() const {
    if (m_marked.empty())
        return {};
    const merge::RecipientRow& row = m_mailing.rows[m_marked[m_position]];
    merge::PersonalMessage message;
    try {
        message = merge::personalMessage(m_mailing, row);
    } catch (const merge::PlaceholderError& error) {
        return {error.what()};
    }
    const std::string from = m_mailing.displayName.empty()
                                 ? m_mailing.senderAddress
                                 : m_mailing.displayName + " <" + m_mailing.senderAddress + ">";
    std::vector<std::string> lines = {"Von: " + from, "An: " + row.email};
    if (!m_mailing.cc.empty())
        lines.push_back("CC: " + m_mailing.cc);
    if (!m_mailing.bcc.empty())
        lines.push_back("BCC: " + m_mailing.bcc);
    lines.push_back("Betreff: " + message.subject);
    lines.emplace_back();
    // The charset the message is sent in, as in the message itself.
    if (m_mailing.body.html)
        merge::nameSentCharset(message.body);
    lines.insert(lines.end(), message.body.begin(), message.body.end());
    if (!message.attachments.empty()) {
        lines.emplace_back();
        lines.push_back("Anhänge:");
        for (const std::string& file : message.attachments)
            lines.push_back("  " + platform::fileNameOnly(file) + " (" + sizeText(file) + ")");
    }
    return lines;
}

}  // namespace sendrix::app

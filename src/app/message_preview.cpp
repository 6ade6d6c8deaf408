#include "app/message_preview.h"

#include <sys/stat.h>

#include "mail/html_text.h"
#include "mail/wire_charset.h"
#include "merge/html_images.h"
#include "merge/personal_message.h"
#include "merge/placeholders.h"
#include "platform/error.h"
#include "platform/system_info.h"
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

std::vector<std::string> PreviewMessage::TextPage() const {
    if (!error.empty())
        return {error};
    std::vector<std::string> lines = head;
    if (lines.empty())
        return lines;
    lines.emplace_back();
    lines.insert(lines.end(), text.begin(), text.end());
    if (!attachments.empty()) {
        lines.emplace_back();
        lines.push_back("Anhänge:");
        lines.insert(lines.end(), attachments.begin(), attachments.end());
    }
    return lines;
}

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

void MessagePreview::Choose(int position) {
    if (position >= 0 && position < Count())
        m_position = position;
}

std::string MessagePreview::Caption() const {
    if (m_marked.empty())
        return "Keine markierte Zeile";
    return "Zeile " + std::to_string(m_marked[m_position] + 1) + " (" + std::to_string(m_position + 1) +
           " von " + std::to_string(Count()) + ")";
}

std::vector<std::string> MessagePreview::RowChoices() const {
    std::vector<std::string> choices;
    for (int index : m_marked)
        choices.push_back("Zeile " + std::to_string(index + 1) + ": " + m_mailing.rows[index].email);
    return choices;
}

PreviewMessage MessagePreview::Message() const {
    PreviewMessage shown;
    if (m_marked.empty())
        return shown;
    const merge::RecipientRow& row = m_mailing.rows[m_marked[m_position]];
    merge::PersonalMessage message;
    try {
        message = merge::personalMessage(m_mailing, row);
        if (m_mailing.body.html) {
            // The HTML as the send run makes it: local images by "cid:" and
            // the head line naming the charset sent.
            merge::EmbeddedImages embedded = merge::embedLocalImages(message.body, m_mailing.bodyFolder);
            message.body = std::move(embedded.lines);
            shown.images = std::move(embedded.images);
            merge::nameSentCharset(message.body);
        }
    } catch (const merge::PlaceholderError& error) {
        shown.error = error.what();
        return shown;
    } catch (const FileError& error) {
        shown.error = error.what();
        return shown;
    }
    const std::string from = m_mailing.displayName.empty()
                                 ? m_mailing.senderAddress
                                 : m_mailing.displayName + " <" + m_mailing.senderAddress + ">";
    shown.head = {"Von: " + from, "An: " + row.email};
    if (!m_mailing.cc.empty())
        shown.head.push_back("CC: " + m_mailing.cc);
    if (!m_mailing.bcc.empty())
        shown.head.push_back("BCC: " + m_mailing.bcc);
    shown.head.push_back("Betreff: " + message.subject);
    shown.head.push_back("Zeichensatz: " +
                         mail::ChooseTextEncoding(message.body, platform::localeLanguage()).charset.name);
    if (m_mailing.body.html) {
        for (const std::string& line : message.body)
            shown.html += line + "\n";
        shown.text = mail::RenderHtmlAsText(message.body);
    } else {
        shown.text = std::move(message.body);
    }
    for (const std::string& file : message.attachments)
        shown.attachments.push_back("  " + platform::fileNameOnly(file) + " (" + sizeText(file) + ")");
    return shown;
}

}  // namespace sendrix::app

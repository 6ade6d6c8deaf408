#include "merge/personal_message.h"

#include "merge/body_composition.h"
#include "merge/list_columns.h"
#include "merge/placeholders.h"
#include "merge/unsubscribe.h"
#include "platform/text_trim.h"

namespace sendrix::merge {

std::string attachmentPath(const Mailing& mailing, const RecipientRow& row, const std::string& pathTemplate) {
    return fillPlaceholders(pathTemplate, row, mailing.extraTitles, ValueStyle::Line);
}

std::vector<std::string> rowAttachments(const Mailing& mailing, const RecipientRow& row) {
    std::vector<std::string> files;
    const int column = columnOfRole(mailing.extraTitles, ColumnRole::Attachments);
    if (column < 0 || static_cast<std::size_t>(column) >= row.extra.size())
        return files;
    const std::string& cell = row.extra[column];
    std::size_t from = 0;
    while (from <= cell.size()) {
        std::size_t end = cell.find_first_of(";\r\n", from);
        if (end == std::string::npos)
            end = cell.size();
        std::string name = platform::trimControl(std::string_view(cell).substr(from, end - from));
        from = end + 1;
        if (name.empty())
            continue;
        name = attachmentPath(mailing, row, name);
        if (name.front() != '/') {
            for (char& c : name)
                if (c == '\\')
                    c = '/';
            if (!mailing.listFolder.empty())
                name = mailing.listFolder + "/" + name;
        }
        files.push_back(std::move(name));
    }
    return files;
}

std::string rowCopies(const Mailing& mailing, const RecipientRow& row, ColumnRole role) {
    const int column = columnOfRole(mailing.extraTitles, role);
    return column >= 0 && static_cast<std::size_t>(column) < row.extra.size()
               ? platform::trimControl(row.extra[static_cast<std::size_t>(column)])
               : std::string();
}

std::string joinAddressLists(const std::string& common, const std::string& own) {
    if (own.empty())
        return common;
    return platform::trimControl(common).empty() ? own : common + ", " + own;
}

PersonalMessage personalMessage(const Mailing& mailing, const RecipientRow& row) {
    PersonalMessage message;
    personalMessage(mailing, row, ListBody(mailing.body, mailing.extraTitles), message);
    return message;
}

void personalMessage(const Mailing& mailing, const RecipientRow& row, const ListBody& body,
                     PersonalMessage& message) {
    message.subject = fillPlaceholders(mailing.subject, row, mailing.extraTitles, ValueStyle::Line);
    body.compose(row, message.body);
    const std::string unsubscribe = platform::trimControl(mailing.unsubscribeAddress);
    if (mailing.unsubscribeLine && !unsubscribe.empty())
        appendUnsubscribeLine(message.body, unsubscribe, mailing.body.html);
    message.attachments.clear();
    for (const std::string& common : mailing.attachments)
        message.attachments.push_back(attachmentPath(mailing, row, common));
    for (std::string& own : rowAttachments(mailing, row))
        message.attachments.push_back(std::move(own));
    message.cc = joinAddressLists(mailing.cc, rowCopies(mailing, row, ColumnRole::Cc));
    message.bcc = joinAddressLists(mailing.bcc, rowCopies(mailing, row, ColumnRole::Bcc));
}

}  // namespace sendrix::merge

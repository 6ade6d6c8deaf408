#include "merge/personal_message.h"

#include "merge/body_composition.h"
#include "merge/list_columns.h"
#include "merge/placeholders.h"
#include "platform/text_trim.h"

namespace sendrix::merge {

namespace {

int attachmentColumn(const std::vector<std::string>& extraTitles) {
    for (std::size_t i = 0; i < extraTitles.size(); ++i)
        if (columnRoleOf(extraTitles[i]) == ColumnRole::Attachments)
            return static_cast<int>(i);
    return -1;
}

}  // namespace

std::string attachmentPath(const Mailing& mailing, const RecipientRow& row, const std::string& pathTemplate) {
    return fillPlaceholders(pathTemplate, row, mailing.extraTitles, ValueStyle::Line);
}

std::vector<std::string> rowAttachments(const Mailing& mailing, const RecipientRow& row) {
    std::vector<std::string> files;
    const int column = attachmentColumn(mailing.extraTitles);
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

PersonalMessage personalMessage(const Mailing& mailing, const RecipientRow& row) {
    PersonalMessage message;
    personalMessage(mailing, row, ListBody(mailing.body, mailing.extraTitles), message);
    return message;
}

void personalMessage(const Mailing& mailing, const RecipientRow& row, const ListBody& body,
                     PersonalMessage& message) {
    message.subject = fillPlaceholders(mailing.subject, row, mailing.extraTitles, ValueStyle::Line);
    body.compose(row, message.body);
    message.attachments.clear();
    for (const std::string& common : mailing.attachments)
        message.attachments.push_back(attachmentPath(mailing, row, common));
    for (std::string& own : rowAttachments(mailing, row))
        message.attachments.push_back(std::move(own));
}

}  // namespace sendrix::merge

#pragma once
// What one recipient of a list send gets: the subject, the body and the
// files, with every column placeholder filled from the recipient's row.
// The send run, the dry run, the preview and the pre-flight check all take
// a message from here, so they show and send the same.
#include <string>
#include <vector>

#include "merge/list_columns.h"
#include "merge/mailing.h"

namespace sendrix::merge {

struct PersonalMessage {
    std::string subject;
    std::vector<std::string> body;
    // The common attachments first, then the row's own, as paths on disk.
    std::vector<std::string> attachments;
    // The mailing's CC and BCC with the row's own "CC"/"BCC" columns added.
    std::string cc;
    std::string bcc;
};

// The list-send message for `row`. Throws PlaceholderError for a
// placeholder that names no column.
PersonalMessage personalMessage(const Mailing& mailing, const RecipientRow& row);
// The same into `message`, whose storage is reused, with the mailing's
// body worked out once (ListBody of mailing.body and mailing.extraTitles),
// for the rows of a list send.
void personalMessage(const Mailing& mailing, const RecipientRow& row, const ListBody& body,
                     PersonalMessage& message);

// The row's own files: the first column whose title is an attachment
// spelling (list_columns.h), split at ";" and line breaks, each trimmed,
// placeholders filled; relative paths (with "\" read as "/") lie below the
// list's folder. Empty pieces are skipped.
std::vector<std::string> rowAttachments(const Mailing& mailing, const RecipientRow& row);

// The row's own copies: the cell of the first column titled for `role`
// (ColumnRole::Cc or ColumnRole::Bcc, list_columns.h); empty without one.
std::string rowCopies(const Mailing& mailing, const RecipientRow& row, ColumnRole role);

// `common` and `own`, comma-separated, either may be empty.
std::string joinAddressLists(const std::string& common, const std::string& own);

// An attachment path with the row's values filled in.
std::string attachmentPath(const Mailing& mailing, const RecipientRow& row, const std::string& pathTemplate);

}  // namespace sendrix::merge

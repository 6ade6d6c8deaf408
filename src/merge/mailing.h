#pragma once
// A snapshot of the composed mailing and of the SMTP account, taken from the
// main window when a send starts. Texts are UTF-8, as inside the program.
#include <functional>
#include <string>
#include <vector>

#include "merge/body_composition.h"
#include "merge/recipient_list.h"

namespace sendrix::merge {

struct Mailing {
    std::string senderAddress;  // the sender address (PersonalEmail)
    std::string displayName;    // may be empty
    std::string subject;
    std::string cc;  // comma-separated lists, may be empty
    std::string bcc;
    std::string replyTo;
    int priorityIndex = 2;           // 0 Highest ... 4 Lowest
    bool receipt = false;            // ask for a read receipt
    BodySettings body;               // salutation, HTML switch, body lines
    std::vector<RecipientRow> rows;  // list send: the data rows of the grid, row 1 first
    // For each row its number as the list file shows it (the file's line,
    // the sheet's row: RecipientList::sourceRows); rows beyond it, and every
    // row when it is empty, count from 1 as the grid does.
    std::vector<int> sourceRows;
    // Titles of the list's columns beyond the five fixed ones; the values
    // are RecipientRow::extra.
    std::vector<std::string> extraTitles;
    // The folder of the list file: relative per-recipient attachment paths
    // lie below it. Empty: the current folder.
    std::string listFolder;
    // The folder of the body file or mailing file: relative image paths of
    // an HTML body lie below it. Empty: the current folder.
    std::string bodyFolder;
    // The paths of the attachments every message carries, as added; they
    // may hold column placeholders.
    std::vector<std::string> attachments;
    // The unsubscribe address ("Abmeldeadresse"): not empty, every message
    // carries List-Unsubscribe naming it, and with `unsubscribeLine` the
    // body ends with a sentence naming it (merge/unsubscribe.h).
    std::string unsubscribeAddress;
    bool unsubscribeLine = false;
};

// The number of rows[index] as the list file shows it (sourceRows).
inline int sourceRowNumber(const Mailing& mailing, std::size_t index) {
    return index < mailing.sourceRows.size() ? mailing.sourceRows[index] : static_cast<int>(index) + 1;
}

struct SmtpAccount {
    std::string host;
    int port = 25;
    std::string user;
    std::string password;
    // 0 no login, 1 AUTH LOGIN, 2 AUTH PLAIN, 3 XOAUTH2, 4 OAUTHBEARER; any
    // other value keeps the client's kind.
    int authenticationType = 0;
    // Limit for connecting and every reply in seconds; 0 the client default.
    int timeoutSeconds = 0;
    // The provider's limits: messages over one connection (RSET between
    // them), and messages started per minute (0: no limit).
    int messagesPerConnection = 1;
    int messagesPerMinute = 0;
    // "Rset", MAIL, RCPT and "Data" in one go where the server offers it.
    bool pipelining = false;
    // 0 none, 1 STARTTLS, 2 SSL/TLS from the first byte.
    int encryption = 0;
    std::string pinnedFingerprint;  // empty: the trust store alone decides
    // Gives the OAuth 2 access token for logins 3 and 4; called once per
    // connection, may throw (the run ends with its error).
    std::function<std::string()> accessToken;
};

}  // namespace sendrix::merge

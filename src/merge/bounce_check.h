#pragma once
// "Rückläufer prüfen": which messages of a mailbox are delivery reports
// about rows this program delivered (found by the Message-ID the run record
// keeps for each delivered row), and which are unsubscribe requests sent to
// the mailing's "Abmeldeadresse". No I/O: the caller fetched the messages.
#include <cstddef>
#include <string>
#include <vector>

#include "merge/run_record.h"

namespace sendrix::merge {

// The subject of the unsubscribe link (List-Unsubscribe: <mailto:...?subject=Abmelden>).
inline constexpr const char* kUnsubscribeSubject = "Abmelden";

struct ReportOutcome {
    enum class Kind { Bounced, Delayed, Unsubscribed };
    Kind kind = Kind::Bounced;
    std::string run;  // Bounced, Delayed: the run and row the report is about
    int row = 0;
    std::string rowAddress;  // the row's address as recorded
    std::string address;     // whom the report names (Unsubscribed: the sender)
    std::string messageId;
    std::string status;      // "5.1.1", may be empty
    std::string diagnostic;
    bool newBounce = false;  // Bounced and not recorded so before
    // A hard bounce (status class 5) or an unsubscribe: the address goes on
    // the suppression list.
    bool suppress = false;

    // "5.1.1 <diagnostic>": the text after "unzustellbar: ".
    std::string reason() const;
};

struct ReportCheck {
    std::vector<ReportOutcome> outcomes;
    // Indexes into the messages: reports and unsubscribe requests handled
    // (they may be moved to their folder), and reports that fit no row
    // ("nicht zugeordnet", left where they are).
    std::vector<std::size_t> handled;
    int unmatched = 0;
};

// Reads every message (whole RFC 5322 bytes). A report about a message the
// record does not know, or without a Message-ID, counts as unmatched; a
// "failed" recipient, or an unstructured report with no class-4 status,
// marks its row bounced, "delayed" (or class 4) is only shown. A message to
// `unsubscribeAddress` (empty: none) with the subject "Abmelden" (any case,
// answered "Re:" or "AW:" too) unsubscribes its sender.
ReportCheck checkReports(const std::vector<std::string>& messages, const RunRecordFile& record,
                         const std::string& unsubscribeAddress);

// The record event of a new bounce.
RecordEvent bounceEvent(const ReportOutcome& outcome, const platform::LocalTime& when);

}  // namespace sendrix::merge

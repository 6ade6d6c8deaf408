#include "merge/bounce_check.h"

#include <map>

#include "mail/delivery_report.h"
#include "platform/ascii.h"
#include "platform/text_trim.h"

namespace sendrix::merge {

namespace {

struct Delivery {
    const RecordedRun* run;
    const RowResult* row;
};

bool hardStatus(const std::string& status) {
    return !status.empty() && status.front() == '5';
}

// "Abmelden", also as a mail program answers it ("Re: Abmelden", "AW: ...").
bool unsubscribeSubject(std::string subject) {
    for (const char* prefix : {"re:", "aw:", "fwd:", "wg:"}) {
        if (platform::startsWithNoCase(subject, prefix))
            subject = platform::trimControl(subject.substr(std::string_view(prefix).size()));
    }
    return platform::equalsNoCase(subject, kUnsubscribeSubject);
}

bool addressedTo(const mail::MessageSummary& message, const std::string& address) {
    for (const std::string& to : message.toAddresses)
        if (platform::equalsNoCase(to, address))
            return true;
    return false;
}

}  // namespace

std::string ReportOutcome::reason() const {
    if (status.empty())
        return diagnostic;
    return diagnostic.empty() ? status : status + " " + diagnostic;
}

ReportCheck checkReports(const std::vector<std::string>& messages, const RunRecordFile& record,
                         const std::string& unsubscribeAddress) {
    std::map<std::string, Delivery> byMessageId;
    for (const RecordedRun& run : record.runs)
        for (const auto& [number, row] : run.rows)
            if (!row.messageId.empty())
                byMessageId[row.messageId] = {&run, &row};

    const std::string unsubscribe = platform::trimControl(unsubscribeAddress);
    ReportCheck check;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const mail::DeliveryReport report = mail::parseDeliveryReport(messages[i]);
        if (report.kind == mail::DeliveryReport::Kind::None) {
            if (unsubscribe.empty())
                continue;
            const mail::MessageSummary summary = mail::summarizeMessage(messages[i]);
            if (summary.fromAddress.empty() || !unsubscribeSubject(summary.subject) ||
                !addressedTo(summary, unsubscribe))
                continue;
            ReportOutcome outcome;
            outcome.kind = ReportOutcome::Kind::Unsubscribed;
            outcome.address = summary.fromAddress;
            outcome.messageId = summary.messageId;
            outcome.suppress = true;
            check.outcomes.push_back(std::move(outcome));
            check.handled.push_back(i);
            continue;
        }
        const auto found = byMessageId.find(report.originalMessageId);
        if (report.originalMessageId.empty() || found == byMessageId.end()) {
            ++check.unmatched;
            continue;
        }
        const Delivery& delivery = found->second;
        ReportOutcome base;
        base.run = delivery.run->id;
        base.row = delivery.row->row;
        base.rowAddress = delivery.row->address;
        base.messageId = report.originalMessageId;
        std::vector<ReportOutcome> reported;
        if (report.kind == mail::DeliveryReport::Kind::Unstructured) {
            ReportOutcome outcome = base;
            outcome.address = delivery.row->address;
            outcome.status = report.status;
            outcome.diagnostic = report.diagnostic;
            outcome.kind = !report.status.empty() && report.status.front() == '4' ? ReportOutcome::Kind::Delayed
                                                                                  : ReportOutcome::Kind::Bounced;
            reported.push_back(std::move(outcome));
        }
        for (const mail::ReportedRecipient& recipient : report.recipients) {
            // "delivered", "relayed" and "expanded" say nothing against the address.
            if (recipient.action != "failed" && recipient.action != "delayed")
                continue;
            ReportOutcome outcome = base;
            outcome.address = recipient.address.empty() ? delivery.row->address : recipient.address;
            outcome.status = recipient.status;
            outcome.diagnostic = recipient.diagnostic;
            outcome.kind = recipient.action == "failed" ? ReportOutcome::Kind::Bounced : ReportOutcome::Kind::Delayed;
            reported.push_back(std::move(outcome));
        }
        for (ReportOutcome& outcome : reported) {
            if (outcome.kind == ReportOutcome::Kind::Bounced) {
                outcome.suppress = hardStatus(outcome.status);
                outcome.newBounce = delivery.row->state != RowResult::State::Bounced;
                // One event per row and run of the check, the first report's.
                for (const ReportOutcome& earlier : check.outcomes)
                    if (earlier.kind == ReportOutcome::Kind::Bounced && earlier.run == outcome.run &&
                        earlier.row == outcome.row)
                        outcome.newBounce = false;
            }
            check.outcomes.push_back(std::move(outcome));
        }
        check.handled.push_back(i);
    }
    return check;
}

RecordEvent bounceEvent(const ReportOutcome& outcome, const platform::LocalTime& when) {
    RecordEvent event;
    event.when = when;
    event.kind = RecordEvent::Kind::Bounced;
    event.run = outcome.run;
    event.row = outcome.row;
    event.address = outcome.rowAddress;
    event.messageId = outcome.messageId;
    event.text = outcome.reason();
    return event;
}

}  // namespace sendrix::merge

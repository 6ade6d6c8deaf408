// The mailbox side of the window: the suppression list ("Sperrliste") and
// "Rückläufer prüfen", which reads delivery reports and unsubscribe
// requests from the inbox. Matching and files are merge/'s
// (bounce_check.h, suppression_list.h, run_record.h).
#include <algorithm>
#include <string>
#include <vector>

#include "app/access_token.h"
#include "app/imap_settings.h"
#include "app/report_mailbox.h"
#include "app/tfrm_message_editor.h"
#include "merge/bounce_check.h"
#include "merge/preflight.h"
#include "merge/run_record.h"
#include "merge/send_result.h"
#include "merge/suppression_list.h"
#include "platform/system_info.h"
#include "platform/text_trim.h"

namespace sendrix::app {

namespace {

// IMAP SEARCH SINCE counts whole days of the server's own time zone: the
// day before the start covers a server that lives hours behind.
mail::ImapDate dayBefore(const platform::LocalTime& start) {
    const platform::LocalTime day = platform::addSeconds(start, -24 * 60 * 60);
    return {day.year, day.month, day.day};
}

std::string countText(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::string TfrmMessageEditor::SuppressionFile() const {
    return platform::programFolder() + merge::kSuppressionFileName;
}

void TfrmMessageEditor::Sperrliste1Click() {
    if (!SuppressionDialogs)
        return;
    merge::SuppressionList list = merge::SuppressionList::read(SuppressionFile());
    std::vector<merge::SuppressedAddress> entries = list.entries();
    if (!SuppressionDialogs->EditSuppressionList(entries))
        return;
    for (merge::SuppressedAddress& entry : entries) {
        entry.address = platform::trimControl(entry.address);
        if (!entry.address.empty() && !merge::plausibleAddress(entry.address))
            throw Error("Sperrliste: \"" + entry.address +
                        "\" ist keine gültige E-Mail-Adresse; die Sperrliste wurde nicht geändert.");
    }
    list.replaceAll(std::move(entries));
    list.write(SuppressionFile());
}

std::vector<merge::Finding> TfrmMessageEditor::unmarkSuppressedRows(merge::Mailing& mailing) {
    std::vector<merge::Finding> findings;
    const merge::SuppressionList list = merge::SuppressionList::read(SuppressionFile());
    auto& cells = empfaengerliste.Cells;
    for (const merge::SuppressedRow& hit : merge::suppressedRows(mailing, list)) {
        merge::RecipientRow& row = mailing.rows[hit.index];
        const int gridRow = static_cast<int>(hit.index) + 1;
        const std::string text = merge::suppressedRowText(mailing, hit);
        const auto earlier = SuppressionUnmarked.find(gridRow);
        // Marked again after the check took the mark away: the person wants it.
        if (!SendImmediately && earlier != SuppressionUnmarked.end() && earlier->second == row.email) {
            findings.push_back({merge::Finding::Level::Warning,
                                text + "; die Zeile wurde wieder markiert und wird angeschrieben."});
            continue;
        }
        row.ok.clear();
        if (gridRow < static_cast<int>(cells.size()) && !cells[gridRow].empty())
            cells[gridRow][0].clear();
        SuppressionUnmarked[gridRow] = row.email;
        findings.push_back({merge::Finding::Level::Warning,
                            text + (SendImmediately ? "; die Zeile wird übersprungen."
                                                    : "; die Zeile wurde abgewählt. Wer sie dennoch anschreiben "
                                                      "will, markiert sie wieder.")});
    }
    if (!findings.empty())
        m_interaction.Repaint(ControlId::empfaengerliste);
    return findings;
}

void TfrmMessageEditor::RuecklaeuferPruefen1Click() {
    LastRunOutcome = RunOutcome::Failed;
    const std::string path = RunRecordPath();
    if (path.empty()) {
        m_interaction.Notice("Rückläufer prüfen: Bitte zuerst das Mailing oder die Empfängerliste öffnen, "
                             "deren Versand geprüft werden soll.");
        return;
    }
    const merge::RunRecordFile record = merge::readRunRecord(path);
    const merge::RecordedRun* last = merge::lastRun(record, "");
    if (!last) {
        m_interaction.Notice("Dieses Mailing wurde noch nicht versendet; es gibt keine Rückläufer zu prüfen.");
        return;
    }
    std::unique_ptr<ReportMailbox> mailbox;
    if (OpenReportMailbox) {
        mailbox = OpenReportMailbox();
    } else {
        if (!MailSettings.Imap.Configured()) {
            m_interaction.Notice("Rückläufer prüfen braucht ein IMAP-Konto (Optionen, E-Mail-Konto, IMAP); "
                                 "es ist keines eingerichtet.");
            return;
        }
        mail::ImapAccount account = imapAccountOf(MailSettings.Imap, MailSettings, Secrets);
        if (account.password.empty() && MailSettings.Imap.ServerPassword.empty() &&
            (MailSettings.SMTPAuthenticationType == 3 || MailSettings.SMTPAuthenticationType == 4))
            account.accessToken = fetchAccessToken(MailSettings.TokenCommand);
        mailbox = imapReportMailbox(account);
    }

    const std::vector<InboxMessage> inbox = mailbox->InboxSince(dayBefore(last->start));
    std::vector<std::string> messages;
    messages.reserve(inbox.size());
    for (const InboxMessage& message : inbox)
        messages.push_back(message.bytes);
    const merge::ReportCheck check = merge::checkReports(messages, record, edtAbmeldeadresse.Text);

    // Record first: the grid and the result file are read from it.
    std::size_t bounced = 0, delayed = 0, unsubscribed = 0;
    merge::SuppressionList list = merge::SuppressionList::read(SuppressionFile());
    std::size_t suppressed = 0;
    {
        merge::RunRecordWriter writer(path);
        for (const merge::ReportOutcome& outcome : check.outcomes) {
            std::string line;
            switch (outcome.kind) {
                case merge::ReportOutcome::Kind::Bounced:
                    ++bounced;
                    if (outcome.newBounce)
                        writer.append(merge::bounceEvent(outcome, m_clock.now()));
                    line = outcome.address + ": unzustellbar: " + outcome.reason();
                    break;
                case merge::ReportOutcome::Kind::Delayed:
                    ++delayed;
                    line = outcome.address + ": verzögert: " + outcome.reason();
                    break;
                case merge::ReportOutcome::Kind::Unsubscribed:
                    ++unsubscribed;
                    line = outcome.address + ": abgemeldet";
                    break;
            }
            protokollmemo.Lines.push_back(line);
            if (outcome.suppress &&
                list.add(outcome.address, m_clock.now(),
                         outcome.kind == merge::ReportOutcome::Kind::Unsubscribed ? "abgemeldet"
                                                                                  : "unzustellbar: " + outcome.reason()))
                ++suppressed;
        }
        writer.sync();
    }
    if (suppressed > 0)
        list.write(SuppressionFile());

    const merge::RunRecordFile updated = merge::readRunRecord(path);
    for (const merge::RecordedRun& run : updated.runs) {
        const bool touched = std::any_of(check.outcomes.begin(), check.outcomes.end(), [&](const auto& outcome) {
            return outcome.newBounce && outcome.run == run.id;
        });
        if (touched && !run.resultFile.empty())
            merge::writeResultFile(run.resultFile, run.results(), RecipientSourceRows);
    }
    if (const merge::RecordedRun* run = merge::lastRun(updated, ""))
        showRunInGrid(*run);
    m_interaction.Repaint(ControlId::protokollmemo);
    m_interaction.Repaint(ControlId::empfaengerliste);

    std::string summary = "Rückläufer prüfen: " + countText(bounced, "unzustellbar", "unzustellbar") + ", " +
                          countText(delayed, "verzögert", "verzögert") + ", " +
                          countText(unsubscribed, "Abmeldung", "Abmeldungen") + ", " +
                          countText(static_cast<std::size_t>(check.unmatched), "nicht zugeordnet",
                                    "nicht zugeordnet") +
                          "; " + countText(suppressed, "Adresse", "Adressen") + " neu auf der Sperrliste.";
    if (!check.handled.empty()) {
        const std::string question = summary + "\r\n\r\nDie " + std::to_string(check.handled.size()) +
                                     " bearbeiteten Nachrichten in den Ordner \"" + kReportFolder +
                                     "\" verschieben?";
        if (SendImmediately ? MoveHandledReports : m_interaction.Confirm(question)) {
            std::vector<std::uint32_t> uids;
            for (const std::size_t index : check.handled)
                uids.push_back(inbox[index].uid);
            mailbox->MoveToFolder(uids, kReportFolder);
            summary += " " + std::to_string(uids.size()) + " Nachrichten nach \"" + kReportFolder + "\" verschoben.";
        }
    }
    if (SendImmediately || check.handled.empty())
        m_interaction.Notice(summary);
    LastRunOutcome = RunOutcome::Finished;
}

}  // namespace sendrix::app

// The run record as the window and the unattended mode read it: the grid's
// status after loading, the questions before a list send, the continuation
// with "/fortsetzen". The record itself is merge/run_record's.
#include <string>
#include <vector>

#include "app/recorded_send.h"
#include "app/tfrm_message_editor.h"
#include "merge/recipient_list.h"
#include "platform/system_info.h"
#include "platform/text_file.h"
#include "platform/text_trim.h"

namespace sendrix::app {

namespace {

// The record's path when there is no mailing file: the list's.
std::string listRecordFile(const std::string& listFile) {
    return merge::runRecordPath("", listFile, platform::programFolder());
}

// "am 09.12.2026 um 16:35"
std::string whenText(const platform::LocalTime& start) {
    return "am " + platform::shortDate(start) + " um " + platform::longTime(start).substr(0, 5);
}

bool hasAddress(const merge::RecipientRow& row) {
    return row.ok == merge::kSendMark && !platform::trimControl(row.email).empty();
}

}  // namespace

std::string joinedAddresses(const std::vector<std::string>& addresses) {
    std::string text;
    for (const std::string& address : addresses)
        text += (text.empty() ? "" : ", ") + address;
    return text;
}

std::string TfrmMessageEditor::RunRecordPath() const {
    if (RecipientListFile.empty())
        return {};
    const std::string own = merge::runRecordPath(MailingFile, RecipientListFile, platform::programFolder());
    // A list sent before its mailing was saved keeps its record where the
    // send wrote it.
    if (!MailingFile.empty() && !platform::fileExists(own) &&
        platform::fileExists(listRecordFile(RecipientListFile)))
        return listRecordFile(RecipientListFile);
    return own;
}

void TfrmMessageEditor::ShowRunRecord() {
    const std::string path = RunRecordPath();
    if (path.empty())
        return;
    const merge::RunRecordFile record = merge::readRunRecord(path);
    const merge::RecordedRun* run = merge::lastRun(record, "");
    if (!run || run->finished)
        return;
    showRunInGrid(*run);
    if (StatusBar1.Panels.size() < 2)
        StatusBar1.Panels.resize(2);
    const int delivered = run->delivered();
    StatusBar1.Panels[1] = "Dieses Mailing wurde " + whenText(run->start) + " an " + std::to_string(delivered) +
                           " von " + std::to_string(run->toSend) + " Empfängern versendet; " +
                           std::to_string(run->toSend - delivered) +
                           (run->toSend - delivered == 1 ? " ist noch offen." : " sind noch offen.");
}

void TfrmMessageEditor::showRunInGrid(const merge::RecordedRun& run) {
    auto& cells = empfaengerliste.Cells;
    RowStatus.resize(cells.size());
    for (const auto& [row, result] : run.rows) {
        // A row whose address changed since is another recipient.
        if (row < 1 || row >= static_cast<int>(cells.size()) || recipientRowOf(cells[row], 0).email != result.address)
            continue;
        RowStatus[row] = merge::rowStatusText(result);
        if (result.state == merge::RowResult::State::Delivered && !cells[row].empty())
            cells[row][0].clear();
    }
}

void TfrmMessageEditor::prepareRecordedSend(const merge::Mailing& mailing, RecordedSend& recorded) {
    int marked = 0;
    for (const merge::RecipientRow& row : mailing.rows)
        marked += hasAddress(row);
    recorded.toSend = marked;
    // A dry run sends nothing, so it has nothing to record.
    if (!DryRunFolder.empty() || RecipientListFile.empty())
        return;

    recorded.plan.fingerprint = merge::mailingFingerprint(mailing, RecipientListFile);
    recorded.plan.listFile = RecipientListFile;
    // Opened (and read) once: the record may hold many runs.
    recorded.writer = std::make_unique<merge::RunRecordWriter>(RunRecordPath());
    recorded.plan.writer = recorded.writer.get();
    const merge::RecordedRun* run = merge::lastRun(recorded.writer->contents(), recorded.plan.fingerprint);
    if (run && run->finished) {
        const int delivered = run->delivered();
        const std::string how = delivered == run->toSend
                                    ? "an alle " + std::to_string(run->toSend) + " Empfänger"
                                    : "an " + std::to_string(delivered) + " von " + std::to_string(run->toSend) +
                                          " Empfängern";
        const std::string done = "Dieses Mailing wurde " + whenText(run->start) + " " + how + " versendet";
        if (SendImmediately && ContinueRun) {
            m_interaction.Notice(done + "; es wird nichts gesendet.");
            recorded.go = false;
            return;
        }
        if (!SendImmediately && !m_interaction.Confirm(done + ". Noch einmal an alle senden?")) {
            recorded.go = false;
            recorded.declined = true;
            return;
        }
        run = nullptr;
    }
    const auto open = [&] {
        int count = 0;
        for (std::size_t i = 0; i < mailing.rows.size(); ++i)
            count += hasAddress(mailing.rows[i]) && !run->deliveredTo(int(i) + 1, mailing.rows[i].email);
        return count;
    };
    if (run && SendImmediately && !ContinueRun) {
        // Unattended without the switch: as before, with a word of warning.
        m_interaction.Warning("Das Mailing wurde " + whenText(run->start) + " unterbrochen; mit /fortsetzen werden "
                              "nur die " + std::to_string(open()) + " offenen Empfänger angeschrieben.");
        run = nullptr;
    }
    if (run) {
        // What the window shows matches what the continuation leaves out.
        if (!SendImmediately)
            showRunInGrid(*run);
        recorded.plan.continueRun = run->id;
        recorded.alreadyDelivered = run->delivered();
        recorded.toSend = open();
        std::vector<std::string> uncertain;
        for (std::size_t i = 0; i < mailing.rows.size(); ++i)
            if (hasAddress(mailing.rows[i]) && run->uncertain(int(i) + 1, mailing.rows[i].email))
                uncertain.push_back(mailing.rows[i].email);
        // Unattended they stay out and are named when the run ends.
        if (!uncertain.empty() && !SendImmediately)
            recorded.plan.resendUncertain = m_interaction.ConfirmDefaultNo(
                "Bei " + std::to_string(uncertain.size()) + (uncertain.size() == 1 ? " Empfänger" : " Empfängern") +
                " ist unklar, ob die Mail angekommen ist: " + joinedAddresses(uncertain) + "\r\nErneut senden?");
        if (!recorded.plan.resendUncertain)
            recorded.toSend -= static_cast<int>(uncertain.size());
    } else {
        // A new run is written where the mailing's record belongs.
        const std::string own = merge::runRecordPath(MailingFile, RecipientListFile, platform::programFolder());
        if (own != recorded.writer->path()) {
            recorded.writer = std::make_unique<merge::RunRecordWriter>(own);
            recorded.plan.writer = recorded.writer.get();
        }
    }
}

}  // namespace sendrix::app

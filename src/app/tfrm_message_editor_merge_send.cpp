// The send run of the main window: the list send, the single address, the
// send to the current row and the test mail. The run itself lives in
// merge/send_run; this file takes the snapshot of the window and shows the
// run's progress on the controls.
#include <functional>

#include <algorithm>
#include <string>
#include <vector>

#include "app/access_token.h"
#include "app/message_preview.h"
#include "app/oauth_session.h"
#include "app/password_file.h"
#include "app/recorded_send.h"
#include "app/tfrm_message_editor.h"
#include "mail/id_email_address.h"
#include "mail/tls_session.h"
#include "merge/body_composition.h"
#include "merge/mailing.h"
#include "merge/preflight.h"
#include "merge/recipient_list.h"
#include "merge/send_run.h"
#include "platform/error.h"
#include "platform/profile_file.h"
#include "platform/system_info.h"
#include "platform/text_trim.h"

namespace sendrix::app {

namespace {

const char* const kEmptySubjectQuestion = "Wollen Sie wirklich keinen Betreff der E-mail eingeben?";

const char* const kNoListAddressNotice =
    "Kein markierter Empfänger der Liste hat eine Adresse; es wurde nichts gesendet.";

// True when the field names at least one address: ", ," names none, and a
// message without a recipient must not be started.
bool holdsAnAddress(const std::string& field) {
    mail::TIdEMailAddressList list;
    list.SetAddresses(field);
    for (const mail::TIdEMailAddressItem& item : list)
        if (!platform::trimControl(item.Address()).empty())
            return true;
    return false;
}

// True when a marked row has an address; a list without one sends nothing
// and must not end as a finished run.
bool holdsAnAddress(const std::vector<merge::RecipientRow>& rows) {
    for (const merge::RecipientRow& row : rows)
        if (row.ok == merge::kSendMark && holdsAnAddress(row.email))
            return true;
    return false;
}

// The run's progress on the window's controls, each repaint passed on to
// the interaction at once.
class FormSendObserver : public merge::SendObserver {
public:
    FormSendObserver(TfrmMessageEditor& form, Interaction& interaction)
        : m_form(form), m_interaction(interaction) {}

    void setStatusText(const std::string& text) override {
        if (m_form.StatusBar1.Panels.size() < 2)
            m_form.StatusBar1.Panels.resize(2);
        m_form.StatusBar1.Panels[1] = text;
    }
    void addProtocolLine(const std::string& text) override { m_form.protokollmemo.Add(text); }
    void clearProtocol() override { m_form.protokollmemo.Clear(); }
    void showProtocolPage() override { m_form.Control.ActivePageIndex = kPageProtokoll; }
    void showProgress(int maximum) override {
        m_form.Progress.Max = maximum;
        m_form.Progress.Position = 0;
        m_form.Progress.Visible = true;
    }
    void setProgressPosition(int position) override { m_form.Progress.Position = position; }
    void hideProgress() override { m_form.Progress.Visible = false; }
    void setStagingText(const std::vector<std::string>& lines) override { m_form.Memo1.Lines = lines; }
    void repaint(merge::SendView view) override {
        switch (view) {
            case merge::SendView::StatusBar: m_interaction.Repaint(ControlId::StatusBar1); break;
            case merge::SendView::Protocol: m_interaction.Repaint(ControlId::protokollmemo); break;
            case merge::SendView::PageControl: m_interaction.Repaint(ControlId::Control); break;
        }
    }
    void setProgressCount(int done, int total) override {
        m_form.Progress.Caption = std::to_string(done) + " von " + std::to_string(total);
        m_interaction.Repaint(ControlId::Progress);
    }
    // The status column; a delivered row loses its send mark, so that the
    // next "Senden" goes exactly to the rows still to send.
    void rowOutcome(const merge::RowResult& result) override {
        auto& cells = m_form.empfaengerliste.Cells;
        if (result.row < 1 || result.row >= static_cast<int>(cells.size()))
            return;
        if (m_form.RowStatus.size() < cells.size())
            m_form.RowStatus.resize(cells.size());
        m_form.RowStatus[result.row] = merge::rowStatusText(result);
        if (result.state == merge::RowResult::State::Delivered && !cells[result.row].empty())
            cells[result.row][0].clear();
        m_interaction.Repaint(ControlId::empfaengerliste);
    }
    bool continueAfterRefusal(const std::string& question) override {
        if (m_form.ContinueAfterRefusal)
            return true;
        // Unattended nobody could answer: the run stops as it always did.
        if (m_form.SendImmediately)
            return false;
        return m_interaction.Confirm(question);
    }
    bool stopRequested() override { return m_form.StopRequested; }

private:
    TfrmMessageEditor& m_form;
    Interaction& m_interaction;
};

// The composed mailing as the controls hold it now, without the recipient
// rows: only the list send needs them (recipientRowsOf).
merge::Mailing mailingOf(const TfrmMessageEditor& form) {
    merge::Mailing mailing;
    mailing.senderAddress = form.MailSettings.PersonalEmail;
    mailing.displayName = form.edtreal.Text;
    mailing.subject = form.edtSubject.Text;
    mailing.cc = form.edtCC.Text;
    mailing.bcc = form.edtBCC.Text;
    mailing.replyTo = form.edtReply.Text;
    mailing.priorityIndex = form.cboPriority.ItemIndex;
    mailing.receipt = form.chkReturnReciept.Checked;
    mailing.unsubscribeAddress = platform::trimControl(form.edtAbmeldeadresse.Text);
    mailing.unsubscribeLine = form.chkAbmeldezeile.Checked;
    mailing.body.useSalutation = form.useAnrede.Checked;
    mailing.body.salutationTemplate = form.Anrede.Text;
    mailing.body.html = form.html.Checked;
    mailing.body.body = form.Memo.Lines;
    mailing.extraTitles = extraTitlesOf(form.empfaengerliste);
    mailing.listFolder = form.RecipientListFolder;
    mailing.bodyFolder = form.BodyFolder;
    const mail::TIdMessageParts& parts = form.IdMsgSend.MessageParts;
    for (int i = 0; i < parts.Count(); ++i)
        if (parts.Items(i).Kind() == mail::TIdMessagePartKind::Attachment)
            mailing.attachments.push_back(static_cast<const mail::TIdAttachment&>(parts.Items(i)).FileName());
    return mailing;
}

// Reads the password from the keyring the first time a login needs it, so a
// run without login never asks the keyring.
merge::SmtpAccount accountOf(TMailSettings& settings, SecretStore* secrets) {
    merge::SmtpAccount account;
    account.host = settings.ServerName;
    account.port = settings.ServerPort;
    account.user = settings.ServerUser;
    // OAuth logins (3, 4) use a token instead: the keyring is not asked.
    const bool passwordLogin = settings.SMTPAuthenticationType == 1 || settings.SMTPAuthenticationType == 2;
    account.password = passwordLogin ? SmtpLoginPassword(settings, secrets) : settings.ServerPassword;
    account.authenticationType = settings.SMTPAuthenticationType;
    account.timeoutSeconds = settings.Timeout;
    account.messagesPerConnection = settings.MessagesPerConnection;
    account.messagesPerMinute = settings.MessagesPerMinute;
    account.pipelining = settings.Pipelining;
    account.encryption = settings.Encryption;
    account.pinnedFingerprint = settings.TlsFingerprint;
    const std::string command = settings.TokenCommand;
    account.accessToken = [command] { return fetchAccessToken(command); };
    // The built-in sign-in, unless a token command is set (which wins): one
    // session per run, so the access token is fetched once, not per message.
    if (command.empty() && !passwordLogin)
        if (auto session = OpenOAuthSession(platform::programFolder() + "Mail.ini", settings, secrets))
            account.accessToken = [session] { return session->AccessToken(); };
    return account;
}

// The result file's place when there is no archive: a folder of its own,
// so the log folder keeps holding only the send logs.
std::string resultFolder() {
    return platform::programFolder() + "Ergebnisse";
}

// Runs `send`; a refused certificate is shown with its fingerprint and the
// person at the window may decide to trust it from now on ([Smtp]
// TlsFingerprint). The console answers the question No, so an unattended
// run never pins a certificate by itself. Either way the send has failed.
void sendTrustingOnRequest(Interaction& interaction, TMailSettings& settings,
                           const std::function<void()>& send) {
    try {
        send();
    } catch (const mail::EIdCertificateError& error) {
        if (error.Fingerprint().empty() ||
            !interaction.Confirm(
                std::string(error.what()) +
                "\r\n\r\nSoll Sendrix diesem Zertifikat künftig vertrauen? Nur mit Ja "
                "antworten, wenn der Betreiber des Servers genau diesen Fingerabdruck nennt."))
            throw;
        const std::string mailIni = platform::programFolder() + "Mail.ini";
        platform::writeProfileString(mailIni, "Smtp", "TlsFingerprint", error.Fingerprint(),
                                     SettingsFileAccess(mailIni));
        settings.TlsFingerprint = error.Fingerprint();
        throw Error("Dem Zertifikat wird künftig vertraut (" + mailIni +
                    ", [Smtp] TlsFingerprint); es wurde nichts gesendet. Bitte erneut senden.");
    }
}

}  // namespace

void TfrmMessageEditor::sendenClick() {
    // Until the run has gone through, a calling program must not read it as
    // delivered (see RunOutcome).
    LastRunOutcome = RunOutcome::Failed;

    if (platform::trimControl(edtSubject.Text).empty() && !m_interaction.Confirm(kEmptySubjectQuestion)) {
        pnlTopleft.ActivePageIndex = kPageEmpfaenger;
        m_interaction.Focus(ControlId::edtSubject);
        LastRunOutcome = RunOutcome::Declined;
        return;
    }

    merge::Mailing mailing = mailingOf(*this);
    if (edtto.Text != kRecipientListMarker) {
        // Sending nothing and saying nothing would let a calling program
        // take an empty address for a delivered mail.
        if (!holdsAnAddress(edtto.Text)) {
            m_interaction.Notice("Es ist keine Empfängeradresse angegeben.");
            return;
        }
        // An attachment that went missing since it was added stops the send
        // before a connection, not half-way through the text.
        for (int i = 0; i < IdMsgSend.MessageParts.Count(); ++i) {
            const mail::TIdMessagePart& part = IdMsgSend.MessageParts.Items(i);
            if (part.Kind() != mail::TIdMessagePartKind::Attachment)
                continue;
            const std::string fault =
                unreadableAttachment(static_cast<const mail::TIdAttachment&>(part).FileName());
            if (!fault.empty())
                throw Error(fault);
        }
        Memo1.Lines = merge::composeSingleAddressBody(mailing.body);
        SendToAddress(edtto.Text, 1);
        AddToAddressHistory(edtto.Text);
    } else {
        mailing.rows = recipientRowsOf(empfaengerliste);
        mailing.sourceRows = RecipientSourceRows;
        if (!PreflightAllowsRun(mailing))
            return;
        if (!holdsAnAddress(mailing.rows)) {
            m_interaction.Notice(kNoListAddressNotice);
            return;
        }
        RecordedSend recorded;
        prepareRecordedSend(mailing, recorded);
        if (!recorded.go) {
            // "/fortsetzen" after a finished run: nothing left, which is success.
            LastRunOutcome = recorded.declined ? RunOutcome::Declined : RunOutcome::Finished;
            if (CloseAfterRun && !recorded.declined)
                m_interaction.CloseWindow();
            return;
        }
        const std::string already = recorded.alreadyDelivered > 0
                                        ? " (" + std::to_string(recorded.alreadyDelivered) +
                                              " haben sie bereits erhalten)"
                                        : "";
        if (!SendImmediately &&
            !m_interaction.Confirm("Wollen Sie diese Mail an " + std::to_string(recorded.toSend) +
                                   " Empfänger verschicken?" + already + "\r\n(" + MailSettings.PersonalEmail +
                                   ")" + sentCopyNote(MailSettings.Imap))) {
            LastRunOutcome = RunOutcome::Declined;
            return;
        }
        // A continuation keeps what earlier sessions of its run show.
        if (recorded.plan.continueRun.empty())
            RowStatus.assign(empfaengerliste.Cells.size(), std::string());
        else
            RowStatus.resize(empfaengerliste.Cells.size());
        const merge::SmtpAccount account = accountOf(MailSettings, Secrets);
        const std::string archive =
            merge::sentObjectsFolder(MailSettings.SentObjects, platform::programFolder());
        merge::RunSummary summary;
        const std::unique_ptr<merge::SentCopy> copy =
            sentCopyOf(MailSettings.Imap, MailSettings, Secrets, account.accessToken);
        sendTrustingOnRequest(m_interaction, MailSettings, [&] {
            runSend([&](merge::SendObserver& observer) {
                merge::SendRun run(IdMsgSend, SMTP, observer, m_clock, MailSettings.LogFile,
                                   SendTime ? *SendTime : merge::steadyRunTime());
                run.setSentCopy(copy.get());
                run.setDryRunFolder(DryRunFolder);
                run.setRecord(recorded.plan);
                summary = run.runList(mailing, account, archive, resultFolder(), !SendImmediately);
            });
        });
        if (!summary.uncertain.empty() && SendImmediately)
            m_interaction.Warning("Bei " + std::to_string(summary.uncertain.size()) +
                                  " Empfänger(n) ist unklar, ob die Mail angekommen ist; sie wurden nicht "
                                  "erneut angeschrieben: " + joinedAddresses(summary.uncertain));
        if (!summary.complete()) {
            LastRunOutcome = RunOutcome::Incomplete;
            if (CloseAfterRun)
                m_interaction.CloseWindow();
            return;
        }
    }
    LastRunOutcome = RunOutcome::Finished;
    if (CloseAfterRun)
        m_interaction.CloseWindow();
}

bool TfrmMessageEditor::PreflightAllowsRun(merge::Mailing& mailing) {
    std::vector<merge::Finding> findings = unmarkSuppressedRows(mailing);
    for (merge::Finding& finding : merge::preflightCheck(mailing))
        findings.push_back(std::move(finding));
    if (findings.empty())
        return true;
    const bool stop = merge::hasError(findings);
    if (SendImmediately) {
        // Unattended: every finding on its own line of standard error, and
        // only errors stop the run.
        for (const merge::Finding& finding : findings) {
            if (finding.level == merge::Finding::Level::Error)
                m_interaction.ErrorBox(finding.text);
            else
                m_interaction.Warning(finding.text);
        }
        if (stop)
            m_interaction.Notice("Der Versand wird nicht gestartet; es wurde nichts versendet.");
        return !stop;
    }
    // One box for everything, cut where it would no longer fit the screen.
    constexpr std::size_t kShownFindings = 30;
    std::string text = "Prüfung vor dem Versand:\r\n";
    for (std::size_t i = 0; i < findings.size() && i < kShownFindings; ++i)
        text += "\r\n" + merge::findingLine(findings[i]);
    if (findings.size() > kShownFindings)
        text += "\r\n... und " + std::to_string(findings.size() - kShownFindings) + " weitere";
    if (stop) {
        // Errors that leaving out their rows clears: the box offers that.
        const bool rowsAtFault =
            std::all_of(findings.begin(), findings.end(), [](const merge::Finding& finding) {
                return finding.level != merge::Finding::Level::Error || finding.faultyRow > 0;
            });
        if (!rowsAtFault) {
            m_interaction.Warning(text + "\r\n\r\nDer Versand wird nicht gestartet.");
            return false;
        }
        if (m_interaction.Choose(text + "\r\n\r\nMit diesen Zeilen wird der Versand nicht gestartet.",
                                 {"Fehlerhafte Zeilen abwählen und senden"}) != 0)
            return false;
        for (const merge::Finding& finding : findings) {
            if (finding.faultyRow == 0 || finding.faultyRow > mailing.rows.size())
                continue;
            mailing.rows[finding.faultyRow - 1].ok.clear();
            std::vector<std::string>& cells = empfaengerliste.Cells[finding.faultyRow];
            if (!cells.empty())
                cells[0].clear();
        }
        return true;
    }
    if (m_interaction.Confirm(text + "\r\n\r\nTrotzdem versenden?"))
        return true;
    LastRunOutcome = RunOutcome::Declined;
    return false;
}

void TfrmMessageEditor::runSend(const std::function<void(merge::SendObserver&)>& work) {
    FormSendObserver observer(*this, m_interaction);
    StopRequested = false;
    Sending = true;
    try {
        if (SendRuns)
            SendRuns->RunSend(observer, work);
        else
            work(observer);
    } catch (...) {
        Sending = false;
        throw;
    }
    Sending = false;
}

void TfrmMessageEditor::AbbrechenClick() {
    if (!Sending)
        return;
    StopRequested = true;
    if (StatusBar1.Panels.size() < 2)
        StatusBar1.Panels.resize(2);
    StatusBar1.Panels[1] = "Abbruch angefordert: der Versand endet nach der laufenden Mail.";
}

void TfrmMessageEditor::SendToAddress(const std::string& address, int number) {
    const merge::Mailing mailing = mailingOf(*this);
    const merge::SmtpAccount account = accountOf(MailSettings, Secrets);
    const std::vector<std::string> body = Memo1.Lines;
    const std::unique_ptr<merge::SentCopy> copy =
        sentCopyOf(MailSettings.Imap, MailSettings, Secrets, account.accessToken);
    sendTrustingOnRequest(m_interaction, MailSettings, [&] {
        runSend([&](merge::SendObserver& observer) {
            merge::SendRun run(IdMsgSend, SMTP, observer, m_clock, MailSettings.LogFile,
                               SendTime ? *SendTime : merge::steadyRunTime());
            run.setSentCopy(copy.get());
            run.sendToAddress(mailing, account, body, address, number);
        });
    });
}

void TfrmMessageEditor::anmarkiertenEmpfngerversenden1Click() {
    LastRunOutcome = RunOutcome::Failed;
    // Commits what was typed into the sender fields, as leaving them would;
    // no page has to be shown for that, so the send cannot fail on it.
    edtfromExit();

    const int r = empfaengerliste.Row;
    if (r < 1 || r >= empfaengerliste.RowCount()) {
        m_interaction.Notice("Die Empfängerliste enthält keinen Empfänger.");
        return;
    }
    const std::vector<std::string> extraTitles = extraTitlesOf(empfaengerliste);
    const merge::RecipientRow row = recipientRowOf(empfaengerliste.Cells[r], extraTitles.size());
    if (!m_interaction.Confirm("Wollen Sie diese Mail an " + row.name + " " + row.vorname + " (" + row.email +
                               ") verschicken?\r\n(von " + MailSettings.PersonalEmail + ")")) {
        LastRunOutcome = RunOutcome::Declined;
        return;
    }
    Memo1.Lines = merge::composeCurrentRowBody(mailingOf(*this).body, row, extraTitles);
    SendToAddress(row.email, 1);
    LastRunOutcome = RunOutcome::Finished;
}

std::string TfrmMessageEditor::DefaultTestAddress() const {
    const std::string own = platform::trimControl(MailSettings.PersonalEmail);
    return own.empty() ? kFallbackTestAddress : own;
}

merge::Mailing TfrmMessageEditor::ListMailing() const {
    merge::Mailing mailing = mailingOf(*this);
    mailing.rows = recipientRowsOf(empfaengerliste);
    mailing.sourceRows = RecipientSourceRows;
    return mailing;
}

void TfrmMessageEditor::Vorschau1Click() {
    if (!PreviewDialogs)
        return;
    MessagePreview preview(ListMailing());
    PreviewDialogs->RunPreview(preview);
}

void TfrmMessageEditor::SpeedButton6Click() {
    std::string address = DefaultTestAddress();
    if (!m_interaction.InputBox("Test-Email", "Adresse", address))
        return;
    const int r = empfaengerliste.Row;
    if (edtto.Text == kRecipientListMarker && r >= 1 && r < empfaengerliste.RowCount()) {
        // With a list the test shows what the current row's recipient gets:
        // salutation, filled placeholders and the row's own attachments.
        LastRunOutcome = RunOutcome::Failed;
        const merge::Mailing mailing = ListMailing();
        const merge::SmtpAccount account = accountOf(MailSettings, Secrets);
        runSend([&](merge::SendObserver& observer) {
            merge::SendRun run(IdMsgSend, SMTP, observer, m_clock, MailSettings.LogFile,
                               SendTime ? *SendTime : merge::steadyRunTime());
            run.sendRowToAddress(mailing, account, mailing.rows[r - 1], address);
        });
        LastRunOutcome = RunOutcome::Finished;
        return;
    }
    const std::string remembered = edtto.Text;
    edtto.Text = address;
    try {
        sendenClick();
    } catch (...) {
        edtto.Text = remembered;
        throw;
    }
    edtto.Text = remembered;
}

}  // namespace sendrix::app

#pragma once
// The main window without a toolkit: the state of every control as a plain
// model, named as the controls are named, and every handler as a method.
// Handlers raise errors and never catch them; the caller (Qt view, console
// runner, test) shows them with runHandler (app/handler_runner.h).
//
// Who implements what:
//   tfrm_message_editor.cpp             start-up, show and close
//   tfrm_message_editor_settings.cpp    mail configurations, profiles, sender
//   tfrm_message_editor_recipients.cpp  recipient list, address history
//   tfrm_message_editor_content.cpp     salutation, HTML aids, body file,
//                                       attachments
//   tfrm_message_editor_merge_send.cpp  the send runs
//   tfrm_message_editor_mailing.cpp     the mailing as a file, the question
//                                       about unsaved changes
//   tfrm_message_editor_extras.cpp      Optionen1Click, Update1Click,
//                                       Versionsinfo1Click
#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/controls.h"
#include "app/interaction.h"
#include "app/mail_settings.h"
#include "mail/id_smtp.h"
// --- merge --- (the outgoing message)
#include "mail/id_message.h"
#include "merge/mailing.h"
#include "merge/mailing_file.h"
// --- end merge ---
#include "platform/clock.h"

namespace sendrix::merge {
struct Finding;
struct RecordedRun;
struct SuppressedAddress;
class RunTime;
class SendObserver;
}  // namespace sendrix::merge

namespace sendrix::app {

struct RecordedSend;  // app/recorded_send.h
class ReportMailbox;  // app/report_mailbox.h

// Shows the suppression list for editing (src/ui/suppression_dialog.*):
// true with the edited entries when the person confirms.
class SuppressionDialogRunner {
public:
    virtual ~SuppressionDialogRunner() = default;
    virtual bool EditSuppressionList(std::vector<merge::SuppressedAddress>& entries) = 0;
};

// Runs the network part of a send. The Qt view runs `work` off the
// user-interface thread, hands it an observer that passes every call on to
// `observer` on the user-interface thread, keeps the window painting with
// only "Abbrechen" taking input, and returns when `work` has ended,
// raising its error. Without one (console, tests) `work` runs at once.
class SendRunner {
public:
    virtual ~SendRunner() = default;
    virtual void RunSend(merge::SendObserver& observer,
                         const std::function<void(merge::SendObserver&)>& work) = 0;
};

// Indexes of the pages of the page controls.
inline constexpr int kPageEmpfaenger = 0;       // pnlTopleft "Empfänger"
inline constexpr int kPageAbsender = 1;         // pnlTopleft "Absender"
inline constexpr int kPageKopien = 2;           // pnlTopleft "Kopien"
inline constexpr int kPageEmpfaengerliste = 0;  // pnltopright "Empfängerliste" (empfaenger)
inline constexpr int kPageAnhang = 1;           // pnltopright "Anhang"
inline constexpr int kPageMail = 0;             // Control "Mail"
inline constexpr int kPageProtokoll = 1;        // Control "Protokoll"

// Text of edtto while a recipient list is loaded (list mode).
inline constexpr const char* kRecipientListMarker = "*Empfängerliste*";

// Room of the profile table: profile numbers 0 to 100.
inline constexpr int kMaxProfiles = 101;

class TfrmMessageEditor {
public:
    // `arguments` are the command-line arguments without the program name.
    // The constructor only sets the controls' design values; FormCreate
    // does the start-up work.
    TfrmMessageEditor(Interaction& interaction, const platform::Clock& clock,
                      std::vector<std::string> arguments);
    TfrmMessageEditor(const TfrmMessageEditor&) = delete;
    TfrmMessageEditor& operator=(const TfrmMessageEditor&) = delete;

    // ---- Window life (tfrm_message_editor.cpp) ----

    // The 17 start-up steps in order. Throws at the first failing step; the
    // remaining steps are skipped and the window opens with what was set up.
    void FormCreate();
    // "/sofort": runs sendenClick and then asks to close the window (an
    // error in the send propagates and the window stays open). Shows the
    // page "Anhang" when attachments are listed.
    void FormShow();
    // Stores the user's choices unless DontSave or SendImmediately forbid it.
    // A file whose settings start-up never read (a step before failed) is
    // left alone, so a broken start cannot wipe stored settings.
    // Throws FileError when a file cannot be written; the caller must then
    // keep the window open. Returning normally means the window may close.
    void FormClose();
    // Menu "&Beenden": asks the interaction to close the window; the caller's
    // close path runs FormClose.
    void Beenden1Click();
    // Asked before every close, before FormClose: true when the window may
    // close. First the question about an edited recipient list
    // (listChangesAllowToGoOn), then, with unsaved changes to the mailing (and neither DontSave nor
    // SendImmediately) asks "Änderungen am Mailing speichern?": Ja saves
    // (false when the save dialog is cancelled), Nein closes, Abbrechen
    // keeps the window open. Throws the save's FileError.
    bool FormCloseQuery();

    // ---- The mailing as a file (tfrm_message_editor_mailing.cpp) ----

    // "Mailing öffnen": after the question about unsaved changes, an open
    // dialog, then OpenMailing.
    void MailingOeffnen1Click();
    // "Mailing speichern": to MailingFile, or through the save dialog when
    // there is none yet; "Mailing speichern unter": always the dialog.
    void MailingSpeichern1Click();
    void MailingSpeichernUnter1Click();
    // Reads the mailing file and puts it into the controls. Throws FileError
    // or MailingFileError naming the file, and Error naming a list or an
    // attachment that is missing; the window is then unchanged.
    void OpenMailing(const std::string& path);
    // Writes the controls' mailing to `path`, which becomes MailingFile.
    // Throws FileError; the file is then unchanged.
    void SaveMailing(const std::string& path);
    // The mailing as the controls hold it.
    merge::MailingDocument CurrentMailing() const;
    // True when the mailing differs from the one opened, saved or set up at
    // start.
    bool MailingChanged() const;
    // The mailing file opened or saved last; empty when there is none.
    std::string MailingFile;

    // How the last send operation ended; the exit status of a "/sofort" run
    // follows it. Contract for sendenClick: it sets Failed as soon as it
    // starts, Declined when a question is answered No and nothing is sent,
    // and Finished when the run went through to its end (every marked
    // recipient handed to the server). An error that ends the run thus
    // leaves Failed behind; a list send that went to its end or was stopped
    // with rows not delivered leaves Incomplete.
    enum class RunOutcome { None, Finished, Failed, Declined, Incomplete };
    RunOutcome LastRunOutcome = RunOutcome::None;
    // 0 when the last send operation finished, else 1 (none ran, it failed
    // or was declined). Errors shown by start-up or close are the caller's
    // to count (see app/unattended_run.h).
    int ExitStatus() const;
    // True once FormCreate went through all its steps. After a failed
    // start-up FormShow does not start the immediate send: the mailing would
    // go out without the sender, subject or reply-to the later steps set.
    bool StartupCompleted() const { return m_startupCompleted; }

    // ---- Settings and profiles (tfrm_message_editor_settings.cpp) ----

    // Reads a mail configuration into the controls and MailSettings.
    void LoadMailConfiguration(const std::string& path);
    void MailKonfigurationffnen1Click();
    void MailKonfigurationsichern1Click();
    // Writes [Email] "replyto" = edtReply to MailSettings.ConfigFile.
    void SpeedButton1Click();
    // Loads the profile selected in selEmailProfil from UserSettingsFile.
    void selEmailProfilChange();
    void selEmailProfilClick();
    // Leaving edtfrom, edtreal or edtReply: sender, label and caption follow.
    void edtfromExit();

    // ---- Recipient list, salutation, send, body, attachments (merge) ----

    void sendenClick();
    void anmarkiertenEmpfngerversenden1Click();
    void Verteilerlisteffnen1Click();
    void Nachrichtffnen1Click();
    void Speichern1Click();
    // "Liste speichern": the grid's rows back into the list file in its own
    // format (merge/list_writer.h); a workbook's as a CSV beside it, asking
    // before another file of that name is replaced.
    void ListeSpeichern1Click();
    void btnAttachmentClick();
    void Button1Click();
    void BitBtn1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void SpeedButton5Click();
    void SpeedButton6Click();
    void AnredeChange();
    void useAnredeClick();
    // "HTML Mail" clicked (html.Checked is already the new state). On: a
    // plain-text body becomes paragraphs (HTML source stays as it is). Off:
    // a body whose formatting would be lost asks first; "Nein" keeps HTML on
    // and the body; "Ja" leaves the body's text rendering.
    void htmlClick();
    void empfaengerlisteDblClick();
    void empfaengerlisteSelectCell(int col, int row);
    // "Alle markieren" / "Keine markieren": every data row gets the send
    // mark / loses it.
    void AlleMarkierenClick();
    void KeineMarkierenClick();
    // "Fehlerhafte abwählen": rows whose address fails the loading check
    // lose their mark.
    void FehlerhafteAbwaehlenClick();
    // Space on the grid: each of these grid rows changes its mark.
    void ToggleMarks(const std::vector<int>& gridRows);
    // "Abbrechen" (button and Escape) during a send: the run stops after the
    // message in flight or at once while it waits. May be called from the
    // user-interface thread while the run works on another.
    void AbbrechenClick();

    // Used by start-up and LoadMailConfiguration; the caller has checked
    // that the file exists.
    // Replaces the text of Memo with the file's content (Memo1 is handled
    // by the caller).
    void LoadBodyFile(const std::string& path);
    // Appends an attachment part for the file to IdMsgSend (lvFiles is
    // rebuilt by RefreshAttachmentList).
    void AddAttachmentFile(const std::string& path);
    // Rebuilds lvFiles from the parts of IdMsgSend.
    void RefreshAttachmentList();

    // ---- Dialogs and "?" menu (extras) ----

    // "Optionen" opens the account dialog, "Konto einrichten" the account
    // assistant, both over one TfmSetup; once it has stored, the window's
    // sender name and address follow what it stored.
    void Optionen1Click();
    void KontoEinrichten1Click();
    // At a start in the window without an SMTP server in "Mail.ini".
    bool AccountMissing() const;
    void Update1Click();
    void Versionsinfo1Click();
    // Setup dialog and assistant: show the TfmSetup that Optionen1Click and
    // KontoEinrichten1Click create; set by the view (null: both do nothing,
    // as in the console mode).
    class SetupDialogRunner* SetupDialogs = nullptr;
    // "Vorschau": the marked rows' messages one at a time (app/message_preview.h),
    // shown by PreviewDialogs (set by the view; null: nothing happens).
    void Vorschau1Click();
    class PreviewDialogRunner* PreviewDialogs = nullptr;
    // The desktop's keyring for the SMTP password; set by whoever runs the
    // window (null: a password kept there cannot be read, and the setup
    // dialog stores into the file).
    class SecretStore* Secrets = nullptr;

    // ---- Controls (design values set by the constructor) ----

    std::string Caption = "Sendrix";

    // Page "Empfänger" of pnlTopleft.
    TLabel sAbsender;
    TLabel lblProfil;
    TComboBox selEmailProfil;
    TComboBox edtto;
    TEdit edtSubject;
    TEdit edtReply;
    TComboBox cboPriority;
    TCheckBox chkReturnReciept;
    TCheckBox html;
    // Page "Absender".
    TEdit edtreal;
    TEdit edtfrom;
    // Page "Kopien".
    TEdit edtCC;
    TEdit edtBCC;
    // The mailing's unsubscribe address (List-Unsubscribe, merge/unsubscribe.h)
    // and whether the body ends with a line naming it.
    TEdit edtAbmeldeadresse;
    TCheckBox chkAbmeldezeile;

    TPageControl pnlTopleft;
    TPageControl pnltopright;  // pages "Empfängerliste" (empfaenger), "Anhang"
    TStringGrid empfaengerliste;
    TListView lvFiles;

    // Salutation group.
    TCheckBox useAnrede;
    TComboBox Anrede;
    TLabel Vorschau;

    TPageControl Control;  // pages "Mail", "Protokoll"
    TMemo Memo;
    TLogMemo protokollmemo;
    TMemo Memo1;  // hidden work copy of the personalised body
    TEdit Edit1;  // hidden carrier for clipboard copies

    TProgressBar Progress;
    TStatusBar StatusBar1;

    // Menu.
    TMenuItem Senden1;
    TMenuItem Verteilerlisteffnen1;
    TMenuItem MailingOeffnen1;
    TMenuItem MailingSpeichern1;
    TMenuItem MailingSpeichernUnter1;
    TMenuItem Beenden1;
    TMenuItem Nachrichtffnen1;
    TMenuItem Speichern1;
    TMenuItem Vorschau1;  // "&Nachricht" > "&Vorschau"
    TMenuItem Optionen1;
    TMenuItem KontoEinrichten1;
    TMenuItem MailKonfigurationffnen1;
    TMenuItem MailKonfigurationsichern1;
    TMenuItem ListeSpeichern1;  // enabled while a list file is loaded
    TMenuItem RuecklaeuferPruefen1;  // "&Extras" > "&Rückläufer prüfen"
    TMenuItem Sperrliste1;           // "&Extras" > "&Sperrliste ..."
    TMenuItem Update1;
    TMenuItem Versionsinfo1;

    TFileDialog OpenDialog1;
    TFileDialog SaveDialog1;

    // ---- Owned objects ----

    // The SMTP client, opened and closed per message from MailSettings.
    mail::TIdSMTP SMTP;

    // ---- State ----

    TMailSettings MailSettings;
    bool SendImmediately = false;
    bool CloseAfterRun = false;
    bool DontSave = false;
    // "/weiter": after a refused recipient the list send goes on without a
    // question (unattended the run otherwise stops there).
    bool ContinueAfterRefusal = false;
    // "/fortsetzen": an unattended list send continues the last unfinished
    // run of the same mailing instead of starting a new one.
    bool ContinueRun = false;
    // Not empty: list sends write .eml files into this folder instead of
    // sending ("/eml:").
    std::string DryRunFolder;
    std::string UserSettingsFile;
    std::string RecipientHistoryFile;
    std::string ProgramIniFile;
    std::array<int, kMaxProfiles> ProfileNumbers{};

    Interaction& interaction() { return m_interaction; }
    const platform::Clock& clock() const { return m_clock; }
    const std::vector<std::string>& arguments() const { return m_arguments; }

    // --- merge ---
    // Recipient list, salutation, send run, body and attachments
    // (tfrm_message_editor_merge*.cpp).

    // The outgoing message, reused for every message; its attachment parts
    // stay until removed.
    mail::TIdMessage IdMsgSend;

    // Loads a recipient list file into empfaengerliste and enters list mode:
    // one warning per row without "@". Throws FileError when the file cannot
    // be read; an earlier list then stays as it was.
    // `sheet`: the sheet of a workbook (.xlsx, .ods); empty the first.
    void LoadRecipientList(const std::string& path, const std::string& sheet = "");
    // Adds the address, A-Z lower-cased, to edtto's sorted items unless it
    // is there already.
    void AddToAddressHistory(const std::string& address);
    // Sends the staging text Memo1 to `address` (comma-separated: several)
    // with running number `number`; a blank address returns at once.
    // Throws the transport's or the send log's error.
    void SendToAddress(const std::string& address, int number);
    // The pre-flight check of a list send (merge/preflight.h): true when the
    // run may start. Findings go to one box (warnings only: a question
    // whether to go on), or, with SendImmediately, each as a warning line;
    // an error always stops the run before anything is sent.
    // Where every error names a row's own data, the box offers "Fehlerhafte
    // Zeilen abwählen und senden": those rows lose their mark in the grid
    // and in `mailing`, and the run goes on.
    // Marked rows whose address is on the suppression list lose their mark
    // first (in the grid and in `mailing`) and are named as warnings,
    // unless marked again by hand since (SuppressionUnmarked).
    bool PreflightAllowsRun(merge::Mailing& mailing);
    // What the placeholder menu offers: "{{Name}}", "{{Vorname}}",
    // "{{Email}}", "{{Typ}}" and one for each further column of the list.
    std::vector<std::string> PlaceholderMenuItems() const;
    // Puts `snippet` on the clipboard through the hidden field Edit1.
    void CopySnippetToClipboard(const std::string& snippet);
    // The composed mailing as the controls hold it, the grid's rows included.
    merge::Mailing ListMailing() const;
    // The address the test mail offers: the sender's own address, or
    // kFallbackTestAddress while no sender is set.
    std::string DefaultTestAddress() const;
    static constexpr const char* kFallbackTestAddress = "test@example.com";

    // The row of the grid cell selected last; the double-click toggles it.
    int RememberedRow = 1;

    // The grid's status column, by grid row ("versendet 12:03:04",
    // "Fehler: ...", "wartet"); empty until a list send has run, and emptied
    // when another list is loaded.
    std::vector<std::string> RowStatus;
    // Set by AbbrechenClick, cleared when a send starts.
    std::atomic<bool> StopRequested{false};
    // True while a send's network part runs.
    bool Sending = false;
    // Where the send's network part runs (set by the view; null: at once).
    SendRunner* SendRuns = nullptr;
    // The time of the waits between tries and of the pace limit (null: the
    // system's steady clock); tests put their own.
    merge::RunTime* SendTime = nullptr;
    // The folder of the recipient list loaded last: relative per-recipient
    // attachment paths lie below it.
    std::string RecipientListFolder;
    // The folder of the body file or mailing loaded or saved last: relative
    // image paths of an HTML body lie below it. Empty: the current folder.
    std::string BodyFolder;
    // The recipient list file loaded last; empty while no list is loaded.
    std::string RecipientListFile;
    // The number of each grid row in the list file (its line, the sheet's
    // row), for the pre-flight check and the send run.
    std::vector<int> RecipientSourceRows;
    // How the list file was written, for "Liste speichern".
    merge::ListSource RecipientListSource;
    // Leaves list mode: the grid keeps only its title row, edtto is free for
    // a single address.
    void ClearRecipientList();

    // ---- The mailbox side (tfrm_message_editor_mailbox.cpp) ----

    // "Sperrliste" in the program folder (merge/suppression_list.h).
    std::string SuppressionFile() const;
    // "Extras" > "Sperrliste ...": the list in SuppressionDialogs (set by the
    // view; null: nothing happens); what it returns is written back. Throws
    // Error for an entry that is no address (the file is then unchanged),
    // FileError when it cannot be written.
    void Sperrliste1Click();
    class SuppressionDialogRunner* SuppressionDialogs = nullptr;
    // Grid rows the pre-flight check un-marked because their address is on
    // the suppression list, with that address. A row marked again by hand
    // afterwards is sent to (the person overrode the list for it).
    std::map<int, std::string> SuppressionUnmarked;
    // "Extras" > "Rückläufer prüfen" (and "/ruecklaeufer" with "/sofort"):
    // reads the inbox since the last run of the loaded mailing started,
    // marks bounced rows "unzustellbar: ..." in the grid, the run record and
    // the result file, puts hard bounces and unsubscribe requests on the
    // suppression list and, after a question (unattended: with
    // MoveHandledReports), moves handled reports to kReportFolder. Throws
    // the IMAP client's errors, FileError and RunRecordError.
    void RuecklaeuferPruefen1Click();
    static constexpr const char* kReportFolder = "Sendrix/Rückläufer";
    // "/ruecklaeufer": the unattended start checks for bounces instead of sending.
    bool CheckReportsOnly = false;
    // "/ruecklaeufer:verschieben": handled reports are moved unattended too.
    bool MoveHandledReports = false;
    // The inbox "Rückläufer prüfen" reads (null: the [Imap] account's).
    std::function<std::unique_ptr<ReportMailbox>()> OpenReportMailbox;

    // ---- The run record (tfrm_message_editor_run_record.cpp) ----

    // The record of the loaded mailing or list (merge/run_record.h): beside
    // MailingFile, else (or while that has none yet) the list's in the
    // program folder. Empty while no list is loaded.
    std::string RunRecordPath() const;
    // After a mailing or list is loaded in the window: when its last run is
    // unfinished, each row's outcome goes to RowStatus, delivered rows lose
    // their mark and the status bar says how far the run went. Throws
    // RunRecordError or FileError for a record that cannot be read.
    void ShowRunRecord();
    // --- end merge ---

private:
    // Decides new run or continuation of `mailing` and asks the questions
    // that go with it; `recorded.go` false when nothing is to be sent.
    void prepareRecordedSend(const merge::Mailing& mailing, RecordedSend& recorded);
    // PreflightAllowsRun's first step (SuppressionUnmarked): the findings
    // that name the rows on the suppression list.
    std::vector<merge::Finding> unmarkSuppressedRows(merge::Mailing& mailing);
    // Each row's outcome in `run` to RowStatus; delivered rows lose their mark.
    void showRunInGrid(const merge::RecordedRun& run);
    // Runs the network part of a send through SendRuns (or at once) with
    // the observer on the window's controls; StopRequested starts cleared.
    void runSend(const std::function<void(merge::SendObserver&)>& work);
    // Sets useAnrede and runs useAnredeClick when the state changes.
    void setSalutationChecked(bool checked);
    // LoadMailConfiguration in two halves: the keys (steps 1-11), then the
    // recipient list and body files they name (steps 12-13). Returns the
    // body file named that is no regular file (skipped), else "".
    // With `mailingGiven` the keys a mailing file holds (reply-to, subject,
    // salutation, HTML) are left to it.
    void readConfigurationKeys(const std::string& path, bool mailingGiven = false);
    // Puts a mailing read from a file into the controls; the list and the
    // attachments must exist (OpenMailing checks).
    void applyMailing(const merge::MailingDocument& mailing);
    // "Die Anlage ... kann nicht gelesen werden (reason); es wurde nichts
    // gesendet." for an attachment that cannot be opened; empty when it can.
    static std::string unreadableAttachment(const std::string& path);
    // A mailing's list and attachments that are missing, as one error text
    // naming the mailing file; empty when all are there.
    std::string missingMailingFiles(const merge::MailingDocument& mailing, const std::string& path) const;
    // Asks the question about unsaved changes; false when the user cancels.
    bool saveChangesAllowsToGoOn();
    // Before the window closes or another list replaces the grid's: with
    // cells edited since load or save (and no unattended run) asks whether
    // to save the list. "Speichern" runs ListeSpeichern1Click (false when
    // that saved nothing; its error propagates), "Nicht speichern" goes on,
    // "Abbrechen" gives false.
    bool listChangesAllowToGoOn();
    // The controls' mailing now counts as saved.
    void markMailingSaved();
    merge::MailingDocument m_savedMailing;
    std::string loadConfigurationFiles(const std::string& path);
    void readProfiles();
    // Index of IdMsgSend's priority in cboPriority's list.
    int messagePriorityIndex() const;
    void createLogFileIfMissing();
    std::string windowCaption() const;
    void runAccountDialog(bool assistant);
    // Shows the file dialog in `folder`, else in the folder last used for
    // `kind` (user settings [Ordner]: "Liste", "Nachricht", "Anhang",
    // "Mailing"); a chosen file's folder is remembered for that kind.
    bool chooseFile(TFileDialog& dialog, const char* kind, bool save, const std::string& folder = {});

    Interaction& m_interaction;
    const platform::Clock& m_clock;
    std::vector<std::string> m_arguments;
    // What start-up has read, and what the close may therefore write back.
    bool m_historyRead = false;
    bool m_configurationRead = false;
    bool m_userSettingsRead = false;
    bool m_startupCompleted = false;
};

}  // namespace sendrix::app

// Start-up, show and close of the main window.
#include "app/tfrm_message_editor.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

#include "app/command_line.h"
#include "app/password_file.h"
#include "app/settings_paths.h"
#include "merge/mailing_file.h"
#include "merge/salutation.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/profile_file.h"
#include "platform/system_info.h"
#include "platform/text_file.h"

namespace sendrix::app {

namespace {

std::string stampedSubject(const std::string& subject, int stamp, const platform::LocalTime& now) {
    std::string when;
    switch (stamp) {
        case 1: when = platform::longTime(now); break;
        case 2: when = platform::shortDate(now); break;
        case 3: when = platform::shortDate(now) + " " + platform::longTime(now); break;
        default: return subject;
    }
    return subject + " (" + when + ")";
}

}  // namespace

TfrmMessageEditor::TfrmMessageEditor(Interaction& interaction, const platform::Clock& clock,
                                     std::vector<std::string> arguments)
    : m_interaction(interaction), m_clock(clock), m_arguments(std::move(arguments)) {
    sAbsender.Caption = "Absender";
    lblProfil.Caption = "Profil";
    edtto.Sorted = true;
    cboPriority.Items = {"Highest", "High", "Normal", "Low", "Lowest"};
    cboPriority.ItemIndex = 2;
    cboPriority.Text = "Normal";
    chkReturnReciept.Caption = "Lesebestätigung";
    chkAbmeldezeile.Caption = "Abmeldezeile am Ende des Textes";
    html.Caption = "HTML Mail";

    pnlTopleft.Pages = {{"Empfänger"}, {"Absender"}, {"Kopien"}};
    pnlTopleft.ActivePageIndex = kPageEmpfaenger;
    pnltopright.Pages = {{"Empfängerliste"}, {"Anhang"}};
    pnltopright.ActivePageIndex = kPageAnhang;
    // Created with the header row and one empty row.
    empfaengerliste.Cells.assign(2, std::vector<std::string>(TStringGrid::ColCount));

    Anrede.Items.assign(merge::kSalutationTemplates.begin(), merge::kSalutationTemplates.end());
    Anrede.Text = "Hallo %Vorname,";
    Vorschau.Caption = "...";

    Control.Pages = {{"Mail"}, {"Protokoll"}};
    Control.ActivePageIndex = kPageMail;
    Edit1.Text = "Edit1";
    Edit1.Visible = false;
    StatusBar1.Panels = {"Sendrix", ""};

    Senden1.Caption = "&Senden";
    Verteilerlisteffnen1.Caption = "&Verteilerliste öffnen";
    MailingOeffnen1.Caption = "Mailing ö&ffnen";
    MailingSpeichern1.Caption = "Mailing s&peichern";
    MailingSpeichernUnter1.Caption = "Mailing speichern &unter";
    Beenden1.Caption = "&Beenden";
    Nachrichtffnen1.Caption = "&Öffnen";
    Speichern1.Caption = "&Speichern";
    Vorschau1.Caption = "&Vorschau";
    RuecklaeuferPruefen1.Caption = "&Rückläufer prüfen";
    Sperrliste1.Caption = "&Sperrliste ...";
    Optionen1.Caption = "&Optionen";
    KontoEinrichten1.Caption = "&Konto einrichten …";
    MailKonfigurationffnen1.Caption = "Mail-Konfiguration öffnen";
    MailKonfigurationsichern1.Caption = "&Mail-Konfiguration sichern";
    ListeSpeichern1.Caption = "&Liste speichern";
    ListeSpeichern1.Enabled = false;
    Update1.Caption = "Nach &Aktualisierung suchen";
    Versionsinfo1.Caption = "Versionsinfo";

    OpenDialog1.Filter = kOpenDialogFilter;
    OpenDialog1.FilterIndex = 2;
    OpenDialog1.Title = "Datei öffnen";
    SaveDialog1.Filter = kSaveDialogFilter;
    SaveDialog1.DefaultExt = ".txt";
    SaveDialog1.Title = "Nachricht speichern";
}

void TfrmMessageEditor::FormCreate() {
    m_startupCompleted = false;
    // Whatever start-up set up is the mailing as it stands; only what the
    // user changes afterwards is asked about at close, also after a step
    // failed.
    struct MarkSavedAtEnd {
        TfrmMessageEditor& form;
        ~MarkSavedAtEnd() { form.markMailingSaved(); }
    } markSaved{*this};
    // 1.
    DontSave = false;
    int subjectStamp = 0;
    int salutationSwitch = -1;
    std::string senderOverride;
    std::vector<std::string> commandLineFaults;
    std::string displayNameOverride;
    std::string replyOverride;
    bool bodyFromCommandLine = false;
    bool mailingGiven = false;

    // 2. File names; a logs folder that cannot be made shows up at step 14.
    const std::string folder = platform::programFolder();
    UserSettingsFile = UserSettingsFileName(folder, platform::CurrentUserName());
    MailSettings.LogFile = LogFileName(folder, m_clock.now());
    RecipientHistoryFile = platform::programFileInFolder() + ".recipient";
    ProgramIniFile = platform::programFileInFolder() + ".ini";
    platform::createDirectories(folder + "logs");

    // 3.
    if (platform::fileExists(RecipientHistoryFile)) {
        edtto.Items = platform::readTextFileLines(RecipientHistoryFile);
        std::sort(edtto.Items.begin(), edtto.Items.end());
    }
    m_historyRead = true;

    // 4.
    empfaengerliste.Cells[0] = kRecipientTitles;

    // 5.
    cboPriority.ItemIndex = messagePriorityIndex();
    cboPriority.Text = cboPriority.Items[cboPriority.ItemIndex];

    // 6. The SMTP account always comes from the "Mail.ini" beside the program.
    MailSettings.ConfigFile = folder + "Mail.ini";
    const std::string exposed = ReadablePasswordWarning(MailSettings.ConfigFile);
    if (!exposed.empty())
        m_interaction.Warning(exposed);
    ReadSmtpAccount(MailSettings.ConfigFile, MailSettings);
    ReadImapAccount(MailSettings.ConfigFile, MailSettings.Imap);

    // 7.
    SendImmediately = false;
    CloseAfterRun = false;

    // 8.
    if (m_arguments.empty()) {
        empfaengerliste.Cells.resize(1);
    } else if (merge::isMailingFile(m_arguments[0])) {
        // A mailing file in the list's place: it stands for the mailing
        // keys of the configuration, and the switches after it still win.
        mailingGiven = true;
        try {
            OpenMailing(m_arguments[0]);
        } catch (const Error& error) {
            commandLineFaults.push_back(error.what());
        }
    }
    if (!m_arguments.empty()) {
        const CommandLineOptions options = ParseCommandLine(m_arguments);
        if (!mailingGiven && platform::fileExists(m_arguments[0]))
            LoadRecipientList(m_arguments[0], options.Sheet);
        salutationSwitch = options.SalutationSwitch;
        subjectStamp = options.SubjectStamp;
        senderOverride = options.SenderOverride;
        displayNameOverride = options.DisplayNameOverride;
        if (options.SendImmediately) {
            SendImmediately = true;
            CloseAfterRun = true;
        }
        if (options.DontSave)
            DontSave = true;
        if (options.ContinueAfterRefusal)
            ContinueAfterRefusal = true;
        if (options.ContinueRun)
            ContinueRun = true;
        if (options.CheckReports)
            CheckReportsOnly = true;
        if (options.MoveReports)
            MoveHandledReports = true;
        commandLineFaults.insert(commandLineFaults.end(), options.Faults.begin(), options.Faults.end());
        if (!options.DryRunFolder.empty())
            DryRunFolder = options.DryRunFolder;
        if (options.Subject)
            edtSubject.Text = *options.Subject;
        if (options.To)
            edtto.Text = *options.To;
        if (options.CC)
            edtCC.Text = *options.CC;
        if (options.BCC)
            edtBCC.Text = *options.BCC;
        if (options.ReplyTo) {
            edtReply.Text = *options.ReplyTo;
            replyOverride = *options.ReplyTo;
        }
        // The attachment list follows every attachment, so a later file
        // that fails to load leaves the list showing what was attached.
        for (const CommandLineFile& file : options.Files) {
            if (file.kind == CommandLineFile::Kind::Body && !platform::fileExists(file.path)) {
                // Sending without the text asked for would mail every
                // recipient an empty message.
                commandLineFaults.push_back("Die Textdatei " + file.path +
                                            " ist keine lesbare Datei; es wurde nichts gesendet.");
                continue;
            }
            struct stat info {};
            if (file.kind == CommandLineFile::Kind::Attachment && ::stat(file.path.c_str(), &info) == 0 &&
                !S_ISREG(info.st_mode)) {
                // A folder, a pipe or a device cannot be attached whole;
                // dropping it silently would send the mailing without it.
                commandLineFaults.push_back(
                    "Die Anlage " + file.path +
                    " ist keine gewöhnliche Datei (etwa ein Ordner, eine Pipe oder ein "
                    "Gerät); es wurde nichts gesendet.");
                continue;
            }
            if (file.kind == CommandLineFile::Kind::Attachment) {
                // A calling program's invoice must not go out without the
                // invoice: a file that cannot be read stops the start.
                if (const std::string fault = unreadableAttachment(file.path); !fault.empty()) {
                    commandLineFaults.push_back(fault);
                    continue;
                }
            } else if (!platform::fileExists(file.path)) {
                continue;
            }
            if (file.kind == CommandLineFile::Kind::Attachment) {
                AddAttachmentFile(file.path);
                RefreshAttachmentList();
            } else {
                LoadBodyFile(file.path);
                Memo1.Lines.clear();
                bodyFromCommandLine = true;
            }
        }
        for (const std::string& ini : options.IniFiles)
            if (platform::fileExists(ini))
                MailSettings.ConfigFile = ini;
    }

    // 9.
    readConfigurationKeys(MailSettings.ConfigFile, mailingGiven);
    m_configurationRead = true;
    if (!mailingGiven) {
        const std::string missingBody = loadConfigurationFiles(MailSettings.ConfigFile);
        // Unattended, every recipient would get an empty message; in the
        // window the person sees the empty body and may write one.
        if (!missingBody.empty() && SendImmediately && !bodyFromCommandLine)
            commandLineFaults.push_back("Die Textdatei " + missingBody + " ([Dateien] Nachricht in " +
                                        MailSettings.ConfigFile +
                                        ") ist keine lesbare Datei; es wurde nichts gesendet.");
    }

    // 10. Replaces what the configuration set, also with empty values.
    MailSettings.PersonalEmail = platform::readProfileString(UserSettingsFile, "Email", "PersonalEmail", "");
    edtreal.Text = platform::readProfileString(UserSettingsFile, "Email", "Realname", "");
    edtfrom.Text = MailSettings.PersonalEmail;
    sAbsender.Caption = MailSettings.PersonalEmail;
    m_userSettingsRead = true;

    // 11.
    if (empfaengerliste.RowCount() <= 1) {
        salutationSwitch = 0;
    }

    // 12.
    if (salutationSwitch == 0)
        setSalutationChecked(false);
    if (salutationSwitch == 1)
        setSalutationChecked(true);

    // 13.
    if (subjectStamp != 0)
        edtSubject.Text = stampedSubject(edtSubject.Text, subjectStamp, m_clock.now());

    // 14.
    createLogFileIfMissing();

    // 15. A calling program's "/R:" address survives the configuration's
    // "replyto", which step 9 always puts into the field.
    if (!senderOverride.empty()) {
        MailSettings.PersonalEmail = senderOverride;
        edtfrom.Text = senderOverride;
    }
    if (!displayNameOverride.empty())
        edtreal.Text = displayNameOverride;
    if (!replyOverride.empty())
        edtReply.Text = replyOverride;
    sAbsender.Caption = MailSettings.PersonalEmail;

    // 16.
    Caption = windowCaption();

    // 17.
    readProfiles();
    // Everything else is loaded, so the window shows the fields as given;
    // the start counts as failed, so "/sofort" sends nothing.
    if (!commandLineFaults.empty()) {
        std::string text;
        for (const std::string& fault : commandLineFaults)
            text += (text.empty() ? "" : "\n") + fault;
        throw Error(text);
    }
    m_startupCompleted = true;
}

std::string TfrmMessageEditor::unreadableAttachment(const std::string& path) {
    const std::string fault = platform::readFault(path);
    return fault.empty() ? fault
                         : "Die Anlage " + path + " kann nicht gelesen werden (" + fault +
                               "); es wurde nichts gesendet.";
}

void TfrmMessageEditor::FormShow() {
    // After a failed start-up the window stays open for the user instead: the
    // mailing lacks what the skipped steps would have set.
    if (SendImmediately && m_startupCompleted) {
        if (CheckReportsOnly)
            RuecklaeuferPruefen1Click();
        else
            sendenClick();
        m_interaction.CloseWindow();
    }
    if (!lvFiles.Items.empty())
        pnltopright.ActivePageIndex = kPageAnhang;
    if (!SendImmediately)
        ShowRunRecord();
}

void TfrmMessageEditor::FormClose() {
    if (DontSave || SendImmediately)
        return;
    using namespace sendrix::platform;
    const std::string& config = MailSettings.ConfigFile;
    if (m_configurationRead) {
        const FileAccess access = SettingsFileAccess(config);
        writeProfileInt(config, "Optionen", "Anrede", Anrede.ItemIndex, access);
        writeProfileString(config, "Optionen", "Sentobjects", MailSettings.SentObjects, access);
        writeProfileBool(config, "Optionen", "BenutzeAnrede", useAnrede.Checked, access);
        writeProfileBool(config, "Optionen", "HTML", html.Checked, access);
    }
    if (m_userSettingsRead) {
        writeProfileString(UserSettingsFile, "Email", "realname", edtreal.Text);
        writeProfileString(UserSettingsFile, "Email", "Personalemail", edtfrom.Text);
    }
    if (m_historyRead)
        writeTextFileLines(RecipientHistoryFile, edtto.Items);
}

// A check box fires its click handler whenever its state changes, also when
// the program sets it: the preview follows the salutation switch.
void TfrmMessageEditor::setSalutationChecked(bool checked) {
    if (useAnrede.Checked == checked)
        return;
    useAnrede.Checked = checked;
    useAnredeClick();
}

void TfrmMessageEditor::Beenden1Click() {
    m_interaction.CloseWindow();
}

int TfrmMessageEditor::ExitStatus() const {
    return LastRunOutcome == RunOutcome::Finished ? 0 : 1;
}

// The outgoing message starts with priority "Normal".
int TfrmMessageEditor::messagePriorityIndex() const {
    return 2;
}

std::string TfrmMessageEditor::windowCaption() const {
    // Empty parentheses would look like a name gone missing.
    if (edtreal.Text.empty())
        return "Sendrix";
    return "Sendrix (" + edtreal.Text + ")";
}

void TfrmMessageEditor::createLogFileIfMissing() {
    const std::string& path = MailSettings.LogFile;
    if (platform::fileExists(path))
        return;
    // The log names every recipient: readable by its owner only.
    platform::File log = platform::File::open(path, O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (!log.isOpen())
        throw platform::fileFailure("(" + path + ")", log.openError(), platform::ReasonAt::Front);
}

void TfrmMessageEditor::readProfiles() {
    for (int number = 0; number < kMaxProfiles; ++number) {
        const std::string key = std::to_string(number);
        const std::string name =
            platform::readProfileString(UserSettingsFile, "Email-Profil", key + "name", "*");
        if (name == "*")
            break;
        const std::string address =
            platform::readProfileString(UserSettingsFile, "Email-Profil", key + "e", "*");
        const int position = static_cast<int>(selEmailProfil.Items.size());
        selEmailProfil.Items.push_back(name);
        ProfileNumbers[position] = number;
        if (address == MailSettings.PersonalEmail) {
            selEmailProfil.ItemIndex = position;
            selEmailProfil.Text = name;
        }
    }
}

}  // namespace sendrix::app

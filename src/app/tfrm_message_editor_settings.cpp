// Mail configurations, the reply-to button, sender profiles and the sender
// fields of the main window.
#include "app/password_file.h"
#include "app/settings_paths.h"
#include "app/tfrm_message_editor.h"
#include "merge/body_file.h"
#include "platform/profile_file.h"
#include "platform/system_info.h"
#include "platform/text_file.h"
#include "platform/text_trim.h"

namespace sendrix::app {

namespace {

// Selects entry `index` of a combo box as the toolkit does: an index outside
// the list selects none and empties the text.
void selectItem(TComboBox& box, int index) {
    if (index >= 0 && index < static_cast<int>(box.Items.size())) {
        box.ItemIndex = index;
        box.Text = box.Items[index];
    } else {
        box.ItemIndex = -1;
        box.Text.clear();
    }
}

// "kampagne.txt" -> "kampagne-Nachricht.txt", in the same folder.
std::string bodyFileBeside(const std::string& configuration) {
    const std::size_t slash = configuration.rfind('/');
    const std::size_t dot = configuration.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return configuration.substr(0, hasExtension ? dot : configuration.size()) + "-Nachricht.txt";
}

}  // namespace

void TfrmMessageEditor::LoadMailConfiguration(const std::string& path) {
    readConfigurationKeys(path);
    loadConfigurationFiles(path);
}

void TfrmMessageEditor::readConfigurationKeys(const std::string& path, bool mailingGiven) {
    using namespace sendrix::platform;
    MailSettings.PersonalEmail = readProfileString(path, "Email", "PersonalEmail", "");
    edtreal.Text = readProfileString(path, "Email", "Realname", "");
    sAbsender.Caption = MailSettings.PersonalEmail;
    edtfrom.Text = MailSettings.PersonalEmail;
    Caption = windowCaption();
    MailSettings.SentObjects = readProfileString(path, "Optionen", "SentObjects", "");
    selEmailProfil.Visible = readProfileBool(path, "Optionen", "showprofil", true);
    if (!DontSave)
        DontSave = readProfileBool(path, "Optionen", "Readonly", false);
    if (mailingGiven)
        return;
    edtReply.Text = readProfileString(path, "Email", "replyto", "");
    edtSubject.Text = readProfileString(path, "Email", "Subject", edtSubject.Text);
    setSalutationChecked(readProfileBool(path, "Optionen", "BenutzeAnrede", false));
    selectItem(Anrede, readProfileInt(path, "Optionen", "Anrede", 0));
    // The preview follows the template chosen here, not the one before.
    AnredeChange();
    html.Checked = readProfileBool(path, "Optionen", "HTML", false);
}

std::string TfrmMessageEditor::loadConfigurationFiles(const std::string& path) {
    using namespace sendrix::platform;

    const std::string folder = programFolder();
    const std::string list = resolveStoredPath(readProfileString(path, "Dateien", "Empfaenger", ""), folder);
    if (fileExists(list))
        LoadRecipientList(list);
    const std::string named = readProfileString(path, "Dateien", "Nachricht", "");
    const std::string body = resolveStoredPath(named, folder);
    if (fileExists(body)) {
        Memo1.Lines.clear();
        LoadBodyFile(body);
        return {};
    }
    return platform::trimControl(named).empty() ? std::string() : body;
}

void TfrmMessageEditor::MailKonfigurationffnen1Click() {
    // A configuration may name a list, which replaces the grid's.
    if (!listChangesAllowToGoOn())
        return;
    // The dialog keeps the title of its previous use.
    OpenDialog1.Filter = kOpenDialogFilter;
    OpenDialog1.FilterIndex = 1;
    if (!m_interaction.OpenFile(OpenDialog1))
        return;
    LoadMailConfiguration(OpenDialog1.FileName);
}

void TfrmMessageEditor::MailKonfigurationsichern1Click() {
    using namespace sendrix::platform;
    SaveDialog1.Title = "Nachricht speichern";
    SaveDialog1.Filter = kSaveDialogFilter;
    SaveDialog1.DefaultExt = ".txt";
    if (!m_interaction.SaveFile(SaveDialog1))
        return;
    const std::string path = SaveDialog1.FileName;
    // Saved over "Mail.ini", the password stays private.
    const FileAccess access = SettingsFileAccess(path);
    writeProfileString(path, "Email", "PersonalEmail", MailSettings.PersonalEmail, access);
    writeProfileInt(path, "Optionen", "Anrede", Anrede.ItemIndex, access);
    writeProfileBool(path, "Optionen", "BenutzeAnrede", useAnrede.Checked, access);
    writeProfileString(path, "Email", "realname", edtreal.Text, access);
    writeProfileString(path, "Email", "replyto", edtReply.Text, access);
    writeProfileString(path, "Email", "Subject", edtSubject.Text, access);
    writeProfileString(path, "Optionen", "Sentobjects", MailSettings.SentObjects, access);
    writeProfileBool(path, "Optionen", "HTML", html.Checked, access);
    // The configuration reopens the list and the body it was saved with:
    // the list by its path, the body from a text file beside it (the
    // configuration holds paths, not texts).
    const std::string body = Memo.Lines.empty() ? std::string() : bodyFileBeside(path);
    if (!body.empty())
        merge::writeBodyFile(body, Memo.Lines);
    writeProfileString(path, "Dateien", "Empfaenger", RecipientListFile, access);
    writeProfileString(path, "Dateien", "Nachricht", body, access);
}

void TfrmMessageEditor::SpeedButton1Click() {
    platform::writeProfileString(MailSettings.ConfigFile, "Email", "replyto", edtReply.Text,
                                 SettingsFileAccess(MailSettings.ConfigFile));
}

void TfrmMessageEditor::selEmailProfilChange() {
    const int position = selEmailProfil.ItemIndex;
    if (position < 0 || position >= static_cast<int>(selEmailProfil.Items.size()) || position >= kMaxProfiles)
        return;
    const std::string number = std::to_string(ProfileNumbers[position]);
    edtfrom.Text = platform::readProfileString(UserSettingsFile, "Email-profil", number + "e", "");
    edtreal.Text = platform::readProfileString(UserSettingsFile, "Email-profil", number + "r", "");
    edtfromExit();
}

void TfrmMessageEditor::selEmailProfilClick() {}

bool TfrmMessageEditor::chooseFile(TFileDialog& dialog, const char* kind, bool save,
                                   const std::string& folder) {
    dialog.InitialDir = folder;
    if (folder.empty() && m_userSettingsRead)
        dialog.InitialDir = platform::readProfileString(UserSettingsFile, "Ordner", kind, "");
    if (!(save ? m_interaction.SaveFile(dialog) : m_interaction.OpenFile(dialog)))
        return false;
    if (m_userSettingsRead && !DontSave) {
        try {
            platform::writeProfileString(UserSettingsFile, "Ordner", kind,
                                         platform::folderOf(dialog.FileName));
        } catch (const Error&) {
            // Only a convenience for the next dialog: the chosen file is
            // still opened or saved.
        }
    }
    return true;
}

void TfrmMessageEditor::edtfromExit() {
    MailSettings.PersonalEmail = edtfrom.Text;
    sAbsender.Caption = MailSettings.PersonalEmail;
    Caption = windowCaption();
}

}  // namespace sendrix::app

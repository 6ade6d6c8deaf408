// The setup dialog and the "?" menu of the main window.
#include "app/tfm_setup.h"
#include "app/tfrm_message_editor.h"
#include "app/update_check.h"
#include "app/version_info.h"
#include "platform/system_info.h"

namespace sendrix::app {

void TfrmMessageEditor::Optionen1Click() {
    runAccountDialog(false);
}

void TfrmMessageEditor::KontoEinrichten1Click() {
    runAccountDialog(true);
}

bool TfrmMessageEditor::AccountMissing() const {
    return !SendImmediately && MailSettings.ServerName == kDefaultServerName;
}

void TfrmMessageEditor::runAccountDialog(bool assistant) {
    // A new dialog each time; it lives until it closes.
    TfmSetup fmSetup(MailSettings, m_interaction, platform::programFolder() + "Mail.ini");
    fmSetup.Secrets = Secrets;
    if (m_userSettingsRead)
        fmSetup.UserSettingsFile = UserSettingsFile;
    fmSetup.FormCreate();
    fmSetup.edtSenderName.Text = edtreal.Text;
    fmSetup.edtSenderAddress.Text = edtfrom.Text;
    if (!SetupDialogs)
        return;
    if (assistant)
        SetupDialogs->RunAssistant(fmSetup);
    else
        SetupDialogs->RunModal(fmSetup);
    if (!fmSetup.Stored)
        return;
    edtreal.Text = fmSetup.edtSenderName.Text;
    edtfrom.Text = fmSetup.edtSenderAddress.Text;
    edtfromExit();
}

void TfrmMessageEditor::Update1Click() {
    CheckForUpdate(ProgramIniFile, platform::programPath(), platform::programFolder(), m_interaction);
}

void TfrmMessageEditor::Versionsinfo1Click() {
    ShowVersionInfo(ProgramVersionResource(), m_interaction);
}

}  // namespace sendrix::app

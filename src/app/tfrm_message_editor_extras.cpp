// The setup dialog and the "?" menu of the main window.
#include "app/tfm_setup.h"
#include "app/tfrm_message_editor.h"
#include "app/update_check.h"
#include "app/version_info.h"
#include "platform/system_info.h"

namespace sendrix::app {

void TfrmMessageEditor::Optionen1Click() {
    // A new dialog each time; it lives until it closes.
    TfmSetup fmSetup(MailSettings, m_interaction, platform::programFolder() + "Mail.ini");
    fmSetup.Secrets = Secrets;
    fmSetup.FormCreate();
    if (SetupDialogs)
        SetupDialogs->RunModal(fmSetup);
}

void TfrmMessageEditor::Update1Click() {
    CheckForUpdate(ProgramIniFile, platform::programPath(), platform::programFolder(), m_interaction);
}

void TfrmMessageEditor::Versionsinfo1Click() {
    ShowVersionInfo(ProgramVersionResource(), m_interaction);
}

}  // namespace sendrix::app

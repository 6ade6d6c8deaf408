#include "app/unattended_run.h"

#include <cstdlib>
#include <memory>

#include "app/command_line.h"
#include "app/handler_runner.h"
#include "app/secret_store.h"
#include "platform/clock.h"

namespace sendrix::app {

namespace {

bool environmentSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

}  // namespace

bool DisplayAvailable() {
    return environmentSet("DISPLAY") || environmentSet("WAYLAND_DISPLAY");
}

int RunWindowUnattended(TfrmMessageEditor& form, ConsoleInteraction& console) {
    console.attach(form);
    bool errorShown = false;
    try {
        // A failed start-up still opens the window; FormShow then holds back
        // the immediate send (TfrmMessageEditor::StartupCompleted).
        errorShown |= !runHandler(console, [&] { form.FormCreate(); });
        errorShown |= !runHandler(console, [&] { form.FormShow(); });
        console.flush();
        // Nobody is there to go on working in the window, so it closes
        // whether or not the run asked for it.
        errorShown |= !runHandler(console, [&] { form.FormClose(); });
    } catch (const ConsoleInteraction::ProcessEnd& end) {
        console.flush();
        return end.status;
    }
    console.flush();
    return errorShown ? 1 : form.ExitStatus();
}

int RunWithoutWindow(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                     NoWindowReason reason) {
    if (!ParseCommandLine(arguments).SendImmediately) {
        if (reason == NoWindowReason::NoDisplay)
            err << "Sendrix kann kein Fenster öffnen: keine Anzeige vorhanden (DISPLAY und "
                   "WAYLAND_DISPLAY sind nicht gesetzt).\n";
        else
            err << "Diese Sendrix-Ausgabe ist ohne Fenster gebaut.\n";
        err << "Ohne Fenster versendet Sendrix nur unbeaufsichtigt mit dem Schalter /sofort, "
               "zum Beispiel: sendrix liste.csv /B:text.txt \"/s:Betreff\" /sofort\n";
        err.flush();
        return kExitCannotRun;
    }
    ConsoleInteraction console(out, err);
    TfrmMessageEditor form(console, platform::systemClock(), arguments);
    // Nobody would answer an unlock prompt: a locked keyring is an error.
    const std::unique_ptr<SecretStore> secrets = DesktopSecretStore(SecretPrompt::Never);
    form.Secrets = secrets.get();
    return RunWindowUnattended(form, console);
}

}  // namespace sendrix::app

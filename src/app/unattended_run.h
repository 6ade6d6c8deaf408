#pragma once
// The unattended mode: how other programs use Sendrix as their mailing back
// end on machines without a display. The main window model runs without any
// toolkit, with the console interaction, and the exit status tells the
// calling program what happened.
#include <ostream>
#include <string>
#include <vector>

#include "app/console_interaction.h"
#include "app/tfrm_message_editor.h"

namespace sendrix::app {

// Exit status when the program cannot run as asked (no window and no
// "/sofort"); 0 and 1 come from the run (TfrmMessageEditor::ExitStatus).
inline constexpr int kExitCannotRun = 2;

// True when a window can be shown: DISPLAY or WAYLAND_DISPLAY is set and
// not empty.
bool DisplayAvailable();

// Runs the window's life as the message loop would, each handler through
// the general error handler: FormCreate, FormShow (which starts the
// immediate send), FormClose. `console` must be the interaction `form` was
// built with. Returns 0 when the send run finished; 1 when it failed, was
// declined or did not run, or when start-up, show or close showed an error;
// the status of EndProcess when a handler ended the process.
int RunWindowUnattended(TfrmMessageEditor& form, ConsoleInteraction& console);

// Why no window is shown.
enum class NoWindowReason { NoDisplay, BuiltWithoutWindow };

// The program without a window. With "/sofort" among `arguments` (the
// command line without the program name) the window model runs unattended
// on the system clock with `out` and `err` as its console; otherwise a
// German explanation goes to `err` and the result is kExitCannotRun.
int RunWithoutWindow(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                     NoWindowReason reason = NoWindowReason::NoDisplay);

}  // namespace sendrix::app

// Program entry: the Qt window when a display is there, otherwise the window
// model on the console ("/sofort" only).
#include <csignal>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/program_manual.h"
#include "app/unattended_run.h"
#include "platform/system_info.h"

#ifdef SENDRIX_WITH_UI
#include "window_module.h"
#endif

int main(int argc, char** argv) {
    using namespace sendrix::app;
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    // Shell users and calling programs try these first; they answer on the
    // console whether or not a display is there.
    if (const std::optional<int> status = AnswerInformationRequest(arguments, std::cout))
        return *status;
    NoWindowReason reason = NoWindowReason::NoDisplay;
    if (DisplayAvailable()) {
#ifdef SENDRIX_WITH_UI
        const std::string program = sendrix::platform::programPath();
        const std::string module =
            sendrix::windowModulePath(program.substr(0, program.find_last_of('/') + 1));
        int status = 0;
        std::string error;
        if (sendrix::runWindowModule(module, argc, argv, status, error)) return status;
        std::cerr << "Das Fenster von Sendrix kann nicht geladen werden: " << error << "\n";
#endif
        reason = NoWindowReason::BuiltWithoutWindow;
    }
    // A calling program that stops reading our output must not kill the run
    // half-way through a mailing.
    std::signal(SIGPIPE, SIG_IGN);
    return RunWithoutWindow(arguments, std::cout, std::cerr, reason);
}

// Program entry: the Qt window when a display is there, otherwise the window
// model on the console ("/sofort" only).
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "app/unattended_run.h"

#if defined(SENDRIX_WITH_UI) && __has_include("ui/qt_application.h")
#include "ui/qt_application.h"
#define SENDRIX_HAS_WINDOW 1
#endif

int main(int argc, char** argv) {
    using namespace sendrix::app;
    NoWindowReason reason = NoWindowReason::NoDisplay;
    if (DisplayAvailable()) {
#ifdef SENDRIX_HAS_WINDOW
        return sendrix::ui::runQtApplication(argc, argv);
#else
        reason = NoWindowReason::BuiltWithoutWindow;
#endif
    }
    // A calling program that stops reading our output must not kill the run
    // half-way through a mailing.
    std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    return RunWithoutWindow(arguments, std::cout, std::cerr, reason);
}

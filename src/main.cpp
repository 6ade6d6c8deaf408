// Program entry: the Qt window when a display is there, otherwise the window
// model on the console ("/sofort" only).
#include <chrono>
#include <csignal>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/oauth_device_sign_in.h"
#include "app/program_manual.h"
#include "app/secret_store.h"
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
    // A sign-in without a browser needs no window either.
    if (const std::optional<bool> inFile = DeviceSignInRequested(arguments)) {
        const std::unique_ptr<SecretStore> secrets = DesktopSecretStore(SecretPrompt::Allowed);
        const auto sleep = [](long seconds) { std::this_thread::sleep_for(std::chrono::seconds(seconds)); };
        const std::string mailIni = sendrix::platform::programFolder() + "Mail.ini";
        return RunDeviceSignIn(*inFile, mailIni, secrets.get(), std::cout, std::cerr, sleep);
    }
    NoWindowReason reason = NoWindowReason::NoDisplay;
    if (DisplayAvailable()) {
#ifdef SENDRIX_WITH_UI
        const std::string program = sendrix::platform::programPath();
        const std::string module =
            sendrix::windowModulePath(program.substr(0, program.find_last_of('/') + 1));
        try {
            return sendrix::runWindowModule(module, argc, argv);
        } catch (const sendrix::WindowModuleError& error) {
            std::cerr << "Das Fenster von Sendrix kann nicht geladen werden: " << error.what() << "\n";
        }
#endif
        reason = NoWindowReason::BuiltWithoutWindow;
    }
    // A calling program that stops reading our output must not kill the run
    // half-way through a mailing.
    std::signal(SIGPIPE, SIG_IGN);
    return RunWithoutWindow(arguments, std::cout, std::cerr, reason);
}

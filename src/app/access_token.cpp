#include "app/access_token.h"

#include <cerrno>

#include "platform/error.h"
#include "platform/process.h"
#include "platform/text_trim.h"

namespace sendrix::app {

namespace {

// A token is a few kilobytes at most; more is not a token.
constexpr std::size_t kMaxOutput = 64 * 1024;

constexpr const char* kCheck = "\r\nToken-Befehl in den Optionen ([Smtp] TokenCommand) prüfen";

std::string firstLine(const std::string& text) {
    return platform::trimControl(text.substr(0, text.find('\n')));
}

}  // namespace

std::string fetchAccessToken(const std::string& command, int timeoutMs) {
    const std::vector<std::string> argv = platform::splitCommandParameters(command);
    if (argv.empty())
        throw Error(std::string("Für die Anmeldung mit Zugriffstoken ist kein Token-Befehl eingetragen.") +
                    kCheck);
    const std::string program = "Der Token-Befehl \"" + argv[0] + "\"";
    const platform::CapturedRun run = platform::runCaptured(argv, timeoutMs, kMaxOutput);
    if (run.startError != 0)
        throw Error(program + " kann nicht gestartet werden (" +
                    (run.startError == ENOENT ? std::string("Programm nicht gefunden")
                                              : "Fehler " + std::to_string(run.startError)) +
                    ")." + kCheck);
    if (run.timedOut)
        throw Error(program + " hat nach " + std::to_string(timeoutMs / 1000) +
                    (timeoutMs / 1000 == 1 ? " Sekunde" : " Sekunden") +
                    " kein Token geliefert und wurde beendet." + kCheck);
    if (run.exitStatus != 0) {
        const std::string reason = firstLine(run.errors);
        throw Error(program + " ist mit dem Status " + std::to_string(run.exitStatus) + " beendet worden" +
                    (reason.empty() ? std::string(".") : ": " + reason) + kCheck);
    }
    std::string token = firstLine(run.output);
    if (token.empty())
        throw Error(program + " hat kein Token ausgegeben." + kCheck);
    return token;
}

}  // namespace sendrix::app

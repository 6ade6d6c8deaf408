#pragma once
// The general error handler of the window: runs one handler and shows any
// error it raises in the error box, as a window toolkit would.
#include <exception>
#include <functional>

#include "app/interaction.h"
#include "platform/error.h"

namespace sendrix::app {

inline constexpr const char* kUnknownErrorText = "Ein unbekannter Fehler ist aufgetreten.";

// Runs `handler`; a sendrix::Error or std::exception it throws is shown with
// interaction.ErrorBox(message), anything else it throws with
// kUnknownErrorText, so no error escapes into the toolkit's event loop. True
// when the handler ended without error (FormClose: the window may close).
inline bool runHandler(Interaction& interaction, const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (const std::exception& error) {
        interaction.ErrorBox(error.what());
    } catch (...) {
        interaction.ErrorBox(kUnknownErrorText);
    }
    return false;
}

}  // namespace sendrix::app

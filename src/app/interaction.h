#pragma once
// Everything the window model needs of a person goes through this interface.
// Implemented by the Qt view (src/ui), the console of the unattended mode,
// and a scripted one in the tests.
#include <string>
#include <vector>

#include "app/controls.h"

namespace sendrix::app {

class Interaction {
public:
    virtual ~Interaction() = default;

    // A question with Yes and No; true only for Yes.
    virtual bool Confirm(const std::string& text) = 0;
    // The same with No as the answer that Enter gives, for a question whose
    // Yes could do harm.
    virtual bool ConfirmDefaultNo(const std::string& text) { return Confirm(text); }
    // A question with "Ja", "Nein" and "Abbrechen" (closing the box cancels).
    enum class Answer { Yes, No, Cancel };
    virtual Answer YesNoCancel(const std::string& text) = 0;
    // A question whose answers are `choices` (the first the default) and
    // "Abbrechen": the index of the choice, -1 for Abbrechen or a closed box.
    virtual int Choose(const std::string& text, const std::vector<std::string>& choices) {
        return !choices.empty() && Confirm(text) ? 0 : -1;
    }
    // A box with one OK button.
    virtual void Notice(const std::string& text) = 0;
    virtual void Warning(const std::string& text) = 0;
    // The error box titled "Sendrix" (the toolkit's general error handler).
    virtual void ErrorBox(const std::string& text) = 0;
    // One-line input; true and `value` set when confirmed.
    virtual bool InputBox(const std::string& caption, const std::string& prompt, std::string& value) = 0;
    // File dialogs; on confirmation true, with FileName (and FilterIndex) set.
    virtual bool OpenFile(TFileDialog& dialog) = 0;
    virtual bool SaveFile(TFileDialog& dialog) = 0;
    virtual void SetClipboardText(const std::string& text) = 0;
    // Bring one control up to date on screen at once (during a send run).
    virtual void Repaint(ControlId control) = 0;
    virtual void Focus(ControlId control) = 0;
    // Close the main window (runs FormClose through the caller's close path).
    virtual void CloseWindow() = 0;
    // The shell's "open"; a failure gives no message.
    virtual void ShellOpen(const std::string& file, const std::string& parameters) = 0;
    // Start another program detached; false when it could not be started.
    virtual bool StartProcess(const std::string& program, const std::vector<std::string>& args) = 0;
    // End the process at once with this status (no saving).
    virtual void EndProcess(int status) = 0;
};

}  // namespace sendrix::app

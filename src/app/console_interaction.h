#pragma once
// The user interaction of the unattended mode, where nobody is there to
// answer. The protocol and the status lines of a send run go to standard
// output, one line each; notices, warnings and errors go to standard error.
// A question is answered No, an input box and a file dialog are cancelled,
// and each of these is said on standard error, so a calling program can see
// why nothing was sent.
//
// Standard output is flushed when the status bar or the page is repainted,
// before every question, notice and error and at the end; the repaints of
// the grid, the progress bar and the protocol leave their lines for the next
// flush (the run's next step follows them at once).
//
// Every text is written on one line: line breaks inside a message become
// blanks and other control characters "?", so text from a server or a file
// can neither forge an output line nor reach the terminal as a command.
#include <ostream>
#include <string>
#include <vector>

#include "app/controls.h"
#include "app/interaction.h"

namespace sendrix::app {

class TfrmMessageEditor;

class ConsoleInteraction : public Interaction {
public:
    // Thrown by EndProcess: the process is to end at once with `status`.
    // Deliberately no std::exception, so the general error handler lets it
    // pass up to the runner.
    struct ProcessEnd {
        int status;
    };

    ConsoleInteraction(std::ostream& out, std::ostream& err);

    // The window whose protocol and status bar are written on repaint. Call
    // once the window exists (it takes this interaction when it is built).
    void attach(const TfrmMessageEditor& form);

    // Writes the protocol lines and the status text not yet written (the
    // run may add a line after its last repaint).
    void flush();

    int errorsShown() const { return m_errorsShown; }
    int questionsDeclined() const { return m_questionsDeclined; }
    bool closeRequested() const { return m_closeRequested; }
    const std::string& clipboardText() const { return m_clipboard; }

    bool Confirm(const std::string& text) override;
    Answer YesNoCancel(const std::string& text) override;
    void Notice(const std::string& text) override;
    void Warning(const std::string& text) override;
    void ErrorBox(const std::string& text) override;
    bool InputBox(const std::string& caption, const std::string& prompt, std::string& value) override;
    bool OpenFile(TFileDialog& dialog) override;
    bool SaveFile(TFileDialog& dialog) override;
    void SetClipboardText(const std::string& text) override;
    void Repaint(ControlId control) override;
    void Focus(ControlId control) override;
    void CloseWindow() override;
    void ShellOpen(const std::string& file, const std::string& parameters) override;
    bool StartProcess(const std::string& program, const std::vector<std::string>& args) override;
    // Flushes both streams, then throws ProcessEnd.
    [[noreturn]] void EndProcess(int status) override;

private:
    void writeOut(const std::string& line);
    void writeErr(const std::string& line);
    // The protocol lines not yet on standard output, into the stream.
    void writeProtocol();
    // The same, then the stream flushed.
    void flushProtocol();

    std::ostream& m_out;
    std::ostream& m_err;
    const TfrmMessageEditor* m_form = nullptr;

    LogMemoFollower m_protocol;

    int m_errorsShown = 0;
    int m_questionsDeclined = 0;
    bool m_closeRequested = false;
    std::string m_clipboard;
};

}  // namespace sendrix::app

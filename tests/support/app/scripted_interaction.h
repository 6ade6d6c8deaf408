#pragma once
// The user interaction of the tests: answers questions, input boxes and file
// dialogs from queues filled by the test, and records everything shown.
//
//   ScriptedInteraction ui;
//   ui.answerConfirm(true);                 // next Confirm says Yes
//   ui.answerOpenFile("/tmp/x/list.csv");   // next open dialog picks a file
//   ui.answerOpenFile(std::nullopt);        // ... or is cancelled
//   form.sendenClick();
//   EXPECT_EQ(ui.confirms, (std::vector<std::string>{"..."}));
//
// A question asked with an empty queue fails the test and is answered No
// (Cancel). Unused answers are reported by unusedAnswers().
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "app/interaction.h"

namespace sendrix::test {

class ScriptedInteraction : public app::Interaction {
public:
    // Thrown by EndProcess so that no code runs after the process would
    // have ended; deliberately no std::exception, so runHandler lets it pass.
    struct ProcessEnded {
        int status;
    };

    struct StartedProcess {
        std::string program;
        std::vector<std::string> args;
    };

    // ---- Script ----
    void answerConfirm(bool yes) { m_confirmAnswers.push_back(yes); }
    void answerYesNoCancel(Answer answer) { m_threeWayAnswers.push_back(answer); }
    void answerChoose(int choice) { m_choiceAnswers.push_back(choice); }
    // nullopt cancels the input box.
    void answerInput(std::optional<std::string> value) { m_inputAnswers.push_back(std::move(value)); }
    // A path confirms the dialog with that FileName; nullopt cancels it.
    void answerOpenFile(std::optional<std::string> path) { m_openAnswers.push_back(std::move(path)); }
    void answerSaveFile(std::optional<std::string> path) { m_saveAnswers.push_back(std::move(path)); }
    // What StartProcess reports (default: started).
    bool startProcessSucceeds = true;
    // Number of scripted answers nobody asked for.
    std::size_t unusedAnswers() const;

    // ---- Record ----
    std::vector<std::string> confirms;  // question texts
    std::vector<std::string> notices;
    std::vector<std::string> warnings;
    std::vector<std::string> errors;            // ErrorBox texts
    std::vector<std::string> inputPrompts;      // "caption|prompt"
    std::vector<app::TFileDialog> openDialogs;  // the dialog as it was shown
    std::vector<app::TFileDialog> saveDialogs;
    std::vector<std::string> clipboard;  // every text put there, in order
    std::vector<app::ControlId> repaints;
    std::vector<app::ControlId> focuses;
    int closeRequests = 0;
    std::vector<std::pair<std::string, std::string>> shellOpens;  // file, parameters
    std::vector<StartedProcess> processes;
    std::optional<int> endStatus;
    // Every event in order, e.g. "confirm: ...", "error: ...", "close".
    std::vector<std::string> events;

    // ---- Interaction ----
    bool Confirm(const std::string& text) override;
    // Recorded in `confirms` too; unscripted: Cancel.
    Answer YesNoCancel(const std::string& text) override;
    // Recorded in `confirms` too; unscripted: -1.
    int Choose(const std::string& text, const std::vector<std::string>& choices) override;
    void Notice(const std::string& text) override;
    void Warning(const std::string& text) override;
    void ErrorBox(const std::string& text) override;
    bool InputBox(const std::string& caption, const std::string& prompt, std::string& value) override;
    bool OpenFile(app::TFileDialog& dialog) override;
    bool SaveFile(app::TFileDialog& dialog) override;
    void SetClipboardText(const std::string& text) override;
    void Repaint(app::ControlId control) override;
    void Focus(app::ControlId control) override;
    void CloseWindow() override;
    void ShellOpen(const std::string& file, const std::string& parameters) override;
    bool StartProcess(const std::string& program, const std::vector<std::string>& args) override;
    void EndProcess(int status) override;

private:
    std::deque<bool> m_confirmAnswers;
    std::deque<Answer> m_threeWayAnswers;
    std::deque<int> m_choiceAnswers;
    std::deque<std::optional<std::string>> m_inputAnswers;
    std::deque<std::optional<std::string>> m_openAnswers;
    std::deque<std::optional<std::string>> m_saveAnswers;
};

}  // namespace sendrix::test

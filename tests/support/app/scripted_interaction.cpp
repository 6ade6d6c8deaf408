#include "support/app/scripted_interaction.h"

#include <gtest/gtest.h>

namespace sendrix::test {

namespace {

template <typename Queue>
std::optional<typename Queue::value_type> takeAnswer(Queue& queue, const std::string& what) {
    if (queue.empty()) {
        ADD_FAILURE() << "unscripted " << what;
        return std::nullopt;
    }
    auto answer = std::move(queue.front());
    queue.pop_front();
    return answer;
}

bool fileDialog(std::deque<std::optional<std::string>>& answers, app::TFileDialog& dialog,
                std::vector<app::TFileDialog>& record, std::vector<std::string>& events,
                const std::string& kind) {
    record.push_back(dialog);
    events.push_back(kind + ": " + dialog.Title);
    auto answer = takeAnswer(answers, kind + " dialog \"" + dialog.Title + "\"");
    if (!answer || !*answer)
        return false;
    dialog.FileName = **answer;
    return true;
}

}  // namespace

std::size_t ScriptedInteraction::unusedAnswers() const {
    return m_confirmAnswers.size() + m_threeWayAnswers.size() + m_inputAnswers.size() + m_openAnswers.size() +
           m_saveAnswers.size() + m_choiceAnswers.size();
}

bool ScriptedInteraction::Confirm(const std::string& text) {
    confirms.push_back(text);
    events.push_back("confirm: " + text);
    auto answer = takeAnswer(m_confirmAnswers, "question \"" + text + "\"");
    return answer.value_or(false);
}

app::Interaction::Answer ScriptedInteraction::YesNoCancel(const std::string& text) {
    confirms.push_back(text);
    events.push_back("question: " + text);
    return takeAnswer(m_threeWayAnswers, "question \"" + text + "\"").value_or(Answer::Cancel);
}

int ScriptedInteraction::Choose(const std::string& text, const std::vector<std::string>& choices) {
    confirms.push_back(text);
    std::string shown = "choose: " + text;
    for (const std::string& choice : choices)
        shown += " [" + choice + "]";
    events.push_back(shown);
    return takeAnswer(m_choiceAnswers, "question \"" + text + "\"").value_or(-1);
}

void ScriptedInteraction::Notice(const std::string& text) {
    notices.push_back(text);
    events.push_back("notice: " + text);
}

void ScriptedInteraction::Warning(const std::string& text) {
    warnings.push_back(text);
    events.push_back("warning: " + text);
}

void ScriptedInteraction::ErrorBox(const std::string& text) {
    errors.push_back(text);
    events.push_back("error: " + text);
}

bool ScriptedInteraction::InputBox(const std::string& caption, const std::string& prompt,
                                   std::string& value) {
    inputPrompts.push_back(caption + "|" + prompt);
    events.push_back("input: " + caption + "|" + prompt);
    auto answer = takeAnswer(m_inputAnswers, "input box \"" + prompt + "\"");
    if (!answer || !*answer)
        return false;
    value = **answer;
    return true;
}

bool ScriptedInteraction::OpenFile(app::TFileDialog& dialog) {
    return fileDialog(m_openAnswers, dialog, openDialogs, events, "open");
}

bool ScriptedInteraction::SaveFile(app::TFileDialog& dialog) {
    return fileDialog(m_saveAnswers, dialog, saveDialogs, events, "save");
}

void ScriptedInteraction::SetClipboardText(const std::string& text) {
    clipboard.push_back(text);
    events.push_back("clipboard: " + text);
}

void ScriptedInteraction::Repaint(app::ControlId control) {
    repaints.push_back(control);
}

void ScriptedInteraction::Focus(app::ControlId control) {
    focuses.push_back(control);
}

void ScriptedInteraction::CloseWindow() {
    ++closeRequests;
    events.push_back("close");
}

void ScriptedInteraction::ShellOpen(const std::string& file, const std::string& parameters) {
    shellOpens.emplace_back(file, parameters);
    events.push_back("shell open: " + file);
}

bool ScriptedInteraction::StartProcess(const std::string& program, const std::vector<std::string>& args) {
    processes.push_back({program, args});
    events.push_back("start: " + program);
    return startProcessSucceeds;
}

void ScriptedInteraction::EndProcess(int status) {
    endStatus = status;
    events.push_back("end: " + std::to_string(status));
    throw ProcessEnded{status};
}

}  // namespace sendrix::test

#pragma once
// The user interaction of the window: modal message boxes (plain text only),
// the input box, the file dialogs, the clipboard, repaint and focus of one
// control, shell open and starting the updater.
#include <QString>

#include "app/interaction.h"

class QWidget;

namespace sendrix::ui {

class MainWindow;

// The title of every box: the application title.
inline constexpr const char* kApplicationTitle = "Sendrix";

// "Caption|*.ext|Caption|*.ext" as a Qt name filter list "Caption (*.ext);;...".
QString qtNameFilters(const std::string& filter);

class QtInteraction : public app::Interaction {
public:
    QtInteraction() = default;
    // The window that owns the boxes and answers repaint, focus and close.
    void setWindow(MainWindow* window) { m_window = window; }

    bool Confirm(const std::string& text) override;
    bool ConfirmDefaultNo(const std::string& text) override;
    Answer YesNoCancel(const std::string& text) override;
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
    QWidget* parentWidget() const;
    bool fileDialog(app::TFileDialog& dialog, bool save);

    MainWindow* m_window = nullptr;
};

}  // namespace sendrix::ui

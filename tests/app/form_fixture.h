#pragma once
// A main window whose start-up seams record their calls instead of loading
// anything, in a fresh program folder with a fixed clock.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "app/handler_runner.h"
#include "app/settings_paths.h"
#include "app/tfrm_message_editor.h"
#include "platform/clock.h"
#include "platform/system_info.h"
#include "support/app/scripted_interaction.h"
#include "support/app/test_home.h"

namespace sendrix::test {

class RecordingForm : public app::TfrmMessageEditor {
public:
    using TfrmMessageEditor::TfrmMessageEditor;

    std::vector<std::string> calls;
    bool sendFails = false;

    // A loaded list: one data row and list mode, as the real loader leaves it.
    void LoadRecipientListFile(const std::string& path) override {
        calls.push_back("list " + path);
        empfaengerliste.Cells.resize(1);
        empfaengerliste.Cells.push_back({"+", "Muster", "Anna", "anna@example.org", "w"});
        edtto.Text = app::kRecipientListMarker;
        edtto.Enabled = false;
    }
    void LoadBodyFile(const std::string& path) override {
        calls.push_back("body " + path);
        Memo.Lines = {"body of " + path};
    }
    void AddAttachmentFile(const std::string& path) override {
        calls.push_back("attach " + path);
        m_attachments.push_back(path);
    }
    void RefreshAttachmentList() override {
        calls.push_back("refresh");
        lvFiles.Items = m_attachments;
    }
    void sendenClick() override {
        calls.push_back("send");
        if (sendFails)
            throw Error("Verbindung abgelehnt");
    }

private:
    std::vector<std::string> m_attachments;
};

class FormTest : public ::testing::Test {
protected:
    // 8 March 2026, 14:05:31, a Sunday, UTC+1.
    FormTest() : clock(platform::LocalTime{2026, 3, 8, 14, 5, 31, 0, 60}) {}

    RecordingForm& makeForm(std::vector<std::string> arguments = {}) {
        form = std::make_unique<RecordingForm>(ui, clock, std::move(arguments));
        return *form;
    }
    // FormCreate through the error handler; true when no error was shown.
    bool create(std::vector<std::string> arguments = {}) {
        makeForm(std::move(arguments));
        return app::runHandler(ui, [&] { form->FormCreate(); });
    }
    std::string userFile() const {
        return app::UserSettingsFileName(home.folder(), platform::CurrentUserName());
    }
    std::string historyFile() const { return platform::programFileInFolder() + ".recipient"; }

    TestHome home;
    platform::FixedClock clock;
    ScriptedInteraction ui;
    std::unique_ptr<RecordingForm> form;
};

}  // namespace sendrix::test

#pragma once
// A main window whose sends are recorded instead of sent, in a fresh program
// folder with a fixed clock.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/handler_runner.h"
#include "app/settings_paths.h"
#include "app/tfrm_message_editor.h"
#include "platform/clock.h"
#include "platform/system_info.h"
#include "support/app/scripted_interaction.h"
#include "support/app/test_home.h"

namespace sendrix::test {

// Takes the send where the window hands it to its thread: records it and
// sends nothing, or fails as a refused connection would.
class RecordingRunner : public app::SendRunner {
public:
    std::vector<std::string> calls;
    bool sendFails = false;

    void RunSend(merge::SendObserver&, const std::function<void(merge::SendObserver&)>&) override {
        calls.push_back("send");
        if (sendFails)
            throw Error("Verbindung abgelehnt");
    }
};

// The main window with its send runs taken by a RecordingRunner; `calls`
// and `sendFails` are the runner's.
class RecordingForm : public app::TfrmMessageEditor {
    RecordingRunner m_runner;

public:
    RecordingForm(app::Interaction& interaction, const platform::Clock& clock,
                  std::vector<std::string> arguments)
        : TfrmMessageEditor(interaction, clock, std::move(arguments)) {
        SendRuns = &m_runner;
    }

    std::vector<std::string>& calls = m_runner.calls;
    bool& sendFails = m_runner.sendFails;
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

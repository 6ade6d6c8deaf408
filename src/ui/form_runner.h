#pragma once
// What every part of the main window is handed by the window: the model it
// shows and the window's one way of running a handler (errors go to the
// error box, then the whole window shows the model again).
#include <QObject>
#include <functional>

#include "app/tfrm_message_editor.h"

namespace sendrix::ui {

class FormRunner {
public:
    using Handler = void (app::TfrmMessageEditor::*)();

    virtual ~FormRunner() = default;

    virtual app::TfrmMessageEditor& form() = 0;
    // Runs one handler through the general error handler and then shows the
    // model's state. True without error.
    virtual bool run(const std::function<void()>& handler) = 0;
    // The same for one of the form's handlers without arguments.
    bool run(Handler handler) {
        // std::invoke rather than (form().*handler)(): GCC 12 with
        // AddressSanitizer and UndefinedBehaviorSanitizer on checks a wrong
        // address for the latter (the stack address shifted by three) and
        // stops the program.
        return run([this, handler] { std::invoke(handler, form()); });
    }
    // The window is copying the model into the widgets: a widget's signal
    // then reports no edit.
    virtual bool refreshing() const = 0;

    // Runs `handler` whenever `sender` emits `signal`, for as long as
    // `context` lives.
    template <typename Sender, typename Signal>
    void connectRun(QObject* context, Sender* sender, Signal signal, Handler handler) {
        QObject::connect(sender, signal, context, [this, handler] { run(handler); });
    }
};

}  // namespace sendrix::ui

#pragma once
// The real Qt window offscreen, in a fresh program folder, with a scripted
// SMTP server behind it, and a helper that answers the window's modal boxes
// (message boxes, the setup dialog, pop-up menus) the way a person would.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <cstdlib>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/tfrm_message_editor.h"
#include "platform/clock.h"
#include "platform/system_info.h"
#include "support/app/test_home.h"
#include "support/scripted_smtp_server.h"
#include "ui/main_window.h"
#include "ui/qt_interaction.h"

namespace sendrix::test {

// The one QApplication of a test program, offscreen unless the caller chose
// another platform.
QApplication& qtApplication();

// Runs the event loop until `done` holds; false when `limit` passed first.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(5));

// A box or pop-up the window showed while a handler ran.
struct ShownBox {
    std::string kind;  // "question", "information", "warning", "critical", "dialog", "menu"
    std::string title;
    std::string text;
};

// Answers modal widgets while a handler runs in its own event loop: a timer
// looks for the top modal widget (or pop-up menu) every few milliseconds
// and hands it to the next scripted step. A box nobody scripted is recorded
// and closed (No / Escape), so a test never hangs on it; a timer deadline
// ends the whole polling after `limit`.
class ModalAnswerer {
public:
    using Step = std::function<void(QWidget*)>;

    explicit ModalAnswerer(std::chrono::milliseconds limit = std::chrono::seconds(20));
    ~ModalAnswerer();
    ModalAnswerer(const ModalAnswerer&) = delete;
    ModalAnswerer& operator=(const ModalAnswerer&) = delete;

    // The next message box gets this button clicked.
    void click(QMessageBox::StandardButton button);
    // The next modal widget or pop-up is given to `step`, which must close it.
    void then(Step step);

    std::vector<ShownBox> shown;
    // Widgets that came with no step left (and were closed).
    int unexpected = 0;
    std::size_t pendingSteps() const { return m_steps.size(); }

private:
    void poll();

    std::deque<Step> m_steps;
    QTimer m_timer;
    std::chrono::steady_clock::time_point m_deadline;
    QPointer<QWidget> m_handled;
    // Widgets whose step is still running: a box of their own may have
    // closed, but they are not given another step.
    // Shared with the steps' timers, which may outlive the answerer.
    std::shared_ptr<std::vector<QPointer<QWidget>>> m_running =
        std::make_shared<std::vector<QPointer<QWidget>>>();
};

class WindowTest : public ::testing::Test {
protected:
    WindowTest();
    // The server answers every session with `behaviour`.
    explicit WindowTest(const SmtpBehaviour& behaviour);
    ~WindowTest() override;

    // Mail.ini with the server's port, no login and the subject, plus the
    // user's sender address; `extraOptions` goes into [Optionen].
    void writeSettings(const std::string& extraOptions = "");
    // A list file in the program folder (Windows-1252 lines).
    std::string writeList(const std::string& name, const std::string& bytes);
    // Creates the form and window as main() does: FormCreate, show, FormShow.
    void openWindow(std::vector<std::string> arguments = {});

    template <class T>
    T* child(const char* name) const {
        T* widget = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    // Everything the server received in all sessions, joined.
    std::string allReceived() const;

    TestHome home;
    ScriptedSmtpServer server;
    platform::FixedClock clock;
    ui::QtInteraction interaction;
    std::unique_ptr<app::TfrmMessageEditor> form;
    std::unique_ptr<ui::MainWindow> window;
};

}  // namespace sendrix::test

// ---- Definitions (header only: each test program is one source file) ----

namespace sendrix::test {

inline QApplication& qtApplication() {
    static int argc = 1;
    static char name[] = "sendrix-ui-test";
    static char* argv[] = {name, nullptr};
    if (!std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Lives until the process ends: widgets of a failed test may outlive it.
    static QApplication* application = [] {
        auto* app = new QApplication(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Sendrix"));
        return app;
    }();
    return *application;
}

inline bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QTest::qWait(5);
    }
    return true;
}

namespace window_fixture_detail {

inline std::string boxKind(QWidget* widget) {
    if (qobject_cast<QMenu*>(widget))
        return "menu";
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (!box)
        return "dialog";
    switch (box->icon()) {
        case QMessageBox::Question: return "question";
        case QMessageBox::Information: return "information";
        case QMessageBox::Warning: return "warning";
        case QMessageBox::Critical: return "critical";
        default: return "box";
    }
}

// Closes a widget nobody expected the way a person would who says no.
inline void dismiss(QWidget* widget) {
    if (auto* box = qobject_cast<QMessageBox*>(widget)) {
        for (QMessageBox::StandardButton which : {QMessageBox::No, QMessageBox::Ok, QMessageBox::Cancel})
            if (QAbstractButton* button = box->button(which)) {
                button->click();
                return;
            }
    }
    if (auto* dialog = qobject_cast<QDialog*>(widget)) {
        dialog->reject();
        return;
    }
    widget->close();
}

}  // namespace window_fixture_detail

inline ModalAnswerer::ModalAnswerer(std::chrono::milliseconds limit)
    : m_deadline(std::chrono::steady_clock::now() + limit) {
    m_timer.setInterval(5);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
    m_timer.start();
}

inline ModalAnswerer::~ModalAnswerer() {
    m_timer.stop();
}

inline void ModalAnswerer::click(QMessageBox::StandardButton button) {
    then([button](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        ASSERT_NE(box, nullptr) << "expected a message box, got " << widget->metaObject()->className();
        QAbstractButton* target = box->button(button);
        ASSERT_NE(target, nullptr) << "the box has no such button";
        QTest::mouseClick(target, Qt::LeftButton);
    });
}

inline void ModalAnswerer::then(Step step) {
    m_steps.push_back(std::move(step));
}

inline void ModalAnswerer::poll() {
    if (std::chrono::steady_clock::now() > m_deadline) {
        m_timer.stop();
        ADD_FAILURE() << "the modal answerer ran out of time";
        // Whatever is still open must not keep the test waiting.
        if (QWidget* open = QApplication::activeModalWidget())
            window_fixture_detail::dismiss(open);
        return;
    }
    QWidget* widget = QApplication::activePopupWidget();
    if (!widget)
        widget = QApplication::activeModalWidget();
    if (!widget || !widget->isVisible() || widget == m_handled.data())
        return;
    for (const QPointer<QWidget>& running : *m_running)
        if (running.data() == widget)
            return;
    m_handled = widget;
    ShownBox box{window_fixture_detail::boxKind(widget), widget->windowTitle().toStdString(), {}};
    if (auto* message = qobject_cast<QMessageBox*>(widget))
        box.text = message->text().toStdString();
    shown.push_back(box);
    QPointer<QWidget> target = widget;
    if (m_steps.empty()) {
        ++unexpected;
        window_fixture_detail::dismiss(widget);
        return;
    }
    // From a timer of its own: a step that starts a handler with a box of
    // its own must leave this polling timer free to answer that box.
    Step step = std::move(m_steps.front());
    m_steps.pop_front();
    QTimer::singleShot(0, widget, [running = m_running, step = std::move(step), target] {
        if (!target)
            return;
        running->push_back(target);
        step(target);
        std::erase_if(*running, [&](const QPointer<QWidget>& entry) { return entry == target; });
    });
}

namespace window_fixture_detail {

inline ScriptedSmtpServer::Options serverOptions() {
    ScriptedSmtpServer::Options options;
    options.repeatLastScript = true;
    options.lifetime = std::chrono::seconds(120);
    return options;
}

}  // namespace window_fixture_detail

inline WindowTest::WindowTest() : WindowTest(SmtpBehaviour()) {}

inline WindowTest::WindowTest(const SmtpBehaviour& behaviour)
    : server({SmtpScript::standard(behaviour)}, window_fixture_detail::serverOptions()),
      clock(platform::LocalTime{2026, 3, 8, 14, 5, 31, 0, 60}) {
    qtApplication();
}

inline WindowTest::~WindowTest() {
    // The window goes without its close handler: nothing is stored.
    interaction.setWindow(nullptr);
    window.reset();
    form.reset();
}

inline void WindowTest::writeSettings(const std::string& extraOptions) {
    home.write("Mail.ini", "[Smtp]\r\nServerName=127.0.0.1\r\nServerPort=" + std::to_string(server.port()) +
                               "\r\nSMTPAuthenticationType=0\r\nTimeout=5\r\n"
                               "[Email]\r\nSubject=Einladung\r\n"
                               "[Optionen]\r\n" +
                               extraOptions);
    const std::string user = platform::CurrentUserName();
    std::string lowered = user;
    for (char& c : lowered)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    home.write(lowered + ".ini", "[Email]\r\nPersonalEmail=vorstand@example.org\r\nRealname=Sportverein\r\n");
}

inline std::string WindowTest::writeList(const std::string& name, const std::string& bytes) {
    return home.write(name, bytes);
}

inline void WindowTest::openWindow(std::vector<std::string> arguments) {
    interaction.setWindow(nullptr);
    window.reset();
    form.reset();
    form = std::make_unique<app::TfrmMessageEditor>(interaction, clock, std::move(arguments));
    window = std::make_unique<ui::MainWindow>(*form, interaction);
    interaction.setWindow(window.get());
    ModalAnswerer startUp;
    EXPECT_TRUE(window->run([this] { form->FormCreate(); }));
    window->placeOnScreen();
    window->show();
    EXPECT_TRUE(window->run([this] { form->FormShow(); }));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get(), 5000));
    for (const ShownBox& box : startUp.shown)
        ADD_FAILURE() << "start-up showed " << box.text;
}

inline std::string WindowTest::allReceived() const {
    std::string all;
    for (std::size_t i = 0; i < server.sessionCount(); ++i)
        all += server.received(i);
    return all;
}

}  // namespace sendrix::test

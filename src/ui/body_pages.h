#pragma once
// The lower pages of the main window: "Mail", the body's text, and
// "Protokoll", what the send runs recorded (read-only).
#include <QTabWidget>
#include <string>
#include <vector>

#include "app/controls.h"
#include "ui/form_runner.h"

class QPlainTextEdit;

namespace sendrix::ui {

class BodyPages : public QTabWidget {
    Q_OBJECT
public:
    BodyPages(FormRunner& runner, QWidget* parent);

    void refreshBody();
    // The protocol and the page shown.
    void refreshProtocol();
    // Shows the body page and puts `text` in at its cursor; the body's own
    // signal writes the text into the model.
    void insertAtCursor(const QString& text);
    // Paints the page shown at once (a send run blocks the event loop).
    void repaintPage();
    // The widget that shows `control`, or null when it is not on these pages.
    QWidget* widgetOf(app::ControlId control) const;
    // The field the body is typed in.
    QWidget* bodyEditor() const;

private:
    FormRunner& m_runner;
    app::TfrmMessageEditor& m_form;
    QPlainTextEdit* m_Memo = nullptr;
    QPlainTextEdit* m_protokollmemo = nullptr;
    std::vector<std::string> m_shownMemo;
    app::LogMemoFollower m_shownProtocol;
};

}  // namespace sendrix::ui

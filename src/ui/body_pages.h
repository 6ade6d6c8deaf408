#pragma once
// The lower pages of the main window: "Mail", the body, and "Protokoll",
// what the send runs recorded (read-only). The body is a text field; an
// HTML body is written in the composer (ui/rich_text_composer.h) unless its
// source is edited ("Quelltext bearbeiten").
#include <QTabWidget>
#include <string>
#include <vector>

#include "app/controls.h"
#include "ui/form_runner.h"

class QPlainTextEdit;
class QStackedWidget;

namespace sendrix::ui {

class RichTextComposer;

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
    // The "Mail" page: the text field or the composer, whichever is shown.
    QWidget* mailPage() const;
    // True for the text field and the composer's editor.
    bool isBodyEditor(const QObject* object) const;
    // `filter` sees the events of both body editors.
    void watchEditors(QObject* filter) const;
    RichTextComposer* composer() const { return m_composer; }

private:
    FormRunner& m_runner;
    app::TfrmMessageEditor& m_form;
    // The text field the body is typed in; for an HTML body its source.
    QWidget* shownEditor() const;

    QStackedWidget* m_mailPage = nullptr;
    QPlainTextEdit* m_Memo = nullptr;
    RichTextComposer* m_composer = nullptr;
    QPlainTextEdit* m_protokollmemo = nullptr;
    std::vector<std::string> m_shownMemo;
    app::LogMemoFollower m_shownProtocol;
};

}  // namespace sendrix::ui

#pragma once
// The Qt view of the "Vorschau" window: a row chooser and the buttons that
// step through the marked rows, and the message as its recipient sees it:
// for an HTML mailing a page "HTML" rendering it with its images, and a page
// "Text" with the header lines and the text sent beside it.
#include <QDialog>

#include "app/message_preview.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace sendrix::ui {

class MailHtmlView;

class PreviewDialog : public QDialog {
    Q_OBJECT
public:
    PreviewDialog(app::MessagePreview& model, QWidget* parent);

private:
    void refreshFromModel();

    app::MessagePreview& m_model;
    QLabel* m_position = nullptr;
    QComboBox* m_rows = nullptr;
    QTabWidget* m_pages = nullptr;
    MailHtmlView* m_html = nullptr;
    QPlainTextEdit* m_message = nullptr;
    QPushButton* m_back = nullptr;
    QPushButton* m_on = nullptr;
};

}  // namespace sendrix::ui

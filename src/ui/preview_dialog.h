#pragma once
// The Qt view of the "Vorschau" window: the row's place, the whole message as
// read-only text, and the buttons that step through the marked rows.
#include <QDialog>

#include "app/message_preview.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace sendrix::ui {

class PreviewDialog : public QDialog {
    Q_OBJECT
public:
    PreviewDialog(app::MessagePreview& model, QWidget* parent);

private:
    void refreshFromModel();

    app::MessagePreview& m_model;
    QLabel* m_position = nullptr;
    QPlainTextEdit* m_message = nullptr;
    QPushButton* m_back = nullptr;
    QPushButton* m_on = nullptr;
};

}  // namespace sendrix::ui

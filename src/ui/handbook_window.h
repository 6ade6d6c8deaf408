#pragma once
// The handbook in a window of its own beside the main window, with a button
// that opens it in the desktop's browser instead.
#include <QDialog>
#include <QString>

namespace sendrix::ui {

class HandbookWindow : public QDialog {
    Q_OBJECT
public:
    // Shows the HTML file at `path`.
    HandbookWindow(const QString& path, QWidget* parent);
};

// Opens the handbook window (one at a time; a second call raises it) for the
// installed handbook; an error box names the places looked at when missing.
void showHandbook(QWidget* parent);

}  // namespace sendrix::ui

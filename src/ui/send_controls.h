#pragma once
// What the main window shows of a send: the progress bar with "Abbrechen"
// beside it (and Escape), the status bar's two panels, and the lock that
// takes all other input away from the window while a send's network part
// runs.
#include <QObject>
#include <QPointer>
#include <vector>

#include "ui/form_runner.h"

class QAction;
class QLabel;
class QMainWindow;
class QProgressBar;
class QPushButton;
class QShortcut;
class QWidget;

namespace sendrix::ui {

class SendControls : public QObject {
    Q_OBJECT
public:
    // Fills the status bar of `window`; the progress row is for the window
    // to place (progressRow).
    SendControls(QMainWindow& window, FormRunner& runner);

    QWidget* progressRow() const { return m_progressRow; }
    QWidget* progressBar() const;
    // What takes no input during a send: menu bar, tool bar, upper panel,
    // salutation group, body and the page tabs (the protocol stays
    // readable; it cannot be edited).
    void setInputAreas(std::vector<QWidget*> areas) { m_inputAreas = std::move(areas); }

    bool sending() const { return m_sending; }
    // Takes all input but "Abbrechen" away from the window, or gives it back.
    void setSending(bool sending);
    // "Abbrechen": asks the run to stop and shows that it was asked. Not
    // through the window's run(): refreshing the whole window would give the
    // menu its input back while the send goes on.
    void stop();

    void refreshProgress();
    void refreshStatusBar();

private:
    QMainWindow& m_window;
    app::TfrmMessageEditor& m_form;

    QProgressBar* m_Progress = nullptr;
    QWidget* m_progressRow = nullptr;  // the progress bar and "Abbrechen"
    QPushButton* m_abbrechen = nullptr;
    QShortcut* m_escape = nullptr;
    QLabel* m_statusPanel0 = nullptr;
    QLabel* m_statusPanel1 = nullptr;

    bool m_sending = false;
    std::vector<QWidget*> m_inputAreas;
    // Actions that were enabled when the send started.
    std::vector<QAction*> m_actionsBeforeSend;
    // Where the focus was when the send started; it goes back there.
    QPointer<QWidget> m_focusBeforeSend;
};

}  // namespace sendrix::ui

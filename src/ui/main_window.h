#pragma once
// The Qt view of the main window TfrmMessageEditor. It creates the widgets,
// copies the model's state into them after every handler (signals blocked),
// writes every edit straight back into the model and connects each menu
// item, button and event to its handler. It decides nothing itself.
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <string>
#include <vector>

#include "app/controls.h"
#include "app/message_preview.h"
#include "app/tfm_setup.h"
#include "app/tfrm_message_editor.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QShortcut;
class QTabWidget;
class QTableView;
class QToolButton;
class QTreeWidget;

namespace sendrix::ui {

class RecipientTableModel;

class MainWindow : public QMainWindow,
                   public app::SetupDialogRunner,
                   public app::PreviewDialogRunner,
                   public app::SendRunner {
    Q_OBJECT
public:
    // The window shows `form`; boxes go through `interaction`, which must be
    // the interaction the form was made with.
    MainWindow(app::TfrmMessageEditor& form, app::Interaction& interaction);
    ~MainWindow() override;

    // Runs one handler through the general error handler (an error goes to
    // the error box) and then shows the model's state. True without error.
    bool run(const std::function<void()>& handler);
    using Handler = void (app::TfrmMessageEditor::*)();
    // The same for one of the form's handlers without arguments.
    bool run(Handler handler);
    // Copies the whole model into the widgets.
    void refreshFromModel();
    // Copies one control and paints it at once, while a send run blocks the
    // event loop.
    void repaintControl(app::ControlId control);
    void focusControl(app::ControlId control);
    // The size and place of a new window: 771 x 690 centred on the screen,
    // smaller where the screen's free area is smaller, and always inside it.
    void placeOnScreen();

    // Shows the setup dialog modally (app::SetupDialogRunner).
    void RunModal(app::TfmSetup& dialog) override;
    // Shows the "Vorschau" window modally (app::PreviewDialogRunner).
    void RunPreview(app::MessagePreview& preview) override;
    // Runs a send's network part off the user-interface thread
    // (ui/send_thread.h) while the window keeps painting. Meanwhile menu,
    // tool bar, fields, grid and pages take no input; "Abbrechen" (button
    // beside the progress bar, and Escape) stops the run after the message
    // in flight. A click on a disabled control is dropped, never replayed.
    // A close confirmed during the run closes the window once the handler
    // that started the send has returned.
    void RunSend(merge::SendObserver& observer,
                 const std::function<void(merge::SendObserver&)>& work) override;

    app::TfrmMessageEditor& form() { return m_form; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Takes all input but "Abbrechen" away from the window, or gives it back.
    void setSending(bool sending);
    // "Abbrechen": asks the run to stop and shows that it was asked.
    void stopSend();
    // Closes the window when its close was confirmed during a send that has
    // ended since.
    void closeIfAsked();
    void createActions();
    void createMenus();
    void createToolBar();
    QWidget* createTopPanel();
    QWidget* createRecipientPage();
    QWidget* createSenderPage();
    QWidget* createCopiesPage();
    QWidget* createRecipientListPage();
    QWidget* createAttachmentPage();
    QGroupBox* createSalutationGroup();
    // The placeholder menu: the list's columns, filled anew each time it
    // opens; a pick goes in at the cursor of the subject, the body or the
    // salutation template, whichever had the focus last (the body at first).
    QMenu* createPlaceholderMenu();
    void insertPlaceholder(const QString& placeholder);
    void setTabOrderOfPages();
    QWidget* createBodyPages();
    void createStatusArea();
    void connectEdits();

    void refreshControl(app::ControlId control);
    void refreshMenu();
    void refreshTopPages();
    void refreshGrid();
    void refreshAttachments();
    void refreshSalutation();
    void refreshBody();
    void refreshProtocol();
    void refreshProgress();
    void refreshStatusBar();
    QWidget* widgetOf(app::ControlId control) const;

    QAction* menuAction(QMenu* menu, app::TMenuItem& item, const char* name, Handler handler);
    // Runs `handler` (see run) whenever `sender` emits `signal`.
    template <typename Sender, typename Signal>
    void connectRun(Sender* sender, Signal signal, Handler handler) {
        connect(sender, signal, this, [this, handler] { run(handler); });
    }

    app::TfrmMessageEditor& m_form;
    app::Interaction& m_interaction;

    // Menu and tool bar.
    QAction* m_Senden1 = nullptr;
    QAction* m_Verteilerlisteffnen1 = nullptr;
    QAction* m_MailingOeffnen1 = nullptr;
    QAction* m_MailingSpeichern1 = nullptr;
    QAction* m_MailingSpeichernUnter1 = nullptr;
    QAction* m_Beenden1 = nullptr;
    QAction* m_Nachrichtffnen1 = nullptr;
    QAction* m_Speichern1 = nullptr;
    QAction* m_Optionen1 = nullptr;
    QAction* m_MailKonfigurationffnen1 = nullptr;
    QAction* m_MailKonfigurationsichern1 = nullptr;
    QAction* m_editliste = nullptr;
    QAction* m_Update1 = nullptr;
    QAction* m_Versionsinfo1 = nullptr;
    QMenu* m_sendmenu = nullptr;
    QToolButton* m_senden = nullptr;

    // Upper panel.
    QTabWidget* m_pnlTopleft = nullptr;
    QTabWidget* m_pnltopright = nullptr;
    QLabel* m_sAbsender = nullptr;
    QLabel* m_lblProfil = nullptr;
    QComboBox* m_selEmailProfil = nullptr;
    QComboBox* m_edtto = nullptr;
    QLineEdit* m_edtSubject = nullptr;
    QLineEdit* m_edtReply = nullptr;
    QComboBox* m_cboPriority = nullptr;
    QCheckBox* m_chkReturnReciept = nullptr;
    QCheckBox* m_html = nullptr;
    QLineEdit* m_edtreal = nullptr;
    QLineEdit* m_edtfrom = nullptr;
    QLineEdit* m_edtCC = nullptr;
    QLineEdit* m_edtBCC = nullptr;
    QTableView* m_empfaengerliste = nullptr;
    RecipientTableModel* m_gridModel = nullptr;
    std::vector<int> m_shownColWidths;
    QTreeWidget* m_lvFiles = nullptr;

    // Salutation group.
    QCheckBox* m_useAnrede = nullptr;
    QComboBox* m_Anrede = nullptr;
    QLabel* m_Vorschau = nullptr;

    // Body and protocol.
    QTabWidget* m_Control = nullptr;
    QPlainTextEdit* m_Memo = nullptr;
    QPlainTextEdit* m_protokollmemo = nullptr;
    std::vector<std::string> m_shownMemo;
    app::LogMemoFollower m_shownProtocol;

    QProgressBar* m_Progress = nullptr;
    QWidget* m_progressRow = nullptr;  // the progress bar and "Abbrechen"
    QPushButton* m_abbrechen = nullptr;
    QShortcut* m_escape = nullptr;
    QLabel* m_statusPanel0 = nullptr;
    QLabel* m_statusPanel1 = nullptr;

    QMenu* m_placeholderMenu = nullptr;
    // The subject, the body or the salutation's field: where a placeholder
    // goes in.
    QWidget* m_placeholderTarget = nullptr;

    bool m_refreshing = false;
    // Handlers running through run(), nested ones counted.
    int m_handlerDepth = 0;
    // A send's network part runs (RunSend).
    bool m_sending = false;
    // What takes no input during a send: menu bar, tool bar, upper panel,
    // salutation group, body and the page tabs (the protocol stays
    // readable; it cannot be edited).
    std::vector<QWidget*> m_inputAreas;
    // Actions that were enabled when the send started.
    std::vector<QAction*> m_actionsBeforeSend;
    // Where the focus was when the send started; it goes back there.
    QPointer<QWidget> m_focusBeforeSend;
    // The close box was confirmed during a send: close once it has ended.
    bool m_closeAfterSend = false;
};

}  // namespace sendrix::ui

#pragma once
// The Qt view of the main window TfrmMessageEditor. It assembles the
// window's parts, each in files of its own:
//   MainMenus          menu bar, "Senden" drop-down and tool bar
//   HeaderPages        upper left: "Empfänger", "Absender", "Kopien"
//   RecipientListPage  upper right: the recipient grid
//   AttachmentPage     upper right: the attachment list
//   SalutationGroup    salutation and the body's buttons
//   PlaceholderMenu    the placeholder menu and where a pick goes in
//   BodyPages          the body ("Mail") and the protocol
//   SendControls       progress, "Abbrechen", status bar, the send lock
// It runs every handler (error box, then every part shows the model again
// with signals blocked) and answers the model's repaint, focus, dialog and
// send requests. It decides nothing itself.
#include <QMainWindow>
#include <functional>

#include "app/controls.h"
#include "app/message_preview.h"
#include "app/tfm_setup.h"
#include "app/tfrm_message_editor.h"
#include "ui/form_runner.h"

class QTabWidget;

namespace sendrix::ui {

class AttachmentPage;
class BodyPages;
class HeaderPages;
class MainMenus;
class PlaceholderMenu;
class RecipientListPage;
class SalutationGroup;
class SendControls;

class MainWindow : public QMainWindow,
                   public FormRunner,
                   public app::SetupDialogRunner,
                   public app::PreviewDialogRunner,
                   public app::SuppressionDialogRunner,
                   public app::SendRunner {
    Q_OBJECT
public:
    // The window shows `form`; boxes go through `interaction`, which must be
    // the interaction the form was made with.
    MainWindow(app::TfrmMessageEditor& form, app::Interaction& interaction);
    ~MainWindow() override;

    // Runs one handler through the general error handler (an error goes to
    // the error box) and then shows the model's state. True without error.
    bool run(const std::function<void()>& handler) override;
    using FormRunner::run;
    app::TfrmMessageEditor& form() override { return m_form; }
    bool refreshing() const override { return m_refreshing; }

    // Copies the whole model into the widgets.
    void refreshFromModel();
    // Copies one control and paints it at once, while a send run blocks the
    // event loop.
    void repaintControl(app::ControlId control);
    void focusControl(app::ControlId control);
    // The size and place of a new window: 771 x 690 centred on the screen,
    // smaller where the screen's free area is smaller, and always inside it.
    void placeOnScreen();
    // The size and place of the last start (user settings [Fenster]),
    // fitted into the screen it was on; true when it was maximised. False
    // and nothing changed without a stored place.
    bool restorePlace();

    // Stores size, place and maximised state for the next start (not with
    // DontSave or "/sofort"); a failure to write is not shown.
    void savePlace();

    // Shows the setup dialog modally (app::SetupDialogRunner).
    void RunModal(app::TfmSetup& dialog) override;
    // Shows the account assistant "Konto einrichten" modally.
    void RunAssistant(app::TfmSetup& dialog) override;
    // Shows the "Vorschau" window modally (app::PreviewDialogRunner).
    void RunPreview(app::MessagePreview& preview) override;
    // Shows "Sperrliste" modally (ui/suppression_dialog.h).
    bool EditSuppressionList(std::vector<merge::SuppressedAddress>& entries) override;
    // Runs a send's network part off the user-interface thread
    // (ui/send_thread.h) while the window keeps painting. Meanwhile menu,
    // tool bar, fields, grid and pages take no input; "Abbrechen" (button
    // beside the progress bar, and Escape) stops the run after the message
    // in flight. A click on a disabled control is dropped, never replayed.
    // A close confirmed during the run closes the window once the handler
    // that started the send has returned.
    void RunSend(merge::SendObserver& observer,
                 const std::function<void(merge::SendObserver&)>& work) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Closes the window when its close was confirmed during a send that has
    // ended since.
    void closeIfAsked();
    QWidget* createTopPanel();
    void refreshControl(app::ControlId control);
    QWidget* widgetOf(app::ControlId control) const;

    app::TfrmMessageEditor& m_form;
    app::Interaction& m_interaction;

    PlaceholderMenu* m_placeholders = nullptr;
    MainMenus* m_menus = nullptr;
    HeaderPages* m_headerPages = nullptr;
    QTabWidget* m_pnltopright = nullptr;  // the recipient list and attachment pages
    RecipientListPage* m_recipientList = nullptr;
    AttachmentPage* m_attachments = nullptr;
    SalutationGroup* m_salutation = nullptr;
    BodyPages* m_body = nullptr;
    SendControls* m_send = nullptr;

    bool m_refreshing = false;
    // Handlers running through run(), nested ones counted.
    int m_handlerDepth = 0;
    // The close box was confirmed during a send: close once it has ended.
    bool m_closeAfterSend = false;
};

}  // namespace sendrix::ui

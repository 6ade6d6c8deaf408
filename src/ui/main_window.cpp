#include "ui/main_window.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QScopedValueRollback>
#include <QScreen>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/handler_runner.h"
#include "app/window_place.h"
#include "ui/account_assistant.h"
#include "ui/attachment_page.h"
#include "ui/body_pages.h"
#include "ui/control_widgets.h"
#include "ui/header_pages.h"
#include "ui/icons.h"
#include "ui/main_menus.h"
#include "ui/placeholder_menu.h"
#include "ui/preview_dialog.h"
#include "ui/suppression_dialog.h"
#include "ui/qt_text.h"
#include "ui/recipient_list_page.h"
#include "ui/rich_text_composer.h"
#include "ui/salutation_group.h"
#include "ui/send_controls.h"
#include "ui/send_thread.h"
#include "ui/setup_dialog.h"

namespace sendrix::ui {

namespace {

using app::TfrmMessageEditor;

constexpr int kWindowWidth = 771;
constexpr int kWindowHeight = 690;
constexpr int kTopPanelHeight = 172;
// Room for a window manager's frame and title bar before the window is shown.
constexpr int kFrameAllowance = 4;
constexpr int kTitleAllowance = 32;

const char* const kCloseDuringSendQuestion =
    "Der Versand läuft noch. Soll er nach der laufenden Mail abgebrochen und Sendrix beendet werden?";

}  // namespace

MainWindow::MainWindow(app::TfrmMessageEditor& form, app::Interaction& interaction)
    : m_form(form), m_interaction(interaction) {
    setObjectName(QStringLiteral("frmMessageEditor"));
    setWindowIcon(imageIcon(Image::Program));
    setFont(formFont(font()));

    m_placeholders = new PlaceholderMenu(*this, this);
    m_menus = new MainMenus(*this, *this, m_placeholders);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(createTopPanel(), 1);
    // The group keeps the same 2 pixels from the window's edges as the page
    // controls above it, so its frame and caption line up with theirs.
    auto* salutationRow = new QHBoxLayout;
    salutationRow->setContentsMargins(2, 2, 2, 0);
    m_salutation = new SalutationGroup(*this, m_placeholders, this);
    salutationRow->addWidget(m_salutation);
    layout->addLayout(salutationRow);
    m_body = new BodyPages(*this, this);
    layout->addWidget(m_body, 1);
    setCentralWidget(central);
    // "Format" after "Nachricht", for the composer of an HTML body.
    menuBar()->insertMenu(menuBar()->actions().at(2), m_body->composer()->formatMenu());
    m_send = new SendControls(*this, *this);
    layout->addWidget(m_send->progressRow());

    m_send->setInputAreas({menuBar(), findChild<QToolBar*>(QStringLiteral("ToolBar1")),
                           findChild<QWidget*>(QStringLiteral("pnlTop")), m_salutation, m_body->mailPage(),
                           m_body->tabBar()});
    m_placeholders->setTargets(m_headerPages->subjectField(), m_salutation->templateField(), m_body);
    m_headerPages->orderTabs();
    m_attachments->orderTabs();
    m_form.SetupDialogs = this;
    m_form.PreviewDialogs = this;
    m_form.SuppressionDialogs = this;
    m_form.SendRuns = this;
    refreshFromModel();
}

MainWindow::~MainWindow() {
    if (m_form.SetupDialogs == this)
        m_form.SetupDialogs = nullptr;
    if (m_form.PreviewDialogs == this)
        m_form.PreviewDialogs = nullptr;
    if (m_form.SendRuns == this)
        m_form.SendRuns = nullptr;
    if (m_form.SuppressionDialogs == this)
        m_form.SuppressionDialogs = nullptr;
}

namespace {

// Where a window of `length` starts in a free stretch of `area` pixels from
// `start`: centred, with up to `before` pixels for the frame in front (the
// title bar) and `after` behind it, less where the stretch is short.
int placedStart(int start, int area, int length, int before, int after) {
    const int free = std::max(0, area - length);
    const int front = std::min(before, std::max(0, free - after));
    return start + front + std::max(0, (free - front - after) / 2);
}

}  // namespace

void MainWindow::placeOnScreen() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        resize(kWindowWidth, kWindowHeight);
        return;
    }
    // Called before the window is shown, when its frame is not known yet:
    // room is left for a window manager's frame and title bar, so that the
    // whole window stays on the screen.
    const QRect area = screen->availableGeometry();
    resize(std::min(kWindowWidth, area.width() - 2 * kFrameAllowance),
           std::min(kWindowHeight, area.height() - kTitleAllowance - kFrameAllowance));
    // The layout may need more than that; the frame then gets less room.
    const QSize size = this->size().expandedTo(minimumSizeHint());
    // Before the first show the position is that of the window without its
    // frame (X11 static gravity).
    move(placedStart(area.left(), area.width(), size.width(), kFrameAllowance, kFrameAllowance),
         placedStart(area.top(), area.height(), size.height(), kTitleAllowance, kFrameAllowance));
}

bool MainWindow::restorePlace() {
    if (m_form.UserSettingsFile.empty())
        return false;
    const std::optional<app::WindowPlace> stored = app::readWindowPlace(m_form.UserSettingsFile);
    if (!stored)
        return false;
    // The screen the window was on, or the primary one when that screen
    // is gone.
    const QPoint centre(stored->x + stored->width / 2, stored->y + stored->height / 2);
    QScreen* screen = QGuiApplication::screenAt(centre);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return false;
    const QRect area = screen->availableGeometry();
    const QSize least = minimumSizeHint();
    const app::WindowPlace place = app::fitIntoArea(
        *stored, {area.x(), area.y(), area.width(), area.height()}, least.width(), least.height());
    setGeometry(place.x, place.y, place.width, place.height);
    return place.maximized;
}

void MainWindow::savePlace() {
    const app::TfrmMessageEditor& form = m_form;
    if (form.UserSettingsFile.empty() || form.DontSave || form.SendImmediately)
        return;
    // The size before maximising, so that un-maximising after the next
    // start gives it back.
    const QRect normal = isMaximized() ? normalGeometry() : geometry();
    try {
        app::writeWindowPlace(form.UserSettingsFile,
                              {normal.x(), normal.y(), normal.width(), normal.height(), isMaximized()});
    } catch (const Error&) {
        // The window closes all the same; it opens in its default place.
    }
}

// ---- Creation ----

// The upper panel: the header pages on the left, the list pages on the
// right.
QWidget* MainWindow::createTopPanel() {
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("pnlTop"));
    // The grid grows with the window; the panel never gets lower than before.
    panel->setMinimumHeight(kTopPanelHeight);
    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(2, 2, 2, 0);
    layout->setSpacing(2);

    m_headerPages = new HeaderPages(*this, panel);

    m_pnltopright = new QTabWidget(panel);
    m_pnltopright->setObjectName(QStringLiteral("pnltopright"));
    m_recipientList = new RecipientListPage(*this);
    m_attachments = new AttachmentPage(*this);
    m_pnltopright->addTab(m_recipientList, QString());
    m_pnltopright->addTab(m_attachments, QString());
    followPageChoice(m_pnltopright, m_form.pnltopright, *this);

    layout->addWidget(m_headerPages, 2);
    layout->addWidget(m_pnltopright, 3);
    return panel;
}

// ---- Model to widgets ----

bool MainWindow::run(const std::function<void()>& handler) {
    ++m_handlerDepth;
    const bool ok = app::runHandler(m_interaction, handler);
    --m_handlerDepth;
    refreshFromModel();
    if (m_handlerDepth == 0)
        closeIfAsked();
    return ok;
}

void MainWindow::refreshFromModel() {
    const QScopedValueRollback<bool> refreshing(m_refreshing, true);
    setWindowTitle(toQt(m_form.Caption));
    m_menus->refresh(m_send->sending());
    m_headerPages->refresh();
    showPages(m_pnltopright, m_form.pnltopright);
    m_recipientList->refresh();
    m_attachments->refresh();
    m_salutation->refresh();
    m_body->refreshBody();
    m_body->refreshProtocol();
    m_send->refreshProgress();
    m_send->refreshStatusBar();
}

void MainWindow::refreshControl(app::ControlId control) {
    using app::ControlId;
    if (control == ControlId::Window) {
        refreshFromModel();
        return;
    }
    const QScopedValueRollback<bool> refreshing(m_refreshing, true);
    switch (control) {
        case ControlId::StatusBar1: m_send->refreshStatusBar(); break;
        case ControlId::protokollmemo: m_body->refreshProtocol(); break;
        case ControlId::Control:
            m_body->refreshProtocol();
            m_body->refreshBody();
            break;
        case ControlId::Progress: m_send->refreshProgress(); break;
        case ControlId::Memo: m_body->refreshBody(); break;
        case ControlId::empfaengerliste: m_recipientList->refresh(); break;
        case ControlId::lvFiles: m_attachments->refresh(); break;
        case ControlId::Vorschau: m_salutation->refresh(); break;
        default:
            m_headerPages->refresh();
            showPages(m_pnltopright, m_form.pnltopright);
            break;
    }
}

QWidget* MainWindow::widgetOf(app::ControlId control) const {
    using app::ControlId;
    switch (control) {
        case ControlId::StatusBar1: return statusBar();
        case ControlId::Progress: return m_send->progressBar();
        case ControlId::empfaengerliste: return m_recipientList->grid();
        case ControlId::lvFiles: return m_attachments->fileList();
        case ControlId::pnltopright: return m_pnltopright;
        case ControlId::Vorschau: return m_salutation->preview();
        default: break;
    }
    if (QWidget* widget = m_headerPages->widgetOf(control))
        return widget;
    if (QWidget* widget = m_body->widgetOf(control))
        return widget;
    return const_cast<MainWindow*>(this);
}

void MainWindow::repaintControl(app::ControlId control) {
    refreshControl(control);
    // The event loop is blocked during a send run: lay out and paint now.
    if (centralWidget() && centralWidget()->layout())
        centralWidget()->layout()->activate();
    QWidget* widget = widgetOf(control);
    widget->repaint();
    if (auto* area = qobject_cast<QAbstractScrollArea*>(widget))
        area->viewport()->repaint();
    if (control == app::ControlId::Control)
        m_body->repaintPage();
}

void MainWindow::focusControl(app::ControlId control) {
    widgetOf(control)->setFocus(Qt::OtherFocusReason);
}

// ---- Events ----

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_send->sending()) {
        // The run's thread cannot be left behind without its window: the
        // run stops after the message in flight, and the window closes then.
        event->ignore();
        if (m_closeAfterSend)
            return;
        if (m_interaction.Confirm(kCloseDuringSendQuestion)) {
            m_closeAfterSend = true;
            m_send->stop();
        }
        return;
    }
    bool mayClose = false;
    if (!run([this, &mayClose] { mayClose = m_form.FormCloseQuery(); }) || !mayClose) {
        event->ignore();
        return;
    }
    // A close handler that fails keeps the window open, so nothing is lost.
    if (run(&TfrmMessageEditor::FormClose)) {
        savePlace();
        event->accept();
    } else
        event->ignore();
}

void MainWindow::RunSend(merge::SendObserver& observer,
                         const std::function<void(merge::SendObserver&)>& work) {
    m_send->setSending(true);
    try {
        runOffThread(this, observer, work);
    } catch (...) {
        m_send->setSending(false);
        if (m_handlerDepth == 0)
            closeIfAsked();
        throw;
    }
    m_send->setSending(false);
    if (m_handlerDepth == 0)
        closeIfAsked();
}

void MainWindow::closeIfAsked() {
    if (!m_closeAfterSend || m_send->sending())
        return;
    m_closeAfterSend = false;
    if (isVisible())
        close();
}

void MainWindow::RunModal(app::TfmSetup& dialog) {
    SetupDialog view(dialog, m_interaction, this);
    view.exec();
}

void MainWindow::RunAssistant(app::TfmSetup& dialog) {
    AccountAssistant view(dialog, m_interaction, this);
    view.exec();
}

void MainWindow::RunPreview(app::MessagePreview& preview) {
    PreviewDialog view(preview, this);
    view.exec();
}

bool MainWindow::EditSuppressionList(std::vector<merge::SuppressedAddress>& entries) {
    SuppressionDialog dialog(entries, this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    entries = dialog.entries();
    return true;
}

}  // namespace sendrix::ui

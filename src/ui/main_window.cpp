#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/handler_runner.h"
#include "ui/icons.h"
#include "ui/qt_text.h"
#include "ui/recipient_table_model.h"
#include "ui/preview_dialog.h"
#include "ui/send_thread.h"
#include "ui/setup_dialog.h"

namespace sendrix::ui {

namespace {

using app::TfrmMessageEditor;

constexpr int kWindowWidth = 771;
constexpr int kWindowHeight = 690;
constexpr int kTopPanelHeight = 172;
constexpr int kLeftPagesWidth = 301;
constexpr int kSalutationHeight = 60;
constexpr int kProgressHeight = 16;
constexpr int kStatusBarHeight = 19;
constexpr int kStatusPanel0Width = 120;
constexpr int kGridRowHeight = 18;
constexpr int kStatusColumnWidth = 220;
constexpr int kAttachmentListWidth = 318;
constexpr int kSpeedButtonWidth = 23;
constexpr int kSpeedButtonHeight = 22;
constexpr int kAnredeWidth = 189;
constexpr int kCompactRowHeight = 20;
// Room for a window manager's frame and title bar before the window is shown.
constexpr int kFrameAllowance = 4;
constexpr int kTitleAllowance = 32;

const char* const kCloseDuringSendQuestion =
    "Der Versand läuft noch. Soll er nach der laufenden Mail abgebrochen und Sendrix beendet werden?";

// Entries of the attachment list are underlined under the mouse.
class HoverUnderlineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (option->state & QStyle::State_MouseOver)
            option->font.setUnderline(true);
    }
};

QLabel* plainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// A label whose "&" letter moves the focus to `buddy`.
QLabel* buddyLabel(const char* text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setTextFormat(Qt::PlainText);
    label->setBuddy(buddy);
    return label;
}

QLineEdit* lineEdit(const char* name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

QToolButton* speedButton(const char* name, const char* hint, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoRaise(true);
    button->setFixedSize(kSpeedButtonWidth, kSpeedButtonHeight);
    button->setToolTip(QString::fromUtf8(hint));
    return button;
}

QToolButton* boldSpeedButton(const char* name, const char* caption, const char* hint, QWidget* parent) {
    QToolButton* button = speedButton(name, hint, parent);
    button->setText(QString::fromUtf8(caption));
    QFont font = button->font();
    font.setBold(true);
    button->setFont(font);
    return button;
}

QPushButton* pushButton(const char* name, const char* caption, QWidget* parent) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setFixedSize(120, 25);
    return button;
}

// A check box with its text on the left of the box.
QCheckBox* leftTextCheckBox(const char* name, QWidget* parent) {
    auto* box = new QCheckBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setLayoutDirection(Qt::RightToLeft);
    return box;
}

QStringList toQtList(const std::vector<std::string>& items) {
    QStringList list;
    list.reserve(static_cast<qsizetype>(items.size()));
    for (const std::string& item : items)
        list << toQt(item);
    return list;
}

void showEdit(QLineEdit* widget, const app::TEdit& model) {
    const QSignalBlocker blocker(widget);
    const QString text = toQt(model.Text);
    if (widget->text() != text)
        widget->setText(text);
    widget->setEnabled(model.Enabled);
    widget->setVisible(model.Visible);
}

void showCombo(QComboBox* widget, const app::TComboBox& model) {
    const QSignalBlocker blocker(widget);
    const QStringList items = toQtList(model.Items);
    QStringList shown;
    for (int i = 0; i < widget->count(); ++i)
        shown << widget->itemText(i);
    if (shown != items) {
        widget->clear();
        widget->addItems(items);
    }
    widget->setCurrentIndex(model.ItemIndex < widget->count() ? model.ItemIndex : -1);
    if (widget->isEditable()) {
        const QString text = toQt(model.Text);
        if (widget->currentText() != text)
            widget->setEditText(text);
    }
    widget->setEnabled(model.Enabled);
    widget->setVisible(model.Visible);
}

void showCheck(QCheckBox* widget, const app::TCheckBox& model) {
    const QSignalBlocker blocker(widget);
    widget->setText(toQt(model.Caption));
    widget->setChecked(model.Checked);
    widget->setEnabled(model.Enabled);
    widget->setVisible(model.Visible);
}

void showLabel(QLabel* widget, const app::TLabel& model) {
    const QString text = toQt(model.Caption);
    if (widget->text() != text)
        widget->setText(text);
    widget->setVisible(model.Visible);
}

void showPages(QTabWidget* widget, const app::TPageControl& model) {
    const QSignalBlocker blocker(widget);
    for (int i = 0; i < widget->count() && i < static_cast<int>(model.Pages.size()); ++i) {
        widget->setTabText(i, toQt(model.Pages[i].Caption));
        widget->setTabVisible(i, model.Pages[i].Visible);
    }
    if (model.ActivePageIndex >= 0 && model.ActivePageIndex < widget->count())
        widget->setCurrentIndex(model.ActivePageIndex);
}

// `locked`: a send runs, and the action takes no input whatever the model says.
void showAction(QAction* action, const app::TMenuItem& model, bool locked) {
    const QSignalBlocker blocker(action);
    action->setText(toQt(model.Caption));
    action->setEnabled(model.Enabled && !locked);
    action->setChecked(model.Checked);
}

// Brings a text field up to the model's lines when they differ.
void showLines(QPlainTextEdit* widget, const app::TMemo& model, std::vector<std::string>& shown) {
    if (model.Lines == shown)
        return;
    const QSignalBlocker blocker(widget);
    widget->setPlainText(joinLines(model.Lines));
    shown = model.Lines;
}

// Brings the protocol field up to the model: only the lines added since the
// last repaint are appended, so a send run that repaints once per row stays
// linear in the number of rows.
void showLog(QPlainTextEdit* widget, const app::TLogMemo& model, app::LogMemoFollower& shown) {
    const app::LogMemoFollower::News news = shown.next(model);
    if (!news.restart && news.first == model.Lines.size())
        return;
    const QSignalBlocker blocker(widget);
    if (news.restart || news.first == 0) {
        widget->setPlainText(joinLines(model.Lines));
        return;
    }
    for (std::size_t i = news.first; i < model.Lines.size(); ++i)
        widget->appendPlainText(toQt(model.Lines[i]));
}

}  // namespace

MainWindow::MainWindow(app::TfrmMessageEditor& form, app::Interaction& interaction)
    : m_form(form), m_interaction(interaction) {
    setObjectName(QStringLiteral("frmMessageEditor"));
    setWindowIcon(imageIcon(Image::Program));
    setFont(formFont(font()));

    createActions();
    createMenus();
    createToolBar();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(createTopPanel());
    // The group keeps the same 2 pixels from the window's edges as the page
    // controls above it, so its frame and caption line up with theirs.
    auto* salutationRow = new QHBoxLayout;
    salutationRow->setContentsMargins(2, 2, 2, 0);
    salutationRow->addWidget(createSalutationGroup());
    layout->addLayout(salutationRow);
    layout->addWidget(createBodyPages(), 1);
    setCentralWidget(central);
    createStatusArea();
    layout->addWidget(m_progressRow);

    m_inputAreas = {menuBar(),
                    findChild<QToolBar*>(QStringLiteral("ToolBar1")),
                    findChild<QWidget*>(QStringLiteral("pnlTop")),
                    findChild<QWidget*>(QStringLiteral("GroupBox1")),
                    m_Memo,
                    m_Control->tabBar()};
    connectEdits();
    setTabOrderOfPages();
    m_form.SetupDialogs = this;
    m_form.PreviewDialogs = this;
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

// ---- Creation, one function per area ----

// Tab goes through each page as the eye reads it: top to bottom, left to
// right.
void MainWindow::setTabOrderOfPages() {
    auto chain = [](std::initializer_list<QWidget*> widgets) {
        QWidget* previous = nullptr;
        for (QWidget* widget : widgets) {
            if (previous)
                QWidget::setTabOrder(previous, widget);
            previous = widget;
        }
    };
    QWidget* storeReply = findChild<QWidget*>(QStringLiteral("SpeedButton1"));
    chain({m_selEmailProfil, m_edtto, m_edtSubject, m_edtReply, storeReply, m_cboPriority, m_chkReturnReciept,
           m_html});
    chain({m_edtreal, m_edtfrom});
    chain({m_edtCC, m_edtBCC});
    chain({m_lvFiles, findChild<QWidget*>(QStringLiteral("btnAttachment")),
           findChild<QWidget*>(QStringLiteral("Button1")), findChild<QWidget*>(QStringLiteral("BitBtn1"))});
}

QAction* MainWindow::menuAction(QMenu* menu, app::TMenuItem& item, const char* name, Handler handler) {
    auto* action = new QAction(toQt(item.Caption), this);
    action->setObjectName(QString::fromLatin1(name));
    connectRun(action, &QAction::triggered, handler);
    if (menu)
        menu->addAction(action);
    return action;
}

void MainWindow::createActions() {
    m_sendmenu = new QMenu(this);
    m_sendmenu->setObjectName(QStringLiteral("sendmenu"));
    QAction* toList = m_sendmenu->addAction(QStringLiteral("an &Liste versenden"));
    toList->setObjectName(QStringLiteral("anListeversenden1"));
    connectRun(toList, &QAction::triggered, &TfrmMessageEditor::sendenClick);
    QAction* toMarked = m_sendmenu->addAction(QStringLiteral("an &markierten Empfänger versenden"));
    toMarked->setObjectName(QStringLiteral("anmarkiertenEmpfngerversenden1"));
    connectRun(toMarked, &QAction::triggered, &TfrmMessageEditor::anmarkiertenEmpfngerversenden1Click);
}

void MainWindow::createMenus() {
    QMenu* datei = menuBar()->addMenu(QStringLiteral("&Datei"));
    m_Senden1 = menuAction(datei, m_form.Senden1, "Senden1", &TfrmMessageEditor::sendenClick);
    m_Senden1->setShortcut(QKeySequence(Qt::ALT | Qt::Key_S));
    m_Senden1->setIcon(imageIcon(Image::Send));
    m_Verteilerlisteffnen1 = menuAction(datei, m_form.Verteilerlisteffnen1, "Verteilerlisteffnen1",
                                        &TfrmMessageEditor::Verteilerlisteffnen1Click);
    m_Verteilerlisteffnen1->setIcon(imageIcon(Image::Open));
    datei->addSeparator();
    m_MailingOeffnen1 = menuAction(datei, m_form.MailingOeffnen1, "MailingOeffnen1",
                                   &TfrmMessageEditor::MailingOeffnen1Click);
    m_MailingOeffnen1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    m_MailingSpeichern1 = menuAction(datei, m_form.MailingSpeichern1, "MailingSpeichern1",
                                     &TfrmMessageEditor::MailingSpeichern1Click);
    m_MailingSpeichern1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    m_MailingSpeichern1->setIcon(imageIcon(Image::Save));
    m_MailingSpeichernUnter1 = menuAction(datei, m_form.MailingSpeichernUnter1, "MailingSpeichernUnter1",
                                          &TfrmMessageEditor::MailingSpeichernUnter1Click);
    datei->addSeparator();
    m_Beenden1 = menuAction(datei, m_form.Beenden1, "Beenden1", &TfrmMessageEditor::Beenden1Click);
    m_Beenden1->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));

    QMenu* nachricht = menuBar()->addMenu(QStringLiteral("&Nachricht"));
    m_Nachrichtffnen1 = menuAction(nachricht, m_form.Nachrichtffnen1, "Nachrichtffnen1",
                                   &TfrmMessageEditor::Nachrichtffnen1Click);
    m_Speichern1 =
        menuAction(nachricht, m_form.Speichern1, "Speichern1", &TfrmMessageEditor::Speichern1Click);
    nachricht->addSeparator();
    menuAction(nachricht, m_form.Vorschau1, "Vorschau1", &TfrmMessageEditor::Vorschau1Click);
    QAction* placeholders = nachricht->addMenu(createPlaceholderMenu());
    placeholders->setText(QStringLiteral("&Platzhalter einfügen"));
    placeholders->setObjectName(QStringLiteral("Platzhalter1"));

    QMenu* extras = menuBar()->addMenu(QStringLiteral("&Extras"));
    m_Optionen1 = menuAction(extras, m_form.Optionen1, "Optionen1", &TfrmMessageEditor::Optionen1Click);
    m_Optionen1->setIcon(imageIcon(Image::Options));
    extras->addSeparator();
    m_MailKonfigurationffnen1 = menuAction(extras, m_form.MailKonfigurationffnen1, "MailKonfigurationffnen1",
                                           &TfrmMessageEditor::MailKonfigurationffnen1Click);
    m_MailKonfigurationffnen1->setIcon(imageIcon(Image::Open));
    m_MailKonfigurationsichern1 =
        menuAction(extras, m_form.MailKonfigurationsichern1, "MailKonfigurationsichern1",
                   &TfrmMessageEditor::MailKonfigurationsichern1Click);
    m_MailKonfigurationsichern1->setIcon(imageIcon(Image::Save));
    extras->addSeparator();
    m_editliste = menuAction(extras, m_form.editliste, "editliste", &TfrmMessageEditor::editlisteClick);
    m_editliste->setCheckable(true);

    QMenu* help = menuBar()->addMenu(QStringLiteral("?"));
    m_Update1 = menuAction(help, m_form.Update1, "Update1", &TfrmMessageEditor::Update1Click);
    m_Versionsinfo1 =
        menuAction(help, m_form.Versionsinfo1, "Versionsinfo1", &TfrmMessageEditor::Versionsinfo1Click);
}

void MainWindow::createToolBar() {
    QToolBar* bar = addToolBar(QStringLiteral("ToolBar1"));
    bar->setObjectName(QStringLiteral("ToolBar1"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(16, 16));
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);

    auto toolButton = [&](const char* name, const char* caption, const char* hint, Image image) {
        auto* button = new QToolButton(bar);
        button->setObjectName(QString::fromLatin1(name));
        button->setText(QString::fromUtf8(caption));
        button->setToolTip(QString::fromUtf8(hint));
        button->setIcon(imageIcon(image));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setAutoRaise(true);
        button->setMinimumWidth(70);
        bar->addWidget(button);
        return button;
    };
    m_senden = toolButton("senden", "Senden", "Email versenden", Image::Send);
    m_senden->setMenu(m_sendmenu);
    m_senden->setPopupMode(QToolButton::MenuButtonPopup);
    m_senden->setMinimumWidth(82);
    connectRun(m_senden, &QToolButton::clicked, &TfrmMessageEditor::sendenClick);
    bar->addSeparator();
    QToolButton* verteiler = toolButton("ToolButton1", "Verteiler", "Verteilerliste öffnen", Image::Open);
    connectRun(verteiler, &QToolButton::clicked, &TfrmMessageEditor::Verteilerlisteffnen1Click);
    bar->addSeparator();
    QToolButton* optionen = toolButton("ToolButton3", "Optionen", "Mailoptionen ändern", Image::Options);
    connectRun(optionen, &QToolButton::clicked, &TfrmMessageEditor::Optionen1Click);
    // The mailing's buttons come after the three of old, which keep their
    // places.
    bar->addSeparator();
    QToolButton* open = toolButton("MailingOeffnen", "Öffnen", "Mailing öffnen", Image::Open);
    connectRun(open, &QToolButton::clicked, &TfrmMessageEditor::MailingOeffnen1Click);
    QToolButton* save = toolButton("MailingSpeichern", "Speichern", "Mailing speichern", Image::Save);
    connectRun(save, &QToolButton::clicked, &TfrmMessageEditor::MailingSpeichern1Click);
}

QWidget* MainWindow::createTopPanel() {
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("pnlTop"));
    panel->setFixedHeight(kTopPanelHeight);
    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(2, 2, 2, 0);
    layout->setSpacing(2);

    m_pnlTopleft = new QTabWidget(panel);
    m_pnlTopleft->setObjectName(QStringLiteral("pnlTopleft"));
    // The form column keeps its width at the window's first size and grows
    // with it, two parts to the lists' three.
    m_pnlTopleft->setMinimumWidth(kLeftPagesWidth);
    m_pnlTopleft->addTab(createRecipientPage(), QString());
    m_pnlTopleft->addTab(createSenderPage(), QString());
    m_pnlTopleft->addTab(createCopiesPage(), QString());

    m_pnltopright = new QTabWidget(panel);
    m_pnltopright->setObjectName(QStringLiteral("pnltopright"));
    m_pnltopright->addTab(createRecipientListPage(), QString());
    m_pnltopright->addTab(createAttachmentPage(), QString());

    layout->addWidget(m_pnlTopleft, 2);
    layout->addWidget(m_pnltopright, 3);
    return panel;
}

QWidget* MainWindow::createRecipientPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("Empfaenger"));
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(3, 2, 3, 2);
    grid->setHorizontalSpacing(3);
    grid->setVerticalSpacing(1);

    m_sAbsender = plainLabel(QString(), page);
    m_sAbsender->setObjectName(QStringLiteral("sAbsender"));
    QFont bold = m_sAbsender->font();
    bold.setBold(true);
    m_sAbsender->setFont(bold);
    grid->addWidget(m_sAbsender, 0, 0, 1, 2);

    m_selEmailProfil = new QComboBox(page);
    m_selEmailProfil->setObjectName(QStringLiteral("selEmailProfil"));
    m_lblProfil = plainLabel(QString(), page);
    m_lblProfil->setObjectName(QStringLiteral("lblProfil"));
    grid->addWidget(m_lblProfil, 1, 0);
    grid->addWidget(m_selEmailProfil, 1, 1);

    m_edtto = new QComboBox(page);
    m_edtto->setObjectName(QStringLiteral("edtto"));
    m_edtto->setEditable(true);
    m_edtto->setInsertPolicy(QComboBox::NoInsert);
    auto* lblTo = buddyLabel("Empfänger", m_edtto, page);
    lblTo->setObjectName(QStringLiteral("lblTo"));
    grid->addWidget(lblTo, 2, 0);
    grid->addWidget(m_edtto, 2, 1);

    m_edtSubject = lineEdit("edtSubject", page);
    grid->addWidget(buddyLabel("&Betreff", m_edtSubject, page), 3, 0);
    grid->addWidget(m_edtSubject, 3, 1);

    m_edtReply = lineEdit("edtReply", page);
    QToolButton* storeReply = speedButton("SpeedButton1", "", page);
    storeReply->setToolTip(QString());
    storeReply->setIcon(imageIcon(Image::Save));
    storeReply->setFixedSize(kCompactRowHeight, kCompactRowHeight);
    connectRun(storeReply, &QToolButton::clicked, &TfrmMessageEditor::SpeedButton1Click);
    auto* replyRow = new QHBoxLayout;
    replyRow->setSpacing(2);
    replyRow->addWidget(m_edtReply);
    replyRow->addWidget(storeReply);
    grid->addWidget(buddyLabel("reply to", m_edtReply, page), 4, 0);
    grid->addLayout(replyRow, 4, 1);

    m_cboPriority = new QComboBox(page);
    m_cboPriority->setObjectName(QStringLiteral("cboPriority"));
    grid->addWidget(buddyLabel("&Priorität", m_cboPriority, page), 5, 0);
    grid->addWidget(m_cboPriority, 5, 1, Qt::AlignLeft);

    // Both boxes in a row of their own: their texts do not fit beside the
    // priority in this width.
    m_chkReturnReciept = leftTextCheckBox("chkReturnReciept", page);
    m_html = leftTextCheckBox("html", page);
    auto* boxRow = new QHBoxLayout;
    boxRow->setSpacing(12);
    boxRow->addWidget(m_chkReturnReciept);
    boxRow->addWidget(m_html);
    boxRow->addStretch();
    grid->addLayout(boxRow, 6, 1);
    grid->setRowStretch(7, 1);

    // Seven rows in the page's height.
    for (QWidget* field : std::initializer_list<QWidget*>{m_selEmailProfil, m_edtto, m_edtSubject, m_edtReply,
                                                          m_cboPriority, m_chkReturnReciept, m_html})
        field->setFixedHeight(kCompactRowHeight);

    return page;
}

QWidget* MainWindow::createSenderPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("Absender"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);
    m_edtreal = lineEdit("edtreal", page);
    m_edtfrom = lineEdit("edtfrom", page);
    layout->addWidget(buddyLabel("Angezeigter Name (realname)", m_edtreal, page));
    layout->addWidget(m_edtreal);
    layout->addSpacing(6);
    layout->addWidget(buddyLabel("&Email-Adresse:", m_edtfrom, page));
    layout->addWidget(m_edtfrom);
    layout->addStretch();
    return page;
}

QWidget* MainWindow::createCopiesPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("Kopien"));
    auto* layout = new QGridLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setVerticalSpacing(4);
    m_edtCC = lineEdit("edtCC", page);
    m_edtBCC = lineEdit("edtBCC", page);
    layout->addWidget(buddyLabel("&CC:", m_edtCC, page), 0, 0);
    layout->addWidget(m_edtCC, 0, 1);
    layout->addWidget(buddyLabel("BCC:", m_edtBCC, page), 1, 0);
    layout->addWidget(m_edtBCC, 1, 1);
    layout->setRowStretch(2, 1);
    return page;
}

QWidget* MainWindow::createRecipientListPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("empfaenger"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    m_empfaengerliste = new QTableView(page);
    m_empfaengerliste->setObjectName(QStringLiteral("empfaengerliste"));
    m_gridModel = new RecipientTableModel(m_form.empfaengerliste, m_form.RowStatus, m_empfaengerliste);
    m_empfaengerliste->setModel(m_gridModel);
    // "Alle markieren" / "Keine markieren" on the grid's context menu.
    m_empfaengerliste->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* markAll = new QAction(QStringLiteral("Alle markieren"), m_empfaengerliste);
    markAll->setObjectName(QStringLiteral("AlleMarkieren1"));
    connectRun(markAll, &QAction::triggered, &TfrmMessageEditor::AlleMarkierenClick);
    auto* markNone = new QAction(QStringLiteral("Keine markieren"), m_empfaengerliste);
    markNone->setObjectName(QStringLiteral("KeineMarkieren1"));
    connectRun(markNone, &QAction::triggered, &TfrmMessageEditor::KeineMarkierenClick);
    m_empfaengerliste->addActions({markAll, markNone});
    m_empfaengerliste->verticalHeader()->hide();
    // Fixed row heights: the view never measures rows, whatever the length.
    m_empfaengerliste->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_empfaengerliste->verticalHeader()->setDefaultSectionSize(kGridRowHeight);
    m_empfaengerliste->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_empfaengerliste->horizontalHeader()->setHighlightSections(false);
    // The last column takes the room the window gives; the others keep the
    // widths the list or the user set.
    m_empfaengerliste->horizontalHeader()->setStretchLastSection(true);
    m_empfaengerliste->setSelectionMode(QAbstractItemView::SingleSelection);
    m_empfaengerliste->setWordWrap(false);
    // Grid line width 0.
    m_empfaengerliste->setShowGrid(false);
    layout->addWidget(m_empfaengerliste);
    return page;
}

QWidget* MainWindow::createAttachmentPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("Anhang"));
    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(2, 2, 2, 2);
    m_lvFiles = new QTreeWidget(page);
    m_lvFiles->setObjectName(QStringLiteral("lvFiles"));
    m_lvFiles->setHeaderLabels({QStringLiteral("Dateiname")});
    m_lvFiles->setRootIsDecorated(false);
    m_lvFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_lvFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_lvFiles->setMinimumWidth(kAttachmentListWidth / 2);
    m_lvFiles->setMouseTracking(true);
    m_lvFiles->viewport()->setAttribute(Qt::WA_Hover);
    m_lvFiles->setItemDelegate(new HoverUnderlineDelegate(m_lvFiles));
    layout->addWidget(m_lvFiles, 1);

    auto* buttons = new QVBoxLayout;
    QPushButton* attach = pushButton("btnAttachment", "Datei anhängen", page);
    attach->setToolTip(QStringLiteral("Send a file as an attachment"));
    QPushButton* remove = pushButton("Button1", "Anhang entfernen", page);
    QPushButton* open = pushButton("BitBtn1", "Anhang öffnen   ", page);
    connectRun(attach, &QPushButton::clicked, &TfrmMessageEditor::btnAttachmentClick);
    connectRun(remove, &QPushButton::clicked, &TfrmMessageEditor::Button1Click);
    connectRun(open, &QPushButton::clicked, &TfrmMessageEditor::BitBtn1Click);
    buttons->addWidget(attach);
    buttons->addWidget(remove);
    buttons->addWidget(open);
    buttons->addStretch();
    layout->addLayout(buttons);
    return page;
}

QGroupBox* MainWindow::createSalutationGroup() {
    auto* group = new QGroupBox(QStringLiteral("Anrede (Verteilerliste)"), this);
    group->setObjectName(QStringLiteral("GroupBox1"));
    group->setFixedHeight(kSalutationHeight);
    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(6, 2, 6, 2);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(0);

    m_useAnrede = new QCheckBox(group);
    m_useAnrede->setObjectName(QStringLiteral("useAnrede"));
    m_Anrede = new QComboBox(group);
    m_Anrede->setObjectName(QStringLiteral("Anrede"));
    m_Anrede->setEditable(true);
    m_Anrede->setInsertPolicy(QComboBox::NoInsert);
    m_Anrede->setFixedWidth(kAnredeWidth);
    m_Vorschau = plainLabel(QString(), group);
    m_Vorschau->setObjectName(QStringLiteral("Vorschau"));

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(1);
    QToolButton* bodyOpen = speedButton("btnBodyopen", "Textdatei öffnen", group);
    bodyOpen->setIcon(imageIcon(Image::Open));
    QToolButton* bodySave = speedButton("btnbodysave", "Mailbody speichern", group);
    bodySave->setIcon(imageIcon(Image::Save));
    QToolButton* b2 = boldSpeedButton("SpeedButton2", "P", "HTML vorbereiten", group);
    QToolButton* b3 = boldSpeedButton("SpeedButton3", "F", "HTML \"Fett\" einfügen", group);
    QToolButton* b4 = boldSpeedButton("SpeedButton4", "<p>", "HTML Absatz einfügen", group);
    QToolButton* b5 = boldSpeedButton("SpeedButton5", "<br>", "HTML Zeilenumbruch einfügen", group);
    QToolButton* b6 = speedButton("SpeedButton6", "Test-Email versenden", group);
    b6->setIcon(imageIcon(Image::TestMail));
    // Room for the wider captions inside the fixed button size.
    for (QToolButton* button : {b4, b5}) {
        QFont font = button->font();
        font.setPointSize(7);
        button->setFont(font);
    }
    connectRun(bodyOpen, &QToolButton::clicked, &TfrmMessageEditor::Nachrichtffnen1Click);
    connectRun(bodySave, &QToolButton::clicked, &TfrmMessageEditor::Speichern1Click);
    connectRun(b2, &QToolButton::clicked, &TfrmMessageEditor::SpeedButton2Click);
    connectRun(b3, &QToolButton::clicked, &TfrmMessageEditor::SpeedButton3Click);
    connectRun(b4, &QToolButton::clicked, &TfrmMessageEditor::SpeedButton4Click);
    connectRun(b5, &QToolButton::clicked, &TfrmMessageEditor::SpeedButton5Click);
    connectRun(b6, &QToolButton::clicked, &TfrmMessageEditor::SpeedButton6Click);
    for (QToolButton* button : {bodyOpen, bodySave, b2, b3, b4, b5, b6})
        buttons->addWidget(button);
    auto* placeholders = new QToolButton(group);
    placeholders->setObjectName(QStringLiteral("Platzhalter"));
    placeholders->setText(QStringLiteral("{{…}}"));
    placeholders->setToolTip(QStringLiteral("Platzhalter einfügen (Spalte der Empfängerliste)"));
    placeholders->setAutoRaise(true);
    placeholders->setFixedHeight(kSpeedButtonHeight);
    placeholders->setPopupMode(QToolButton::InstantPopup);
    placeholders->setMenu(m_placeholderMenu);
    buttons->addSpacing(4);
    buttons->addWidget(placeholders);

    grid->addWidget(m_useAnrede, 0, 0);
    grid->addWidget(m_Anrede, 0, 1);
    grid->addLayout(buttons, 0, 2);
    grid->addWidget(m_Vorschau, 1, 1, 1, 2);
    grid->setColumnStretch(3, 1);
    return group;
}

QMenu* MainWindow::createPlaceholderMenu() {
    m_placeholderMenu = new QMenu(this);
    m_placeholderMenu->setObjectName(QStringLiteral("placeholderMenu"));
    connect(m_placeholderMenu, &QMenu::aboutToShow, this, [this] {
        m_placeholderMenu->clear();
        for (const std::string& item : m_form.PlaceholderMenuItems()) {
            const QString placeholder = toQt(item);
            QAction* action = m_placeholderMenu->addAction(placeholder);
            // No "&" accelerator in a column title.
            action->setText(QString(placeholder).replace(QLatin1Char('&'), QStringLiteral("&&")));
            connect(action, &QAction::triggered, this,
                    [this, placeholder] { insertPlaceholder(placeholder); });
        }
    });
    return m_placeholderMenu;
}

void MainWindow::insertPlaceholder(const QString& placeholder) {
    if (m_placeholderTarget == m_Anrede) {
        m_Anrede->lineEdit()->insert(placeholder);
        const QString text = m_Anrede->lineEdit()->text();
        m_Anrede->setFocus(Qt::OtherFocusReason);
        run([this, text] {
            m_form.Anrede.Text = fromQt(text);
            m_form.Anrede.ItemIndex = m_Anrede->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
            m_form.AnredeChange();
        });
        return;
    }
    if (m_placeholderTarget == m_edtSubject && m_edtSubject->isEnabled()) {
        m_edtSubject->insert(placeholder);
        m_form.edtSubject.Text = fromQt(m_edtSubject->text());
        m_edtSubject->setFocus(Qt::OtherFocusReason);
        return;
    }
    // The body takes it otherwise: there it is used most. Its own signal
    // writes the text into the model.
    m_Control->setCurrentWidget(m_Memo);
    m_form.Control.ActivePageIndex = app::kPageMail;
    m_Memo->insertPlainText(placeholder);
    m_Memo->setFocus(Qt::OtherFocusReason);
}

QWidget* MainWindow::createBodyPages() {
    m_Control = new QTabWidget(this);
    m_Control->setObjectName(QStringLiteral("Control"));
    m_Control->setTabPosition(QTabWidget::West);

    m_Memo = new QPlainTextEdit(m_Control);
    m_Memo->setObjectName(QStringLiteral("Memo"));
    QFont bodyFont = m_Memo->font();
    bodyFont.setPointSize(10);
    m_Memo->setFont(bodyFont);
    m_Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_Memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);

    m_protokollmemo = new QPlainTextEdit(m_Control);
    m_protokollmemo->setObjectName(QStringLiteral("protokollmemo"));
    m_protokollmemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The protocol records what happened; it is not for editing.
    m_protokollmemo->setReadOnly(true);

    m_Control->addTab(m_Memo, QString());
    m_Control->addTab(m_protokollmemo, QString());
    return m_Control;
}

void MainWindow::createStatusArea() {
    m_Progress = new QProgressBar(this);
    m_Progress->setObjectName(QStringLiteral("Progress"));
    m_Progress->setFixedHeight(kProgressHeight);
    m_Progress->setTextVisible(false);
    m_Progress->setAlignment(Qt::AlignCenter);

    m_progressRow = new QWidget(this);
    m_progressRow->setObjectName(QStringLiteral("progressRow"));
    auto* row = new QHBoxLayout(m_progressRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    row->addWidget(m_Progress, 1);
    m_abbrechen = new QPushButton(QStringLiteral("Abbrechen"), m_progressRow);
    m_abbrechen->setObjectName(QStringLiteral("btnAbbrechen"));
    m_abbrechen->setFixedHeight(kProgressHeight + 6);
    m_abbrechen->setToolTip(QStringLiteral("Den Versand nach der laufenden Mail beenden (Esc)"));
    m_abbrechen->hide();
    row->addWidget(m_abbrechen);
    connect(m_abbrechen, &QPushButton::clicked, this, &MainWindow::stopSend);
    m_escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    m_escape->setEnabled(false);
    connect(m_escape, &QShortcut::activated, this, &MainWindow::stopSend);

    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setFixedHeight(kStatusBarHeight);
    bar->setSizeGripEnabled(true);
    m_statusPanel0 = plainLabel(QString(), bar);
    m_statusPanel0->setObjectName(QStringLiteral("StatusBar1Panel0"));
    m_statusPanel0->setFixedWidth(kStatusPanel0Width);
    m_statusPanel1 = plainLabel(QString(), bar);
    m_statusPanel1->setObjectName(QStringLiteral("StatusBar1Panel1"));
    m_statusPanel1->setMinimumWidth(50);
    bar->addWidget(m_statusPanel0);
    bar->addWidget(m_statusPanel1, 1);
}

// Every edit goes straight into the model; events run their handlers.
void MainWindow::connectEdits() {
    auto textInto = [this](QLineEdit* edit, app::TEdit& model) {
        connect(edit, &QLineEdit::textEdited, this,
                [&model](const QString& text) { model.Text = fromQt(text); });
    };
    textInto(m_edtSubject, m_form.edtSubject);
    textInto(m_edtReply, m_form.edtReply);
    textInto(m_edtreal, m_form.edtreal);
    textInto(m_edtfrom, m_form.edtfrom);
    textInto(m_edtCC, m_form.edtCC);
    textInto(m_edtBCC, m_form.edtBCC);
    for (QLineEdit* edit : {m_edtfrom, m_edtreal, m_edtReply})
        edit->installEventFilter(this);
    m_edtSubject->installEventFilter(this);
    m_Memo->installEventFilter(this);
    // The combo box passes its focus on to its field: either may report it.
    m_Anrede->installEventFilter(this);
    m_Anrede->lineEdit()->installEventFilter(this);
    m_placeholderTarget = m_Memo;

    connect(m_edtto->lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
        m_form.edtto.Text = fromQt(text);
        m_form.edtto.ItemIndex = m_edtto->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    });
    connect(m_edtto, &QComboBox::activated, this, [this](int index) {
        m_form.edtto.ItemIndex = index;
        m_form.edtto.Text = fromQt(m_edtto->itemText(index));
    });

    connect(m_cboPriority, &QComboBox::activated, this, [this](int index) {
        m_form.cboPriority.ItemIndex = index;
        m_form.cboPriority.Text = fromQt(m_cboPriority->itemText(index));
    });
    connect(m_chkReturnReciept, &QCheckBox::clicked, this,
            [this](bool checked) { m_form.chkReturnReciept.Checked = checked; });
    connect(m_html, &QCheckBox::clicked, this, [this](bool checked) { m_form.html.Checked = checked; });

    // A picked profile: the toolkit reports the click before the change.
    connect(m_selEmailProfil, &QComboBox::activated, this, [this](int index) {
        m_form.selEmailProfil.ItemIndex = index;
        m_form.selEmailProfil.Text = fromQt(m_selEmailProfil->itemText(index));
        run([this] {
            m_form.selEmailProfilClick();
            m_form.selEmailProfilChange();
        });
    });

    connect(m_useAnrede, &QCheckBox::clicked, this, [this](bool checked) {
        m_form.useAnrede.Checked = checked;
        run(&TfrmMessageEditor::useAnredeClick);
    });
    connect(m_Anrede->lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
        m_form.Anrede.Text = fromQt(text);
        m_form.Anrede.ItemIndex = m_Anrede->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
        run(&TfrmMessageEditor::AnredeChange);
    });
    connect(m_Anrede, &QComboBox::activated, this, [this](int index) {
        m_form.Anrede.ItemIndex = index;
        m_form.Anrede.Text = fromQt(m_Anrede->itemText(index));
        run(&TfrmMessageEditor::AnredeChange);
    });

    connect(m_Memo, &QPlainTextEdit::textChanged, this, [this] {
        if (m_refreshing)
            return;
        m_form.Memo.Lines = splitLines(m_Memo->toPlainText());
        m_shownMemo = m_form.Memo.Lines;
    });

    auto pagesInto = [this](QTabWidget* pages, app::TPageControl& model) {
        connect(pages, &QTabWidget::currentChanged, this, [this, &model](int index) {
            if (!m_refreshing)
                model.ActivePageIndex = index;
        });
    };
    pagesInto(m_pnlTopleft, m_form.pnlTopleft);
    pagesInto(m_pnltopright, m_form.pnltopright);
    pagesInto(m_Control, m_form.Control);

    connect(m_empfaengerliste->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (m_refreshing || !current.isValid())
                    return;
                const int col = current.column();
                const int row = current.row() + m_form.empfaengerliste.FixedRows;
                run([this, col, row] { m_form.empfaengerlisteSelectCell(col, row); });
            });
    connectRun(m_empfaengerliste, &QTableView::doubleClicked, &TfrmMessageEditor::empfaengerlisteDblClick);
    connect(m_empfaengerliste->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int section, int, int size) {
                auto& widths = m_form.empfaengerliste.ColWidths;
                if (m_refreshing || section < 0 || section >= static_cast<int>(widths.size()))
                    return;
                widths[section] = size;
                m_shownColWidths = widths;
            });

    connect(m_lvFiles, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!m_refreshing)
            m_form.lvFiles.ItemIndex = item ? m_lvFiles->indexOfTopLevelItem(item) : -1;
    });
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

bool MainWindow::run(Handler handler) {
    // std::invoke rather than (m_form.*handler)(): GCC 12 with AddressSanitizer
    // and UndefinedBehaviorSanitizer on checks a wrong address for the latter
    // (the stack address shifted by three) and stops the program.
    return run([this, handler] { std::invoke(handler, m_form); });
}

void MainWindow::refreshFromModel() {
    const QScopedValueRollback<bool> refreshing(m_refreshing, true);
    setWindowTitle(toQt(m_form.Caption));
    refreshMenu();
    refreshTopPages();
    refreshGrid();
    refreshAttachments();
    refreshSalutation();
    refreshBody();
    refreshProtocol();
    refreshProgress();
    refreshStatusBar();
}

void MainWindow::refreshMenu() {
    showAction(m_Senden1, m_form.Senden1, m_sending);
    showAction(m_Verteilerlisteffnen1, m_form.Verteilerlisteffnen1, m_sending);
    showAction(m_MailingOeffnen1, m_form.MailingOeffnen1, m_sending);
    showAction(m_MailingSpeichern1, m_form.MailingSpeichern1, m_sending);
    showAction(m_MailingSpeichernUnter1, m_form.MailingSpeichernUnter1, m_sending);
    showAction(m_Beenden1, m_form.Beenden1, m_sending);
    showAction(m_Nachrichtffnen1, m_form.Nachrichtffnen1, m_sending);
    showAction(m_Speichern1, m_form.Speichern1, m_sending);
    showAction(m_Optionen1, m_form.Optionen1, m_sending);
    showAction(m_MailKonfigurationffnen1, m_form.MailKonfigurationffnen1, m_sending);
    showAction(m_MailKonfigurationsichern1, m_form.MailKonfigurationsichern1, m_sending);
    showAction(m_editliste, m_form.editliste, m_sending);
    showAction(m_Update1, m_form.Update1, m_sending);
    showAction(m_Versionsinfo1, m_form.Versionsinfo1, m_sending);
}

void MainWindow::refreshTopPages() {
    showLabel(m_sAbsender, m_form.sAbsender);
    showLabel(m_lblProfil, m_form.lblProfil);
    showCombo(m_selEmailProfil, m_form.selEmailProfil);
    showCombo(m_edtto, m_form.edtto);
    showEdit(m_edtSubject, m_form.edtSubject);
    showEdit(m_edtReply, m_form.edtReply);
    showCombo(m_cboPriority, m_form.cboPriority);
    showCheck(m_chkReturnReciept, m_form.chkReturnReciept);
    showCheck(m_html, m_form.html);
    showEdit(m_edtreal, m_form.edtreal);
    showEdit(m_edtfrom, m_form.edtfrom);
    showEdit(m_edtCC, m_form.edtCC);
    showEdit(m_edtBCC, m_form.edtBCC);
    showPages(m_pnlTopleft, m_form.pnlTopleft);
    showPages(m_pnltopright, m_form.pnltopright);
}

void MainWindow::refreshGrid() {
    const app::TStringGrid& grid = m_form.empfaengerliste;
    if (m_gridModel->refresh()) {
        // The view set up its columns anew: their widths are the defaults.
        m_shownColWidths.clear();
        if (m_gridModel->hasStatusColumn())
            m_empfaengerliste->setColumnWidth(m_gridModel->statusColumn(), kStatusColumnWidth);
    }
    if (grid.ColWidths != m_shownColWidths) {
        const QSignalBlocker blocker(m_empfaengerliste->horizontalHeader());
        QHeaderView* header = m_empfaengerliste->horizontalHeader();
        for (int col = 0; col < static_cast<int>(grid.ColWidths.size()); ++col) {
            // A further column is at least as wide as its title, which
            // names what a placeholder has to say.
            const int title = col >= app::TStringGrid::ColCount ? header->sectionSizeHint(col) : 0;
            m_empfaengerliste->setColumnWidth(col, std::max(grid.ColWidths[col], title));
        }
        m_shownColWidths = grid.ColWidths;
    }
    // Whole rows are selected unless the cells can be edited.
    const bool rows = grid.RowSelect && !grid.Editing;
    m_empfaengerliste->setSelectionBehavior(rows ? QAbstractItemView::SelectRows
                                                 : QAbstractItemView::SelectItems);
    m_empfaengerliste->setEditTriggers(grid.Editing ? QAbstractItemView::DoubleClicked |
                                                          QAbstractItemView::EditKeyPressed |
                                                          QAbstractItemView::AnyKeyPressed
                                                    : QAbstractItemView::NoEditTriggers);
    const int viewRow = grid.Row - grid.FixedRows;
    QItemSelectionModel* selection = m_empfaengerliste->selectionModel();
    if (viewRow >= 0 && viewRow < m_gridModel->rowCount() && selection->currentIndex().row() != viewRow) {
        const int col = std::max(0, selection->currentIndex().column());
        const QModelIndex index = m_gridModel->index(viewRow, col);
        const QSignalBlocker blocker(selection);
        selection->setCurrentIndex(index,
                                   QItemSelectionModel::ClearAndSelect |
                                       (rows ? QItemSelectionModel::Rows : QItemSelectionModel::NoUpdate));
        m_empfaengerliste->viewport()->update();
    }
}

void MainWindow::refreshAttachments() {
    const QStringList items = toQtList(m_form.lvFiles.Items);
    QStringList shown;
    for (int i = 0; i < m_lvFiles->topLevelItemCount(); ++i)
        shown << m_lvFiles->topLevelItem(i)->text(0);
    const QSignalBlocker blocker(m_lvFiles);
    if (shown != items) {
        m_lvFiles->clear();
        for (const QString& item : items)
            m_lvFiles->addTopLevelItem(new QTreeWidgetItem({item}));
    }
    const int index = m_form.lvFiles.ItemIndex;
    m_lvFiles->setCurrentItem(
        index >= 0 && index < m_lvFiles->topLevelItemCount() ? m_lvFiles->topLevelItem(index) : nullptr);
}

void MainWindow::refreshSalutation() {
    showCheck(m_useAnrede, m_form.useAnrede);
    showCombo(m_Anrede, m_form.Anrede);
    showLabel(m_Vorschau, m_form.Vorschau);
}

void MainWindow::refreshBody() {
    showLines(m_Memo, m_form.Memo, m_shownMemo);
}

void MainWindow::refreshProtocol() {
    showLog(m_protokollmemo, m_form.protokollmemo, m_shownProtocol);
    showPages(m_Control, m_form.Control);
}

void MainWindow::refreshProgress() {
    const app::TProgressBar& model = m_form.Progress;
    m_Progress->setRange(model.Min, model.Max);
    m_Progress->setValue(model.Position);
    m_Progress->setVisible(model.Visible);
    // "12 von 300": no "%" in it, so the bar shows it as it stands.
    m_Progress->setTextVisible(!model.Caption.empty());
    m_Progress->setFormat(toQt(model.Caption));
    m_abbrechen->setVisible(m_sending);
    m_abbrechen->setEnabled(m_sending && !m_form.StopRequested);
    m_progressRow->setVisible(model.Visible || m_sending);
}

void MainWindow::refreshStatusBar() {
    const auto& panels = m_form.StatusBar1.Panels;
    m_statusPanel0->setText(panels.size() > 0 ? toQt(panels[0]) : QString());
    m_statusPanel1->setText(panels.size() > 1 ? toQt(panels[1]) : QString());
}

void MainWindow::refreshControl(app::ControlId control) {
    using app::ControlId;
    if (control == ControlId::Window) {
        refreshFromModel();
        return;
    }
    const QScopedValueRollback<bool> refreshing(m_refreshing, true);
    switch (control) {
        case ControlId::StatusBar1: refreshStatusBar(); break;
        case ControlId::protokollmemo: refreshProtocol(); break;
        case ControlId::Control:
            refreshProtocol();
            refreshBody();
            break;
        case ControlId::Progress: refreshProgress(); break;
        case ControlId::Memo: refreshBody(); break;
        case ControlId::empfaengerliste: refreshGrid(); break;
        case ControlId::lvFiles: refreshAttachments(); break;
        case ControlId::Vorschau: refreshSalutation(); break;
        default: refreshTopPages(); break;
    }
}

QWidget* MainWindow::widgetOf(app::ControlId control) const {
    using app::ControlId;
    switch (control) {
        case ControlId::StatusBar1: return statusBar();
        case ControlId::protokollmemo: return m_protokollmemo;
        case ControlId::Control: return m_Control;
        case ControlId::Progress: return m_Progress;
        case ControlId::Memo: return m_Memo;
        case ControlId::edtto: return m_edtto;
        case ControlId::edtSubject: return m_edtSubject;
        case ControlId::edtfrom: return m_edtfrom;
        case ControlId::edtreal: return m_edtreal;
        case ControlId::edtCC: return m_edtCC;
        case ControlId::edtBCC: return m_edtBCC;
        case ControlId::edtReply: return m_edtReply;
        case ControlId::empfaengerliste: return m_empfaengerliste;
        case ControlId::lvFiles: return m_lvFiles;
        case ControlId::pnlTopleft: return m_pnlTopleft;
        case ControlId::pnltopright: return m_pnltopright;
        case ControlId::Vorschau: return m_Vorschau;
        case ControlId::Window: break;
    }
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
    if (control == app::ControlId::Control) {
        if (QWidget* page = m_Control->currentWidget())
            page->repaint();
    }
}

void MainWindow::focusControl(app::ControlId control) {
    widgetOf(control)->setFocus(Qt::OtherFocusReason);
}

// ---- Events ----

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_sending) {
        // The run's thread cannot be left behind without its window: the
        // run stops after the message in flight, and the window closes then.
        event->ignore();
        if (m_closeAfterSend)
            return;
        if (m_interaction.Confirm(kCloseDuringSendQuestion)) {
            m_closeAfterSend = true;
            stopSend();
        }
        return;
    }
    bool mayClose = false;
    if (!run([this, &mayClose] { mayClose = m_form.FormCloseQuery(); }) || !mayClose) {
        event->ignore();
        return;
    }
    // A close handler that fails keeps the window open, so nothing is lost.
    if (run(&TfrmMessageEditor::FormClose))
        event->accept();
    else
        event->ignore();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == m_edtSubject || watched == m_Memo)
            m_placeholderTarget = static_cast<QWidget*>(watched);
        else if (watched == m_Anrede || watched == m_Anrede->lineEdit())
            m_placeholderTarget = m_Anrede;
    }
    if (event->type() == QEvent::FocusOut &&
        (watched == m_edtfrom || watched == m_edtreal || watched == m_edtReply)) {
        // Leaving the field for another control, not the window losing focus.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            run(&TfrmMessageEditor::edtfromExit);
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::setSending(bool sending) {
    m_sending = sending;
    if (sending) {
        m_focusBeforeSend = QApplication::focusWidget();
        m_actionsBeforeSend.clear();
        for (QAction* action : findChildren<QAction*>())
            if (action->isEnabled()) {
                m_actionsBeforeSend.push_back(action);
                action->setEnabled(false);
            }
    } else {
        for (QAction* action : m_actionsBeforeSend)
            action->setEnabled(true);
        m_actionsBeforeSend.clear();
    }
    for (QWidget* area : m_inputAreas)
        if (area)
            area->setEnabled(!sending);
    m_escape->setEnabled(sending);
    refreshProgress();
    if (sending)
        m_abbrechen->setFocus(Qt::OtherFocusReason);
    else if (m_focusBeforeSend)
        m_focusBeforeSend->setFocus(Qt::OtherFocusReason);
}

void MainWindow::RunSend(merge::SendObserver& observer,
                         const std::function<void(merge::SendObserver&)>& work) {
    setSending(true);
    try {
        runOffThread(this, observer, work);
    } catch (...) {
        setSending(false);
        if (m_handlerDepth == 0)
            closeIfAsked();
        throw;
    }
    setSending(false);
    if (m_handlerDepth == 0)
        closeIfAsked();
}

// Not through run(): refreshing the whole window would give the menu its
// input back while the send goes on.
void MainWindow::stopSend() {
    m_form.AbbrechenClick();
    refreshControl(app::ControlId::StatusBar1);
    refreshProgress();
}

void MainWindow::closeIfAsked() {
    if (!m_closeAfterSend || m_sending)
        return;
    m_closeAfterSend = false;
    if (isVisible())
        close();
}

void MainWindow::RunModal(app::TfmSetup& dialog) {
    SetupDialog view(dialog, m_interaction, this);
    view.exec();
}

void MainWindow::RunPreview(app::MessagePreview& preview) {
    PreviewDialog view(preview, this);
    view.exec();
}

}  // namespace sendrix::ui

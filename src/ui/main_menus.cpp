#include "ui/main_menus.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

#include "ui/control_widgets.h"
#include "ui/handbook_window.h"
#include "ui/icons.h"
#include "ui/qt_text.h"

namespace sendrix::ui {

using app::TfrmMessageEditor;

MainMenus::MainMenus(QMainWindow& window, FormRunner& runner, QMenu* placeholders)
    : QObject(&window), m_window(window), m_runner(runner), m_form(runner.form()) {
    createActions();
    createMenus(placeholders);
    createToolBar();
}

QAction* MainMenus::menuAction(QMenu* menu, app::TMenuItem& item, const char* name,
                               FormRunner::Handler handler) {
    auto* action = new QAction(toQt(item.Caption), &m_window);
    action->setObjectName(QString::fromLatin1(name));
    m_runner.connectRun(this, action, &QAction::triggered, handler);
    if (menu)
        menu->addAction(action);
    return action;
}

void MainMenus::createActions() {
    m_sendmenu = new QMenu(&m_window);
    m_sendmenu->setObjectName(QStringLiteral("sendmenu"));
    QAction* toList = m_sendmenu->addAction(QStringLiteral("an &Liste versenden"));
    toList->setObjectName(QStringLiteral("anListeversenden1"));
    m_runner.connectRun(this, toList, &QAction::triggered, &TfrmMessageEditor::sendenClick);
    QAction* toMarked = m_sendmenu->addAction(QStringLiteral("an &markierten Empfänger versenden"));
    toMarked->setObjectName(QStringLiteral("anmarkiertenEmpfngerversenden1"));
    m_runner.connectRun(this, toMarked, &QAction::triggered,
                        &TfrmMessageEditor::anmarkiertenEmpfngerversenden1Click);
}

void MainMenus::createMenus(QMenu* placeholders) {
    QMenu* datei = m_window.menuBar()->addMenu(QStringLiteral("&Datei"));
    m_Senden1 = menuAction(datei, m_form.Senden1, "Senden1", &TfrmMessageEditor::sendenClick);
    m_Senden1->setShortcut(QKeySequence(Qt::ALT | Qt::Key_S));
    m_Senden1->setIcon(imageIcon(Image::Send));
    m_Verteilerlisteffnen1 = menuAction(datei, m_form.Verteilerlisteffnen1, "Verteilerlisteffnen1",
                                        &TfrmMessageEditor::Verteilerlisteffnen1Click);
    m_Verteilerlisteffnen1->setIcon(imageIcon(Image::Open));
    m_ListeSpeichern1 = menuAction(datei, m_form.ListeSpeichern1, "ListeSpeichern1",
                                   &TfrmMessageEditor::ListeSpeichern1Click);
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

    QMenu* nachricht = m_window.menuBar()->addMenu(QStringLiteral("&Nachricht"));
    m_Nachrichtffnen1 = menuAction(nachricht, m_form.Nachrichtffnen1, "Nachrichtffnen1",
                                   &TfrmMessageEditor::Nachrichtffnen1Click);
    m_Speichern1 =
        menuAction(nachricht, m_form.Speichern1, "Speichern1", &TfrmMessageEditor::Speichern1Click);
    nachricht->addSeparator();
    menuAction(nachricht, m_form.Vorschau1, "Vorschau1", &TfrmMessageEditor::Vorschau1Click);
    QAction* placeholderItem = nachricht->addMenu(placeholders);
    placeholderItem->setText(QStringLiteral("&Platzhalter einfügen"));
    placeholderItem->setObjectName(QStringLiteral("Platzhalter1"));

    QMenu* extras = m_window.menuBar()->addMenu(QStringLiteral("&Extras"));
    m_Optionen1 = menuAction(extras, m_form.Optionen1, "Optionen1", &TfrmMessageEditor::Optionen1Click);
    m_Optionen1->setIcon(imageIcon(Image::Options));
    m_KontoEinrichten1 = menuAction(extras, m_form.KontoEinrichten1, "KontoEinrichten1",
                                    &TfrmMessageEditor::KontoEinrichten1Click);
    extras->addSeparator();
    m_MailKonfigurationffnen1 = menuAction(extras, m_form.MailKonfigurationffnen1, "MailKonfigurationffnen1",
                                           &TfrmMessageEditor::MailKonfigurationffnen1Click);
    m_MailKonfigurationffnen1->setIcon(imageIcon(Image::Open));
    m_MailKonfigurationsichern1 =
        menuAction(extras, m_form.MailKonfigurationsichern1, "MailKonfigurationsichern1",
                   &TfrmMessageEditor::MailKonfigurationsichern1Click);
    m_MailKonfigurationsichern1->setIcon(imageIcon(Image::Save));
    extras->addSeparator();
    menuAction(extras, m_form.RuecklaeuferPruefen1, "RuecklaeuferPruefen1",
               &TfrmMessageEditor::RuecklaeuferPruefen1Click);
    menuAction(extras, m_form.Sperrliste1, "Sperrliste1", &TfrmMessageEditor::Sperrliste1Click);

    QMenu* help = m_window.menuBar()->addMenu(QStringLiteral("?"));
    QAction* handbook = help->addAction(QStringLiteral("&Handbuch"));
    handbook->setObjectName(QStringLiteral("Handbuch1"));
    handbook->setShortcut(QKeySequence(Qt::Key_F1));
    connect(handbook, &QAction::triggered, this, [this] { showHandbook(&m_window); });
    help->addSeparator();
    m_Update1 = menuAction(help, m_form.Update1, "Update1", &TfrmMessageEditor::Update1Click);
    m_Versionsinfo1 =
        menuAction(help, m_form.Versionsinfo1, "Versionsinfo1", &TfrmMessageEditor::Versionsinfo1Click);
}

void MainMenus::createToolBar() {
    QToolBar* bar = m_window.addToolBar(QStringLiteral("ToolBar1"));
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
    m_runner.connectRun(this, m_senden, &QToolButton::clicked, &TfrmMessageEditor::sendenClick);
    bar->addSeparator();
    QToolButton* verteiler = toolButton("ToolButton1", "Verteiler", "Verteilerliste öffnen", Image::Open);
    m_runner.connectRun(this, verteiler, &QToolButton::clicked,
                        &TfrmMessageEditor::Verteilerlisteffnen1Click);
    bar->addSeparator();
    QToolButton* optionen = toolButton("ToolButton3", "Optionen", "Mailoptionen ändern", Image::Options);
    m_runner.connectRun(this, optionen, &QToolButton::clicked, &TfrmMessageEditor::Optionen1Click);
    // The mailing's buttons come after the three of old, which keep their
    // places.
    bar->addSeparator();
    QToolButton* open = toolButton("MailingOeffnen", "Öffnen", "Mailing öffnen", Image::Open);
    m_runner.connectRun(this, open, &QToolButton::clicked, &TfrmMessageEditor::MailingOeffnen1Click);
    QToolButton* save = toolButton("MailingSpeichern", "Speichern", "Mailing speichern", Image::Save);
    m_runner.connectRun(this, save, &QToolButton::clicked, &TfrmMessageEditor::MailingSpeichern1Click);
}

void MainMenus::refresh(bool sending) {
    showAction(m_Senden1, m_form.Senden1, sending);
    showAction(m_Verteilerlisteffnen1, m_form.Verteilerlisteffnen1, sending);
    showAction(m_ListeSpeichern1, m_form.ListeSpeichern1, sending);
    showAction(m_MailingOeffnen1, m_form.MailingOeffnen1, sending);
    showAction(m_MailingSpeichern1, m_form.MailingSpeichern1, sending);
    showAction(m_MailingSpeichernUnter1, m_form.MailingSpeichernUnter1, sending);
    showAction(m_Beenden1, m_form.Beenden1, sending);
    showAction(m_Nachrichtffnen1, m_form.Nachrichtffnen1, sending);
    showAction(m_Speichern1, m_form.Speichern1, sending);
    showAction(m_Optionen1, m_form.Optionen1, sending);
    showAction(m_KontoEinrichten1, m_form.KontoEinrichten1, sending);
    showAction(m_MailKonfigurationffnen1, m_form.MailKonfigurationffnen1, sending);
    showAction(m_MailKonfigurationsichern1, m_form.MailKonfigurationsichern1, sending);
    showAction(m_Update1, m_form.Update1, sending);
    showAction(m_Versionsinfo1, m_form.Versionsinfo1, sending);
}

}  // namespace sendrix::ui

#pragma once
// The main window's menu bar ("Datei", "Nachricht", "Extras", "?"), the
// "Senden" drop-down and the tool bar, each item connected to its handler.
#include <QObject>

#include "ui/form_runner.h"

class QAction;
class QMainWindow;
class QMenu;
class QToolButton;

namespace sendrix::ui {

class MainMenus : public QObject {
    Q_OBJECT
public:
    // Fills the menu bar and adds the tool bar of `window`; the actions are
    // the window's children. `placeholders` goes into "Nachricht".
    MainMenus(QMainWindow& window, FormRunner& runner, QMenu* placeholders);

    // Shows the model's captions, check marks and enabled states; while
    // `sending`, no item takes input.
    void refresh(bool sending);

private:
    QAction* menuAction(QMenu* menu, app::TMenuItem& item, const char* name, FormRunner::Handler handler);
    void createActions();
    void createMenus(QMenu* placeholders);
    void createToolBar();

    QMainWindow& m_window;
    FormRunner& m_runner;
    app::TfrmMessageEditor& m_form;

    QAction* m_Senden1 = nullptr;
    QAction* m_Verteilerlisteffnen1 = nullptr;
    QAction* m_ListeSpeichern1 = nullptr;
    QAction* m_MailingOeffnen1 = nullptr;
    QAction* m_MailingSpeichern1 = nullptr;
    QAction* m_MailingSpeichernUnter1 = nullptr;
    QAction* m_Beenden1 = nullptr;
    QAction* m_Nachrichtffnen1 = nullptr;
    QAction* m_Speichern1 = nullptr;
    QAction* m_Optionen1 = nullptr;
    QAction* m_KontoEinrichten1 = nullptr;
    QAction* m_MailKonfigurationffnen1 = nullptr;
    QAction* m_MailKonfigurationsichern1 = nullptr;
    QAction* m_Update1 = nullptr;
    QAction* m_Versionsinfo1 = nullptr;
    QMenu* m_sendmenu = nullptr;
    QToolButton* m_senden = nullptr;
};

}  // namespace sendrix::ui

#pragma once
// The account widgets the setup dialog and the account assistant share, each
// bound to a field of one TfmSetup: what is typed or chosen goes straight
// into the model, and AccountFields::refresh shows the model again.
#include <QObject>
#include <functional>

#include "app/interaction.h"
#include "app/tfm_setup.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace sendrix::ui {

class AccountFields : public QObject {
    Q_OBJECT
public:
    // Makes every widget as a child of `parent` (the caller lays them out).
    AccountFields(app::TfmSetup& model, app::Interaction& interaction, QWidget* parent);

    // Runs a handler of the model (its error in the error box), then refresh.
    void run(void (app::TfmSetup::*handler)());
    // The model's fields into the widgets (signals blocked).
    void refresh();
    // Called after every refresh (the owner shows fields of its own).
    std::function<void()> onRefresh;

    QLabel* label(const app::TLabel& model, QWidget* buddy) const;
    // A button that signs the account of the fields in through the built-in
    // OAuth 2 (`provider`: "microsoft", "google", or "" for the one the
    // server suggests); on success the login becomes OAuth 2.
    QPushButton* signInButton(const char* name, const char* caption, const char* provider);

    QComboBox* provider = nullptr;
    QLineEdit* server = nullptr;
    QLineEdit* port = nullptr;
    QComboBox* encryption = nullptr;
    QComboBox* authType = nullptr;
    QLineEdit* account = nullptr;
    QLineEdit* password = nullptr;
    QCheckBox* showPassword = nullptr;
    QLineEdit* senderName = nullptr;
    QLineEdit* senderAddress = nullptr;
    QPushButton* testConnection = nullptr;
    QLabel* verdict = nullptr;  // the verdict of "Verbindung testen"

private:
    QLineEdit* edit(const char* name, app::TEdit& model);
    QComboBox* choice(const char* name, app::TComboBox& model, void (app::TfmSetup::*handler)());

    app::TfmSetup& m_model;
    app::Interaction& m_interaction;
    QWidget* m_parent;
};

}  // namespace sendrix::ui

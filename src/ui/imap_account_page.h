#pragma once
// The Qt view of the IMAP account (app/imap_account_form.h): a group of
// fields in the setup dialog. The dialog passes on the provider chosen and
// calls store() with its OK.
#include <QGroupBox>

#include "app/imap_account_form.h"
#include "app/interaction.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace sendrix::ui {

class ImapAccountPage : public QGroupBox {
    Q_OBJECT
public:
    ImapAccountPage(app::TImapSettings& settings, const std::string& mailIni, app::Interaction& interaction,
                    QWidget* parent);

    // Entry `index` of the dialog's provider list (0: own server, no change).
    void providerChosen(int index);
    // Stores the fields; false (the error shown) when they cannot be stored.
    bool store();

private:
    void run(void (app::ImapAccountForm::*handler)());
    void refreshFromModel();

    app::ImapAccountForm m_model;
    app::Interaction& m_interaction;
    QCheckBox* m_chkImap = nullptr;
    QLineEdit* m_edtImapServer = nullptr;
    QLineEdit* m_edtImapPort = nullptr;
    QComboBox* m_cboImapEncryption = nullptr;
    QLineEdit* m_edtImapUser = nullptr;
    QLineEdit* m_edtImapPassword = nullptr;
    QCheckBox* m_chkSentCopy = nullptr;
    QLineEdit* m_edtSentFolder = nullptr;
    QLabel* m_lblImapHint = nullptr;
};

}  // namespace sendrix::ui

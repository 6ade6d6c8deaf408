#pragma once
// The Qt view of the SMTP setup dialog TfmSetup: a fixed tool window whose
// fields write straight into the dialog model.
#include <QDialog>

#include "app/interaction.h"
#include "app/tfm_setup.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace sendrix::ui {

class SetupDialog : public QDialog {
    Q_OBJECT
public:
    SetupDialog(app::TfmSetup& model, app::Interaction& interaction, QWidget* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void run(void (app::TfmSetup::*handler)());
    void refreshFromModel();

    app::TfmSetup& m_model;
    app::Interaction& m_interaction;
    QLineEdit* m_SMTPServer = nullptr;
    QLineEdit* m_SMTPPort = nullptr;
    QComboBox* m_cboAuthType = nullptr;
    QLineEdit* m_edtAccount = nullptr;
    QLineEdit* m_edtPassword = nullptr;
    QLineEdit* m_sentobjects = nullptr;
    QCheckBox* m_chkPasswordInFile = nullptr;
    QLabel* m_lblPasswordStore = nullptr;
    QComboBox* m_cboProvider = nullptr;
    QComboBox* m_cboEncryption = nullptr;
    QLineEdit* m_edtTokenCommand = nullptr;
    QLineEdit* m_edtMessagesPerMinute = nullptr;
    QLineEdit* m_edtMessagesPerConnection = nullptr;
    QLabel* m_lblClearWarning = nullptr;
    class ImapAccountPage* m_imapPage = nullptr;
};

}  // namespace sendrix::ui

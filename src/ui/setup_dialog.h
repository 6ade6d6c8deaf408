#pragma once
// The Qt view of the account dialog TfmSetup ("E-Mail-Konto"): a fixed tool
// window whose fields write straight into the dialog model.
#include <QDialog>

#include "app/interaction.h"
#include "app/tfm_setup.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace sendrix::ui {

class AccountFields;

class SetupDialog : public QDialog {
    Q_OBJECT
public:
    SetupDialog(app::TfmSetup& model, app::Interaction& interaction, QWidget* parent);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void refreshFromModel();

    app::TfmSetup& m_model;
    AccountFields* m_fields = nullptr;
    QLineEdit* m_sentobjects = nullptr;
    QCheckBox* m_chkPasswordInFile = nullptr;
    QLabel* m_lblPasswordStore = nullptr;
    QLineEdit* m_edtTokenCommand = nullptr;
    QLineEdit* m_edtMessagesPerMinute = nullptr;
    QLineEdit* m_edtMessagesPerConnection = nullptr;
    QLabel* m_lblClearWarning = nullptr;
    class ImapAccountPage* m_imapPage = nullptr;
};

}  // namespace sendrix::ui

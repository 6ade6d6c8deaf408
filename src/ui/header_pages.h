#pragma once
// The upper left pages of the main window, the fields that become the
// message's header: "Empfänger" (profile, recipient, subject, reply-to,
// priority, receipt, HTML), "Absender" (name and address) and "Kopien"
// (CC, BCC). Edits go straight into the model; leaving a sender field runs
// edtfromExit.
#include <QTabWidget>

#include "ui/form_runner.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace sendrix::ui {

class HeaderPages : public QTabWidget {
    Q_OBJECT
public:
    HeaderPages(FormRunner& runner, QWidget* parent);

    void refresh();
    // Tab goes through each page as the eye reads it: top to bottom, left
    // to right. Called once the whole window is built.
    void orderTabs();
    // The widget that shows `control`, or null when it is not on these pages.
    QWidget* widgetOf(app::ControlId control) const;
    QLineEdit* subjectField() const { return m_edtSubject; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* createRecipientPage();
    QWidget* createSenderPage();
    QWidget* createCopiesPage();
    void connectEdits();

    FormRunner& m_runner;
    app::TfrmMessageEditor& m_form;

    QLabel* m_sAbsender = nullptr;
    QLabel* m_lblProfil = nullptr;
    QComboBox* m_selEmailProfil = nullptr;
    QComboBox* m_edtto = nullptr;
    QLineEdit* m_edtSubject = nullptr;
    QLineEdit* m_edtReply = nullptr;
    QComboBox* m_cboPriority = nullptr;
    QCheckBox* m_chkReturnReciept = nullptr;
    QLineEdit* m_edtAbmeldeadresse = nullptr;
    QCheckBox* m_chkAbmeldezeile = nullptr;
    QCheckBox* m_html = nullptr;
    QLineEdit* m_edtreal = nullptr;
    QLineEdit* m_edtfrom = nullptr;
    QLineEdit* m_edtCC = nullptr;
    QLineEdit* m_edtBCC = nullptr;
};

}  // namespace sendrix::ui

#pragma once
// "Konto einrichten": the account assistant. Four pages over one TfmSetup
// (the model of the account dialog, which stores at the end exactly as its
// OK does): sender → server (found from the address) → login → copies in
// "Gesendet" (the IMAP account, filled from the provider) → test.
#include <QWizard>
#include <future>

#include "app/account_discovery.h"
#include "app/interaction.h"
#include "app/tfm_setup.h"

class QLabel;
class QPushButton;

namespace sendrix::ui {

class AccountFields;
class ImapAccountPage;

class AccountAssistant : public QWizard {
    Q_OBJECT
public:
    AccountAssistant(app::TfmSetup& model, app::Interaction& interaction, QWidget* parent);
    ~AccountAssistant() override;

    // The server search for an address; tests may put their own in.
    std::function<app::Discovery(const std::string& address)> discover;

    // Whether the server search has ended (its result is on the page).
    bool searchDone() const { return !m_search.valid(); }

private:
    QWizardPage* senderPage();
    QWizardPage* serverPage();
    QWizardPage* loginPage();
    QWizardPage* copiesPage();
    QWizardPage* testPage();
    void startSearch();
    void takeSearchResult();
    void showLoginChoices();

    app::TfmSetup& m_model;
    app::Interaction& m_interaction;
    AccountFields* m_fields = nullptr;
    QLabel* m_found = nullptr;
    ImapAccountPage* m_imap = nullptr;
    int m_imapProvider = 0;  // the provider whose IMAP server the page shows
    QPushButton* m_microsoft = nullptr;
    QPushButton* m_google = nullptr;
    std::string m_searchedAddress;
    std::future<app::Discovery> m_search;
};

}  // namespace sendrix::ui

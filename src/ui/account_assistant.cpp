#include "ui/account_assistant.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>

#include "app/handler_runner.h"
#include "ui/imap_account_page.h"
#include "ui/qt_text.h"
#include "ui/setup_fields.h"

namespace sendrix::ui {

namespace {

// Each guessed server gets this long to answer: a person waits.
constexpr int kProbeLimitSeconds = 5;

class Page : public QWizardPage {
public:
    Page(const char* name, const char* title, const char* text) {
        setObjectName(QString::fromLatin1(name));
        setTitle(QString::fromUtf8(title));
        setSubTitle(QString::fromUtf8(text));
    }
    std::function<void()> onEnter;
    std::function<bool()> onLeave;
    void initializePage() override {
        if (onEnter)
            onEnter();
    }
    bool validatePage() override { return !onLeave || onLeave(); }
};

QLabel* note(QWidget* parent, const char* name) {
    auto* text = new QLabel(parent);
    text->setObjectName(QString::fromLatin1(name));
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    return text;
}

}  // namespace

AccountAssistant::AccountAssistant(app::TfmSetup& model, app::Interaction& interaction, QWidget* parent)
    : QWizard(parent), m_model(model), m_interaction(interaction) {
    setObjectName(QStringLiteral("AccountAssistant"));
    setWindowTitle(QStringLiteral("Konto einrichten"));
    setWizardStyle(QWizard::ClassicStyle);
    setOption(QWizard::NoBackButtonOnStartPage);
    setButtonText(QWizard::BackButton, QStringLiteral("< &Zurück"));
    setButtonText(QWizard::NextButton, QStringLiteral("&Weiter >"));
    setButtonText(QWizard::FinishButton, QStringLiteral("&Fertig"));
    setButtonText(QWizard::CancelButton, QStringLiteral("Abbrechen"));
    setFont(formFont(font()));
    discover = [](const std::string& address) {
        return app::discoverSubmissionServer(
            address, app::submissionServersFromDns, [](const app::SubmissionServer& server) {
                return app::submissionServerAnswers(server, kProbeLimitSeconds);
            });
    };
    m_fields = new AccountFields(m_model, interaction, this);
    m_fields->onRefresh = [this] { showLoginChoices(); };
    addPage(senderPage());
    addPage(serverPage());
    addPage(loginPage());
    addPage(copiesPage());
    addPage(testPage());
    m_fields->refresh();
    setMinimumWidth(520);
}

AccountAssistant::~AccountAssistant() {
    // The search ends by itself within its limits; nothing is left running.
    if (m_search.valid())
        m_search.wait();
}

QWizardPage* AccountAssistant::senderPage() {
    auto* page = new Page("pageSender", "Absender",
                          "Mit welchem Namen und von welcher Adresse sollen die Nachrichten kommen?");
    auto* form = new QFormLayout(page);
    form->addRow(m_fields->label(m_model.lblSenderName, m_fields->senderName), m_fields->senderName);
    form->addRow(m_fields->label(m_model.lblSenderAddress, m_fields->senderAddress), m_fields->senderAddress);
    page->onLeave = [this] {
        const std::string address = m_model.edtSenderAddress.Text;
        if (address.find('@') == std::string::npos || app::addressDomain(address).empty()) {
            m_interaction.ErrorBox("Bitte eine vollständige E-Mail-Adresse eintragen (name@example.org).");
            return false;
        }
        return true;
    };
    return page;
}

QWizardPage* AccountAssistant::serverPage() {
    auto* page = new Page("pageServer", "Server", "Der Server, über den Sendrix sendet.");
    m_found = note(page, "lblFound");
    auto* form = new QFormLayout;
    form->addRow(m_fields->label(m_model.lblProvider, m_fields->provider), m_fields->provider);
    auto* serverRow = new QHBoxLayout;
    serverRow->addWidget(m_fields->server);
    serverRow->addWidget(m_fields->port);
    form->addRow(m_fields->label(m_model.lblServer, m_fields->server), serverRow);
    form->addRow(m_fields->label(m_model.lblEncryption, m_fields->encryption), m_fields->encryption);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(m_found);
    layout->addLayout(form);
    page->onEnter = [this] { startSearch(); };
    page->onLeave = [this] { return searchDone(); };
    return page;
}

QWizardPage* AccountAssistant::loginPage() {
    auto* page = new Page("pageLogin", "Anmeldung", "Wie meldet sich Sendrix beim Server an?");
    m_microsoft = m_fields->signInButton("btnMicrosoft", "Bei &Microsoft anmelden", "microsoft");
    m_google = m_fields->signInButton("btnGoogle", "Bei &Google anmelden", "google");
    auto* form = new QFormLayout(page);
    form->addRow(m_fields->label(m_model.lblAuthType, m_fields->authType), m_fields->authType);
    form->addRow(m_fields->label(m_model.lblAccount, m_fields->account), m_fields->account);
    auto* passwordRow = new QHBoxLayout;
    passwordRow->addWidget(m_fields->password);
    passwordRow->addWidget(m_fields->showPassword);
    form->addRow(m_fields->label(m_model.lblPassword, m_fields->password), passwordRow);
    auto* signIn = new QHBoxLayout;
    signIn->addWidget(m_microsoft);
    signIn->addWidget(m_google);
    signIn->addStretch();
    form->addRow(signIn);
    return page;
}

QWizardPage* AccountAssistant::copiesPage() {
    auto* page = new Page("pageCopies", "Gesendet",
                          "Viele Anbieter legen über SMTP gesendete Nachrichten nicht im Ordner „Gesendet“ ab. "
                          "Mit dem IMAP-Zugang legt Sendrix dort eine Kopie jeder Nachricht ab.");
    m_imap = new ImapAccountPage(m_model.settings().Imap, m_model.mailIni(), m_interaction, page);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(m_imap);
    layout->addStretch();
    // A provider found or chosen since the last visit offers its IMAP server;
    // back and forth keeps what was typed here.
    page->onEnter = [this] {
        if (m_model.cboProvider.ItemIndex == m_imapProvider)
            return;
        m_imapProvider = m_model.cboProvider.ItemIndex;
        m_imap->providerChosen(m_imapProvider);
    };
    return page;
}

QWizardPage* AccountAssistant::testPage() {
    auto* page = new Page("pageTest", "Test",
                          "Sendrix verbindet sich mit dem Server und meldet sich an, ohne etwas zu senden. "
                          "Danach kann eine Testnachricht an die eigene Adresse gehen. "
                          "„Fertig“ speichert das Konto.");
    auto* testMail = new QPushButton(QStringLiteral("&Testnachricht an mich senden"), page);
    testMail->setObjectName(QStringLiteral("btnTestMessage"));
    testMail->setAutoDefault(false);
    connect(testMail, &QPushButton::clicked, this,
            [this] { m_fields->run(&app::TfmSetup::SendTestMessage); });
    auto* layout = new QVBoxLayout(page);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_fields->testConnection);
    buttons->addWidget(testMail);
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->addWidget(m_fields->verdict);
    layout->addStretch();
    page->onLeave = [this] {
        m_fields->run(&app::TfmSetup::BitBtn1Click);
        // The IMAP account only after the SMTP account was taken, as the dialog's OK.
        return m_model.Stored && !m_model.KeepOpen && m_imap->store();
    };
    return page;
}

void AccountAssistant::startSearch() {
    const std::string address = m_model.edtSenderAddress.Text;
    // Back and forth with the same address keeps what was found and changed.
    if (address == m_searchedAddress || m_search.valid())
        return;
    m_searchedAddress = address;
    m_found->setText(toQt("Suche den Server für " + app::addressDomain(address) + " …"));
    m_search = std::async(std::launch::async, discover, address);
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, [this, poll] {
        if (m_search.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return;
        poll->deleteLater();
        takeSearchResult();
    });
    poll->start(30);
}

void AccountAssistant::takeSearchResult() {
    app::Discovery found;
    app::runHandler(m_interaction, [&] { found = m_search.get(); });
    m_model.applyDiscovery(found);
    m_found->setText(toQt(found.text));
    m_fields->refresh();
}

void AccountAssistant::showLoginChoices() {
    // The sign-in buttons belong to the OAuth 2 login of Microsoft and Google.
    const bool oauth = m_model.cboAuthType.ItemIndex == 3;
    const std::string& host = m_model.SMTPServer.Text;
    const bool google = host.find("gmail") != std::string::npos || host.find("google") != std::string::npos;
    m_microsoft->setVisible(oauth && !google);
    m_google->setVisible(oauth && google);
    m_fields->password->setEnabled(!oauth);
}

}  // namespace sendrix::ui

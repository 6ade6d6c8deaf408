#include "ui/imap_account_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

#include <functional>

#include "app/handler_runner.h"
#include "app/mail_providers.h"
#include "ui/qt_text.h"

namespace sendrix::ui {

namespace {

QLineEdit* edit(const char* name, app::TEdit& model, QWidget* parent) {
    auto* line = new QLineEdit(parent);
    line->setObjectName(QString::fromLatin1(name));
    QObject::connect(line, &QLineEdit::textEdited, parent, [&model](const QString& text) { model.Text = fromQt(text); });
    return line;
}

QCheckBox* check(const char* name, app::TCheckBox& model, QWidget* parent) {
    auto* box = new QCheckBox(toQt(model.Caption), parent);
    box->setObjectName(QString::fromLatin1(name));
    QObject::connect(box, &QCheckBox::clicked, parent, [&model](bool checked) { model.Checked = checked; });
    return box;
}

QLabel* label(const app::TLabel& model, QWidget* buddy, QWidget* parent) {
    auto* text = new QLabel(toQt(model.Caption), parent);
    text->setTextFormat(Qt::PlainText);
    text->setBuddy(buddy);
    return text;
}

}  // namespace

ImapAccountPage::ImapAccountPage(app::TImapSettings& settings, const std::string& mailIni,
                                 app::Interaction& interaction, QWidget* parent)
    : QGroupBox(QStringLiteral("IMAP-Konto"), parent), m_model(settings, mailIni), m_interaction(interaction) {
    setObjectName(QStringLiteral("ImapAccountPage"));
    m_chkImap = check("chkImap", m_model.chkImap, this);
    connect(m_chkImap, &QCheckBox::clicked, this, [this] { run(&app::ImapAccountForm::chkImapClick); });
    m_edtImapServer = edit("edtImapServer", m_model.edtImapServer, this);
    m_edtImapPort = edit("edtImapPort", m_model.edtImapPort, this);
    m_edtImapPort->setFixedWidth(
        std::max(34, m_edtImapPort->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12));
    m_cboImapEncryption = new QComboBox(this);
    m_cboImapEncryption->setObjectName(QStringLiteral("cboImapEncryption"));
    for (const std::string& item : m_model.cboImapEncryption.Items)
        m_cboImapEncryption->addItem(toQt(item));
    connect(m_cboImapEncryption, &QComboBox::activated, this, [this](int index) {
        m_model.cboImapEncryption.ItemIndex = index;
        m_model.cboImapEncryption.Text = fromQt(m_cboImapEncryption->itemText(index));
        run(&app::ImapAccountForm::cboImapEncryptionChange);
    });
    m_edtImapUser = edit("edtImapUser", m_model.edtImapUser, this);
    m_edtImapPassword = edit("edtImapPassword", m_model.edtImapPassword, this);
    m_edtImapPassword->setEchoMode(QLineEdit::Password);
    m_chkSentCopy = check("chkSentCopy", m_model.chkSentCopy, this);
    m_edtSentFolder = edit("edtSentFolder", m_model.edtSentFolder, this);
    m_edtSentFolder->setPlaceholderText(QStringLiteral("automatisch"));
    m_lblImapHint = new QLabel(this);
    m_lblImapHint->setObjectName(QStringLiteral("lblImapHint"));
    m_lblImapHint->setWordWrap(true);
    m_lblImapHint->setTextFormat(Qt::PlainText);

    auto* grid = new QGridLayout(this);
    grid->setVerticalSpacing(3);
    int row = 0;
    grid->addWidget(m_chkImap, row++, 0, 1, 2);
    auto* server = new QHBoxLayout;
    server->setSpacing(3);
    server->addWidget(m_edtImapServer);
    server->addWidget(m_edtImapPort);
    grid->addWidget(label(m_model.lblImapServer, m_edtImapServer, this), row, 0);
    grid->addLayout(server, row++, 1);
    grid->addWidget(label(m_model.lblImapEncryption, m_cboImapEncryption, this), row, 0);
    grid->addWidget(m_cboImapEncryption, row++, 1, Qt::AlignLeft);
    grid->addWidget(label(m_model.lblImapUser, m_edtImapUser, this), row, 0);
    grid->addWidget(m_edtImapUser, row++, 1);
    grid->addWidget(label(m_model.lblImapPassword, m_edtImapPassword, this), row, 0);
    grid->addWidget(m_edtImapPassword, row++, 1);
    grid->addWidget(m_chkSentCopy, row++, 0, 1, 2);
    grid->addWidget(label(m_model.lblSentFolder, m_edtSentFolder, this), row, 0);
    grid->addWidget(m_edtSentFolder, row++, 1);
    grid->addWidget(m_lblImapHint, row++, 0, 1, 2);

    run(&app::ImapAccountForm::FormCreate);
}

void ImapAccountPage::providerChosen(int index) {
    const auto& providers = app::mailProviders();
    if (index < 1 || index > static_cast<int>(providers.size()))
        return;
    const app::MailProvider& provider = providers[static_cast<std::size_t>(index - 1)];
    app::runHandler(m_interaction, [&] { m_model.ProviderChosen(provider); });
    refreshFromModel();
}

bool ImapAccountPage::store() {
    return app::runHandler(m_interaction, [this] { m_model.Store(); });
}

void ImapAccountPage::run(void (app::ImapAccountForm::*handler)()) {
    app::runHandler(m_interaction, [this, handler] { std::invoke(handler, m_model); });
    refreshFromModel();
}

void ImapAccountPage::refreshFromModel() {
    const auto text = [](QLineEdit* line, const app::TEdit& model) {
        const QSignalBlocker block(line);
        if (line->text() != toQt(model.Text))
            line->setText(toQt(model.Text));
        line->setEnabled(model.Enabled);
    };
    text(m_edtImapServer, m_model.edtImapServer);
    text(m_edtImapPort, m_model.edtImapPort);
    text(m_edtImapUser, m_model.edtImapUser);
    text(m_edtImapPassword, m_model.edtImapPassword);
    text(m_edtSentFolder, m_model.edtSentFolder);
    const QSignalBlocker block(m_cboImapEncryption);
    m_cboImapEncryption->setCurrentIndex(m_model.cboImapEncryption.ItemIndex);
    m_chkImap->setChecked(m_model.chkImap.Checked);
    m_chkSentCopy->setChecked(m_model.chkSentCopy.Checked);
    m_chkSentCopy->setEnabled(m_model.chkSentCopy.Enabled);
    m_cboImapEncryption->setEnabled(m_model.chkImap.Checked);
    m_lblImapHint->setText(toQt(m_model.lblImapHint.Caption));
}

}  // namespace sendrix::ui

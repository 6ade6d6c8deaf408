#include "ui/setup_fields.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include <algorithm>
#include <functional>

#include "app/handler_runner.h"
#include "ui/control_widgets.h"
#include "ui/oauth_sign_in.h"
#include "ui/qt_text.h"

namespace sendrix::ui {

AccountFields::AccountFields(app::TfmSetup& model, app::Interaction& interaction, QWidget* parent)
    : QObject(parent), m_model(model), m_interaction(interaction), m_parent(parent) {
    provider = choice("cboProvider", m_model.cboProvider, &app::TfmSetup::cboProviderChange);
    server = edit("SMTPServer", m_model.SMTPServer);
    server->setPlaceholderText(QStringLiteral("z. B. mail.example.org"));
    port = edit("SMTPPort", m_model.SMTPPort);
    // Wide enough for any port number (five digits) in the form's font.
    port->setFixedWidth(std::max(34, port->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12));
    encryption = choice("cboEncryption", m_model.cboEncryption, &app::TfmSetup::cboEncryptionChange);
    authType = choice("cboAuthType", m_model.cboAuthType, &app::TfmSetup::cboAuthTypeChange);
    for (int i = 0; i < authType->count() && i < static_cast<int>(m_model.AuthTypeHints.size()); ++i)
        authType->setItemData(i, toQt(m_model.AuthTypeHints[i]), Qt::ToolTipRole);
    account = edit("edtAccount", m_model.edtAccount);
    account->setPlaceholderText(toQt(m_model.AccountPlaceholder));
    password = edit("edtPassword", m_model.edtPassword);
    password->setPlaceholderText(toQt(m_model.PasswordPlaceholder));
    // The mask character is "*" on every style.
    password->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    showPassword = new QCheckBox(toQt(m_model.chkShowPassword.Caption), parent);
    showPassword->setObjectName(QStringLiteral("chkShowPassword"));
    connect(showPassword, &QCheckBox::clicked, this, [this](bool checked) {
        m_model.chkShowPassword.Checked = checked;
        run(&app::TfmSetup::chkShowPasswordClick);
    });
    senderName = edit("edtSenderName", m_model.edtSenderName);
    senderName->setPlaceholderText(QStringLiteral("z. B. Förderverein Musterstadt"));
    senderAddress = edit("edtSenderAddress", m_model.edtSenderAddress);
    senderAddress->setPlaceholderText(QStringLiteral("name@example.org"));
    testConnection = new QPushButton(QStringLiteral("&Verbindung testen"), parent);
    testConnection->setObjectName(QStringLiteral("btnTestConnection"));
    testConnection->setAutoDefault(false);
    connect(testConnection, &QPushButton::clicked, this, [this] {
        // The test waits for the server; the cursor says so.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        run(&app::TfmSetup::btnTestConnectionClick);
        QApplication::restoreOverrideCursor();
    });
    verdict = new QLabel(parent);
    verdict->setObjectName(QStringLiteral("lblConnectionVerdict"));
    verdict->setTextFormat(Qt::PlainText);
    verdict->setWordWrap(true);
    verdict->setTextInteractionFlags(Qt::TextSelectableByMouse);
}

QLineEdit* AccountFields::edit(const char* name, app::TEdit& model) {
    auto* widget = new QLineEdit(toQt(model.Text), m_parent);
    widget->setObjectName(QString::fromLatin1(name));
    connect(widget, &QLineEdit::textEdited, this,
            [&model](const QString& text) { model.Text = fromQt(text); });
    return widget;
}

QComboBox* AccountFields::choice(const char* name, app::TComboBox& model, void (app::TfmSetup::*handler)()) {
    auto* box = new QComboBox(m_parent);
    box->setObjectName(QString::fromLatin1(name));
    box->addItems(toQtList(model.Items));
    connect(box, &QComboBox::activated, this, [this, box, &model, handler](int index) {
        model.ItemIndex = index;
        model.Text = fromQt(box->itemText(index));
        run(handler);
    });
    return box;
}

QPushButton* AccountFields::signInButton(const char* name, const char* caption, const char* provider) {
    auto* button = new QPushButton(QString::fromUtf8(caption), m_parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, provider = std::string(provider)] {
        // The refresh token goes where the password would.
        if (signInWithOAuth(m_parent, {m_model.mailIni(), m_model.SMTPServer.Text, m_model.edtAccount.Text,
                                       provider, m_model.chkPasswordInFile.Checked, m_model.Secrets}))
            run(&app::TfmSetup::signedIn);
    });
    return button;
}

QLabel* AccountFields::label(const app::TLabel& model, QWidget* buddy) const {
    auto* text = new QLabel(toQt(model.Caption), m_parent);
    text->setTextFormat(Qt::PlainText);
    text->setBuddy(buddy);
    return text;
}

void AccountFields::run(void (app::TfmSetup::*handler)()) {
    app::runHandler(m_interaction, [this, handler] { std::invoke(handler, m_model); });
    refresh();
}

void AccountFields::refresh() {
    for (auto [widget, model] :
         {std::pair{server, &m_model.SMTPServer}, std::pair{port, &m_model.SMTPPort},
          std::pair{account, &m_model.edtAccount}, std::pair{password, &m_model.edtPassword},
          std::pair{senderName, &m_model.edtSenderName},
          std::pair{senderAddress, &m_model.edtSenderAddress}}) {
        const QSignalBlocker blocker(widget);
        const QString text = toQt(model->Text);
        if (widget->text() != text)
            widget->setText(text);
    }
    password->setEchoMode(m_model.PasswordMasked ? QLineEdit::Password : QLineEdit::Normal);
    {
        const QSignalBlocker blocker(showPassword);
        showPassword->setChecked(m_model.chkShowPassword.Checked);
    }
    for (auto [box, model] :
         {std::pair{authType, &m_model.cboAuthType}, std::pair{provider, &m_model.cboProvider},
          std::pair{encryption, &m_model.cboEncryption}}) {
        const QSignalBlocker blocker(box);
        box->setCurrentIndex(model->ItemIndex);
    }
    verdict->setText(toQt(m_model.lblConnectionVerdict.Caption));
    verdict->setStyleSheet(m_model.ConnectionOk ? QStringLiteral("color: #006000")
                                                : QStringLiteral("color: #a00000"));
    if (onRefresh)
        onRefresh();
}

}  // namespace sendrix::ui

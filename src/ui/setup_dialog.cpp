#include "ui/setup_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QToolButton>

#include <algorithm>
#include <functional>

#include "app/handler_runner.h"
#include "ui/imap_account_page.h"
#include "ui/qt_text.h"

namespace sendrix::ui {

namespace {

constexpr int kClientWidth = 320;
constexpr int kClientHeight = 157;
constexpr int kBorder = 5;

QLineEdit* field(const char* name, const app::TEdit& model, app::TEdit& target, QWidget* parent) {
    auto* edit = new QLineEdit(toQt(model.Text), parent);
    edit->setObjectName(QString::fromLatin1(name));
    QObject::connect(edit, &QLineEdit::textEdited, parent,
                     [&target](const QString& text) { target.Text = fromQt(text); });
    return edit;
}

QLabel* label(const app::TLabel& model, QWidget* buddy, QWidget* parent) {
    auto* text = new QLabel(toQt(model.Caption), parent);
    text->setTextFormat(Qt::PlainText);
    text->setBuddy(buddy);
    return text;
}

// A list box whose choice goes into `model` and then to `handler`.
QComboBox* choice(const char* name, app::TComboBox& model, QWidget* parent,
                  const std::function<void()>& handler) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    for (const std::string& item : model.Items)
        box->addItem(toQt(item));
    QObject::connect(box, &QComboBox::activated, parent, [box, &model, handler](int index) {
        model.ItemIndex = index;
        model.Text = fromQt(box->itemText(index));
        handler();
    });
    return box;
}

}  // namespace

SetupDialog::SetupDialog(app::TfmSetup& model, app::Interaction& interaction, QWidget* parent)
    : QDialog(parent), m_model(model), m_interaction(interaction) {
    setObjectName(QStringLiteral("fmSetup"));
    setWindowTitle(toQt(m_model.Caption));
    // A small tool window with a close box that cannot be resized.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFont(formFont(font()));

    m_SMTPServer = field("SMTPServer", m_model.SMTPServer, m_model.SMTPServer, this);
    m_SMTPServer->setFixedWidth(155);
    m_SMTPPort = field("SMTPPort", m_model.SMTPPort, m_model.SMTPPort, this);
    // Wide enough for any port number (five digits) in the form's font.
    m_SMTPPort->setFixedWidth(
        std::max(34, m_SMTPPort->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12));
    m_cboAuthType =
        choice("cboAuthType", m_model.cboAuthType, this, [this] { run(&app::TfmSetup::cboAuthTypeChange); });
    m_imapPage = new ImapAccountPage(m_model.settings().Imap, m_model.mailIni(), m_interaction, this);
    m_cboProvider = choice("cboProvider", m_model.cboProvider, this, [this] {
        run(&app::TfmSetup::cboProviderChange);
        m_imapPage->providerChosen(m_model.cboProvider.ItemIndex);
    });
    m_cboEncryption = choice("cboEncryption", m_model.cboEncryption, this,
                             [this] { run(&app::TfmSetup::cboEncryptionChange); });
    m_edtTokenCommand = field("edtTokenCommand", m_model.edtTokenCommand, m_model.edtTokenCommand, this);
    m_edtMessagesPerMinute =
        field("edtMessagesPerMinute", m_model.edtMessagesPerMinute, m_model.edtMessagesPerMinute, this);
    m_edtMessagesPerConnection = field("edtMessagesPerConnection", m_model.edtMessagesPerConnection,
                                       m_model.edtMessagesPerConnection, this);
    for (QLineEdit* pace : {m_edtMessagesPerMinute, m_edtMessagesPerConnection})
        pace->setFixedWidth(m_SMTPPort->minimumWidth());
    m_lblClearWarning = new QLabel(toQt(m_model.lblClearWarning.Caption), this);
    m_lblClearWarning->setObjectName(QStringLiteral("lblClearWarning"));
    m_lblClearWarning->setTextFormat(Qt::PlainText);
    m_lblClearWarning->setWordWrap(true);
    m_lblClearWarning->setStyleSheet(QStringLiteral("color: #a00000"));
    // Its room is kept while it is hidden: the dialog has a fixed size.
    QSizePolicy policy = m_lblClearWarning->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    m_lblClearWarning->setSizePolicy(policy);
    m_edtAccount = field("edtAccount", m_model.edtAccount, m_model.edtAccount, this);
    m_edtPassword = field("edtPassword", m_model.edtPassword, m_model.edtPassword, this);
    m_edtPassword->installEventFilter(this);
    // The mask character is "*" on every style.
    m_edtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    auto* reveal = new QToolButton(this);
    reveal->setObjectName(QStringLiteral("SpeedButton1"));
    reveal->setText(QStringLiteral("..."));
    reveal->setAutoRaise(true);
    reveal->setFixedSize(23, 22);
    connect(reveal, &QToolButton::clicked, this, [this] { run(&app::TfmSetup::SpeedButton1Click); });
    m_sentobjects = field("sentobjects", m_model.sentobjects, m_model.sentobjects, this);
    m_sentobjects->setFixedWidth(210);

    m_chkPasswordInFile = new QCheckBox(toQt(m_model.chkPasswordInFile.Caption), this);
    m_chkPasswordInFile->setObjectName(QStringLiteral("chkPasswordInFile"));
    connect(m_chkPasswordInFile, &QCheckBox::clicked, this, [this](bool checked) {
        m_model.chkPasswordInFile.Checked = checked;
        run(&app::TfmSetup::chkPasswordInFileClick);
    });
    m_lblPasswordStore = new QLabel(this);
    m_lblPasswordStore->setObjectName(QStringLiteral("lblPasswordStore"));
    m_lblPasswordStore->setTextFormat(Qt::PlainText);
    m_lblPasswordStore->setWordWrap(true);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("BitBtn1"));
    ok->setDefault(true);
    ok->setAutoDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] {
        // Stored or not, the dialog closes (an error has been shown),
        // unless the port was refused and can still be corrected.
        run(&app::TfmSetup::BitBtn1Click);
        const bool imapStored = m_imapPage->store();
        if (!m_model.KeepOpen && imapStored)
            accept();
    });
    auto* cancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    cancel->setObjectName(QStringLiteral("BitBtn2"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, [this] {
        run(&app::TfmSetup::BitBtn2Click);
        reject();
    });

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(kBorder, kBorder, kBorder, kBorder);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);
    auto* serverRow = new QHBoxLayout;
    serverRow->setSpacing(3);
    serverRow->addWidget(m_SMTPServer);
    serverRow->addWidget(m_SMTPPort);
    serverRow->addStretch();
    int row = 0;
    grid->addWidget(label(m_model.lblProvider, m_cboProvider, this), row, 0);
    grid->addWidget(m_cboProvider, row++, 1, Qt::AlignLeft);
    grid->addWidget(label(m_model.lblServer, m_SMTPServer, this), row, 0);
    grid->addLayout(serverRow, row++, 1);
    grid->addWidget(label(m_model.lblEncryption, m_cboEncryption, this), row, 0);
    grid->addWidget(m_cboEncryption, row++, 1, Qt::AlignLeft);
    grid->addWidget(label(m_model.lblAuthType, m_cboAuthType, this), row, 0);
    grid->addWidget(m_cboAuthType, row++, 1, Qt::AlignLeft);
    grid->addWidget(label(m_model.lblAccount, m_edtAccount, this), row, 0);
    grid->addWidget(m_edtAccount, row++, 1);
    auto* passwordRow = new QHBoxLayout;
    passwordRow->setSpacing(2);
    passwordRow->addWidget(m_edtPassword);
    passwordRow->addWidget(reveal);
    grid->addWidget(label(m_model.lblPassword, m_edtPassword, this), row, 0);
    grid->addLayout(passwordRow, row++, 1);
    grid->addWidget(m_lblClearWarning, row++, 0, 1, 2);
    grid->addWidget(label(m_model.lblTokenCommand, m_edtTokenCommand, this), row, 0);
    grid->addWidget(m_edtTokenCommand, row++, 1);
    grid->addWidget(label(m_model.lblMessagesPerMinute, m_edtMessagesPerMinute, this), row, 0);
    grid->addWidget(m_edtMessagesPerMinute, row++, 1, Qt::AlignLeft);
    grid->addWidget(label(m_model.lblMessagesPerConnection, m_edtMessagesPerConnection, this), row, 0);
    grid->addWidget(m_edtMessagesPerConnection, row++, 1, Qt::AlignLeft);
    grid->addWidget(label(m_model.lblSentObjects, m_sentobjects, this), row, 0);
    grid->addWidget(m_sentobjects, row++, 1, Qt::AlignLeft);
    grid->addWidget(m_chkPasswordInFile, row++, 0, 1, 2);
    grid->addWidget(m_lblPasswordStore, row++, 0, 1, 2);
    grid->addWidget(m_imapPage, row++, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, row, 0, 1, 2, Qt::AlignBottom);
    grid->setRowStretch(row, 1);

    refreshFromModel();
    // Wide enough for the password choice, high enough for its status.
    const int width = std::max(kClientWidth, grid->minimumSize().width());
    const int height = std::max(kClientHeight, grid->heightForWidth(width));
    setFixedSize(width, height);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width / 2, height / 2));
}

void SetupDialog::run(void (app::TfmSetup::*handler)()) {
    app::runHandler(m_interaction, [this, handler] { std::invoke(handler, m_model); });
    refreshFromModel();
}

void SetupDialog::refreshFromModel() {
    setWindowTitle(toQt(m_model.Caption));
    for (auto [edit, model] :
         {std::pair{m_SMTPServer, &m_model.SMTPServer}, std::pair{m_SMTPPort, &m_model.SMTPPort},
          std::pair{m_edtAccount, &m_model.edtAccount}, std::pair{m_edtPassword, &m_model.edtPassword},
          std::pair{m_edtTokenCommand, &m_model.edtTokenCommand},
          std::pair{m_edtMessagesPerMinute, &m_model.edtMessagesPerMinute},
          std::pair{m_edtMessagesPerConnection, &m_model.edtMessagesPerConnection},
          std::pair{m_sentobjects, &m_model.sentobjects}}) {
        const QSignalBlocker blocker(edit);
        const QString text = toQt(model->Text);
        if (edit->text() != text)
            edit->setText(text);
    }
    m_edtPassword->setEchoMode(m_model.PasswordMasked ? QLineEdit::Password : QLineEdit::Normal);
    for (auto [box, model] :
         {std::pair{m_cboAuthType, &m_model.cboAuthType}, std::pair{m_cboProvider, &m_model.cboProvider},
          std::pair{m_cboEncryption, &m_model.cboEncryption}}) {
        const QSignalBlocker blocker(box);
        box->setCurrentIndex(model->ItemIndex);
    }
    m_lblClearWarning->setVisible(m_model.lblClearWarning.Visible);
    m_chkPasswordInFile->setChecked(m_model.chkPasswordInFile.Checked);
    m_chkPasswordInFile->setEnabled(m_model.chkPasswordInFile.Enabled);
    m_lblPasswordStore->setText(toQt(m_model.lblPasswordStore.Caption));
}

bool SetupDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_edtPassword && event->type() == QEvent::MouseButtonDblClick) {
        run(&app::TfmSetup::edtPasswordDblClick);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void SetupDialog::closeEvent(QCloseEvent* event) {
    run(&app::TfmSetup::FormClose);
    QDialog::closeEvent(event);
}

}  // namespace sendrix::ui

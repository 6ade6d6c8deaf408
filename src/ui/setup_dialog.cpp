#include "ui/setup_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>

#include "ui/imap_account_page.h"
#include "ui/qt_text.h"
#include "ui/setup_fields.h"

namespace sendrix::ui {

namespace {

constexpr int kBorder = 5;
// The width of the wrapped status texts; the dialog grows in height only.
constexpr int kTextWidth = 430;

QLineEdit* field(const char* name, app::TEdit& target, QWidget* parent) {
    auto* edit = new QLineEdit(toQt(target.Text), parent);
    edit->setObjectName(QString::fromLatin1(name));
    QObject::connect(edit, &QLineEdit::textEdited, parent,
                     [&target](const QString& text) { target.Text = fromQt(text); });
    return edit;
}

QLabel* wrappedLabel(const char* name, QWidget* parent) {
    auto* text = new QLabel(parent);
    text->setObjectName(QString::fromLatin1(name));
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    text->setFixedWidth(kTextWidth);
    return text;
}

}  // namespace

SetupDialog::SetupDialog(app::TfmSetup& model, app::Interaction& interaction, QWidget* parent)
    : QDialog(parent), m_model(model) {
    setObjectName(QStringLiteral("fmSetup"));
    setWindowTitle(toQt(m_model.Caption));
    // A small tool window with a close box that cannot be resized.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFont(formFont(font()));

    m_fields = new AccountFields(m_model, interaction, this);
    m_fields->onRefresh = [this] { refreshFromModel(); };
    AccountFields& f = *m_fields;
    m_imapPage = new ImapAccountPage(m_model.settings().Imap, m_model.mailIni(), interaction, this);
    // After the account fields' own handler: a provider also offers its IMAP server.
    connect(f.provider, &QComboBox::activated, this,
            [this] { m_imapPage->providerChosen(m_model.cboProvider.ItemIndex); });
    m_edtTokenCommand = field("edtTokenCommand", m_model.edtTokenCommand, this);
    m_edtMessagesPerMinute = field("edtMessagesPerMinute", m_model.edtMessagesPerMinute, this);
    m_edtMessagesPerConnection = field("edtMessagesPerConnection", m_model.edtMessagesPerConnection, this);
    for (QLineEdit* pace : {m_edtMessagesPerMinute, m_edtMessagesPerConnection})
        pace->setFixedWidth(f.port->minimumWidth());
    m_lblClearWarning = wrappedLabel("lblClearWarning", this);
    m_lblClearWarning->setText(toQt(m_model.lblClearWarning.Caption));
    m_lblClearWarning->setStyleSheet(QStringLiteral("color: #a00000"));
    // Its room is kept while it is hidden: the dialog keeps its size.
    QSizePolicy policy = m_lblClearWarning->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    m_lblClearWarning->setSizePolicy(policy);
    m_sentobjects = field("sentobjects", m_model.sentobjects, this);

    m_chkPasswordInFile = new QCheckBox(toQt(m_model.chkPasswordInFile.Caption), this);
    m_chkPasswordInFile->setObjectName(QStringLiteral("chkPasswordInFile"));
    connect(m_chkPasswordInFile, &QCheckBox::clicked, this, [this](bool checked) {
        m_model.chkPasswordInFile.Checked = checked;
        m_fields->run(&app::TfmSetup::chkPasswordInFileClick);
    });
    m_lblPasswordStore = wrappedLabel("lblPasswordStore", this);
    f.verdict->setFixedWidth(kTextWidth);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("BitBtn1"));
    ok->setDefault(true);
    ok->setAutoDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] {
        // Stored or not, the dialog closes (an error has been shown),
        // unless a value was refused and can still be corrected.
        m_fields->run(&app::TfmSetup::BitBtn1Click);
        if (!m_model.KeepOpen && m_imapPage->store())
            accept();
    });
    auto* cancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    cancel->setObjectName(QStringLiteral("BitBtn2"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, [this] {
        m_fields->run(&app::TfmSetup::BitBtn2Click);
        reject();
    });

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(kBorder, kBorder, kBorder, kBorder);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    int row = 0;
    const auto add = [&](const app::TLabel& caption, QWidget* widget, Qt::Alignment alignment = {}) {
        grid->addWidget(f.label(caption, widget), row, 0);
        grid->addWidget(widget, row++, 1, alignment);
    };
    // Two widgets in one row; the first takes the room that is left.
    const auto addRow = [&](const app::TLabel& caption, QWidget* first, QWidget* second) {
        auto* line = new QHBoxLayout;
        line->setSpacing(3);
        line->addWidget(first, 1);
        line->addWidget(second);
        grid->addWidget(f.label(caption, first), row, 0);
        grid->addLayout(line, row++, 1);
    };
    add(m_model.lblSenderName, f.senderName);
    add(m_model.lblSenderAddress, f.senderAddress);
    add(m_model.lblProvider, f.provider, Qt::AlignLeft);
    addRow(m_model.lblServer, f.server, f.port);
    add(m_model.lblEncryption, f.encryption, Qt::AlignLeft);
    add(m_model.lblAuthType, f.authType, Qt::AlignLeft);
    add(m_model.lblAccount, f.account);
    addRow(m_model.lblPassword, f.password, f.showPassword);
    grid->addWidget(m_lblClearWarning, row++, 0, 1, 2);
    grid->addWidget(f.signInButton("btnOAuthSignIn", "Bei Microsoft / Google anmelden", ""), row++, 1,
                    Qt::AlignLeft);
    add(m_model.lblTokenCommand, m_edtTokenCommand);
    add(m_model.lblMessagesPerMinute, m_edtMessagesPerMinute, Qt::AlignLeft);
    add(m_model.lblMessagesPerConnection, m_edtMessagesPerConnection, Qt::AlignLeft);
    add(m_model.lblSentObjects, m_sentobjects);
    grid->addWidget(m_chkPasswordInFile, row++, 0, 1, 2);
    grid->addWidget(m_lblPasswordStore, row++, 0, 1, 2);
    grid->addWidget(f.testConnection, row++, 0, 1, 2, Qt::AlignLeft);
    grid->addWidget(f.verdict, row++, 0, 1, 2);
    grid->addWidget(m_imapPage, row++, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, row, 0, 1, 2, Qt::AlignBottom);

    m_fields->refresh();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(sizeHint().width() / 2, sizeHint().height() / 2));
}

void SetupDialog::refreshFromModel() {
    setWindowTitle(toQt(m_model.Caption));
    for (auto [edit, model] : {std::pair{m_edtTokenCommand, &m_model.edtTokenCommand},
                               std::pair{m_edtMessagesPerMinute, &m_model.edtMessagesPerMinute},
                               std::pair{m_edtMessagesPerConnection, &m_model.edtMessagesPerConnection},
                               std::pair{m_sentobjects, &m_model.sentobjects}}) {
        const QSignalBlocker blocker(edit);
        const QString text = toQt(model->Text);
        if (edit->text() != text)
            edit->setText(text);
    }
    m_lblClearWarning->setVisible(m_model.lblClearWarning.Visible);
    m_chkPasswordInFile->setChecked(m_model.chkPasswordInFile.Checked);
    m_chkPasswordInFile->setEnabled(m_model.chkPasswordInFile.Enabled);
    m_lblPasswordStore->setText(toQt(m_model.lblPasswordStore.Caption));
}

void SetupDialog::closeEvent(QCloseEvent* event) {
    m_fields->run(&app::TfmSetup::FormClose);
    QDialog::closeEvent(event);
}

}  // namespace sendrix::ui

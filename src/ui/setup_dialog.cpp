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

#include "app/handler_runner.h"
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

}  // namespace

SetupDialog::SetupDialog(app::TfmSetup& model, app::Interaction& interaction, QWidget* parent)
    : QDialog(parent), m_model(model), m_interaction(interaction) {
    setObjectName(QStringLiteral("fmSetup"));
    setWindowTitle(toQt(m_model.Caption));
    // A small tool window with a close box that cannot be resized.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFont(formFont(font()));

    m_SMTPServer = field("SMTPServer", m_model.SMTPServer, m_model.SMTPServer, this);
    m_SMTPServer->setFixedWidth(155);
    m_SMTPPort = field("SMTPPort", m_model.SMTPPort, m_model.SMTPPort, this);
    // Wide enough for any port number (five digits) in the form's font.
    m_SMTPPort->setFixedWidth(
        std::max(34, m_SMTPPort->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12));
    m_cboAuthType = new QComboBox(this);
    m_cboAuthType->setObjectName(QStringLiteral("cboAuthType"));
    for (const std::string& item : m_model.cboAuthType.Items) m_cboAuthType->addItem(toQt(item));
    connect(m_cboAuthType, &QComboBox::activated, this, [this](int index) {
        m_model.cboAuthType.ItemIndex = index;
        m_model.cboAuthType.Text = fromQt(m_cboAuthType->itemText(index));
    });
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
        // Stored or not, the dialog closes; an error has been shown.
        run(&app::TfmSetup::BitBtn1Click);
        accept();
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
    grid->addWidget(label(m_model.lblServer, m_SMTPServer, this), 0, 0);
    grid->addLayout(serverRow, 0, 1);
    grid->addWidget(label(m_model.lblAuthType, m_cboAuthType, this), 1, 0);
    grid->addWidget(m_cboAuthType, 1, 1, Qt::AlignLeft);
    grid->addWidget(label(m_model.lblAccount, m_edtAccount, this), 2, 0);
    grid->addWidget(m_edtAccount, 2, 1);
    auto* passwordRow = new QHBoxLayout;
    passwordRow->setSpacing(2);
    passwordRow->addWidget(m_edtPassword);
    passwordRow->addWidget(reveal);
    grid->addWidget(label(m_model.lblPassword, m_edtPassword, this), 3, 0);
    grid->addLayout(passwordRow, 3, 1);
    grid->addWidget(label(m_model.lblSentObjects, m_sentobjects, this), 4, 0);
    grid->addWidget(m_sentobjects, 4, 1, Qt::AlignLeft);
    grid->addWidget(m_chkPasswordInFile, 5, 0, 1, 2);
    grid->addWidget(m_lblPasswordStore, 6, 0, 1, 2);
    grid->addWidget(ok, 7, 1, Qt::AlignRight | Qt::AlignBottom);
    grid->setRowStretch(7, 1);

    refreshFromModel();
    // Wide enough for the password choice, high enough for its status.
    const int width = std::max(kClientWidth, grid->minimumSize().width());
    const int height = std::max(kClientHeight, grid->heightForWidth(width));
    setFixedSize(width, height);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width / 2, height / 2));
}

void SetupDialog::run(void (app::TfmSetup::*handler)()) {
    app::runHandler(m_interaction, [this, handler] { (m_model.*handler)(); });
    refreshFromModel();
}

void SetupDialog::refreshFromModel() {
    setWindowTitle(toQt(m_model.Caption));
    for (auto [edit, model] : {std::pair{m_SMTPServer, &m_model.SMTPServer},
                               std::pair{m_SMTPPort, &m_model.SMTPPort},
                               std::pair{m_edtAccount, &m_model.edtAccount},
                               std::pair{m_edtPassword, &m_model.edtPassword},
                               std::pair{m_sentobjects, &m_model.sentobjects}}) {
        const QSignalBlocker blocker(edit);
        const QString text = toQt(model->Text);
        if (edit->text() != text) edit->setText(text);
    }
    m_edtPassword->setEchoMode(m_model.PasswordMasked ? QLineEdit::Password : QLineEdit::Normal);
    const QSignalBlocker blocker(m_cboAuthType);
    m_cboAuthType->setCurrentIndex(m_model.cboAuthType.ItemIndex);
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

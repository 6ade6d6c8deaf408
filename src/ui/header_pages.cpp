#include "ui/header_pages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/control_widgets.h"
#include "ui/icons.h"
#include "ui/qt_text.h"

namespace sendrix::ui {

namespace {

using app::TfrmMessageEditor;

constexpr int kLeftPagesWidth = 301;

}  // namespace

HeaderPages::HeaderPages(FormRunner& runner, QWidget* parent)
    : QTabWidget(parent), m_runner(runner), m_form(runner.form()) {
    setObjectName(QStringLiteral("pnlTopleft"));
    // The form column keeps its width at the window's first size and grows
    // with it, two parts to the lists' three.
    setMinimumWidth(kLeftPagesWidth);
    addTab(createRecipientPage(), QString());
    addTab(createSenderPage(), QString());
    addTab(createCopiesPage(), QString());
    connectEdits();
    followPageChoice(this, m_form.pnlTopleft, m_runner);
}

void HeaderPages::orderTabs() {
    chainTabOrder({m_selEmailProfil, m_edtto, m_edtSubject, m_edtReply,
                   findChild<QWidget*>(QStringLiteral("SpeedButton1")), m_cboPriority, m_chkReturnReciept,
                   m_html});
    chainTabOrder({m_edtreal, m_edtfrom});
    chainTabOrder({m_edtCC, m_edtBCC, m_edtAbmeldeadresse, m_chkAbmeldezeile});
}

QWidget* HeaderPages::createRecipientPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("Empfaenger"));
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(3, 2, 3, 2);
    grid->setHorizontalSpacing(3);
    grid->setVerticalSpacing(1);

    m_sAbsender = plainLabel(QString(), page);
    m_sAbsender->setObjectName(QStringLiteral("sAbsender"));
    QFont bold = m_sAbsender->font();
    bold.setBold(true);
    m_sAbsender->setFont(bold);
    grid->addWidget(m_sAbsender, 0, 0, 1, 2);

    m_selEmailProfil = new QComboBox(page);
    m_selEmailProfil->setObjectName(QStringLiteral("selEmailProfil"));
    m_lblProfil = plainLabel(QString(), page);
    m_lblProfil->setObjectName(QStringLiteral("lblProfil"));
    grid->addWidget(m_lblProfil, 1, 0);
    grid->addWidget(m_selEmailProfil, 1, 1);

    m_edtto = new QComboBox(page);
    m_edtto->setObjectName(QStringLiteral("edtto"));
    m_edtto->setEditable(true);
    m_edtto->setInsertPolicy(QComboBox::NoInsert);
    auto* lblTo = buddyLabel("Empfänger", m_edtto, page);
    lblTo->setObjectName(QStringLiteral("lblTo"));
    grid->addWidget(lblTo, 2, 0);
    grid->addWidget(m_edtto, 2, 1);

    m_edtSubject = lineEdit("edtSubject", page);
    grid->addWidget(buddyLabel("&Betreff", m_edtSubject, page), 3, 0);
    grid->addWidget(m_edtSubject, 3, 1);

    m_edtReply = lineEdit("edtReply", page);
    QToolButton* storeReply = speedButton("SpeedButton1", "", page);
    storeReply->setToolTip(QString());
    storeReply->setIcon(imageIcon(Image::Save));
    storeReply->setFixedSize(kCompactRowHeight, kCompactRowHeight);
    m_runner.connectRun(this, storeReply, &QToolButton::clicked, &TfrmMessageEditor::SpeedButton1Click);
    auto* replyRow = new QHBoxLayout;
    replyRow->setSpacing(2);
    replyRow->addWidget(m_edtReply);
    replyRow->addWidget(storeReply);
    grid->addWidget(buddyLabel("Antwort an", m_edtReply, page), 4, 0);
    grid->addLayout(replyRow, 4, 1);

    m_cboPriority = new QComboBox(page);
    m_cboPriority->setObjectName(QStringLiteral("cboPriority"));
    grid->addWidget(buddyLabel("&Priorität", m_cboPriority, page), 5, 0);
    grid->addWidget(m_cboPriority, 5, 1, Qt::AlignLeft);

    // Both boxes in a row of their own: their texts do not fit beside the
    // priority in this width.
    m_chkReturnReciept = leftTextCheckBox("chkReturnReciept", page);
    m_html = leftTextCheckBox("html", page);
    auto* boxRow = new QHBoxLayout;
    boxRow->setSpacing(12);
    boxRow->addWidget(m_chkReturnReciept);
    boxRow->addWidget(m_html);
    boxRow->addStretch();
    grid->addLayout(boxRow, 6, 1);
    grid->setRowStretch(7, 1);

    // Seven rows in the page's height.
    for (QWidget* field : std::initializer_list<QWidget*>{m_selEmailProfil, m_edtto, m_edtSubject, m_edtReply,
                                                          m_cboPriority, m_chkReturnReciept, m_html})
        field->setFixedHeight(kCompactRowHeight);

    return page;
}

QWidget* HeaderPages::createSenderPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("Absender"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);
    m_edtreal = lineEdit("edtreal", page);
    m_edtfrom = lineEdit("edtfrom", page);
    layout->addWidget(buddyLabel("Anzeigename", m_edtreal, page));
    layout->addWidget(m_edtreal);
    layout->addSpacing(6);
    layout->addWidget(buddyLabel("&Email-Adresse:", m_edtfrom, page));
    layout->addWidget(m_edtfrom);
    layout->addStretch();
    return page;
}

QWidget* HeaderPages::createCopiesPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("Kopien"));
    auto* layout = new QGridLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setVerticalSpacing(4);
    m_edtCC = lineEdit("edtCC", page);
    m_edtBCC = lineEdit("edtBCC", page);
    layout->addWidget(buddyLabel("&CC:", m_edtCC, page), 0, 0);
    layout->addWidget(m_edtCC, 0, 1);
    layout->addWidget(buddyLabel("BCC:", m_edtBCC, page), 1, 0);
    layout->addWidget(m_edtBCC, 1, 1);
    m_edtAbmeldeadresse = lineEdit("edtAbmeldeadresse", page);
    m_edtAbmeldeadresse->setPlaceholderText(QStringLiteral("abmelden@example.org (optional)"));
    layout->addWidget(buddyLabel("&Abmeldeadresse:", m_edtAbmeldeadresse, page), 2, 0);
    layout->addWidget(m_edtAbmeldeadresse, 2, 1);
    m_chkAbmeldezeile = leftTextCheckBox("chkAbmeldezeile", page);
    layout->addWidget(m_chkAbmeldezeile, 3, 1);
    layout->setRowStretch(4, 1);
    return page;
}

void HeaderPages::connectEdits() {
    auto textInto = [this](QLineEdit* edit, app::TEdit& model) {
        connect(edit, &QLineEdit::textEdited, this,
                [&model](const QString& text) { model.Text = fromQt(text); });
    };
    textInto(m_edtSubject, m_form.edtSubject);
    textInto(m_edtReply, m_form.edtReply);
    textInto(m_edtreal, m_form.edtreal);
    textInto(m_edtfrom, m_form.edtfrom);
    textInto(m_edtCC, m_form.edtCC);
    textInto(m_edtBCC, m_form.edtBCC);
    textInto(m_edtAbmeldeadresse, m_form.edtAbmeldeadresse);
    connect(m_chkAbmeldezeile, &QCheckBox::clicked, this,
            [this](bool checked) { m_form.chkAbmeldezeile.Checked = checked; });
    for (QLineEdit* edit : {m_edtfrom, m_edtreal, m_edtReply})
        edit->installEventFilter(this);

    connect(m_edtto->lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
        m_form.edtto.Text = fromQt(text);
        m_form.edtto.ItemIndex = m_edtto->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    });
    connect(m_edtto, &QComboBox::activated, this, [this](int index) {
        m_form.edtto.ItemIndex = index;
        m_form.edtto.Text = fromQt(m_edtto->itemText(index));
    });

    connect(m_cboPriority, &QComboBox::activated, this, [this](int index) {
        m_form.cboPriority.ItemIndex = index;
        m_form.cboPriority.Text = fromQt(m_cboPriority->itemText(index));
    });
    connect(m_chkReturnReciept, &QCheckBox::clicked, this,
            [this](bool checked) { m_form.chkReturnReciept.Checked = checked; });
    // The body shows as the composer or as text from now on.
    connect(m_html, &QCheckBox::clicked, this, [this](bool checked) {
        m_form.html.Checked = checked;
        m_runner.run([this] { m_form.htmlClick(); });
    });

    // A picked profile: the toolkit reports the click before the change.
    connect(m_selEmailProfil, &QComboBox::activated, this, [this](int index) {
        m_form.selEmailProfil.ItemIndex = index;
        m_form.selEmailProfil.Text = fromQt(m_selEmailProfil->itemText(index));
        m_runner.run([this] {
            m_form.selEmailProfilClick();
            m_form.selEmailProfilChange();
        });
    });
}

void HeaderPages::refresh() {
    showLabel(m_sAbsender, m_form.sAbsender);
    showLabel(m_lblProfil, m_form.lblProfil);
    showCombo(m_selEmailProfil, m_form.selEmailProfil);
    showCombo(m_edtto, m_form.edtto);
    showEdit(m_edtSubject, m_form.edtSubject);
    showEdit(m_edtReply, m_form.edtReply);
    showCombo(m_cboPriority, m_form.cboPriority);
    showCheck(m_chkReturnReciept, m_form.chkReturnReciept);
    showCheck(m_html, m_form.html);
    showEdit(m_edtreal, m_form.edtreal);
    showEdit(m_edtfrom, m_form.edtfrom);
    showEdit(m_edtCC, m_form.edtCC);
    showEdit(m_edtBCC, m_form.edtBCC);
    showEdit(m_edtAbmeldeadresse, m_form.edtAbmeldeadresse);
    showCheck(m_chkAbmeldezeile, m_form.chkAbmeldezeile);
    showPages(this, m_form.pnlTopleft);
}

QWidget* HeaderPages::widgetOf(app::ControlId control) const {
    using app::ControlId;
    switch (control) {
        case ControlId::edtto: return m_edtto;
        case ControlId::edtSubject: return m_edtSubject;
        case ControlId::edtfrom: return m_edtfrom;
        case ControlId::edtreal: return m_edtreal;
        case ControlId::edtCC: return m_edtCC;
        case ControlId::edtBCC: return m_edtBCC;
        case ControlId::edtReply: return m_edtReply;
        case ControlId::pnlTopleft: return const_cast<HeaderPages*>(this);
        default: return nullptr;
    }
}

bool HeaderPages::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut &&
        (watched == m_edtfrom || watched == m_edtreal || watched == m_edtReply)) {
        // Leaving the field for another control, not the window losing focus.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            m_runner.run(&TfrmMessageEditor::edtfromExit);
    }
    return QTabWidget::eventFilter(watched, event);
}

}  // namespace sendrix::ui

#include "ui/salutation_group.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QToolButton>

#include "merge/salutation.h"
#include "ui/control_widgets.h"
#include "ui/icons.h"
#include "ui/qt_text.h"

namespace sendrix::ui {

namespace {

using app::TfrmMessageEditor;

constexpr int kSalutationHeight = 60;
constexpr int kAnredeWidth = 189;

}  // namespace

SalutationGroup::SalutationGroup(FormRunner& runner, QMenu* placeholderMenu, QWidget* parent)
    : QGroupBox(QStringLiteral("Anrede (Verteilerliste)"), parent), m_runner(runner), m_form(runner.form()) {
    setObjectName(QStringLiteral("GroupBox1"));
    setFixedHeight(kSalutationHeight);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 2, 6, 2);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(0);

    m_useAnrede = new QCheckBox(this);
    m_useAnrede->setObjectName(QStringLiteral("useAnrede"));
    m_Anrede = new QComboBox(this);
    m_Anrede->setObjectName(QStringLiteral("Anrede"));
    m_Anrede->setEditable(true);
    m_Anrede->setInsertPolicy(QComboBox::NoInsert);
    m_Anrede->setFixedWidth(kAnredeWidth);
    m_Vorschau = plainLabel(QString(), this);
    m_Vorschau->setObjectName(QStringLiteral("Vorschau"));

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(1);
    QToolButton* bodyOpen = speedButton("btnBodyopen", "Textdatei öffnen", this);
    bodyOpen->setIcon(imageIcon(Image::Open));
    QToolButton* bodySave = speedButton("btnbodysave", "Mailbody speichern", this);
    bodySave->setIcon(imageIcon(Image::Save));
    QToolButton* b2 = boldSpeedButton("SpeedButton2", "P", "HTML vorbereiten", this);
    QToolButton* b3 = boldSpeedButton("SpeedButton3", "F", "HTML \"Fett\" einfügen", this);
    QToolButton* b4 = boldSpeedButton("SpeedButton4", "<p>", "HTML Absatz einfügen", this);
    QToolButton* b5 = boldSpeedButton("SpeedButton5", "<br>", "HTML Zeilenumbruch einfügen", this);
    QToolButton* b6 = speedButton("SpeedButton6", "Test-Email versenden", this);
    b6->setIcon(imageIcon(Image::TestMail));
    // Room for the wider captions inside the fixed button size.
    for (QToolButton* button : {b4, b5}) {
        QFont font = button->font();
        font.setPointSize(7);
        button->setFont(font);
    }
    m_runner.connectRun(this, bodyOpen, &QToolButton::clicked, &TfrmMessageEditor::Nachrichtffnen1Click);
    m_runner.connectRun(this, bodySave, &QToolButton::clicked, &TfrmMessageEditor::Speichern1Click);
    m_runner.connectRun(this, b2, &QToolButton::clicked, &TfrmMessageEditor::SpeedButton2Click);
    m_runner.connectRun(this, b3, &QToolButton::clicked, &TfrmMessageEditor::SpeedButton3Click);
    m_runner.connectRun(this, b4, &QToolButton::clicked, &TfrmMessageEditor::SpeedButton4Click);
    m_runner.connectRun(this, b5, &QToolButton::clicked, &TfrmMessageEditor::SpeedButton5Click);
    m_runner.connectRun(this, b6, &QToolButton::clicked, &TfrmMessageEditor::SpeedButton6Click);
    for (QToolButton* button : {bodyOpen, bodySave, b2, b3, b4, b5, b6})
        buttons->addWidget(button);
    auto* placeholders = new QToolButton(this);
    placeholders->setObjectName(QStringLiteral("Platzhalter"));
    placeholders->setText(QStringLiteral("{{…}}"));
    placeholders->setToolTip(QStringLiteral("Platzhalter einfügen (Spalte der Empfängerliste)"));
    placeholders->setAutoRaise(true);
    placeholders->setFixedHeight(kSpeedButtonHeight);
    placeholders->setPopupMode(QToolButton::InstantPopup);
    placeholders->setMenu(placeholderMenu);
    buttons->addSpacing(4);
    buttons->addWidget(placeholders);

    grid->addWidget(m_useAnrede, 0, 0);
    grid->addWidget(m_Anrede, 0, 1);
    grid->addLayout(buttons, 0, 2);
    grid->addWidget(m_Vorschau, 1, 1, 1, 2);
    grid->setColumnStretch(3, 1);
    connectEdits();
}

void SalutationGroup::connectEdits() {
    connect(m_useAnrede, &QCheckBox::clicked, this, [this](bool checked) {
        m_form.useAnrede.Checked = checked;
        m_runner.run(&TfrmMessageEditor::useAnredeClick);
    });
    connect(m_Anrede->lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
        m_form.Anrede.Text = fromQt(text);
        m_form.Anrede.ItemIndex =
            m_Anrede->findData(text, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
        m_runner.run(&TfrmMessageEditor::AnredeChange);
    });
    connect(m_Anrede, &QComboBox::activated, this, [this](int index) {
        m_form.Anrede.ItemIndex = index;
        m_form.Anrede.Text = fromQt(m_Anrede->itemData(index).toString());
        m_runner.run(&TfrmMessageEditor::AnredeChange);
    });
}

void SalutationGroup::showTemplates() {
    // The drop-down names each template as a newcomer reads it, its code in
    // the tooltip; the field holds the template itself, to be edited.
    const app::TComboBox& model = m_form.Anrede;
    const QSignalBlocker blocker(m_Anrede);
    QStringList codes;
    for (int i = 0; i < m_Anrede->count(); ++i)
        codes << m_Anrede->itemData(i).toString();
    if (codes != toQtList(model.Items)) {
        m_Anrede->clear();
        for (const std::string& code : model.Items) {
            m_Anrede->addItem(toQt(merge::salutationTemplateName(code)), toQt(code));
            m_Anrede->setItemData(m_Anrede->count() - 1, toQt(code), Qt::ToolTipRole);
        }
    }
    m_Anrede->setCurrentIndex(model.ItemIndex < m_Anrede->count() ? model.ItemIndex : -1);
    const QString text = toQt(model.Text);
    if (m_Anrede->currentText() != text)
        m_Anrede->setEditText(text);
    m_Anrede->setEnabled(model.Enabled);
    m_Anrede->setVisible(model.Visible);
}

void SalutationGroup::refresh() {
    showCheck(m_useAnrede, m_form.useAnrede);
    showTemplates();
    showLabel(m_Vorschau, m_form.Vorschau);
}

}  // namespace sendrix::ui

#include "ui/body_pages.h"

#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTextEdit>

#include "ui/control_widgets.h"
#include "ui/qt_text.h"
#include "ui/rich_text_composer.h"

namespace sendrix::ui {

BodyPages::BodyPages(FormRunner& runner, QWidget* parent)
    : QTabWidget(parent), m_runner(runner), m_form(runner.form()) {
    setObjectName(QStringLiteral("Control"));
    setTabPosition(QTabWidget::West);

    m_mailPage = new QStackedWidget(this);
    m_mailPage->setObjectName(QStringLiteral("mailPage"));
    m_Memo = new QPlainTextEdit(m_mailPage);
    m_Memo->setObjectName(QStringLiteral("Memo"));
    QFont bodyFont = m_Memo->font();
    bodyFont.setPointSize(10);
    m_Memo->setFont(bodyFont);
    m_Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_Memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);

    m_protokollmemo = new QPlainTextEdit(this);
    m_protokollmemo->setObjectName(QStringLiteral("protokollmemo"));
    m_protokollmemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The protocol records what happened; it is not for editing.
    m_protokollmemo->setReadOnly(true);

    m_composer = new RichTextComposer(runner, m_mailPage);
    m_mailPage->addWidget(m_Memo);
    m_mailPage->addWidget(m_composer);
    // The source and the composer show the same body: switching brings the
    // other up to what was written.
    connect(m_composer->sourceAction(), &QAction::toggled, this, [this] {
        refreshBody();
        shownEditor()->setFocus(Qt::OtherFocusReason);
    });

    addTab(m_mailPage, QString());
    addTab(m_protokollmemo, QString());

    connect(m_Memo, &QPlainTextEdit::textChanged, this, [this] {
        if (m_runner.refreshing())
            return;
        m_form.Memo.Lines = splitLines(m_Memo->toPlainText());
        m_shownMemo = m_form.Memo.Lines;
    });
    followPageChoice(this, m_form.Control, m_runner);
}

void BodyPages::refreshBody() {
    showLines(m_Memo, m_form.Memo, m_shownMemo);
    const bool composing = m_form.html.Checked && !m_composer->sourceAction()->isChecked();
    if (composing)
        m_composer->refresh();
    m_mailPage->setCurrentWidget(composing ? static_cast<QWidget*>(m_composer) : m_Memo);
    m_composer->formatMenu()->menuAction()->setVisible(m_form.html.Checked);
    for (QAction* action : m_composer->formatMenu()->actions())
        action->setEnabled(composing || action == m_composer->sourceAction());
}

void BodyPages::refreshProtocol() {
    showLog(m_protokollmemo, m_form.protokollmemo, m_shownProtocol);
    showPages(this, m_form.Control);
}

void BodyPages::insertAtCursor(const QString& text) {
    setCurrentWidget(m_mailPage);
    m_form.Control.ActivePageIndex = app::kPageMail;
    if (m_mailPage->currentWidget() == m_composer) {
        m_composer->insertAtCursor(text);
        return;
    }
    m_Memo->insertPlainText(text);
    m_Memo->setFocus(Qt::OtherFocusReason);
}

void BodyPages::repaintPage() {
    if (QWidget* page = currentWidget())
        page->repaint();
}

QWidget* BodyPages::widgetOf(app::ControlId control) const {
    using app::ControlId;
    switch (control) {
        case ControlId::protokollmemo: return m_protokollmemo;
        case ControlId::Control: return const_cast<BodyPages*>(this);
        case ControlId::Memo: return m_Memo;
        default: return nullptr;
    }
}

QWidget* BodyPages::mailPage() const {
    return m_mailPage;
}

QWidget* BodyPages::shownEditor() const {
    return m_mailPage->currentWidget() == m_composer ? static_cast<QWidget*>(m_composer->editor()) : m_Memo;
}

bool BodyPages::isBodyEditor(const QObject* object) const {
    return object == m_Memo || object == m_composer->editor();
}

void BodyPages::watchEditors(QObject* filter) const {
    m_Memo->installEventFilter(filter);
    m_composer->editor()->installEventFilter(filter);
}

}  // namespace sendrix::ui

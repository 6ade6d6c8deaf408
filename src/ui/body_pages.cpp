#include "ui/body_pages.h"

#include <QPlainTextEdit>

#include "ui/control_widgets.h"
#include "ui/qt_text.h"

namespace sendrix::ui {

BodyPages::BodyPages(FormRunner& runner, QWidget* parent)
    : QTabWidget(parent), m_runner(runner), m_form(runner.form()) {
    setObjectName(QStringLiteral("Control"));
    setTabPosition(QTabWidget::West);

    m_Memo = new QPlainTextEdit(this);
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

    addTab(m_Memo, QString());
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
}

void BodyPages::refreshProtocol() {
    showLog(m_protokollmemo, m_form.protokollmemo, m_shownProtocol);
    showPages(this, m_form.Control);
}

void BodyPages::insertAtCursor(const QString& text) {
    setCurrentWidget(m_Memo);
    m_form.Control.ActivePageIndex = app::kPageMail;
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

QWidget* BodyPages::bodyEditor() const {
    return m_Memo;
}

}  // namespace sendrix::ui

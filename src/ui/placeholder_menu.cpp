#include "ui/placeholder_menu.h"

#include <QComboBox>
#include <QEvent>
#include <QLineEdit>

#include "ui/body_pages.h"
#include "ui/qt_text.h"

namespace sendrix::ui {

PlaceholderMenu::PlaceholderMenu(FormRunner& runner, QWidget* parent)
    : QMenu(parent), m_runner(runner), m_form(runner.form()) {
    setObjectName(QStringLiteral("placeholderMenu"));
    connect(this, &QMenu::aboutToShow, this, [this] {
        clear();
        for (const std::string& item : m_form.PlaceholderMenuItems()) {
            const QString placeholder = toQt(item);
            QAction* action = addAction(placeholder);
            // No "&" accelerator in a column title.
            action->setText(QString(placeholder).replace(QLatin1Char('&'), QStringLiteral("&&")));
            connect(action, &QAction::triggered, this,
                    [this, placeholder] { insertPlaceholder(placeholder); });
        }
    });
}

void PlaceholderMenu::setTargets(QLineEdit* subject, QComboBox* salutation, BodyPages* body) {
    m_edtSubject = subject;
    m_Anrede = salutation;
    m_body = body;
    m_edtSubject->installEventFilter(this);
    m_body->watchEditors(this);
    // The combo box passes its focus on to its field: either may report it.
    m_Anrede->installEventFilter(this);
    m_Anrede->lineEdit()->installEventFilter(this);
    m_placeholderTarget = m_body;
}

bool PlaceholderMenu::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == m_edtSubject)
            m_placeholderTarget = m_edtSubject;
        else if (m_body->isBodyEditor(watched))
            m_placeholderTarget = m_body;
        else if (watched == m_Anrede || watched == m_Anrede->lineEdit())
            m_placeholderTarget = m_Anrede;
    }
    return QMenu::eventFilter(watched, event);
}

void PlaceholderMenu::insertPlaceholder(const QString& placeholder) {
    if (m_placeholderTarget == m_Anrede) {
        m_Anrede->lineEdit()->insert(placeholder);
        const QString text = m_Anrede->lineEdit()->text();
        m_Anrede->setFocus(Qt::OtherFocusReason);
        m_runner.run([this, text] {
            m_form.Anrede.Text = fromQt(text);
            m_form.Anrede.ItemIndex = m_Anrede->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
            m_form.AnredeChange();
        });
        return;
    }
    if (m_placeholderTarget == m_edtSubject && m_edtSubject->isEnabled()) {
        m_edtSubject->insert(placeholder);
        m_form.edtSubject.Text = fromQt(m_edtSubject->text());
        m_edtSubject->setFocus(Qt::OtherFocusReason);
        return;
    }
    // The body takes it otherwise: there it is used most.
    m_body->insertAtCursor(placeholder);
}

}  // namespace sendrix::ui

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
        QStringList columns;
        for (const std::string& item : m_form.PlaceholderMenuItems()) {
            const QString placeholder = toQt(item);
            addPick(this, placeholder, placeholder);
            columns << placeholder.mid(2, placeholder.size() - 4);
        }
        if (columns.isEmpty())
            return;
        // The forms that depend on the cell: a fallback for an empty one and
        // text shown only when it is filled, empty or equal to a value. The
        // words to replace stand in the text inserted.
        struct Form {
            const char* menu;
            const char* shown;     // %1 the column
            const char* inserted;  // %1 the column
        };
        static const Form forms[] = {
            {"Ersatz, wenn leer", "{{%1|…}}", "{{%1|Ersatz}}"},
            {"Text nur, wenn gefüllt", "{{#%1}}…{{/%1}}", "{{#%1}}Text{{/%1}}"},
            {"Text nur, wenn leer", "{{^%1}}…{{/%1}}", "{{^%1}}Text{{/%1}}"},
            {"Text nur, wenn gleich", "{{#%1=Wert}}…{{/%1}}", "{{#%1=Wert}}Text{{/%1}}"},
        };
        addSeparator();
        for (const Form& form : forms) {
            QMenu* sub = addMenu(QString::fromUtf8(form.menu));
            for (const QString& column : columns)
                addPick(sub, QString::fromUtf8(form.shown).arg(column),
                        QString::fromUtf8(form.inserted).arg(column));
        }
    });
}

void PlaceholderMenu::addPick(QMenu* menu, const QString& shown, const QString& inserted) {
    // No "&" accelerator in a column title.
    QAction* action = menu->addAction(QString(shown).replace(QLatin1Char('&'), QStringLiteral("&&")));
    connect(action, &QAction::triggered, this, [this, inserted] { insertPlaceholder(inserted); });
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
            m_form.Anrede.ItemIndex =
                m_Anrede->findData(text, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
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

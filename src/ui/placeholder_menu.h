#pragma once
// The placeholder menu ("Nachricht > Platzhalter einfügen" and the "{{…}}"
// button): the list's columns, filled anew each time it opens, and under
// them the fallback and section forms of each column; a pick goes
// in at the cursor of the subject, the body or the salutation template,
// whichever had the focus last (the body at first).
#include <QMenu>

#include "ui/form_runner.h"

class QComboBox;
class QLineEdit;

namespace sendrix::ui {

class BodyPages;

class PlaceholderMenu : public QMenu {
    Q_OBJECT
public:
    PlaceholderMenu(FormRunner& runner, QWidget* parent);

    // The fields a placeholder may go into; called once they exist.
    void setTargets(QLineEdit* subject, QComboBox* salutation, BodyPages* body);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // An entry of `menu` showing `shown` that inserts `inserted`.
    void addPick(QMenu* menu, const QString& shown, const QString& inserted);
    void insertPlaceholder(const QString& placeholder);

    FormRunner& m_runner;
    app::TfrmMessageEditor& m_form;
    QLineEdit* m_edtSubject = nullptr;
    QComboBox* m_Anrede = nullptr;
    BodyPages* m_body = nullptr;
    // The subject, the body or the salutation's field: where a placeholder
    // goes in.
    QWidget* m_placeholderTarget = nullptr;
};

}  // namespace sendrix::ui

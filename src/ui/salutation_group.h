#pragma once
// The group "Anrede (Verteilerliste)" between the upper pages and the body:
// the salutation switch, its template and preview, and the body's buttons
// (open, save, the HTML buttons, test mail, placeholders).
#include <QGroupBox>

#include "ui/form_runner.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;

namespace sendrix::ui {

class SalutationGroup : public QGroupBox {
    Q_OBJECT
public:
    // `placeholderMenu` drops down from the group's "{{…}}" button.
    SalutationGroup(FormRunner& runner, QMenu* placeholderMenu, QWidget* parent);

    void refresh();
    // The salutation template's field.
    QComboBox* templateField() const { return m_Anrede; }
    // The salutation's preview line.
    QLabel* preview() const { return m_Vorschau; }

private:
    void connectEdits();
    void showTemplates();

    FormRunner& m_runner;
    app::TfrmMessageEditor& m_form;
    QCheckBox* m_useAnrede = nullptr;
    QComboBox* m_Anrede = nullptr;
    QLabel* m_Vorschau = nullptr;
};

}  // namespace sendrix::ui

#pragma once
// The "Anhang" page of the main window: the list of attached files and the
// buttons that attach, remove and open one.
#include <QWidget>

#include "ui/form_runner.h"

class QTreeWidget;

namespace sendrix::ui {

class AttachmentPage : public QWidget {
    Q_OBJECT
public:
    explicit AttachmentPage(FormRunner& runner);

    void refresh();
    // Tab goes from the list through the buttons. Called once the whole
    // window is built.
    void orderTabs();
    QTreeWidget* fileList() const { return m_lvFiles; }

private:
    FormRunner& m_runner;
    app::TfrmMessageEditor& m_form;
    QTreeWidget* m_lvFiles = nullptr;
};

}  // namespace sendrix::ui

#include "ui/send_controls.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>

#include "ui/control_widgets.h"
#include "ui/qt_text.h"

namespace sendrix::ui {

namespace {

constexpr int kProgressHeight = 16;
constexpr int kStatusBarHeight = 19;
constexpr int kStatusPanel0Width = 120;

}  // namespace

SendControls::SendControls(QMainWindow& window, FormRunner& runner)
    : QObject(&window), m_window(window), m_form(runner.form()) {
    m_Progress = new QProgressBar(&window);
    m_Progress->setObjectName(QStringLiteral("Progress"));
    m_Progress->setFixedHeight(kProgressHeight);
    m_Progress->setTextVisible(false);
    m_Progress->setAlignment(Qt::AlignCenter);

    m_progressRow = new QWidget(&window);
    m_progressRow->setObjectName(QStringLiteral("progressRow"));
    auto* row = new QHBoxLayout(m_progressRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    row->addWidget(m_Progress, 1);
    m_abbrechen = new QPushButton(QStringLiteral("Abbrechen"), m_progressRow);
    m_abbrechen->setObjectName(QStringLiteral("btnAbbrechen"));
    m_abbrechen->setFixedHeight(kProgressHeight + 6);
    m_abbrechen->setToolTip(QStringLiteral("Den Versand nach der laufenden Mail beenden (Esc)"));
    m_abbrechen->hide();
    row->addWidget(m_abbrechen);
    connect(m_abbrechen, &QPushButton::clicked, this, &SendControls::stop);
    m_escape = new QShortcut(QKeySequence(Qt::Key_Escape), &window);
    m_escape->setEnabled(false);
    connect(m_escape, &QShortcut::activated, this, &SendControls::stop);

    QStatusBar* bar = window.statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setFixedHeight(kStatusBarHeight);
    bar->setSizeGripEnabled(true);
    m_statusPanel0 = plainLabel(QString(), bar);
    m_statusPanel0->setObjectName(QStringLiteral("StatusBar1Panel0"));
    m_statusPanel0->setFixedWidth(kStatusPanel0Width);
    m_statusPanel1 = plainLabel(QString(), bar);
    m_statusPanel1->setObjectName(QStringLiteral("StatusBar1Panel1"));
    m_statusPanel1->setMinimumWidth(50);
    bar->addWidget(m_statusPanel0);
    bar->addWidget(m_statusPanel1, 1);
}

void SendControls::setSending(bool sending) {
    m_sending = sending;
    if (sending) {
        m_focusBeforeSend = QApplication::focusWidget();
        m_actionsBeforeSend.clear();
        for (QAction* action : m_window.findChildren<QAction*>())
            if (action->isEnabled()) {
                m_actionsBeforeSend.push_back(action);
                action->setEnabled(false);
            }
    } else {
        for (QAction* action : m_actionsBeforeSend)
            action->setEnabled(true);
        m_actionsBeforeSend.clear();
    }
    for (QWidget* area : m_inputAreas)
        if (area)
            area->setEnabled(!sending);
    m_escape->setEnabled(sending);
    refreshProgress();
    if (sending)
        m_abbrechen->setFocus(Qt::OtherFocusReason);
    else if (m_focusBeforeSend)
        m_focusBeforeSend->setFocus(Qt::OtherFocusReason);
}

void SendControls::refreshProgress() {
    const app::TProgressBar& model = m_form.Progress;
    m_Progress->setRange(model.Min, model.Max);
    m_Progress->setValue(model.Position);
    m_Progress->setVisible(model.Visible);
    // "12 von 300": no "%" in it, so the bar shows it as it stands.
    m_Progress->setTextVisible(!model.Caption.empty());
    m_Progress->setFormat(toQt(model.Caption));
    m_abbrechen->setVisible(m_sending);
    m_abbrechen->setEnabled(m_sending && !m_form.StopRequested);
    m_progressRow->setVisible(model.Visible || m_sending);
}

void SendControls::refreshStatusBar() {
    const auto& panels = m_form.StatusBar1.Panels;
    m_statusPanel0->setText(panels.size() > 0 ? toQt(panels[0]) : QString());
    m_statusPanel1->setText(panels.size() > 1 ? toQt(panels[1]) : QString());
}

QWidget* SendControls::progressBar() const {
    return m_Progress;
}

void SendControls::stop() {
    m_form.AbbrechenClick();
    refreshStatusBar();
    refreshProgress();
}

}  // namespace sendrix::ui

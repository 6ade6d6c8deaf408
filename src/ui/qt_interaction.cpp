#include "ui/qt_interaction.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/process.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"

namespace sendrix::ui {

namespace {

// A message box that shows its text as it stands: a server's reply or a
// file name never turns into markup.
int showBox(QWidget* parent, QMessageBox::Icon icon, const std::string& text,
            QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, QString::fromUtf8(kApplicationTitle), toQt(text), buttons, parent);
    box.setObjectName(QStringLiteral("messageBox"));
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    return box.exec();
}

}  // namespace

QString qtNameFilters(const std::string& filter) {
    const QStringList parts = toQt(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // "*.*" means every file, also those without an extension.
        patterns.replace(QStringLiteral("*.*"), QStringLiteral("*"));
        filters << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

QWidget* QtInteraction::parentWidget() const {
    return m_window;
}

bool QtInteraction::Confirm(const std::string& text) {
    return showBox(parentWidget(), QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No,
                   QMessageBox::Yes) == QMessageBox::Yes;
}

bool QtInteraction::ConfirmDefaultNo(const std::string& text) {
    return showBox(parentWidget(), QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No,
                   QMessageBox::No) == QMessageBox::Yes;
}

app::Interaction::Answer QtInteraction::YesNoCancel(const std::string& text) {
    switch (showBox(parentWidget(), QMessageBox::Question, text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes)) {
        case QMessageBox::Yes: return Answer::Yes;
        case QMessageBox::No: return Answer::No;
        default: return Answer::Cancel;
    }
}

int QtInteraction::Choose(const std::string& text, const std::vector<std::string>& choices) {
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kApplicationTitle), toQt(text),
                    QMessageBox::NoButton, parentWidget());
    box.setObjectName(QStringLiteral("messageBox"));
    box.setTextFormat(Qt::PlainText);
    std::vector<QAbstractButton*> buttons;
    for (const std::string& choice : choices)
        buttons.push_back(box.addButton(toQt(choice), QMessageBox::AcceptRole));
    box.setEscapeButton(box.addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole));
    if (!buttons.empty())
        box.setDefaultButton(static_cast<QPushButton*>(buttons.front()));
    box.exec();
    const auto chosen = std::find(buttons.begin(), buttons.end(), box.clickedButton());
    return chosen == buttons.end() ? -1 : static_cast<int>(chosen - buttons.begin());
}

void QtInteraction::Notice(const std::string& text) {
    showBox(parentWidget(), QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok);
}

void QtInteraction::Warning(const std::string& text) {
    showBox(parentWidget(), QMessageBox::Warning, text, QMessageBox::Ok, QMessageBox::Ok);
}

void QtInteraction::ErrorBox(const std::string& text) {
    showBox(parentWidget(), QMessageBox::Critical, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtInteraction::InputBox(const std::string& caption, const std::string& prompt, std::string& value) {
    QDialog dialog(parentWidget());
    dialog.setObjectName(QStringLiteral("inputBox"));
    dialog.setWindowTitle(toQt(caption));
    auto* label = new QLabel(toQt(prompt), &dialog);
    label->setTextFormat(Qt::PlainText);
    auto* edit = new QLineEdit(toQt(value), &dialog);
    edit->setObjectName(QStringLiteral("inputEdit"));
    label->setBuddy(edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(buttons);
    dialog.setMinimumWidth(320);
    edit->selectAll();
    if (dialog.exec() != QDialog::Accepted)
        return false;
    value = fromQt(edit->text());
    return true;
}

bool QtInteraction::fileDialog(app::TFileDialog& model, bool save) {
    QFileDialog dialog(parentWidget(), toQt(model.Title), toQt(model.InitialDir));
    dialog.setObjectName(save ? QStringLiteral("saveDialog") : QStringLiteral("openDialog"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // Qt's own dialog: the same on every desktop, and it speaks German
    // through the loaded translation.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    const QStringList filters = qtNameFilters(model.Filter).split(QStringLiteral(";;"));
    dialog.setNameFilters(filters);
    if (model.FilterIndex >= 1 && model.FilterIndex <= filters.size())
        dialog.selectNameFilter(filters[model.FilterIndex - 1]);
    QString suffix = toQt(model.DefaultExt);
    if (suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    if (!model.FileName.empty())
        dialog.selectFile(toQt(model.FileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    model.FileName = fromQt(dialog.selectedFiles().constFirst());
    model.FilterIndex = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
    if (model.FilterIndex < 1)
        model.FilterIndex = 1;
    return true;
}

bool QtInteraction::OpenFile(app::TFileDialog& dialog) {
    return fileDialog(dialog, false);
}

bool QtInteraction::SaveFile(app::TFileDialog& dialog) {
    return fileDialog(dialog, true);
}

void QtInteraction::SetClipboardText(const std::string& text) {
    QGuiApplication::clipboard()->setText(toQt(text));
}

void QtInteraction::Repaint(app::ControlId control) {
    if (m_window)
        m_window->repaintControl(control);
}

void QtInteraction::Focus(app::ControlId control) {
    if (m_window)
        m_window->focusControl(control);
}

void QtInteraction::CloseWindow() {
    if (m_window)
        m_window->close();
}

void QtInteraction::ShellOpen(const std::string& file, const std::string& parameters) {
    platform::shellOpen(file, parameters);
}

bool QtInteraction::StartProcess(const std::string& program, const std::vector<std::string>& args) {
    QStringList arguments;
    for (const std::string& arg : args)
        arguments << toQt(arg);
    return QProcess::startDetached(toQt(program), arguments);
}

void QtInteraction::EndProcess(int status) {
    // At once: no close handler, no saving, no destructors of the window.
    std::fflush(nullptr);
    std::_Exit(status);
}

}  // namespace sendrix::ui

#include "ui/control_widgets.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QToolButton>

#include "ui/qt_text.h"

namespace sendrix::ui {

QLabel* plainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel* buddyLabel(const char* text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setTextFormat(Qt::PlainText);
    label->setBuddy(buddy);
    return label;
}

QLineEdit* lineEdit(const char* name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

QToolButton* speedButton(const char* name, const char* hint, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoRaise(true);
    button->setFixedSize(kSpeedButtonWidth, kSpeedButtonHeight);
    button->setToolTip(QString::fromUtf8(hint));
    return button;
}

QToolButton* boldSpeedButton(const char* name, const char* caption, const char* hint, QWidget* parent) {
    QToolButton* button = speedButton(name, hint, parent);
    button->setText(QString::fromUtf8(caption));
    QFont font = button->font();
    font.setBold(true);
    button->setFont(font);
    return button;
}

QPushButton* pushButton(const char* name, const char* caption, QWidget* parent) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setFixedSize(120, 25);
    return button;
}

QCheckBox* leftTextCheckBox(const char* name, QWidget* parent) {
    auto* box = new QCheckBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setLayoutDirection(Qt::RightToLeft);
    return box;
}

void chainTabOrder(std::initializer_list<QWidget*> widgets) {
    QWidget* previous = nullptr;
    for (QWidget* widget : widgets) {
        if (previous)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

QStringList toQtList(const std::vector<std::string>& items) {
    QStringList list;
    list.reserve(static_cast<qsizetype>(items.size()));
    for (const std::string& item : items)
        list << toQt(item);
    return list;
}

void showEdit(QLineEdit* widget, const app::TEdit& model) {
    const QSignalBlocker blocker(widget);
    const QString text = toQt(model.Text);
    if (widget->text() != text)
        widget->setText(text);
    widget->setEnabled(model.Enabled);
    widget->setVisible(model.Visible);
}

void showCombo(QComboBox* widget, const app::TComboBox& model) {
    const QSignalBlocker blocker(widget);
    const QStringList items = toQtList(model.Items);
    QStringList shown;
    for (int i = 0; i < widget->count(); ++i)
        shown << widget->itemText(i);
    if (shown != items) {
        widget->clear();
        widget->addItems(items);
    }
    widget->setCurrentIndex(model.ItemIndex < widget->count() ? model.ItemIndex : -1);
    if (widget->isEditable()) {
        const QString text = toQt(model.Text);
        if (widget->currentText() != text)
            widget->setEditText(text);
    }
    widget->setEnabled(model.Enabled);
    widget->setVisible(model.Visible);
}

void showCheck(QCheckBox* widget, const app::TCheckBox& model) {
    const QSignalBlocker blocker(widget);
    widget->setText(toQt(model.Caption));
    widget->setChecked(model.Checked);
    widget->setEnabled(model.Enabled);
    widget->setVisible(model.Visible);
}

void showLabel(QLabel* widget, const app::TLabel& model) {
    const QString text = toQt(model.Caption);
    if (widget->text() != text)
        widget->setText(text);
    widget->setVisible(model.Visible);
}

void showPages(QTabWidget* widget, const app::TPageControl& model) {
    const QSignalBlocker blocker(widget);
    for (int i = 0; i < widget->count() && i < static_cast<int>(model.Pages.size()); ++i) {
        widget->setTabText(i, toQt(model.Pages[i].Caption));
        widget->setTabVisible(i, model.Pages[i].Visible);
    }
    if (model.ActivePageIndex >= 0 && model.ActivePageIndex < widget->count())
        widget->setCurrentIndex(model.ActivePageIndex);
}

void showAction(QAction* action, const app::TMenuItem& model, bool locked) {
    const QSignalBlocker blocker(action);
    action->setText(toQt(model.Caption));
    action->setEnabled(model.Enabled && !locked);
    action->setChecked(model.Checked);
}

void showLines(QPlainTextEdit* widget, const app::TMemo& model, std::vector<std::string>& shown) {
    if (model.Lines == shown)
        return;
    const QSignalBlocker blocker(widget);
    widget->setPlainText(joinLines(model.Lines));
    shown = model.Lines;
}

void showLog(QPlainTextEdit* widget, const app::TLogMemo& model, app::LogMemoFollower& shown) {
    const app::LogMemoFollower::News news = shown.next(model);
    if (!news.restart && news.first == model.Lines.size())
        return;
    const QSignalBlocker blocker(widget);
    if (news.restart || news.first == 0) {
        widget->setPlainText(joinLines(model.Lines));
        return;
    }
    for (std::size_t i = news.first; i < model.Lines.size(); ++i)
        widget->appendPlainText(toQt(model.Lines[i]));
}

void followPageChoice(QTabWidget* pages, app::TPageControl& model, const FormRunner& runner) {
    QObject::connect(pages, &QTabWidget::currentChanged, pages, [&model, &runner](int index) {
        if (!runner.refreshing())
            model.ActivePageIndex = index;
    });
}

}  // namespace sendrix::ui

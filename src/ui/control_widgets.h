#pragma once
// The main window's small widget makers and the copying of one control's
// model into its widget (signals blocked, so the copy reports no edit).
// Every part of the window uses these.
#include <QString>
#include <QStringList>
#include <initializer_list>
#include <string>
#include <vector>

#include "app/controls.h"
#include "ui/form_runner.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QToolButton;
class QWidget;

namespace sendrix::ui {

inline constexpr int kSpeedButtonWidth = 23;
inline constexpr int kSpeedButtonHeight = 22;
inline constexpr int kCompactRowHeight = 20;

QLabel* plainLabel(const QString& text, QWidget* parent);
// A label whose "&" letter moves the focus to `buddy`.
QLabel* buddyLabel(const char* text, QWidget* buddy, QWidget* parent);
QLineEdit* lineEdit(const char* name, QWidget* parent);
QToolButton* speedButton(const char* name, const char* hint, QWidget* parent);
QToolButton* boldSpeedButton(const char* name, const char* caption, const char* hint, QWidget* parent);
QPushButton* pushButton(const char* name, const char* caption, QWidget* parent);
// A check box with its text on the left of the box.
QCheckBox* leftTextCheckBox(const char* name, QWidget* parent);
// Tab goes through `widgets` in this order.
void chainTabOrder(std::initializer_list<QWidget*> widgets);

QStringList toQtList(const std::vector<std::string>& items);

void showEdit(QLineEdit* widget, const app::TEdit& model);
void showCombo(QComboBox* widget, const app::TComboBox& model);
void showCheck(QCheckBox* widget, const app::TCheckBox& model);
void showLabel(QLabel* widget, const app::TLabel& model);
void showPages(QTabWidget* widget, const app::TPageControl& model);
// `locked`: a send runs, and the action takes no input whatever the model says.
void showAction(QAction* action, const app::TMenuItem& model, bool locked);
// Brings a text field up to the model's lines when they differ.
void showLines(QPlainTextEdit* widget, const app::TMemo& model, std::vector<std::string>& shown);
// Brings the protocol field up to the model: only the lines added since the
// last repaint are appended, so a send run that repaints once per row stays
// linear in the number of rows.
void showLog(QPlainTextEdit* widget, const app::TLogMemo& model, app::LogMemoFollower& shown);

// A page picked in `pages` becomes the model's active page (not while the
// window copies the model into the widgets).
void followPageChoice(QTabWidget* pages, app::TPageControl& model, const FormRunner& runner);

}  // namespace sendrix::ui

#include "ui/handbook_window.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "app/handbook.h"
#include "platform/error.h"
#include "platform/system_info.h"
#include "ui/qt_text.h"

namespace sendrix::ui {

HandbookWindow::HandbookWindow(const QString& path, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("HandbookWindow"));
    setWindowTitle(QStringLiteral("Sendrix – Handbuch"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* text = new QTextBrowser(this);
    text->setObjectName(QStringLiteral("Handbook"));
    // Links to the web go to the browser; anchors stay in the window.
    text->setOpenExternalLinks(true);
    text->setSource(QUrl::fromLocalFile(path));
    auto* browser = new QPushButton(QStringLiteral("Im &Browser öffnen"), this);
    browser->setObjectName(QStringLiteral("btnOpenInBrowser"));
    connect(browser, &QPushButton::clicked, this,
            [path] { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); });
    auto* close = new QPushButton(QStringLiteral("&Schließen"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(browser);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addLayout(buttons);
    resize(760, 600);
}

void showHandbook(QWidget* parent) {
    static QPointer<HandbookWindow> open;
    if (open) {
        open->raise();
        open->activateWindow();
        return;
    }
    try {
        open = new HandbookWindow(toQt(app::handbookPath(platform::programFolder())), parent);
        open->show();
    } catch (const Error& error) {
        QMessageBox::critical(parent, QStringLiteral("Handbuch"), toQt(error.what()));
    }
}

}  // namespace sendrix::ui

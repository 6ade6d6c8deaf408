// "?" > "Handbuch" (F1): the handbook the build made from the README, shown
// in a window of its own.
#include <QTextBrowser>

#include <cstdlib>

#include "ui/handbook_window.h"
#include "window_fixture.h"

using namespace sendrix;

TEST(HandbookWindow, ShowsTheBuiltHandbookWithItsSections) {
    test::qtApplication();
    const QString path = QString::fromLocal8Bit(std::getenv("SENDRIX_BUILD_DIR")) + "/src/handbuch.html";
    ui::HandbookWindow window(path, nullptr);
    const QString text = window.findChild<QTextBrowser*>(QStringLiteral("Handbook"))->toPlainText();
    for (const char* heading : {"Handbuch", "Konto einrichten", "Empfängerliste laden",
                                "Anhalten und fortsetzen", "Unbeaufsichtigter Betrieb"}) {
        SCOPED_TRACE(heading);
        EXPECT_TRUE(text.contains(QString::fromUtf8(heading)));
    }
    // The README's Markdown is gone: headings and lists are rendered.
    EXPECT_FALSE(text.contains(QStringLiteral("### ")));
}

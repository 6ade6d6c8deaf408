// What the protocol costs the window during a list send: per row the run adds
// its lines ("... versendet (n)", "... versendet worden.", "") and repaints
// the protocol once, as merge::SendRun does.
//
//   bench_protocol_view [ROWS...]     default: 1000 2000 4000 8000
//
// For each row count, side by side in the same process and on the same
// kind of field:
// - the window: MainWindow::repaintControl(protokollmemo), which appends
//   only the lines added since the last repaint (count of shown lines and
//   the protocol's clear counter);
// - the rule before it: compare every shown line with the model and copy
//   them all on each repaint, then append the new ones to a plain field.
// Prints the microseconds per row. A linear view keeps them flat as the
// rows grow; the compare-and-copy rule grows with the rows (quadratic run).
//
// Runs on whatever Qt platform the environment names (QT_QPA_PLATFORM=
// offscreen, or a display).
#include <QApplication>
#include <QPlainTextEdit>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/tfrm_message_editor.h"
#include "platform/clock.h"
#include "ui/main_window.h"
#include "ui/qt_interaction.h"
#include "ui/qt_text.h"

using namespace sendrix;

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::vector<std::string> rowLines(int row) {
    const std::string address = "empfaenger" + std::to_string(row) + "@example.org";
    return {"14:05:31: Mail wird an " + address + " versendet (" + std::to_string(row) + ")",
            "14:05:31: Mail ist an " + address + " versendet worden.", ""};
}

// The window's protocol through its repaint path.
double windowRun(int rows) {
    ui::QtInteraction interaction;
    app::TfrmMessageEditor form(interaction, platform::systemClock(), {});
    ui::MainWindow window(form, interaction);
    interaction.setWindow(&window);
    window.show();
    form.Control.ActivePageIndex = app::kPageProtokoll;
    window.refreshFromModel();
    form.protokollmemo.Clear();
    form.protokollmemo.Add("Beginn der Mailübertragung: 08.12.2026 14:05:31");
    const auto start = std::chrono::steady_clock::now();
    for (int r = 1; r <= rows; ++r) {
        for (std::string& line : rowLines(r))
            form.protokollmemo.Add(std::move(line));
        window.repaintControl(app::ControlId::protokollmemo);
    }
    const double elapsed = seconds(start);
    auto* field = window.findChild<QPlainTextEdit*>(QStringLiteral("protokollmemo"));
    if (field->blockCount() != static_cast<int>(form.protokollmemo.Lines.size()))
        std::fprintf(stderr, "the window shows %d lines of %zu\n", field->blockCount(),
                     form.protokollmemo.Lines.size());
    interaction.setWindow(nullptr);
    return elapsed;
}

// The same appends with the rule that compared and copied every shown line.
double compareAndCopyRun(int rows) {
    QPlainTextEdit field;
    field.setReadOnly(true);
    field.show();
    std::vector<std::string> lines = {"Beginn der Mailübertragung: 08.12.2026 14:05:31"};
    std::vector<std::string> shown;
    const auto start = std::chrono::steady_clock::now();
    for (int r = 1; r <= rows; ++r) {
        for (std::string& line : rowLines(r))
            lines.push_back(std::move(line));
        if (lines == shown)
            continue;
        const bool appended = lines.size() > shown.size() && !shown.empty() &&
                              std::equal(shown.begin(), shown.end(), lines.begin());
        if (appended) {
            for (std::size_t i = shown.size(); i < lines.size(); ++i)
                field.appendPlainText(ui::toQt(lines[i]));
        } else {
            field.setPlainText(ui::joinLines(lines));
        }
        shown = lines;
        field.repaint();
        field.viewport()->repaint();
    }
    return seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(std::max(1, std::atoi(argv[i])));
    if (counts.empty())
        counts = {1000, 2000, 4000, 8000};

    std::printf("%8s  %22s  %22s\n", "rows", "window (us per row)", "compare+copy (us/row)");
    for (int rows : counts) {
        const double window = windowRun(rows);
        const double peer = compareAndCopyRun(rows);
        std::printf("%8d  %22.1f  %22.1f\n", rows, 1e6 * window / rows, 1e6 * peer / rows);
    }
    return 0;
}

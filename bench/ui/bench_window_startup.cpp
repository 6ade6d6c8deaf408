// How fast the window comes up and takes a long list.
//
//   bench_window_startup [ROUNDS] [ROWS]     defaults: 7 rounds, 100000 rows
//
// 1. Start-up: the time from starting the process (posix_spawn of this
//    program, which then runs the program's own runQtApplication) to the
//    first painted main window, without a list and with a list of ROWS rows
//    given on the command line. Target: 0.5 s without a list.
// 2. Loading a list of ROWS rows into a shown window (LoadRecipientList
//    through the view's handler path, then one paint of the grid).
//    Target: 1.5 s.
//
//    The first load in a process is printed on its own: it pays for fresh
//    memory pages, later ones reuse freed memory.
//
// Runs on whatever Qt platform the environment names: QT_QPA_PLATFORM=
// offscreen, or under Xvfb with DISPLAY set. Prints the median, the
// fastest and the slowest round of each figure.
#include <QApplication>
#include <QMainWindow>
#include <QTableView>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "app/handler_runner.h"
#include "app/tfrm_message_editor.h"
#include "platform/clock.h"
#include "ui/main_window.h"
#include "ui/qt_application.h"
#include "ui/qt_interaction.h"

extern char** environ;

using namespace sendrix;

namespace {

// Set in the child: the file descriptor to report the first paint on.
constexpr const char* kReportFdVariable = "SENDRIX_BENCH_REPORT_FD";

double monotonicSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// ---- The child: the real program start with a watcher for the first paint ----

// Watches the whole application; the first paint event of a main window's
// widget means the window is on screen. The report waits for the end of
// that paint pass (a zero timer runs after it) and ends the process.
class FirstPaintWatcher : public QObject {
public:
    FirstPaintWatcher(int fd, double constructed) : m_fd(fd), m_constructed(constructed) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!m_seen && event->type() == QEvent::Paint) {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (widget && qobject_cast<QMainWindow*>(widget->window())) {
                m_seen = true;
                QTimer::singleShot(0, [this] { report(); });
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void report() {
        char line[128];
        const int n = std::snprintf(line, sizeof line, "%.6f %.6f\n", m_constructed, monotonicSeconds());
        if (n > 0 && ::write(m_fd, line, static_cast<size_t>(n)) < 0)
            std::perror("write");
        std::_Exit(0);
    }

    int m_fd;
    double m_constructed;
    bool m_seen = false;
};

// Runs inside QApplication's constructor, in the child only.
void installFirstPaintWatcher() {
    const char* fd = std::getenv(kReportFdVariable);
    if (!fd)
        return;
    const double constructed = monotonicSeconds();
    qApp->installEventFilter(new FirstPaintWatcher(std::atoi(fd), constructed));
}
Q_COREAPP_STARTUP_FUNCTION(installFirstPaintWatcher)

struct StartupTimes {
    double toApplication;  // process start to QApplication constructed
    double toFirstPaint;   // process start to the first painted window
};

// Starts this program as the child with `arguments` and waits for its report.
StartupTimes timeStartup(const std::string& self, const std::vector<std::string>& arguments) {
    int fds[2];
    if (::pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    const std::string fdValue = std::string(kReportFdVariable) + "=" + std::to_string(fds[1]);
    std::vector<char*> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, kReportFdVariable, std::strlen(kReportFdVariable)) != 0)
            env.push_back(*e);
    env.push_back(const_cast<char*>(fdValue.c_str()));
    env.push_back(nullptr);
    std::vector<char*> argv{const_cast<char*>(self.c_str())};
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    const double start = monotonicSeconds();
    pid_t pid = 0;
    if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv.data(), env.data()) != 0)
        throw std::runtime_error("posix_spawn failed");
    ::close(fds[1]);
    std::string report;
    char buffer[256];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, size_t(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    double constructed = 0, painted = 0;
    if (std::sscanf(report.c_str(), "%lf %lf", &constructed, &painted) != 2)
        throw std::runtime_error("the window never painted (child status " + std::to_string(status) + ")");
    return {constructed - start, painted - start};
}

// ---- Loading a list into a shown window, in this process ----

struct LoadTimes {
    double model;  // reading the file into the model's grid
    double view;   // the view catching up (one model reset)
    double paint;  // one paint of the grid
    double total() const { return model + view + paint; }
};

LoadTimes timeListLoad(const std::string& list) {
    ui::QtInteraction interaction;
    app::TfrmMessageEditor form(interaction, platform::systemClock(), {});
    ui::MainWindow window(form, interaction);
    interaction.setWindow(&window);
    window.run([&] { form.FormCreate(); });
    window.placeOnScreen();
    window.show();
    window.run([&] { form.FormShow(); });
    auto* pages = window.findChild<QTabWidget*>(QStringLiteral("pnltopright"));
    auto* grid = window.findChild<QTableView*>(QStringLiteral("empfaengerliste"));
    pages->setCurrentIndex(app::kPageEmpfaengerliste);
    QCoreApplication::processEvents();

    const double start = monotonicSeconds();
    if (!app::runHandler(interaction, [&] { form.LoadRecipientList(list); }))
        throw std::runtime_error("list not loaded");
    const double loaded = monotonicSeconds();
    window.refreshFromModel();
    const double shown = monotonicSeconds();
    grid->viewport()->repaint();
    const double painted = monotonicSeconds();
    if (grid->model()->rowCount() + 1 != form.empfaengerliste.RowCount())
        throw std::runtime_error("the grid does not show the list");
    interaction.setWindow(nullptr);
    return {loaded - start, shown - loaded, painted - shown};
}

// ---- Figures ----

struct Summary {
    double median, fastest, slowest;
};

Summary summarise(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.front(), values.back()};
}

void print(const char* what, const std::vector<double>& values, double target) {
    const Summary s = summarise(values);
    std::printf("%-44s median %7.3f s  (fastest %.3f, slowest %.3f)", what, s.median, s.fastest, s.slowest);
    if (target > 0)
        std::printf("  target %.1f s: %s", target, s.median <= target ? "met" : "MISSED");
    std::printf("\n");
}

std::string writeListFile(const std::filesystem::path& folder, int rows) {
    const std::string path = (folder / "liste.csv").string();
    std::ofstream out(path, std::ios::binary);
    out << "Name;Vorname;Email;Typ\r\n";
    for (int i = 0; i < rows; ++i)
        out << "M\xfcller" << i << ";J\xfcrgen;juergen." << i << "@example.org;" << (i % 2 ? "M" : "W")
            << "\r\n";
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv(kReportFdVariable))
        return ui::runQtApplication(argc, argv);

    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const int rows = argc > 2 ? std::max(1, std::atoi(argv[2])) : 100000;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();

    // A program folder of its own, so no real settings are read or written.
    char pattern[] = "/tmp/sendrix-bench-XXXXXX";
    if (!::mkdtemp(pattern))
        return 1;
    const std::filesystem::path home(pattern);
    std::ofstream(home / "Mail.ini", std::ios::binary)
        << "[Smtp]\r\nServerName=127.0.0.1\r\n[Email]\r\nSubject=Bench\r\n[Optionen]\r\nReadonly=1\r\n";
    ::setenv("SENDRIX_HOME", (home.string() + "/").c_str(), 1);
    const std::string list = writeListFile(home, rows);

    const char* platformName = std::getenv("QT_QPA_PLATFORM");
    std::printf("Platform: %s%s%s, %d rounds, list of %d rows\n", platformName ? platformName : "default",
                std::getenv("DISPLAY") ? " DISPLAY=" : "",
                std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "", rounds, rows);

    int status = 0;
    try {
        timeStartup(self, {});  // warms the file cache
        std::vector<double> application, painted, paintedWithList, loads, models, views, paints;
        for (int i = 0; i < rounds; ++i) {
            const StartupTimes t = timeStartup(self, {});
            application.push_back(t.toApplication);
            painted.push_back(t.toFirstPaint);
            paintedWithList.push_back(timeStartup(self, {list}).toFirstPaint);
        }
        {
            QApplication application(argc, argv);
            // The first round pays for fresh memory; later rounds reuse it.
            for (int i = 0; i <= rounds; ++i) {
                const LoadTimes t = timeListLoad(list);
                if (i == 0) {
                    std::printf("first load of %d rows (fresh process memory)    %7.3f s\n", rows, t.total());
                    continue;
                }
                loads.push_back(t.total());
                models.push_back(t.model);
                views.push_back(t.view);
                paints.push_back(t.paint);
            }
        }
        print("start to QApplication", application, 0);
        print("start to first painted window", painted, 0.5);
        print(("start to first painted window, " + std::to_string(rows) + " rows").c_str(), paintedWithList,
              0);
        print(("load " + std::to_string(rows) + " rows into the shown window").c_str(), loads, 1.5);
        print("  of which reading into the model", models, 0);
        print("  of which the view catching up", views, 0);
        print("  of which painting the grid", paints, 0);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_window_startup: %s\n", error.what());
        status = 1;
    }
    std::filesystem::remove_all(home);
    return status;
}

// Reading a member list as a workbook: ROWS rows of .xlsx and .ods against
// the CSV of the same rows, in the same run. Each reading runs in a child
// process of its own, so its peak memory is its own. Targets: under 1 s and
// under 50 MB for 10,000 rows of each workbook.
//
//   bench/bench_spreadsheet_list.py /tmp/sheets 10000   (openpyxl, LibreOffice)
//   bench_spreadsheet_list /tmp/sheets [RUNS]           default 5 runs (median)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "merge/recipient_list.h"

namespace {

struct Measure {
    double seconds = 0;
    long peakKiB = 0;
    long rows = 0;
};

Measure inChild(const std::string& path) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        throw std::runtime_error("pipe");
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        const auto start = std::chrono::steady_clock::now();
        const long rows = static_cast<long>(sendrix::merge::readRecipientList(path).rows.size());
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        Measure m{took.count(), after.ru_maxrss - before.ru_maxrss, rows};
        if (write(pipeFds[1], &m, sizeof m) != sizeof m)
            _exit(1);
        _exit(0);
    }
    close(pipeFds[1]);
    Measure m;
    if (read(pipeFds[0], &m, sizeof m) != sizeof m)
        throw std::runtime_error("child failed on " + path);
    close(pipeFds[0]);
    waitpid(pid, nullptr, 0);
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "bench_spreadsheet_list FOLDER [RUNS]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    for (const char* name : {"mitglieder.xlsx", "mitglieder.ods", "mitglieder.csv"}) {
        std::vector<Measure> measures;
        for (int i = 0; i < runs; ++i)
            measures.push_back(inChild(folder + "/" + name));
        std::sort(measures.begin(), measures.end(),
                  [](const Measure& a, const Measure& b) { return a.seconds < b.seconds; });
        const Measure& m = measures[measures.size() / 2];
        std::printf("%-16s %ld rows: %.3f s, peak memory +%.1f MB\n", name, m.rows, m.seconds, m.peakKiB / 1024.0);
    }
    return 0;
}

// Reading a member list as a workbook: ROWS rows of .xlsx and .ods against
// the CSV of the same rows, in the same run. Each reading runs in a child
// process of its own, so its peak memory is its own. Targets: under 1 s and
// under 50 MB for 10,000 rows of each workbook.
//
//   bench/bench_spreadsheet_list.py /tmp/sheets 10000   (openpyxl, LibreOffice)
//   bench_spreadsheet_list /tmp/sheets [RUNS]           default 5 runs (median)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_support.h"
#include "merge/recipient_list.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "bench_spreadsheet_list FOLDER [RUNS]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    for (const char* name : {"mitglieder.xlsx", "mitglieder.ods", "mitglieder.csv"}) {
        const std::string path = folder + "/" + name;
        std::vector<bench::ChildMeasure> measures;
        for (int i = 0; i < runs; ++i)
            measures.push_back(bench::measureInChild([&] { (void)sendrix::merge::readRecipientList(path); }));
        std::sort(measures.begin(), measures.end(),
                  [](const auto& a, const auto& b) { return a.seconds < b.seconds; });
        const bench::ChildMeasure& m = measures[measures.size() / 2];
        std::printf("%-16s %zu rows: %.3f s, peak memory +%.1f MB\n", name,
                    sendrix::merge::readRecipientList(path).rows.size(), m.seconds, m.peakKiB / 1024.0);
    }
    return 0;
}

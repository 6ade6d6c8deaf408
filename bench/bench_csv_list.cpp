// Reading a spreadsheet export as a recipient list: a ROWS-row, 8-column CSV
// with every field quoted (LibreOffice's "CSV (Semikolon)" with "quote all
// text cells"), against the same rows in the program's own unquoted
// "Name;Vorname;Email;Typ" format and against merely reading the file's
// bytes, in the same run. Each reading runs in a child process of its own,
// so its peak memory is its own.
//
//   bench_csv_list [ROWS] [RUNS]     defaults: 100000 rows, 5 runs (median)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "merge/recipient_list.h"
#include "platform/text_file.h"

namespace {

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string quoted(const std::string& field) {
    return "\"" + field + "\"";
}

std::string csvText(int rows) {
    std::string text =
        "\"Mitgliedsnummer\";\"Nachname\";\"Vorname\";\"E-Mail\";\"Geschlecht\";\"Beitrag\";"
        "\"Ort\";\"Anhang\"\r\n";
    for (int i = 0; i < rows; ++i) {
        const std::string n = std::to_string(i);
        text += quoted(n) + ";" + quoted("Müller-Lüdenscheidt " + n) + ";" + quoted("Jürgen") + ";" +
                quoted("mitglied" + n + "@example.org") + ";" + quoted(i % 2 ? "w" : "m") + ";" +
                quoted("12,50 €") + ";" + quoted("Köln \"Innenstadt\"") + ";" +
                quoted("rechnungen/" + n + ".pdf") + "\r\n";
    }
    return text;
}

std::string ownFormatText(int rows) {
    std::string text = "Name;Vorname;Email;Typ\r\n";
    for (int i = 0; i < rows; ++i) {
        const std::string n = std::to_string(i);
        text += "Müller-Lüdenscheidt " + n + ";Jürgen;mitglied" + n + "@example.org;" + (i % 2 ? "w" : "m") +
                "\r\n";
    }
    return text;
}

using Measure = bench::ChildMeasure;

Measure median(std::vector<Measure> runs) {
    std::sort(runs.begin(), runs.end(),
              [](const Measure& a, const Measure& b) { return a.seconds < b.seconds; });
    return runs[runs.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    char folder[] = "/tmp/bench_csv_list_XXXXXX";
    if (!mkdtemp(folder))
        return 1;
    const std::string csv = std::string(folder) + "/mitglieder.csv";
    const std::string own = std::string(folder) + "/liste.csv";
    writeFile(csv, csvText(rows));
    writeFile(own, ownFormatText(rows));

    struct Case {
        const char* name;
        std::string path;
        std::function<void(const std::string&)> work;
    };
    const Case cases[] = {
        {"quoted 8-column CSV ", csv,
         [](const std::string& p) { (void)sendrix::merge::readRecipientList(p); }},
        {"own 4-column format ", own,
         [](const std::string& p) { (void)sendrix::merge::readRecipientList(p); }},
        {"file bytes only (CSV)", csv,
         [](const std::string& p) { (void)sendrix::platform::readFileBytes(p); }},
    };
    for (const Case& c : cases) {
        std::ifstream in(c.path, std::ios::binary | std::ios::ate);
        const long fileKiB = static_cast<long>(in.tellg()) / 1024;
        std::vector<Measure> measures;
        for (int i = 0; i < runs; ++i)
            measures.push_back(bench::measureInChild([&] { c.work(c.path); }));
        const Measure m = median(measures);
        std::printf("%s: %d rows, file %ld KiB: %.3f s, peak memory +%ld KiB (%.1f x the file)\n", c.name,
                    rows, fileKiB, m.seconds, m.peakKiB, fileKiB ? double(m.peakKiB) / fileKiB : 0.0);
    }
    std::remove(csv.c_str());
    std::remove(own.c_str());
    rmdir(folder);
    return 0;
}

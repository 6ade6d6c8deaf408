// A list mailing through the real program: sendrix, unattended ("/sofort",
// no display), sends an N-row list with salutation and body to bench/smtp_sink,
// against the minimal C client sending as many pre-rendered messages of the
// same size to the same sink, in the same run. Then the time and memory for
// reading a 100,000-row list file.
//
//   bench_list_mailing [N] [ROWS] [OTHER] [ROUNDS]
//
// Defaults: 1000 recipients, 100000 rows, 3 rounds. OTHER, a second build of
// the program (say the one before a change; "" for none), is timed in the
// same rounds. Given the build before the run record, the ratio of the two
// rates is what the record costs (one write per event, the file open for the
// whole run, forced to disk at most once a second); the record's size is
// printed too. Each round runs the C client and each program once, the C
// client first in even rounds and last in odd ones, so that neither gains
// from what the other leaves behind (sockets in TIME_WAIT, a warm sink).
//
// The program is timed as a whole process (start, list, every message,
// result file); the C client by its own clock (first connection to last
// reply, as it prints) and as a whole process started the same way. The
// like-for-like figure is the second. On a busy machine the ratio within
// a round says more than the medians, so the median of those ratios is
// printed too.
//
// Needs the program built (build/src/sendrix beside build/bench).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <string>

#include "bench_support.h"
#include "merge/recipient_list.h"

namespace {

long peakKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

// The run record the program's rounds wrote: lines and bytes.
void recordSize(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        std::printf("run record: none in %s\n", folder.c_str());
        return;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() < 12 || name.substr(name.size() - 12) != ".versandlauf")
            continue;
        std::ifstream in(folder + name, std::ios::binary);
        long lines = 0, bytes = 0;
        for (std::string line; std::getline(in, line); ++lines)
            bytes += long(line.size()) + 1;
        std::printf("run record: %ld lines, %ld bytes (%s)\n", lines, bytes, name.c_str());
    }
    closedir(dir);
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int bigRows = argc > 2 ? std::atoi(argv[2]) : 100000;
    const std::string other = argc > 3 ? argv[3] : "";
    const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;
    try {
        const std::string folder = bench::programFolder();
        const std::string home = bench::makeFolder("bench_list_mailing");
        const std::string arguments = bench::writeListMailing(home, count);

        bench::Sink sink(folder + "smtp_sink");
        std::vector<double> viaProgram, viaOther, ownClock, wholeProcess;
        std::vector<double> programRatio, programRatioOwn, otherRatio, otherRatioOwn;
        for (int round = 0; round < rounds; ++round) {
            const auto minimal = [&] {
                const bench::ClientRun run = bench::runMinimalClient(folder + "minimal_smtp_client",
                                                                     sink.port, home + "message.eml", count);
                ownClock.push_back(run.rate);
                wholeProcess.push_back(count / run.seconds);
            };
            if (round % 2 == 0)
                minimal();
            // Each round is a first send of the list: the record starts
            // empty, as it does for a new mailing (the last round's stays).
            bench::removeFolder(home + "Versandlaeufe");
            viaProgram.push_back(count / bench::sendThroughTheProgram(home, sink.port, arguments));
            if (!other.empty())
                viaOther.push_back(count / bench::sendThroughTheProgram(home, sink.port, arguments,
                                                                        "127.0.0.1", "", "", other));
            if (round % 2 == 1)
                minimal();
            programRatio.push_back(viaProgram.back() / wholeProcess.back());
            programRatioOwn.push_back(viaProgram.back() / ownClock.back());
            if (!other.empty()) {
                otherRatio.push_back(viaOther.back() / wholeProcess.back());
                otherRatioOwn.push_back(viaOther.back() / ownClock.back());
            }
        }
        const auto report = [&](const std::string& name, const std::vector<double>& rates,
                                const std::vector<double>& ratio, const std::vector<double>& ratioOwn) {
            std::printf(
                "%s: %9.1f  (%.0f%% of the C client's whole process, %.0f%% within a round; "
                "%.0f%% of its own clock, %.0f%% within a round)\n",
                name.c_str(), bench::median(rates),
                100.0 * bench::median(rates) / bench::median(wholeProcess), 100.0 * bench::median(ratio),
                100.0 * bench::median(rates) / bench::median(ownClock), 100.0 * bench::median(ratioOwn));
        };
        std::printf("list mailing, %d recipients, median of %d rounds, messages/s\n", count, rounds);
        std::printf("minimal C client, its own clock:   %9.1f\n", bench::median(ownClock));
        std::printf("minimal C client, whole process:   %9.1f\n", bench::median(wholeProcess));
        report("sendrix /sofort, whole process", viaProgram, programRatio, programRatioOwn);
        if (!other.empty()) {
            report(other, viaOther, otherRatio, otherRatioOwn);
            std::vector<double> versusOther;
            for (std::size_t i = 0; i < viaProgram.size(); ++i)
                versusOther.push_back(viaProgram[i] / viaOther[i]);
            std::printf("sendrix /sofort against %s: %.1f%% of its rate (medians), %.1f%% within a round\n",
                        other.c_str(), 100.0 * bench::median(viaProgram) / bench::median(viaOther),
                        100.0 * bench::median(versusOther));
        }
        recordSize(home + "Versandlaeufe/");

        const std::string big = home + "gross.csv";
        bench::writeFile(big, bench::recipientListText(bigRows, {"w", "Herr", ""}));
        std::ifstream sized(big, std::ios::binary | std::ios::ate);
        const long fileKilobytes = long(sized.tellg()) / 1024;
        const long before = peakKilobytes();
        const auto begin = std::chrono::steady_clock::now();
        const sendrix::merge::RecipientList list = sendrix::merge::readRecipientList(big);
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - begin;
        std::printf("reading a %d-row list (%ld KiB): %.3f s, %zu rows, peak memory +%ld KiB\n", bigRows,
                    fileKilobytes, seconds.count(), list.rows.size(), peakKilobytes() - before);
        bench::removeFolder(home);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_list_mailing: %s\n", error.what());
        return 1;
    }
    return 0;
}

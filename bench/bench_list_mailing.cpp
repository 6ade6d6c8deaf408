// A list mailing through the real program: sendrix, unattended ("/sofort",
// no display), sends an N-row list with salutation and body to bench/smtp_sink,
// against the minimal C client sending as many pre-rendered messages of the
// same size to the same sink, in the same run. Then the time and memory for
// reading a 100,000-row list file.
//
//   bench_list_mailing [N] [ROWS]     defaults: 1000 recipients, 100000 rows
//
// Needs the program built (build/src/sendrix beside build/bench).
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "bench_support.h"
#include "mailing_files.h"
#include "merge/recipient_list.h"
#include "platform/version.h"

namespace {

using bench::bodyText;
using bench::listText;
using bench::renderedMessage;
using bench::writeFile;

double sendThroughTheProgram(const std::string& program, const std::string& home, int port, int rows) {
    writeFile(home + "Mail.ini", "[Smtp]\r\nServerName=127.0.0.1\r\nServerPort=" + std::to_string(port) +
                                     "\r\n[Optionen]\r\nAnrede=2\r\n");
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY SENDRIX_HOME=" + home + " " + program +
                                " " + home + "liste.csv /B:" + home +
                                "text.txt \"/s:Einladung\" "
                                "/from:absender@example.org /N:Absender /ANREDE /sofort > /dev/null";
    const auto begin = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - begin;
    if (status != 0)
        throw std::runtime_error("the program failed: " + command);
    return rows / seconds.count();
}

long peakKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int bigRows = argc > 2 ? std::atoi(argv[2]) : 100000;
    try {
        const std::string folder = bench::programFolder();
        const std::string program = folder + "../src/sendrix";
        const std::string home = bench::makeFolder("bench_list_mailing");
        writeFile(home + "liste.csv", listText(count));
        writeFile(home + "text.txt", bodyText());
        writeFile(home + "message.eml", renderedMessage());

        bench::Sink sink(folder + "smtp_sink");
        std::vector<double> viaProgram, minimal;
        for (int round = 0; round < 3; ++round) {
            minimal.push_back(bench::runMinimalClient(folder + "minimal_smtp_client", sink.port,
                                                      home + "message.eml", count));
            viaProgram.push_back(sendThroughTheProgram(program, home, sink.port, count));
        }
        std::printf("list mailing, %d recipients, median of 3 rounds, messages/s\n", count);
        std::printf("minimal C client:            %9.1f\n", bench::median(minimal));
        std::printf("sendrix /sofort (whole run): %9.1f  (%.0f%% of the C client)\n",
                    bench::median(viaProgram), 100.0 * bench::median(viaProgram) / bench::median(minimal));

        const std::string big = home + "gross.csv";
        writeFile(big, listText(bigRows));
        std::ifstream sized(big, std::ios::binary | std::ios::ate);
        const long fileKilobytes = long(sized.tellg()) / 1024;
        const long before = peakKilobytes();
        const auto begin = std::chrono::steady_clock::now();
        const sendrix::merge::RecipientList list = sendrix::merge::readRecipientList(big);
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - begin;
        std::printf("reading a %d-row list (%ld KiB): %.3f s, %zu rows, peak memory +%ld KiB\n", bigRows,
                    fileKilobytes, seconds.count(), list.rows.size(), peakKilobytes() - before);
        std::system(("rm -rf " + home).c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_list_mailing: %s\n", error.what());
        return 1;
    }
    return 0;
}

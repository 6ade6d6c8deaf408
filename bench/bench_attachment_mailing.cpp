// A list mailing with an attachment through the real program: sendrix,
// unattended ("/sofort", no display), sends one message with the same
// attachment to each of N recipients over a connection of its own to
// bench/smtp_sink, against bench/attachment_smtp_client taking the same path
// (encode into a temporary file per message, copy out in 32 KiB writes) to
// the same sink, in the same run. A wait once per message shows here as a
// ratio far above the client's.
//
//   bench_attachment_mailing [N] [KIB]     defaults: 100 recipients, 1024 KiB
//
// Needs the program built (build/src/sendrix beside build/bench).
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include "bench_support.h"

namespace {

std::string makeFolder() {
    char folder[] = "/tmp/bench_attachment_mailing_XXXXXX";
    if (!mkdtemp(folder))
        throw std::runtime_error("cannot create a temporary folder");
    return std::string(folder) + "/";
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string listText(int rows) {
    std::string text = "Name;Vorname;Email;Typ\r\n";
    for (int i = 0; i < rows; ++i)
        text +=
            "M\xfcller" + std::to_string(i) + ";J\xfcrgen;kunde" + std::to_string(i) + "@example.org;w\r\n";
    return text;
}

std::string randomBytes(size_t size) {
    std::mt19937 generator(20261208);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = char(generator());
    return bytes;
}

// Seconds for the whole run of the program.
double sendThroughTheProgram(const std::string& program, const std::string& home, int port) {
    writeFile(home + "Mail.ini", "[Smtp]\r\nServerName=127.0.0.1\r\nServerPort=" + std::to_string(port) +
                                     "\r\n[Optionen]\r\nAnrede=2\r\n");
    const std::string command =
        "env -u DISPLAY -u WAYLAND_DISPLAY SENDRIX_HOME=" + home + " " + program + " " + home +
        "liste.csv /B:" + home + "text.txt \"/s:Preisliste\" /A:" + home +
        "anlage.bin /from:absender@example.org /N:Absender /ANREDE /sofort > /dev/null";
    const auto begin = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - begin;
    if (status != 0)
        throw std::runtime_error("the program failed: " + command);
    return seconds.count();
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 100;
    const long kibibytes = argc > 2 ? std::atol(argv[2]) : 1024;
    try {
        const std::string folder = bench::programFolder();
        const std::string program = folder + "../src/sendrix";
        const std::string home = makeFolder();
        writeFile(home + "liste.csv", listText(count));
        writeFile(home + "text.txt", "anbei die Preise.\r\n");
        writeFile(home + "anlage.bin", randomBytes(size_t(kibibytes) * 1024));

        bench::Sink sink(folder + "smtp_sink");
        std::vector<double> viaProgram, client;
        for (int round = 0; round < 3; ++round) {
            const double rate = bench::runMinimalClient(folder + "attachment_smtp_client", sink.port,
                                                        home + "anlage.bin", count);
            client.push_back(count / rate);
            viaProgram.push_back(sendThroughTheProgram(program, home, sink.port));
        }
        std::printf(
            "%d recipients, one %ld KiB attachment each, a connection per message, median of 3 rounds\n",
            count, kibibytes);
        std::printf("C client (same path):        %7.3f s\n", bench::median(client));
        std::printf("sendrix /sofort (whole run): %7.3f s  (%.2f x the C client)\n",
                    bench::median(viaProgram), bench::median(viaProgram) / bench::median(client));
        std::system(("rm -rf " + home).c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_attachment_mailing: %s\n", error.what());
        return 1;
    }
    return 0;
}

// A list mailing with an attachment through the real program: sendrix,
// unattended ("/sofort", no display), sends one message with the same
// attachment to each of N recipients over a connection of its own to
// bench/smtp_sink, against bench/attachment_smtp_client taking the same path
// (encode each message's attachment straight out in writes of 420 lines) to
// the same sink, in the same run. A wait once per message shows here as a
// ratio far above the client's.
//
//   bench_attachment_mailing [N] [KIB] [OTHER]
//
// Defaults: 100 recipients, 1024 KiB. OTHER, a second build of the program
// (say the one before a change), is timed in the same rounds.
//
// Needs the program built (build/src/sendrix beside build/bench).
#include <cstdio>
#include <random>
#include <string>

#include "bench_support.h"

namespace {

std::string randomBytes(size_t size) {
    std::mt19937 generator(20261208);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = char(generator());
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 100;
    const long kibibytes = argc > 2 ? std::atol(argv[2]) : 1024;
    const std::string other = argc > 3 ? argv[3] : "";
    try {
        const std::string folder = bench::programFolder();
        const std::string home = bench::makeFolder("bench_attachment_mailing");
        bench::writeFile(home + "liste.csv", bench::recipientListText(count, {"w"}));
        bench::writeFile(home + "text.txt", "anbei die Preise.\r\n");
        bench::writeFile(home + "anlage.bin", randomBytes(size_t(kibibytes) * 1024));
        const std::string arguments = home + "liste.csv /B:" + home +
                                      "text.txt \"/s:Preisliste\" /A:" + home +
                                      "anlage.bin /from:absender@example.org /N:Absender /ANREDE";

        bench::Sink sink(folder + "smtp_sink");
        std::vector<double> viaProgram, viaOther, client;
        for (int round = 0; round < 3; ++round) {
            const double rate = bench::runMinimalClient(folder + "attachment_smtp_client", sink.port,
                                                        home + "anlage.bin", count)
                                    .rate;
            client.push_back(count / rate);
            viaProgram.push_back(bench::sendThroughTheProgram(home, sink.port, arguments));
            if (!other.empty())
                viaOther.push_back(
                    bench::sendThroughTheProgram(home, sink.port, arguments, "127.0.0.1", "", "", other));
        }
        std::printf(
            "%d recipients, one %ld KiB attachment each, a connection per message, median of 3 rounds\n",
            count, kibibytes);
        std::printf("C client (same path):        %7.3f s\n", bench::median(client));
        std::printf("sendrix /sofort (whole run): %7.3f s  (%.2f x the C client)\n",
                    bench::median(viaProgram), bench::median(viaProgram) / bench::median(client));
        if (!other.empty())
            std::printf("%s: %7.3f s  (%.2f x the C client)\n", other.c_str(), bench::median(viaOther),
                        bench::median(viaOther) / bench::median(client));
        bench::removeFolder(home);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_attachment_mailing: %s\n", error.what());
        return 1;
    }
    return 0;
}

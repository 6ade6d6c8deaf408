// Delivery rate over loopback: N messages through TIdSMTP (Open, Deliver,
// Close: one connection per message, as the send run does), against the
// plain C client bench/minimal_smtp_client sending the same pre-rendered
// text, both to bench/smtp_sink, in the same run. A third figure sends the
// same dialogue with one send per write (SendBufferSize 1), which is what
// the connection did before it gathered its writes.
//
//   bench_smtp_delivery [N] [ROUNDS]     defaults: 1000 messages, 3 rounds
//
// Prints the median messages/s of each client and their ratio.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "mail/id_message.h"
#include "mail/id_message_writer.h"
#include "mail/memory_write_target.h"
#include "mail/id_smtp.h"
#include "platform/clock.h"
#include "bench_support.h"

using namespace sendrix;

namespace {

const platform::FixedClock kClock({2026, 12, 8, 14, 5, 31, 2, 60});

// A typical mail-merge letter: a short personal text in Windows-1252.
void fillMessage(mail::TIdMessage& message) {
    message.From.SetText("Absender <absender@example.org>");
    message.Recipients.SetAddresses("empfaenger@example.org");
    message.Subject = "Einladung zum Sommerfest";
    message.ContentType = "text/plain";
    message.Body = {"Sehr geehrte Frau M\xfcller,", ""};
    for (int i = 0; i < 30; ++i)
        message.Body.push_back("wir laden Sie herzlich zu unserem Sommerfest ein. Zeile " +
                               std::to_string(i) +
                               " des Schreibens mit Gr\xfc\xdf"
                               "en.");
    message.Body.push_back(".");
    message.Body.push_back(
        "Mit freundlichen Gr\xfc\xdf"
        "en");
}

double runSendrix(mail::TIdMessage& message, int port, int count, int sendBufferSize) {
    mail::TIdSMTP smtp;
    smtp.SetHost("127.0.0.1");
    smtp.SetPort(port);
    smtp.SetClock(&kClock);
    smtp.SetSendBufferSize(sendBufferSize);
    const auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        mail::deliverOnce(smtp, message);
    }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - begin;
    return count / seconds.count();
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    try {
        const std::string folder = bench::programFolder();
        bench::Sink sink(folder + "smtp_sink");

        mail::TIdMessage message;
        fillMessage(message);
        mail::MemoryWriteTarget rendered;
        mail::WriteMessage(rendered, message, kClock);
        char file[] = "/tmp/bench_smtp_message_XXXXXX";
        int fd = mkstemp(file);
        if (fd < 0 ||
            write(fd, rendered.Bytes().data(), rendered.Bytes().size()) != ssize_t(rendered.Bytes().size()))
            throw std::runtime_error("cannot write the message file");
        close(fd);

        std::vector<double> gathered, perWrite, minimal;
        for (int r = 0; r < rounds; ++r) {
            minimal.push_back(
                bench::runMinimalClient(folder + "minimal_smtp_client", sink.port, file, count).rate);
            gathered.push_back(runSendrix(message, sink.port, count, 32768));
            // Only a tenth as many: each message waits for delayed ACKs.
            perWrite.push_back(runSendrix(message, sink.port, std::max(1, count / 10), 1));
        }
        unlink(file);

        std::printf("message: %zu bytes, %d messages per round, %d rounds, median messages/s\n",
                    rendered.Bytes().size(), count, rounds);
        std::printf("minimal C client:              %9.1f\n", bench::median(minimal));
        std::printf("TIdSMTP, gathered writes:      %9.1f  (%.0f%% of the C client)\n",
                    bench::median(gathered), 100.0 * bench::median(gathered) / bench::median(minimal));
        std::printf("TIdSMTP, one send per write:   %9.1f  (%d messages per round)\n",
                    bench::median(perWrite), std::max(1, count / 10));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_smtp_delivery: %s\n", error.what());
        return 1;
    }
    return 0;
}

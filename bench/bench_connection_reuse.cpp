// Messages per connection over STARTTLS through the real program: sendrix,
// unattended ("/sofort", no display), sends an N-row list with salutation
// and body with [Smtp] Encryption=1 and MessagesPerConnection=50 (RSET
// between the messages of a connection), against a minimal C client
// (bench/starttls_reuse_client) sending as many pre-rendered messages of the
// same size over one STARTTLS connection with RSET between them; both to the
// same STARTTLS sink (bench/starttls_smtp_sink), both verifying the chain to
// a throw-away CA made with the openssl command and the name "localhost",
// round by round in the same run. A third figure adds [Smtp] Pipelining=1
// (the sink names PIPELINING, RFC 2920): "Rset", MAIL, RCPT and "Data" in
// one write, where the C client waits for each reply.
//
//   bench_connection_reuse [N] [PER_CONNECTION] [ROUNDS] [OTHER]   defaults: 1000, 50, 3
//
// OTHER, a second build of the program (say the one before a change), is
// timed in the same rounds. Each figure is the median over the rounds of
// the round's rate against the C client's rate of the same round, so that
// the machine's speed drifting from round to round does not move it.
//
// Needs the program built (build/src/sendrix beside build/bench).
//
// Measured here (2 shared cores; 1000 rows, 50 per connection; 21 rounds,
// medians of the rounds' ratios; "bench_connection_reuse 1000 50 21 OLD"):
//     sendrix 0.62 of the C client's rate, with Pipelining=1 0.86; the build
//     before the list-send and connection work of December 2026 0.47 in the
//     same rounds; the C client ran 8,400 messages/s. Pinned to one core
//     (taskset -c 1) 0.63, 0.88 and 0.48. With all 1000 on one connection
//     (PER_CONNECTION 1000) 0.69 and 1.00: the 19 further connections, each
//     with a resumed TLS handshake on both sides, cost about a tenth.
// Where the rest goes (callgrind, one run): sendrix 273 M instructions, the
// C client 98 M. Both spend about 73 M in their TLS records; sendrix adds
// the 20 handshakes (48 M: key share, key schedule), one TLS context (13 M)
// and the per-message text and run (composing, writing, protocol, send log).
// After the run's own per-message work (one console write instead of three,
// no seek per send log line, the envelope checked once, the clock texts
// without allocating): 20 system calls per message instead of 24 (the C
// client about 15: the rest are the check for a reply that came before its
// command, a poll(0) before each of the five commands, and the send log's
// open, write and close), the run outside the message writer 5.5 K
// instructions fewer per message; pinned to one core 0.64 against 0.62 of
// the build before in the same 31 rounds (median of the rounds' ratio of
// the two: 1.02; the difference is within the machine's noise).
// The sink mostly runs on the core of the side that wakes it, so the run is
// serial: whatever either side does costs wall time; the waits are the
// same five per message for both (two with Pipelining=1: the envelope as
// one group, then the text).
// On the same machine with nobody else working (load 0.6), client and sink
// run on cores of their own, as a server on another host would, and the C
// client runs at 2,500-3,200 messages/s: sendrix 0.96, 1.04 and 1.10 of it in
// three runs of 9-15 rounds (Pipelining=1 1.59-1.90; the build from before
// that work 0.67), because its Rset ahead and its message written during the
// MAIL reply overlap with the server's work. Pinned to one core in the same
// quiet state: 0.65 (Pipelining=1 0.91), the C client at 9,400 messages/s.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

void run(const std::string& command) {
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

// ca.pem, server.pem and server.key in `folder`: a CA and a certificate for
// "localhost" signed by it.
void makeCertificates(const std::string& folder) {
    const std::string ssl = "cd " + folder + " && openssl ";
    const std::string quiet = " > /dev/null 2>&1";
    run(ssl +
        "req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout ca.key -out ca.pem " +
        "-days 30 -subj /CN=Bench-CA" + quiet);
    run(ssl + "req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout server.key " +
        "-out server.csr -subj /CN=localhost" + quiet);
    bench::writeFile(folder + "ext", "subjectAltName=DNS:localhost\n");
    run(ssl + "x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 -extfile ext " +
        "-out server.pem" + quiet);
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int perConnection = argc > 2 ? std::atoi(argv[2]) : 50;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
    const std::string other = argc > 4 ? argv[4] : "";
    try {
        const std::string folder = bench::programFolder();
        const std::string home = bench::makeFolder("bench_connection_reuse");
        makeCertificates(home);
        const std::string arguments = bench::writeListMailing(home, count);
        const std::string keys =
            "Encryption=1\r\nMessagesPerConnection=" + std::to_string(perConnection) + "\r\n";

        bench::Sink sink(folder + "starttls_smtp_sink", {home + "server.pem", home + "server.key"});
        const std::string client = folder + "starttls_reuse_client " + std::to_string(sink.port) + " " +
                                   home + "ca.pem " + home + "message.eml " + std::to_string(count);
        const std::string certificates = "SSL_CERT_FILE=" + home + "ca.pem ";
        // Rates in messages/s, and each round's rate against the C client's.
        std::vector<double> minimal, viaProgram, pipelined, viaOther;
        std::vector<double> programRatio, pipelinedRatio, otherRatio;
        const auto send = [&](const std::string& smtpKeys, const std::string& program) {
            return count / bench::sendThroughTheProgram(home, sink.port, arguments, "localhost", smtpKeys,
                                                        certificates, program);
        };
        for (int round = 0; round < rounds; ++round) {
            minimal.push_back(bench::runClient(client).rate);
            viaProgram.push_back(send(keys, bench::programPath()));
            pipelined.push_back(send(keys + "Pipelining=1\r\n", bench::programPath()));
            programRatio.push_back(viaProgram.back() / minimal.back());
            pipelinedRatio.push_back(pipelined.back() / minimal.back());
            std::printf("round %d: C client %.1f, sendrix %.1f (%.2f), pipelined %.1f (%.2f)", round + 1,
                        minimal.back(), viaProgram.back(), programRatio.back(), pipelined.back(),
                        pipelinedRatio.back());
            if (!other.empty()) {
                viaOther.push_back(send(keys, other));
                otherRatio.push_back(viaOther.back() / minimal.back());
                std::printf(", other %.1f (%.2f)", viaOther.back(), otherRatio.back());
            }
            std::printf(" messages/s\n");
        }
        std::printf(
            "STARTTLS list mailing, %d recipients, %d per connection, median of %d rounds, messages/s\n",
            count, perConnection, rounds);
        std::printf("C client, one connection, RSET between: %9.1f\n", bench::median(minimal));
        std::printf("sendrix /sofort (whole run):             %9.1f  (%.2f of the C client)\n",
                    bench::median(viaProgram), bench::median(programRatio));
        std::printf("sendrix /sofort, Pipelining=1:           %9.1f  (%.2f of the C client)\n",
                    bench::median(pipelined), bench::median(pipelinedRatio));
        if (!other.empty())
            std::printf("%s: %9.1f  (%.2f of the C client)\n", other.c_str(), bench::median(viaOther),
                        bench::median(otherRatio));
        bench::removeFolder(home);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_connection_reuse: %s\n", error.what());
        return 1;
    }
    return 0;
}

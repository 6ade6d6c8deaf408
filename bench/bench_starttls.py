"""STARTTLS delivery benchmark: N messages, one connection each, through one
C STARTTLS sink (bench/starttls_smtp_sink.c: TCP_NODELAY, so the TLS 1.3
tickets and the EHLO reply do not wait for delayed acknowledgements), side
by side in one run:

- Sendrix's SMTP client (tests/programs/smtp_send --repeat) with full
  handshakes and with TLS session resumption between the connections;
- Python's smtplib with a verifying context (ssl.create_default_context);
- a minimal C client with OpenSSL (bench/starttls_smtp_client.c) doing the
  same dialogue and handshakes, without and with session resumption.

Every client verifies the chain against a throw-away CA made with the
openssl command and the name "localhost". The clients take turns in rounds
(COUNT / ROUNDS messages each per round), so a change in the machine's load
hits them alike; each rate is its total messages over its total time.

    /usr/bin/python3 bench/bench_starttls.py [COUNT [ROUNDS]]   (default 1000 10; build first)

Targets: Sendrix at least 0.8 of the C client and ahead of smtplib with
full handshakes, and at least 0.8 of the resuming C client with resumption.

Measured here (2 cores shared with other builds, load about 6; 1000
messages each, 20 rounds):
    Sendrix, full handshakes              374 messages/s
    Sendrix, session resumption           621 messages/s
    Python smtplib, verifying context     363 messages/s
    C client, full handshakes             441 messages/s
    C client, session resumption          683 messages/s
    Sendrix / C client, full handshakes   0.85 (median of the rounds 0.96)
    Sendrix / smtplib, full handshakes    1.03 (median of the rounds 1.14)
    Sendrix / C client, both resuming     0.91 (median of the rounds 0.87)
Two runs of 10 rounds gave 0.93 / 1.22 / 0.96 and 0.85 / 1.09 / 0.71
(median of the rounds 0.81): the machine's load moves the whole-run
figures by about a tenth. Sendrix uses about 1.2 times the C client's CPU
(it writes each message with its header lines; the C client sends a
pre-rendered text), the rest is the handshake.
"""
import os
import smtplib
import ssl
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.environ.get("SENDRIX_BUILD_DIR", os.path.join(ROOT, "build"))
SMTP_SEND = os.path.join(BUILD, "tests", "programs", "smtp_send")


def make_certificates(folder):
    def run(*args):
        subprocess.run(["openssl", *args], cwd=folder, check=True, capture_output=True)
    run("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
        "ca.key", "-out", "ca.pem", "-days", "30", "-subj", "/CN=Bench CA")
    run("req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
        "server.key", "-out", "server.csr", "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost")
    with open(os.path.join(folder, "ext"), "w") as ext:
        ext.write("subjectAltName=DNS:localhost\n")
    run("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial", "-days", "30",
        "-extfile", "ext", "-out", "server.pem")
    return os.path.join(folder, "ca.pem"), os.path.join(folder, "server.pem"), os.path.join(folder, "server.key")


def start_sink(cert, key):
    sink = subprocess.Popen([os.path.join(BUILD, "bench", "starttls_smtp_sink"), cert, key],
                            stdout=subprocess.PIPE, text=True)
    line = sink.stdout.readline()
    if not line.startswith("PORT "):
        sink.kill()
        raise SystemExit("the sink did not start: " + line)
    return sink, int(line.split()[1])


def timed(run):
    start = time.perf_counter()
    run()
    return time.perf_counter() - start


def sendrix(port, count, ca, resume):
    subprocess.run([SMTP_SEND, "--host", "localhost", "--port", str(port), "--encryption", "starttls",
                    "--from", "absender@example.org", "--to", "empfaenger@example.org", "--subject", "Bench",
                    "--repeat", str(count), "--resume", "1" if resume else "0"],
                   check=True, capture_output=True, env=dict(os.environ, SSL_CERT_FILE=ca))


def c_client(port, count, ca, message, resume):
    arguments = [os.path.join(BUILD, "bench", "starttls_smtp_client"), str(port), message, str(count), ca]
    result = subprocess.run(arguments + (["resume"] if resume else []), check=True, capture_output=True, text=True)
    if resume and count > 1 and result.stdout.splitlines()[-1] == "0 resumed":
        raise SystemExit("the C client resumed no session: " + result.stdout)


def python_smtplib(port, count, ca):
    context = ssl.create_default_context(cafile=ca)
    message = "Subject: Bench\r\n\r\nbody\r\n"
    for _ in range(count):
        with smtplib.SMTP("localhost", port) as client:
            client.starttls(context=context)
            client.ehlo()
            client.sendmail("absender@example.org", ["empfaenger@example.org"], message)


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    per_round = max(1, count // rounds)
    with tempfile.TemporaryDirectory() as folder:
        ca, cert, key = make_certificates(folder)
        message = os.path.join(folder, "message.eml")
        with open(message, "wb") as out:
            # About the size of the program's message with its header lines.
            out.write(b"From: absender@example.org\r\nTo: empfaenger@example.org\r\nSubject: Bench\r\n"
                      b"Date: Wed, 09 Dec 2026 08:00:00 +0100\r\nMessage-ID: <bench@example.org>\r\n"
                      b"MIME-Version: 1.0\r\nContent-Type: text/plain; charset=us-ascii\r\n"
                      b"Content-Transfer-Encoding: 7bit\r\n\r\nbody\r\n")
        sink, port = start_sink(cert, key)
        try:
            rows = [("Sendrix, full handshakes", lambda n: sendrix(port, n, ca, False)),
                    ("Sendrix, session resumption", lambda n: sendrix(port, n, ca, True)),
                    ("Python smtplib, verifying context", lambda n: python_smtplib(port, n, ca)),
                    ("C client, full handshakes", lambda n: c_client(port, n, ca, message, False)),
                    ("C client, session resumption", lambda n: c_client(port, n, ca, message, True))]
            times = [[] for _ in rows]
            for _ in range(rounds):
                for i, (_, run) in enumerate(rows):
                    times[i].append(timed(lambda: run(per_round)))
        finally:
            sink.terminate()
            sink.wait()
    rates = [per_round * rounds / sum(t) for t in times]
    for (name, _), rate in zip(rows, rates):
        print("%-36s %7.0f messages/s" % (name, rate))

    # Rate ratios: over the whole run, and the median of the rounds' own
    # ratios (a round whose load changed moves the whole-run figure, the
    # median much less).
    def ratio(a, b, target):
        whole = rates[a] / rates[b]
        median = statistics.median(tb / ta for ta, tb in zip(times[a], times[b]))
        return "%.2f (median of the rounds %.2f; target %s)" % (whole, median, target)
    print("Sendrix / C client, full handshakes:   " + ratio(0, 3, ">= 0.80"))
    print("Sendrix / smtplib, full handshakes:    " + ratio(0, 2, "> 1"))
    print("Sendrix / C client, both resuming:     " + ratio(1, 4, ">= 0.80"))


if __name__ == "__main__":
    main()

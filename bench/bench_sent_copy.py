#!/usr/bin/python3
"""A 1,000-row list send of the program (unattended) with and without copies
in "Gesendet": the same list, body and SMTP sink (bench/smtp_sink), once with
an [Imap] account on a local Dovecot over STARTTLS (the tests' fixture and a
throw-away CA) and once without. farm-bench times both whole runs pair by
pair; quote the median ratio A/B.

    bench_sent_copy.py BUILD_DIR [ROWS] [RUNS] [--no-fsync] [--aiosmtpd] [--rtt=MS]

A run ends once the last copy is made, so it takes at least as long as
Dovecot needs to store them; --no-fsync (mail_fsync = never) leaves out the
server's disk and shows what the copies cost the program and the protocol.
--aiosmtpd sends to Debian's aiosmtpd instead of the instant sink: an SMTP
server that, like a real one, takes its time per message, so the copies
(made beside the sending) can overlap it. --rtt=MS puts a relay with
that round-trip time (latency_relay.py) before both servers: the network
between a user and a provider.

Needs Debian's dovecot-imapd and openssl; run as root or as a user Dovecot
may run as. Leaves nothing behind.
"""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "interop"))
import dovecot_support  # noqa: E402
from latency_relay import LatencyRelay  # noqa: E402
from tls_support import Certificates  # noqa: E402

no_fsync = "--no-fsync" in sys.argv
use_aiosmtpd = "--aiosmtpd" in sys.argv
rtt = [float(arg[6:]) for arg in sys.argv[1:] if arg.startswith("--rtt=")]
args = [arg for arg in sys.argv[1:] if arg not in ("--no-fsync", "--aiosmtpd") and not arg.startswith("--rtt=")]
build = os.path.abspath(args[0])
rows = int(args[1]) if len(args) > 1 else 1000
runs = args[2] if len(args) > 2 else "5"
work = tempfile.mkdtemp(prefix="sendrix-bench-sent-copy-")
os.chmod(work, 0o755)
sink = dovecot = None
relays = []
try:
    certs = Certificates(tempfile.mkdtemp(dir=work))
    dovecot = dovecot_support.Dovecot(os.path.join(work, "dovecot"), os.path.join(certs.folder, "good.pem"),
                                      os.path.join(certs.folder, "good.key"), {"anna": "geheim"},
                                      extra="mail_fsync = never\n" if no_fsync else "")
    if use_aiosmtpd:
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            smtp_port = probe.getsockname()[1]
        sink = subprocess.Popen(["/usr/bin/python3", "-m", "aiosmtpd", "-n", "-l", "127.0.0.1:%d" % smtp_port,
                                 "-c", "aiosmtpd.handlers.Sink"])
        deadline = time.monotonic() + 30
        while True:
            try:
                socket.create_connection(("127.0.0.1", smtp_port), timeout=1).close()
                break
            except OSError:
                if time.monotonic() > deadline:
                    sys.exit("aiosmtpd did not start")
                time.sleep(0.05)
    else:
        sink = subprocess.Popen([os.path.join(build, "bench", "smtp_sink")], stdout=subprocess.PIPE, text=True)
        smtp_port = int(sink.stdout.readline().split()[1])
    imap_port = dovecot.imap_port
    if rtt:
        relays = [LatencyRelay(smtp_port, rtt[0]), LatencyRelay(imap_port, rtt[0])]
        smtp_port, imap_port = relays[0].port, relays[1].port
    password = "".join(chr(ord(c) ^ 0x1F) for c in "geheim")
    for name, imap in (("with", ["[Imap]", "ServerName=localhost", "ServerPort=%d" % imap_port]),
                       ("without", [])):
        home = os.path.join(work, name)
        os.makedirs(home)
        ini = ["[Smtp]", "ServerName=127.0.0.1", "ServerPort=%d" % smtp_port, "ServerUser=anna",
               'ServerPassword="%s"' % password, "MessagesPerConnection=100", *imap]
        with open(os.path.join(home, "Mail.ini"), "w", opener=lambda p, f: os.open(p, f, 0o600)) as out:
            out.write("\r\n".join(ini) + "\r\n")
        with open(os.path.join(home, "liste.csv"), "w") as out:
            out.write("".join("Meier %d;Anna;mitglied%d@example.org;w\r\n" % (i, i) for i in range(rows)))
        with open(os.path.join(home, "text.txt"), "w") as out:
            out.write("Liebe Mitglieder,\r\n\r\n" + "die Versammlung findet am 12. März statt.\r\n" * 40)
    program = os.path.join(build, "src", "sendrix")
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}

    def command(name):
        home = os.path.join(work, name)
        return ["env", "SENDRIX_HOME=" + home, "SSL_CERT_FILE=" + certs.ca, "LANG=C.UTF-8", program,
                os.path.join(home, "liste.csv"), "/B:" + os.path.join(home, "text.txt"), "/s:Einladung",
                "/from:vorstand@example.org", "/sofort"]

    # One run of each first: a failing set-up shows its error here.
    for name in ("with", "without"):
        check = subprocess.run(command(name), env=env, capture_output=True, text=True, timeout=600)
        if check.returncode != 0:
            sys.exit("%s copies: exit %d\n%s%s" % (name, check.returncode, check.stdout[-2000:], check.stderr))
    subprocess.run(["farm-bench", "-n", runs, "--timeout", "1200", "--vs", " ".join(command("without")), "--",
                    *command("with")], env=env, check=True)
    print("copies in Sent:", len(dovecot.messages("anna", "Sent")))
finally:
    for relay in relays:
        relay.stop()
    if sink:
        sink.terminate()
        sink.wait(timeout=20)
    if dovecot:
        dovecot.stop()
    shutil.rmtree(work, ignore_errors=True)

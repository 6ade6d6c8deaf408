"""STARTTLS delivery benchmark: N messages, one connection each, through the
same STARTTLS sink (TCP_NODELAY, so the TLS 1.3 tickets and the EHLO reply do
not wait for delayed acknowledgements), side by side in one run:

- Sendrix's SMTP client (tests/programs/smtp_send --repeat N) with full
  handshakes and with TLS session resumption between the connections;
- Python's smtplib with a verifying context (ssl.create_default_context).

The certificates come from a throw-away CA made with the openssl command;
both clients verify the chain and the name "localhost".

    /usr/bin/python3 bench/bench_starttls.py [COUNT]   (default 1000; build first)

Measured here (2 shared cores, 1000 messages, one run):
    Sendrix, full handshakes              101 messages/s
    Sendrix, session resumption           836 messages/s
    Python smtplib, verifying context     101 messages/s
The sink is Python (its handshake half is OpenSSL, its command loop is not),
so without resumption the sink's side of the handshake bounds both clients
alike; a C sink and a minimal C client with TLS are not part of this run.
"""
import os
import smtplib
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SMTP_SEND = os.path.join(os.environ.get("SENDRIX_BUILD_DIR", os.path.join(ROOT, "build")),
                         "tests", "programs", "smtp_send")


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


class Sink:
    """STARTTLS SMTP sink: one connection at a time, every command answered."""

    def __init__(self, cert, key):
        self.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self.context.load_cert_chain(cert, key)
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            conn, _ = self.listener.accept()
            conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            try:
                self.session(conn)
            except (OSError, ssl.SSLError):
                pass
            finally:
                conn.close()

    def session(self, conn):
        conn.sendall(b"220 sink ESMTP\r\n")
        buffer = b""
        encrypted = False
        in_data = False
        while True:
            while b"\r\n" not in buffer:
                chunk = conn.recv(65536)
                if not chunk:
                    return
                buffer += chunk
            line, buffer = buffer.split(b"\r\n", 1)
            if in_data:
                if line == b".":
                    in_data = False
                    conn.sendall(b"250 queued\r\n")
                continue
            verb = line[:4].upper()
            if verb in (b"EHLO", b"HELO"):
                conn.sendall(b"250-sink\r\n250 AUTH PLAIN\r\n" if encrypted else b"250-sink\r\n250 STARTTLS\r\n")
            elif verb == b"STAR":
                conn.sendall(b"220 go ahead\r\n")
                conn = self.context.wrap_socket(conn, server_side=True)
                encrypted = True
            elif verb == b"DATA":
                conn.sendall(b"354 go\r\n")
                in_data = True
            elif verb == b"QUIT":
                conn.sendall(b"221 bye\r\n")
                return
            else:
                conn.sendall(b"250 ok\r\n")


def sendrix(port, count, ca, resume):
    start = time.perf_counter()
    subprocess.run([SMTP_SEND, "--host", "localhost", "--port", str(port), "--encryption", "starttls",
                    "--from", "ich@example.org", "--to", "du@example.org", "--subject", "Bench",
                    "--repeat", str(count), "--resume", "1" if resume else "0"],
                   check=True, capture_output=True, env=dict(os.environ, SSL_CERT_FILE=ca))
    return count / (time.perf_counter() - start)


def python_smtplib(port, count, ca):
    context = ssl.create_default_context(cafile=ca)
    message = "Subject: Bench\r\n\r\nbody\r\n"
    start = time.perf_counter()
    for _ in range(count):
        with smtplib.SMTP("localhost", port) as client:
            client.starttls(context=context)
            client.ehlo()
            client.sendmail("ich@example.org", ["du@example.org"], message)
    return count / (time.perf_counter() - start)


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    with tempfile.TemporaryDirectory() as folder:
        ca, cert, key = make_certificates(folder)
        sink = Sink(cert, key)
        rows = [("Sendrix, full handshakes", lambda: sendrix(sink.port, count, ca, False)),
                ("Sendrix, session resumption", lambda: sendrix(sink.port, count, ca, True)),
                ("Python smtplib, verifying context", lambda: python_smtplib(sink.port, count, ca))]
        for name, run in rows:
            print("%-36s %7.0f messages/s" % (name, run()), flush=True)


if __name__ == "__main__":
    main()

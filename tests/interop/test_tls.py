"""Encrypted delivery: STARTTLS and TLS from the first byte, certificate
checks, pinning and the newer logins, against aiosmtpd and against a
scripted TLS server that records every command it received.

The certificates come from a throw-away CA made by Debian's openssl command
for each run; the client trusts it through SSL_CERT_FILE. Run by CTest with
Debian's /usr/bin/python3 (python3-aiosmtpd).
"""
import base64
import os
import socket
import ssl
import subprocess
import tempfile
import threading
import unittest
import warnings

from aiosmtpd.smtp import SMTP, AuthResult

import smtp_support
from tls_support import Certificates
from smtp_support import BUILD_DIR, RUN_LIMIT, SMTP_SEND, AiosmtpdThread, parse

HOST = "localhost"  # the client resolves it to 127.0.0.1 and checks this name


def send(port, *args, env=None):
    """Runs smtp_send; returns (exit status, stdout lines, stderr lines)."""
    run = subprocess.run([SMTP_SEND, "--host", HOST, "--port", str(port), "--timeout", "5", *args],
                         capture_output=True, timeout=RUN_LIMIT, env=env)
    return run.returncode, run.stdout.decode().splitlines(), run.stderr.decode("utf-8").split("\n", 2)


class Recorder(smtp_support.Recorder):
    async def auth_XOAUTH2(self, server, args):
        fields = base64.b64decode(args[1]).split(b"\x01")
        user = fields[0].removeprefix(b"user=")
        token = fields[1].removeprefix(b"auth=Bearer ")
        server.attempts.append(("XOAUTH2", user, token))
        return AuthResult(success=token == b"tok-123", handled=False, auth_data=user)


class Aiosmtpd(AiosmtpdThread):
    """aiosmtpd in a thread: STARTTLS required and AUTH only after it, or
    (implicit) TLS from the first byte; logins checked against `logins`."""

    def __init__(self, context, implicit, logins):
        self.recorder = Recorder()
        self.logins = logins
        self.attempts = []
        super().__init__(lambda: self._protocol(context, implicit), ssl=context if implicit else None)

    def _protocol(self, context, implicit):
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            if implicit:
                # The whole connection is encrypted; aiosmtpd only knows
                # its own STARTTLS as "TLS", so it is told not to insist.
                smtp = SMTP(self.recorder, loop=self.loop, auth_require_tls=False, auth_required=True,
                            authenticator=self._authenticate)
            else:
                smtp = SMTP(self.recorder, loop=self.loop, tls_context=context, require_starttls=True,
                            auth_require_tls=True, auth_required=True, authenticator=self._authenticate)
        smtp.attempts = self.attempts
        return smtp

    def _authenticate(self, server, session, envelope, mechanism, data):
        self.attempts.append((mechanism, data.login, data.password))
        return AuthResult(success=self.logins.get(data.login) == data.password, handled=False)


class ScriptedTlsServer:
    """One connection, answered as `row` says; records every command line it
    received, in the clear and after the handshake."""

    EHLO_PLAIN = b"250-test.local\r\n250-STARTTLS\r\n250 SIZE 1000000\r\n"
    EHLO_TLS = b"250-test.local\r\n250 AUTH PLAIN LOGIN\r\n"

    def __init__(self, context, mode, starttls_reply=b"220 2.0.0 Ready to start TLS\r\n", offer_starttls=True,
                 stall=False):
        self.context, self.mode, self.starttls_reply = context, mode, starttls_reply
        self.offer_starttls, self.stall = offer_starttls, stall
        self.received = []
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.listener.settimeout(RUN_LIMIT)
        self.port = self.listener.getsockname()[1]
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        try:
            conn, _ = self.listener.accept()
        except OSError:
            return
        conn.settimeout(20)
        try:
            self._session(conn)
        except (OSError, ssl.SSLError, ValueError):
            pass  # the client left or refused; what it sent is recorded
        finally:
            conn.close()
            self.listener.close()

    def _session(self, conn):
        if self.mode == "tls":
            conn = self.context.wrap_socket(conn, server_side=True)
        self.buffer = b""
        conn.sendall(b"220 test.local ESMTP\r\n")
        encrypted = self.mode == "tls"
        while True:
            line = self._line(conn)
            if line is None:
                return
            self.received.append(line)
            verb = line.split(b" ")[0].upper()
            if verb == b"EHLO":
                if encrypted:
                    conn.sendall(self.EHLO_TLS)
                elif self.offer_starttls:
                    conn.sendall(self.EHLO_PLAIN)
                else:
                    conn.sendall(b"250-test.local\r\n250 AUTH PLAIN LOGIN\r\n")
            elif verb == b"STARTTLS":
                conn.sendall(self.starttls_reply)
                if not self.starttls_reply.startswith(b"220"):
                    continue
                if self.stall:
                    while conn.recv(4096):
                        pass  # the ClientHello is never answered
                    return
                conn = self.context.wrap_socket(conn, server_side=True)
                encrypted = True
            elif verb == b"DATA":
                conn.sendall(b"354 go ahead\r\n")
                while self._line(conn) not in (b".", None):
                    pass
                conn.sendall(b"250 2.0.0 queued\r\n")
            elif verb == b"QUIT":
                conn.sendall(b"221 bye\r\n")
                return
            elif verb == b"AUTH":
                conn.sendall(b"235 2.7.0 ok\r\n")
            else:
                conn.sendall(b"250 ok\r\n")

    def _line(self, conn):
        while b"\r\n" not in self.buffer:
            chunk = conn.recv(4096)
            if not chunk:
                return None
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\r\n", 1)
        return line

    def commands(self):
        self.thread.join(RUN_LIMIT)
        return [line.split(b" ")[0].upper().decode() for line in self.received]


class TlsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.certs = Certificates(cls.folder.name)
        cls.env = dict(os.environ, SSL_CERT_FILE=cls.certs.ca)

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def aiosmtpd(self, implicit=False, logins=None):
        server = Aiosmtpd(self.certs.context("good"), implicit, logins or {})
        self.addCleanup(server.stop)
        return server

    def test_logins_over_required_starttls_and_implicit_tls_deliver_intact_messages(self):
        body = os.path.join(self.folder.name, "body.txt")
        with open(body, "wb") as f:
            f.write("Grüße aus Köln – 5 €\n.ein Punkt\n".encode())
        rows = [
            ("LOGIN over STARTTLS", False, ["--auth", "login", "--user", "ich", "--password", "ge:heim"],
             ("LOGIN", b"ich", b"ge:heim")),
            ("PLAIN over STARTTLS, UTF-8", False, ["--auth", "plain", "--user", "jörg", "--password", "pässwort"],
             ("PLAIN", "jörg".encode(), "pässwort".encode())),
            ("XOAUTH2 over STARTTLS", False,
             ["--auth", "xoauth2", "--user", "ich@example.org", "--token-command", "/bin/echo tok-123"],
             ("XOAUTH2", b"ich@example.org", b"tok-123")),
            ("PLAIN over implicit TLS", True, ["--auth", "plain", "--user", "ich", "--password", "ge:heim"],
             ("PLAIN", b"ich", b"ge:heim")),
        ]
        for name, implicit, login, attempt in rows:
            with self.subTest(name):
                server = self.aiosmtpd(implicit, {b"ich": b"ge:heim", "jörg".encode(): "pässwort".encode()})
                status, out, error = send(server.port, "--encryption", "tls" if implicit else "starttls", *login,
                                          "--from", "ich@example.org", "--to", "Jörg <du@example.org>",
                                          "--subject", "Grüße", "--body-file", body, env=self.env)
                self.assertEqual(status, 0, error)
                self.assertEqual(out, ["sent encrypted=1 resumed=0"])
                self.assertEqual(server.attempts, [attempt])
                [(sender, recipients, text)] = server.recorder.envelopes
                self.assertEqual((sender, recipients), ("ich@example.org", ["du@example.org"]))
                message = parse(text)
                self.assertEqual(str(message["Subject"]), "Grüße")
                self.assertEqual(message["To"].addresses[0].display_name, "Jörg")
                self.assertEqual(message.get_content().replace("\r\n", "\n"), "Grüße aus Köln – 5 €\n.ein Punkt\n")

    def test_later_connections_of_a_run_resume_the_tls_session(self):
        server = self.aiosmtpd(logins={b"ich": b"ge:heim"})
        status, out, error = send(server.port, "--encryption", "starttls", "--auth", "plain", "--user", "ich",
                                  "--password", "ge:heim", "--from", "ich@example.org", "--to", "du@example.org",
                                  "--repeat", "3", env=self.env)
        self.assertEqual(status, 0, error)
        self.assertEqual(out, ["sent encrypted=1 resumed=0"] + ["sent encrypted=1 resumed=1"] * 2)
        self.assertEqual(len(server.recorder.envelopes), 3)

    def test_a_new_run_checks_the_certificate_against_the_trust_store_of_then(self):
        # A session trusted in one run is never resumed by the next: it
        # reads the trust store anew and checks the certificate again.
        rogue = os.path.join(self.folder.name, "rogue.pem")
        rows = [
            ("the same trust", self.certs.ca, 0, ["sent encrypted=1 resumed=0"] * 2),
            ("the CA no longer trusted", rogue, 1, ["sent encrypted=1 resumed=0"]),
        ]
        for name, trusted, status, sent in rows:
            with self.subTest(name):
                server = self.aiosmtpd(logins={b"ich": b"ge:heim"})
                code, out, error = send(server.port, "--encryption", "starttls", "--auth", "plain", "--user", "ich",
                                        "--password", "ge:heim", "--from", "ich@example.org", "--to",
                                        "du@example.org", "--repeat", "2", "--next-run-trusts", trusted, env=self.env)
                self.assertEqual((code, out), (status, sent), error)
                if status:
                    self.assertEqual(error[0], "EIdCertificateError")
                    self.assertIn("unbekannten Aussteller", "\n".join(error))
                self.assertEqual(len(server.recorder.envelopes), len(sent))

    def test_each_refusal_ends_the_attempt_before_login_and_mail(self):
        good = self.certs.context("good")
        fail = "/usr/bin/python3 -c \"import sys; sys.stderr.write('kein Netz\\nmehr'); sys.exit(3)\""
        rows = [
            # name, server, client switches, error class, texts in the message, commands the server got
            ("expired", lambda: ScriptedTlsServer(self.certs.context("expired"), "starttls"), [],
             "EIdCertificateError", ["abgelaufen (gültig bis 01.01.2021)", self.certs.fingerprint("expired")],
             ["EHLO", "STARTTLS"]),
            ("wrong name", lambda: ScriptedTlsServer(self.certs.context("wrongname"), "tls"), ["--encryption", "tls"],
             "EIdCertificateError", ["gilt nicht für \"localhost\", sondern für mail.other.example",
                                     self.certs.fingerprint("wrongname")], []),
            ("unknown issuer", lambda: ScriptedTlsServer(self.certs.context("unknown"), "starttls"), [],
             "EIdCertificateError", ["unbekannten Aussteller", self.certs.fingerprint("unknown")],
             ["EHLO", "STARTTLS"]),
            ("pinned fingerprint", lambda: ScriptedTlsServer(self.certs.context("unknown"), "starttls"),
             ["--pin", self.certs.fingerprint("unknown").replace(":", "").lower()],
             None, [], ["EHLO", "STARTTLS", "EHLO", "RSET", "AUTH", "MAIL", "RCPT", "DATA", "QUIT"]),
            ("TLS 1.1 only", lambda: ScriptedTlsServer(self.certs.context("good", ssl.TLSVersion.TLSv1_1), "starttls"), [],
             "EIdTlsError", ["nur TLS-Versionen unter 1.2"], ["EHLO", "STARTTLS"]),
            ("STARTTLS not offered", lambda: ScriptedTlsServer(good, "starttls", offer_starttls=False), [],
             "EIdTlsError", ["bietet kein STARTTLS an"], ["EHLO", "QUIT"]),
            ("bytes after the 220", lambda: ScriptedTlsServer(good, "starttls",
                                                      starttls_reply=b"220 Ready\r\n250 injected\r\n"), [],
             "EIdTlsError", ["unverschlüsselte Daten"], ["EHLO", "STARTTLS"]),
            ("454 to STARTTLS", lambda: ScriptedTlsServer(good, "starttls",
                                                  starttls_reply=b"454 4.7.0 TLS not available\r\n"), [],
             "EIdProtocolReplyError", ["454 4.7.0 TLS not available\r\n", "lehnt STARTTLS ab"],
             ["EHLO", "STARTTLS", "QUIT"]),
            ("stalled handshake", lambda: ScriptedTlsServer(good, "starttls", stall=True), ["--timeout", "1"],
             "EIdSocketError", ["Zeitüberschreitung", "antwortet nicht auf den TLS-Aufbau"], ["EHLO", "STARTTLS"]),
            ("token command fails", lambda: ScriptedTlsServer(good, "starttls"),
             ["--auth", "xoauth2", "--token-command", fail], "other",
             ["\"/usr/bin/python3\" ist mit dem Status 3 beendet worden: kein Netz\r\n"], []),
            ("login not offered", lambda: ScriptedTlsServer(good, "starttls"), ["--auth", "xoauth2",
                                                                        "--token-command", "/bin/echo t"],
             "EIdLoginNotOffered", ["Anmeldung XOAUTH2 nicht an", "bietet an: PLAIN LOGIN"],
             ["EHLO", "STARTTLS", "EHLO", "RSET", "QUIT"]),
        ]
        for name, make_server, switches, kind, texts, commands in rows:
            with self.subTest(name):
                args = ["--encryption", "starttls", "--auth", "plain", "--user", "ich", "--password", "geheim",
                        *switches, "--from", "ich@example.org", "--to", "du@example.org"]
                server = make_server()
                status, out, error = send(server.port, *args, env=self.env)
                if kind is None:
                    self.assertEqual(status, 0, error)
                else:
                    self.assertEqual((status, error[0]), (1, kind), error)
                    if kind != "other":
                        self.assertIn("\r\nServer localhost:%d " % server.port, error[2])
                    for text in texts:
                        self.assertIn(text, error[2])
                    self.assertNotIn("geheim", error[2])
                if kind == "other":
                    socket.create_connection(("127.0.0.1", server.port)).close()  # the client never came
                self.assertEqual(server.commands(), commands)

    def test_unattended_run_never_trusts_a_certificate_by_itself_and_honours_the_pinned_one(self):
        home = tempfile.mkdtemp(dir=self.folder.name)
        program = os.path.join(BUILD_DIR, "src", "sendrix")
        env = {k: v for k, v in self.env.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update({"SENDRIX_HOME": home, "LANG": "C.UTF-8", "TZ": "UTC"})
        fingerprint = self.certs.fingerprint("unknown")
        for pin, status, commands in (("", 1, ["EHLO", "STARTTLS"]),
                                      ("TlsFingerprint=" + fingerprint + "\r\n", 0,
                                       ["EHLO", "STARTTLS", "EHLO", "RSET", "MAIL", "RCPT", "DATA", "QUIT"])):
            with self.subTest(pinned=bool(pin)):
                server = ScriptedTlsServer(self.certs.context("unknown"), "starttls")
                ini = ("[Smtp]\r\nServerName=localhost\r\nServerPort=%d\r\nSMTPAuthenticationType=0\r\n"
                       "Encryption=1\r\n%s" % (server.port, pin)).encode()
                with open(os.path.join(home, "Mail.ini"), "wb") as f:
                    f.write(ini)
                run = subprocess.run([program, "/to:du@example.org", "/s:Test", "/from:ich@example.org", "/sofort"],
                                     env=env, cwd=home, capture_output=True, timeout=RUN_LIMIT)
                self.assertEqual(run.returncode, status, run.stderr.decode())
                self.assertEqual(server.commands(), commands)
                with open(os.path.join(home, "Mail.ini"), "rb") as f:
                    self.assertEqual(f.read(), ini)
                if status:
                    self.assertIn(fingerprint, run.stderr.decode())
                    self.assertIn("unbekannten Aussteller", run.stderr.decode())


if __name__ == "__main__":
    unittest.main()

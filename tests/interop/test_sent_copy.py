"""Copies in "Gesendet": list sends of the program (unattended) to aiosmtpd
with a real Dovecot (dovecot_support) as the IMAP account, over STARTTLS
or TLS with the tests' CA. The copies must be byte for byte what the SMTP
server received, flagged \\Seen, one per delivered row; a refused APPEND
or a lost IMAP connection must cost only the copy, never a delivery, and
the result file must say why a row has none.
"""
import csv
import os
import shutil
import subprocess
import tempfile
import unittest

import dovecot_support
from test_unattended import PROGRAM, RUN_LIMIT_SECONDS, FreePortController, RecordingHandler
from tls_support import Certificates

USER, PASSWORD = "anna", "geheim"


def scrambled(text):
    return "".join(chr(ord(c) ^ 0x1F) for c in text)


class Handler(RecordingHandler):
    """Runs `on_message[n]` (with n the count of messages taken) before
    answering DATA: the point in a run where the test breaks the mailbox."""

    def __init__(self, refuse_rcpt_number=0, on_message=None):
        super().__init__(refuse_rcpt_number)
        self.on_message = on_message or {}

    async def handle_DATA(self, server, session, envelope):
        reply = await super().handle_DATA(server, session, envelope)
        action = self.on_message.get(len(self.transactions))
        if action:
            action()
        return reply


class SentCopyTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory(prefix="sendrix-sent-copy-")
        cls.certs = Certificates(cls.folder.name)

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="sendrix-sent-copy-home-")
        self.addCleanup(shutil.rmtree, self.home, True)

    def dovecot(self, cert="good", **options):
        # Outside the home folder (mode 0700): Dovecot's own users read it.
        folder = tempfile.mkdtemp(prefix="sendrix-dovecot-")
        self.addCleanup(shutil.rmtree, folder, True)
        server = dovecot_support.Dovecot(folder, os.path.join(self.certs.folder, cert + ".pem"),
                                         os.path.join(self.certs.folder, cert + ".key"), {USER: PASSWORD}, **options)
        self.addCleanup(server.stop)
        return server

    def smtp(self, **options):
        handler = Handler(**options)
        controller = FreePortController(handler, hostname="127.0.0.1", port=0)
        controller.start()
        self.addCleanup(controller.stop)
        return handler, controller.port

    def send(self, smtp_port, imap_keys, rows=5):
        ini = ["[Smtp]", "ServerName=127.0.0.1", "ServerPort=%d" % smtp_port, "SMTPAuthenticationType=0",
               "ServerUser=" + USER, 'ServerPassword="%s"' % scrambled(PASSWORD), "[Imap]"]
        ini += ["%s=%s" % item for item in imap_keys.items()]
        with open(os.path.join(self.home, "Mail.ini"), "w", opener=lambda p, f: os.open(p, f, 0o600)) as out:
            out.write("\r\n".join(ini) + "\r\n")
        body = os.path.join(self.home, "text.txt")
        with open(body, "wb") as out:
            # A line beginning with "." is doubled on the wire and must not be in the copy.
            out.write(b"Hallo,\r\n.punkt am Anfang\r\n" + b"Zeile mit Inhalt f\xfcr die Kopie\r\n" * 15)
        liste = os.path.join(self.home, "liste.csv")
        with open(liste, "w") as out:
            out.write("".join("N%d;V;r%d@example.org;w\r\n" % (i, i) for i in range(1, rows + 1)))
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update({"SENDRIX_HOME": self.home, "LANG": "C.UTF-8", "TZ": "UTC", "SSL_CERT_FILE": self.certs.ca})
        result = subprocess.run([PROGRAM, liste, "/B:" + body, "/s:Kopie", "/from:absender@example.org", "/sofort"],
                                env=env, cwd=self.home, capture_output=True, timeout=RUN_LIMIT_SECONDS)
        self.stdout = result.stdout.decode()
        return result.returncode

    def results(self):
        folder = os.path.join(self.home, "Ergebnisse")
        (name,) = os.listdir(folder)
        with open(os.path.join(folder, name), encoding="utf-8-sig", newline="") as data:
            rows = list(csv.reader(data, delimiter=";"))
        return [row[2] for row in rows[1:]]

    def test_each_delivered_row_has_one_seen_copy_identical_to_what_smtp_received(self):
        cases = [
            # name, dovecot options, folders made first, [Imap] keys, the folder copies go to
            ("special use, STARTTLS", {"special_use": "Versendet"}, ["Gesendete Objekte"], {"Encryption": 1},
             "Versendet"),
            ("usual German name, TLS", {"special_use": None}, ["Gesendete Objekte"], {"Encryption": 2},
             "Gesendete Objekte"),
            ("none there: created", {"special_use": None}, [], {"Encryption": 1}, "Sent"),
            ("folder set by the user", {}, [], {"Encryption": 1, "SentFolder": "Rundbriefe/Gesendet"},
             "Rundbriefe/Gesendet"),
            # Without MULTIAPPEND and LITERAL+: one APPEND each, waiting for each go-ahead.
            ("plain IMAP4rev1 server", {"extra": "imap_capability = IMAP4rev1 SPECIAL-USE\n"}, [],
             {"Encryption": 1}, "Sent"),
        ]
        for name, options, existing, keys, target in cases:
            with self.subTest(name):
                self.setUp()
                dovecot = self.dovecot(**options)
                for folder in existing:
                    dovecot.doveadm("mailbox", "create", "-u", USER, folder)
                # The last row is refused, which ends an unattended run.
                handler, port = self.smtp(refuse_rcpt_number=5)
                imap = {"ServerName": "localhost",
                        "ServerPort": dovecot.imaps_port if keys["Encryption"] == 2 else dovecot.imap_port}
                imap.update(keys)
                self.assertEqual(self.send(port, imap), 1, self.stdout)
                received = [content for _, _, content in handler.transactions]
                self.assertEqual(len(received), 4)
                stored = dovecot.messages(USER, target)
                self.assertEqual([data for data, _ in stored], received)
                self.assertTrue(all("S" in flags for _, flags in stored), stored)
                self.assertIn('Kopien der Mails gehen in den Ordner "%s"' % target, self.stdout)
                self.assertEqual(self.results(), ["versendet"] * 4 + ["Fehler"])

    def test_refused_append_costs_only_the_copy_and_the_row_says_why(self):
        # Room for two messages of about 850 bytes: a later APPEND is over quota.
        dovecot = self.dovecot(extra="mail_plugins = $mail_plugins quota\n"
                                     "plugin {\n  quota = maildir:User quota\n  quota_rule = *:storage=2K\n}\n")
        handler, port = self.smtp()
        status = self.send(port, {"ServerName": "localhost", "ServerPort": dovecot.imap_port})
        self.assertEqual(status, 0, self.stdout)
        self.assertEqual(len(handler.transactions), 5)
        stored = len(dovecot.messages(USER, "Sent"))
        self.assertIn(stored, (1, 2))
        results = self.results()
        self.assertEqual(results[:stored], ["versendet"] * stored)
        for text in results[stored:]:
            self.assertRegex(text, r"^versendet, keine Kopie in Gesendet: Der IMAP-Server localhost:\d+ lehnt "
                                   r"APPEND ab: NO \[OVERQUOTA\]")

    def test_lost_imap_server_costs_only_the_copies_and_later_rows_say_why(self):
        dovecot = self.dovecot()
        # While message 3 is taken, the IMAP server goes away with its connections.
        handler, port = self.smtp(on_message={3: dovecot.stop})
        status = self.send(port, {"ServerName": "localhost", "ServerPort": dovecot.imap_port})
        self.assertEqual(status, 0, self.stdout)
        self.assertEqual([rcpts for _, rcpts, _ in handler.transactions],
                         [["r%d@example.org" % i] for i in range(1, 6)])
        # The copies are made while the next messages go: those of rows 1
        # and 2 may or may not have been made before the server went away,
        # and one stored just before may have lost its OK with the server.
        # A row never claims a copy that is not there.
        stored = len(dovecot.messages(USER, "Sent"))
        self.assertLessEqual(stored, 2, self.stdout)
        results = self.results()
        copied = results.count("versendet")
        self.assertLessEqual(copied, stored)
        self.assertEqual(results[:copied], ["versendet"] * copied)
        for text in results[copied:]:
            self.assertRegex(text, r"^versendet, keine Kopie in Gesendet: (Keine Verbindung zum|Die Verbindung zum) "
                                   r"IMAP-Server localhost:\d+")

    def test_untrusted_certificate_gets_no_copy_unless_pinned(self):
        dovecot = self.dovecot(cert="unknown")
        fingerprint = self.certs.fingerprint("unknown")
        handler, port = self.smtp()
        imap = {"ServerName": "localhost", "ServerPort": dovecot.imap_port}
        self.assertEqual(self.send(port, imap, rows=2), 0, self.stdout)
        self.assertEqual(len(handler.transactions), 2)
        for text in self.results():
            self.assertIn("versendet, keine Kopie in Gesendet: Das Zertifikat des Servers stammt von einem "
                          "unbekannten Aussteller.", text)
            self.assertIn(fingerprint, text)
        self.assertEqual(dovecot.messages(USER, "Sent"), [])
        shutil.rmtree(os.path.join(self.home, "Ergebnisse"))
        self.assertEqual(self.send(port, dict(imap, TlsFingerprint=fingerprint), rows=2), 0, self.stdout)
        self.assertEqual(self.results(), ["versendet", "versendet"])
        self.assertEqual(len(dovecot.messages(USER, "Sent")), 2)


if __name__ == "__main__":
    unittest.main()

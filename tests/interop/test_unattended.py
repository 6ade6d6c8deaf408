"""The unattended mode end to end: the real program (build/src/sendrix) with
/sofort and no display, sending to a real aiosmtpd on 127.0.0.1. Checks the
exit status, the protocol on standard output, the error on standard error,
the send log and archive files, and every received message as Python's
email package parses it."""
import email
import email.policy
import os
import shutil
import socket
import subprocess
import tempfile
import threading
import time
import unittest

from aiosmtpd.controller import Controller

BUILD_DIR = os.environ.get("SENDRIX_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
PROGRAM = os.path.join(BUILD_DIR, "src", "sendrix")
RUN_LIMIT_SECONDS = 60


class RecordingHandler:
    """Keeps every transaction; refuses the n-th RCPT of its life when asked."""

    def __init__(self, refuse_rcpt_number=0):
        self.refuse_rcpt_number = refuse_rcpt_number
        self.rcpt_count = 0
        self.transactions = []  # (mail_from, [rcpt...], content bytes)
        self.lock = threading.Lock()

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        with self.lock:
            self.rcpt_count += 1
            refuse = self.rcpt_count == self.refuse_rcpt_number
        if refuse:
            return "550 5.1.1 <%s>: Recipient address rejected" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            self.transactions.append((envelope.mail_from, list(envelope.rcpt_tos),
                                      envelope.original_content or envelope.content))
        return "250 OK: queued"


class FreePortController(Controller):
    """aiosmtpd checks its server by connecting to the configured port; with
    port 0 the port the system chose has to be read back first."""

    def _trigger_server(self):
        self.port = self.server.sockets[0].getsockname()[1]
        super()._trigger_server()


class UnattendedTest(unittest.TestCase):
    def setUp(self):
        if not os.access(PROGRAM, os.X_OK):
            self.fail("program not built: %s" % PROGRAM)
        self.home = tempfile.mkdtemp(prefix="sendrix-unattended-")
        self.addCleanup(shutil.rmtree, self.home, True)
        self.handler = None
        self.controller = None

    def start_server(self, refuse_rcpt_number=0):
        self.handler = RecordingHandler(refuse_rcpt_number)
        # decode_data=False keeps the 8-bit message bytes as they came.
        self.controller = FreePortController(self.handler, hostname="127.0.0.1", port=0)
        self.controller.start()
        self.addCleanup(self.controller.stop)

    def write(self, name, data):
        path = os.path.join(self.home, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data if isinstance(data, bytes) else data.encode("cp1252"))
        return path

    def write_mail_ini(self, options=None, email_keys=None, port=None):
        lines = ["[Smtp]", "ServerName=127.0.0.1", "ServerPort=%d" % (port or self.controller.port),
                 "SMTPAuthenticationType=0", "[Email]"]
        for key, value in (email_keys or {}).items():
            lines.append("%s=%s" % (key, value))
        lines.append("[Optionen]")
        for key, value in (options or {}).items():
            lines.append("%s=%s" % (key, value))
        self.write("Mail.ini", "\r\n".join(lines) + "\r\n")

    def run_program(self, *arguments):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update({"SENDRIX_HOME": self.home, "LANG": "C.UTF-8", "TZ": "UTC"})
        self.started = time.localtime()
        result = subprocess.run([PROGRAM, *arguments], env=env, cwd=self.home,
                                capture_output=True, timeout=RUN_LIMIT_SECONDS)
        self.finished = time.localtime()
        self.stdout = result.stdout.decode("utf-8")
        self.stderr = result.stderr.decode("utf-8")
        return result.returncode

    def messages(self):
        return [(frm, rcpts, email.message_from_bytes(content, policy=email.policy.default))
                for frm, rcpts, content in self.handler.transactions]

    @staticmethod
    def body_lines(message):
        """The text of the first text part (or the message itself) as lines;
        the program writes Windows-1252 bytes."""
        part = next(message.iter_parts(), message) if message.is_multipart() else message
        return part.get_payload(decode=True).decode("cp1252").split("\r\n")

    def log_lines(self):
        logs = os.path.join(self.home, "logs")
        (name,) = os.listdir(logs)
        with open(os.path.join(logs, name), "rb") as log:
            data = log.read().decode("cp1252")
        self.assertTrue(data.endswith("\r\n") or data == "")
        return [line.split("\t") for line in data.split("\r\n")[:-1]]

    # ---- salutation ----

    def test_salutation_per_row_for_women_men_neutral_and_doctor_title(self):
        self.start_server()
        rows = ("Name;Vorname;Email;Typ\r\n"
                "Schön;Bärbel;b@example.org;w\r\n"
                "Müller;Jürgen;j@example.org;Herr\r\n"
                "Lee;Kim;k@example.org;X\r\n"
                "Weiß;Sam;s@example.org;\r\n"
                "Groß;Dr. Heinz;h@example.org;m\r\n")
        cases = {
            2: ["Sehr geehrte Frau Schön,", "Sehr geehrter Herr Müller,", "Sehr geehrte Damen und Herren,",
                "Sehr geehrte Damen und Herren,", "Sehr geehrter Herr Groß,"],
            4: ["Liebe Bärbel Schön,", "Lieber Jürgen Müller,", "Liebe Kim Lee,", "Liebe Sam Weiß,",
                "Lieber Heinz Groß,"],
        }
        for template_index, expected in cases.items():
            with self.subTest(template=template_index):
                self.handler.transactions.clear()
                self.write_mail_ini({"BenutzeAnrede": 1, "Anrede": template_index})
                liste = self.write("liste.csv", rows)
                body = self.write("text.txt", "Erste Zeile\r\nZweite Zeile")
                status = self.run_program(liste, "/B:" + body, "/s:Rundbrief", "/from:absender@example.org",
                                          "/sofort")
                self.assertEqual(status, 0, self.stderr)
                got = self.messages()
                self.assertEqual([rcpts for _, rcpts, _ in got],
                                 [["b@example.org"], ["j@example.org"], ["k@example.org"], ["s@example.org"],
                                  ["h@example.org"]])
                for (_, _, message), salutation in zip(got, expected):
                    self.assertEqual(self.body_lines(message)[:4],
                                     [salutation, "", "Erste Zeile", "Zweite Zeile"])
                    self.assertEqual(message["Subject"], "Rundbrief")
                    self.assertEqual(message["From"].addresses[0].addr_spec, "absender@example.org")

    # ---- copies and several addresses ----

    def test_cc_and_bcc_get_one_copy_per_recipient_and_bcc_is_in_no_header(self):
        self.start_server()
        self.write_mail_ini()
        liste = self.write("liste.csv", "A;Anna;anna@example.org;w\r\nB;Bert;bert@example.org;m\r\n"
                                        "C;Cleo;cleo@example.org, carl@example.org;w\r\n")
        status = self.run_program(liste, "/s:Kopien", "/from:absender@example.org", "/cc:kopie@example.org",
                                  "/bcc:blind@example.org", "/sofort")
        self.assertEqual(status, 0, self.stderr)
        got = self.messages()
        self.assertEqual([rcpts for _, rcpts, _ in got], [
            ["anna@example.org", "kopie@example.org", "blind@example.org"],
            ["bert@example.org", "kopie@example.org", "blind@example.org"],
            ["cleo@example.org", "carl@example.org", "kopie@example.org", "blind@example.org"],
        ])
        for frm, _, message in got:
            self.assertEqual(frm, "absender@example.org")
            self.assertEqual([a.addr_spec for a in message["Cc"].addresses], ["kopie@example.org"])
            self.assertIsNone(message["Bcc"])
            self.assertNotIn(b"blind@example.org", message.as_bytes())
        # The comma-separated cell: one message, both in its To header.
        self.assertEqual([a.addr_spec for a in got[2][2]["To"].addresses],
                         ["cleo@example.org", "carl@example.org"])

    # ---- attachments and HTML ----

    def test_two_attachments_arrive_byte_identical_in_every_message(self):
        self.start_server()
        self.write_mail_ini()
        every_byte = bytes(range(256)) * 41
        first = self.write("anhang/daten.bin", every_byte)
        second = self.write("anhang/Übersicht.txt", "Zeile 1\r\nZeile 2 mit Umlaut ä\r\n.\r\n")
        liste = self.write("liste.csv", "A;Anna;anna@example.org;w\r\nB;Bert;bert@example.org;m\r\n")
        status = self.run_program(liste, "/s:Anhang", "/from:absender@example.org", "/A:" + first,
                                  "/A:" + second, "/sofort")
        self.assertEqual(status, 0, self.stderr)
        got = self.messages()
        self.assertEqual(len(got), 2)
        with open(second, "rb") as f:
            second_bytes = f.read()
        for _, _, message in got:
            attachments = list(message.iter_attachments())
            self.assertEqual([a.get_content_disposition() for a in attachments], ["attachment", "attachment"])
            self.assertEqual(attachments[0].get_filename(), "daten.bin")
            self.assertEqual(attachments[0].get_payload(decode=True), every_byte)
            self.assertEqual(attachments[1].get_payload(decode=True), second_bytes)

    def test_html_mailing_carries_head_and_tail_lines(self):
        self.start_server()
        self.write_mail_ini({"HTML": 1, "BenutzeAnrede": 1, "Anrede": 0})
        liste = self.write("liste.csv", "Muster;Anna;anna@example.org;w\r\n")
        body = self.write("text.txt", "<p>Hallo Welt</p>\r\n<p>Grüße</p>")
        status = self.run_program(liste, "/B:" + body, "/s:HTML", "/from:absender@example.org", "/sofort")
        self.assertEqual(status, 0, self.stderr)
        (_, _, mailing), = self.messages()
        # A plain-text rendering first, then the HTML, whose head line names
        # the charset that is declared for it.
        self.assertEqual(mailing.get_content_type(), "multipart/alternative")
        plain, message = mailing.get_payload()
        self.assertEqual(plain.get_content_type(), "text/plain")
        self.assertEqual([line for line in self.body_lines(plain) if line], ["Hallo Anna,", "Hallo Welt", "Grüße"])
        self.assertEqual(message.get_content_type(), "text/html")
        self.assertEqual(message.get_content_charset(), "windows-1252")
        lines = self.body_lines(message)
        self.assertEqual(lines[:5], [
            '<html><head><meta http-equiv="Content-Type" content="text/html; charset=windows-1252"></head><body>',
            "Hallo Anna,", "", "<p>Hallo Welt</p>", "<p>Grüße</p>"])
        self.assertEqual([line for line in lines[5:] if line], ["</body></html>"])

    # ---- numbering, protocol, log ----

    def test_rows_without_address_use_up_a_number_and_protocol_and_log_agree(self):
        self.start_server()
        self.write_mail_ini()
        liste = self.write("liste.csv", "Name;Vorname;Email;Typ\r\nA;Anna;anna@example.org;w\r\n\r\n"
                                        "C;Cleo;cleo@example.org;w\r\n")
        status = self.run_program(liste, "/s:Nummern\tund Tab", "/from:absender@example.org", "/sofort")
        self.assertEqual(status, 0, self.stderr)
        self.assertEqual(len(self.messages()), 2)
        # The empty line (the file's third) is warned about at load and skipped at send.
        self.assertIn("Achtung: Fehlerhafte Mailadresse in Zeile 3: ", self.stderr)
        out = self.stdout.splitlines()
        self.assertTrue(out[0].startswith("Beginn der Mailübertragung: "), out)
        sent = [line.split(": ", 1)[1] for line in out if "versendet" in line]
        self.assertIn("Mail wird an anna@example.org versendet (1)", sent)
        self.assertIn("Mail ist an anna@example.org versendet worden.", sent)
        self.assertIn("Mail wird an cleo@example.org versendet (3)", sent)
        self.assertIn("Mail ist an cleo@example.org versendet worden.", sent)
        self.assertLess(sent.index("Mail ist an anna@example.org versendet worden."),
                        sent.index("Mail wird an cleo@example.org versendet (3)"))
        log = self.log_lines()
        self.assertEqual([fields[1:2] + fields[3:] for fields in log],
                         [["1", "anna@example.org", "Nummern und Tab"], ["3", "cleo@example.org", "Nummern und Tab"]])
        for fields in log:
            self.assertEqual(len(fields), 5)
            self.assertRegex(fields[0], r"^\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d$")

    def test_server_refusing_the_third_of_five_stops_the_run_with_status_1(self):
        self.start_server(refuse_rcpt_number=3)
        self.write_mail_ini()
        liste = self.write("liste.csv", "".join("N%d;V;r%d@example.org;w\r\n" % (i, i) for i in range(1, 6)))
        status = self.run_program(liste, "/s:Abbruch", "/from:absender@example.org", "/sofort")
        self.assertEqual(status, 1)
        self.assertEqual([rcpts for _, rcpts, _ in self.handler.transactions],
                         [["r1@example.org"], ["r2@example.org"]])
        self.assertEqual([fields[3] for fields in self.log_lines()],
                         ["r1@example.org", "r2@example.org", "r3@example.org"])
        errors = [line for line in self.stderr.splitlines() if line.startswith("Fehler: ")]
        self.assertEqual(len(errors), 1, self.stderr)
        self.assertIn("r3@example.org", errors[0])
        self.assertIn("Mail wird an r3@example.org versendet (3)", self.stdout)
        self.assertNotIn("Mail ist an r3@example.org versendet worden.", self.stdout)
        self.assertNotIn("r4@example.org", self.stdout)
        self.assertNotIn("Sendrix durchgeführt.", self.stdout)

    def test_unreachable_server_gives_status_1_and_the_error_on_stderr(self):
        self.start_server()
        # A port nobody listens on: taken from the system, then given back.
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            closed_port = probe.getsockname()[1]
        self.write_mail_ini(port=closed_port)
        status = self.run_program("/to:someone@example.org", "/s:Nichts", "/from:absender@example.org", "/sofort")
        self.assertEqual(status, 1)
        self.assertIn("Fehler: ", self.stderr)
        self.assertNotIn("versendet worden", self.stdout)

    def test_declined_question_and_missing_recipient_give_status_1(self):
        self.start_server()
        self.write_mail_ini()
        # No subject: the question is answered No, nothing is sent.
        status = self.run_program("/to:someone@example.org", "/from:absender@example.org", "/sofort")
        self.assertEqual(status, 1)
        self.assertIn("Wollen Sie wirklich keinen Betreff der E-mail eingeben?", self.stderr)
        # No address at all: nothing to send is no success either.
        status = self.run_program("/s:Leer", "/from:absender@example.org", "/sofort")
        self.assertEqual(status, 1)
        self.assertIn("Empfängeradresse", self.stderr)
        self.assertEqual(self.handler.transactions, [])

    def test_single_address_send(self):
        self.start_server()
        self.write_mail_ini()
        body = self.write("text.txt", "Nur ein Text.\r\n")
        status = self.run_program("/to:Einzel@Example.org", "/B:" + body, "/s:Einzeln", "/from:absender@example.org",
                                  "/sofort")
        self.assertEqual(status, 0, self.stderr)
        (_, rcpts, message), = self.messages()
        self.assertEqual(rcpts, ["Einzel@Example.org"])
        self.assertEqual(self.body_lines(message)[0], "Nur ein Text.")
        self.assertIn("Mail ist an Einzel@Example.org versendet worden.", self.stdout)

    # ---- archive ----

    def test_archive_holds_the_body_unchanged_under_its_name(self):
        self.start_server()
        self.write_mail_ini({"SentObjects": r".\gesendet"})
        liste = self.write("liste.csv", "A;Anna;anna@example.org;w\r\n")
        body_bytes = "Grüße\r\nohne Zeilenende am Schluss".encode("cp1252")
        body = self.write("text.txt", body_bytes)
        status = self.run_program(liste, "/B:" + body, '/s:Bericht: 1/2 "final"?', "/from:absender@example.org",
                                  "/sofort")
        self.assertEqual(status, 0, self.stderr)
        folder = os.path.join(self.home, "gesendet")
        # Beside the archive lies the run's result file.
        names = [name for name in os.listdir(folder) if not name.endswith(".csv")]
        stamps = {time.strftime("%Y%m%d_%H%M", t) for t in (self.started, self.finished)}
        self.assertEqual(len(names), 1)
        # Named by the run's start to the second: "YYYYMMDD_HHMMSS-<subject>.csv".
        (result,) = [name for name in os.listdir(folder) if name.endswith(".csv")]
        self.assertEqual(result[:13] + result[15:-4], names[0][:-4])
        self.assertIn(names[0], {s + "-Bericht 12 final.txt" for s in stamps})
        with open(os.path.join(folder, names[0]), "rb") as f:
            self.assertEqual(f.read(), body_bytes)


if __name__ == "__main__":
    unittest.main()

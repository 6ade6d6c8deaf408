"""Delivery through a real SMTP server: aiosmtpd on 127.0.0.1 takes what
tests/programs/smtp_send sends, and Python's email package reads it back.

Run by CTest with Debian's /usr/bin/python3 (which has python3-aiosmtpd);
SENDRIX_BUILD_DIR names the build folder that holds the program.
"""
import os
import subprocess
import tempfile
import unittest

from smtp_support import RUN_LIMIT, SMTP_SEND, Recorder, Server, parse


def send(port, *arguments):
    """Runs smtp_send; (exit status, [error class, number, message])."""
    done = subprocess.run([SMTP_SEND, "--host", "127.0.0.1", "--port", str(port), "--timeout", "20",
                           *arguments], capture_output=True, timeout=RUN_LIMIT)
    error = done.stderr.decode("utf-8", "replace").split("\n", 2) if done.returncode else []
    return done.returncode, error


class SmtpDelivery(unittest.TestCase):
    def setUp(self):
        self.assertTrue(os.access(SMTP_SEND, os.X_OK), SMTP_SEND + " is not built")
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def write(self, name, data):
        path = os.path.join(self.folder.name, name)
        with open(path, "wb") as file:
            file.write(data)
        return path

    def start(self, handler, logins=None):
        server = Server(handler, logins)
        self.addCleanup(server.stop)
        return server

    def test_message_with_attachment_umlauts_and_leading_dots_arrives_intact(self):
        body = ["Sehr geehrte Frau Müller,", "", ".eine Zeile, die mit einem Punkt beginnt",
                ".", "..", "Grüße und 5 € aus Köln", "Ende"]
        body_file = self.write("body.txt", "\r\n".join(body).encode("utf-8"))
        payload = bytes(range(256)) * 40 + b"\r\n.\r\n" + b"tail"
        attachment = self.write("Bericht März.bin", payload)
        recorder = Recorder()
        server = self.start(recorder)

        status, error = send(server.port, "--from", "Jörg Schäfer <joerg@example.org>",
                             "--to", "Anna <anna@example.org>, bert@example.org",
                             "--cc", "carla@example.org", "--bcc", "dora@example.org",
                             "--subject", "Grüße aus Köln", "--body-file", body_file,
                             "--attach", attachment)
        self.assertEqual(status, 0, error)

        self.assertEqual(len(recorder.envelopes), 1)
        mail_from, rcpt_tos, content = recorder.envelopes[0]
        self.assertEqual(mail_from, "joerg@example.org")
        self.assertEqual(rcpt_tos, ["anna@example.org", "bert@example.org", "carla@example.org",
                                    "dora@example.org"])

        message = parse(content)
        self.assertEqual(str(message["Subject"]), "Grüße aus Köln")
        self.assertEqual(message["From"].addresses[0].display_name, "Jörg Schäfer")
        self.assertEqual(message["From"].addresses[0].addr_spec, "joerg@example.org")
        self.assertEqual([a.addr_spec for a in message["To"].addresses],
                         ["anna@example.org", "bert@example.org"])
        self.assertEqual([a.addr_spec for a in message["Cc"].addresses], ["carla@example.org"])
        self.assertIsNone(message["Bcc"])
        self.assertNotIn("X-Mailer", message)

        self.assertTrue(message.is_multipart())
        texts = [part for part in message.walk() if part.get_content_maintype() == "text"]
        files = [part for part in message.walk() if part.get_filename()]
        self.assertEqual(len(texts), 1)
        # The program's texts are Windows-1252 throughout; its plain text part
        # carries them as 8-bit bytes.
        text = texts[0].get_payload(decode=True).decode("cp1252")
        self.assertEqual(text.split("\r\n"), body + [""])
        self.assertEqual(len(files), 1)
        # A file name outside ASCII goes out encoded (RFC 2231 and an encoded word).
        self.assertEqual(files[0].get_filename(), "Bericht März.bin")
        self.assertTrue(content.isascii())
        self.assertEqual(files[0].get_payload(decode=True), payload)

    def test_html_with_two_attachments_and_a_plain_single_part_read_back(self):
        recorder = Recorder()
        server = self.start(recorder)
        html = ["<html><body>", "<p>Grüße an \"alle\" – 100 €</p>", "</body></html>"]
        body_file = self.write("body.html", "\r\n".join(html).encode("utf-8"))
        binary = os.urandom(3 * 4096 + 1)
        first = self.write("daten.bin", binary)
        second = self.write("Übersicht Köln.txt", "Zeile 1\r\n.\r\nZeile 3\r\n".encode("cp1252"))
        subject = "Einladung zur Jahreshauptversammlung des Sportvereins Grünwald mit Grüßen aus Köln"
        status, error = send(server.port, "--from", "\"Müller, Jürgen\" <j@example.org>",
                             "--to", "Zoë Öztürk <z@example.org>", "--subject", subject,
                             "--body-file", body_file, "--html", "--attach", first, "--attach", second)
        self.assertEqual(status, 0, error)

        status, error = send(server.port, "--from", "Björn <b@example.org>", "--to", "c@example.org",
                             "--subject", subject, "--body-file", self.write("plain.txt", b"Nur Text"))
        self.assertEqual(status, 0, error)
        self.assertEqual(len(recorder.envelopes), 2)

        mixed = parse(recorder.envelopes[0][2])
        self.assertEqual(str(mixed["Subject"]), subject)
        self.assertEqual(mixed["From"].addresses[0].display_name, "Müller, Jürgen")
        self.assertEqual(mixed["To"].addresses[0].display_name, "Zoë Öztürk")
        self.assertEqual(mixed.get_content_type(), "multipart/mixed")
        parts = mixed.get_payload()
        self.assertEqual([part.get_content_type() for part in parts],
                         ["multipart/alternative", "application/octet-stream", "text/plain"])
        self.assertEqual([part.get_content_type() for part in parts[0].get_payload()], ["text/plain", "text/html"])
        self.assertEqual(parts[0].get_payload()[1].get_content().split("\r\n")[:3], html)
        self.assertEqual(parts[1].get_filename(), "daten.bin")
        self.assertEqual(parts[1].get_payload(decode=True), binary)
        self.assertEqual(parts[2].get_payload(decode=True), "Zeile 1\r\n.\r\nZeile 3\r\n".encode("cp1252"))
        self.assertEqual(parts[2].get_filename(), "Übersicht Köln.txt")
        # Every header line stays within the limit; long ones are folded.
        header = recorder.envelopes[0][2].split(b"\r\n\r\n", 1)[0]
        self.assertTrue(all(len(line) <= 998 for line in header.split(b"\r\n")))

        plain = parse(recorder.envelopes[1][2])
        self.assertFalse(plain.is_multipart())
        self.assertEqual(plain.get_content_type(), "text/plain")
        self.assertEqual(str(plain["Subject"]), subject)
        self.assertEqual(plain["From"].addresses[0].display_name, "Björn")
        self.assertEqual(plain.get_payload(decode=True).rstrip(b"\r\n"), b"Nur Text")

    def test_auth_login_is_offered_used_and_checked(self):
        recorder = Recorder()
        server = self.start(recorder, logins={b"ich@example.org": b"ge:heim 123"})
        body_file = self.write("body.txt", b"Hallo")

        status, error = send(server.port, "--user", "ich@example.org", "--password", "ge:heim 123",
                             "--from", "ich@example.org", "--to", "du@example.org",
                             "--subject", "Anmeldung", "--body-file", body_file)
        self.assertEqual(status, 0, error)
        self.assertEqual(server.attempts, [("LOGIN", b"ich@example.org", b"ge:heim 123")])
        self.assertEqual([(f, r) for f, r, _ in recorder.envelopes], [("ich@example.org", ["du@example.org"])])

    def test_wrong_password_is_a_reply_error_with_the_servers_line(self):
        recorder = Recorder()
        server = self.start(recorder, logins={b"ich": b"richtig"})
        status, error = send(server.port, "--user", "ich", "--password", "falsch",
                             "--from", "ich@example.org", "--to", "du@example.org")
        self.assertEqual(status, 1)
        self.assertEqual(error, ["EIdProtocolReplyError", "535",
                                 "535 5.7.8 Authentication credentials invalid"])
        self.assertEqual(recorder.envelopes, [])

    def test_login_configured_but_not_offered_is_an_error_before_mail(self):
        recorder = Recorder()
        server = self.start(recorder)
        status, error = send(server.port, "--user", "ich", "--password", "egal",
                             "--from", "ich@example.org", "--to", "du@example.org")
        self.assertEqual(status, 1)
        self.assertEqual(error[0], "EIdLoginNotOffered")
        self.assertTrue(error[2].startswith("Der Server bietet die Anmeldung LOGIN nicht an"), error[2])
        self.assertEqual(len(recorder.envelopes), 0)

    def test_refused_recipient_ends_the_transaction_without_a_message(self):
        recorder = Recorder(refused={"nobody@example.org"})
        server = self.start(recorder)
        status, error = send(server.port, "--from", "ich@example.org",
                             "--to", "du@example.org, nobody@example.org")
        self.assertEqual(status, 1)
        self.assertEqual(error, ["EIdProtocolReplyError", "550",
                                 "550 5.1.1 <nobody@example.org>: Recipient address rejected"])
        self.assertEqual(recorder.envelopes, [])

    def test_server_that_is_gone_is_a_refused_connection(self):
        server = Server(Recorder())
        port = server.port
        server.stop()
        status, error = send(port, "--from", "ich@example.org", "--to", "du@example.org")
        self.assertEqual(status, 1)
        self.assertEqual(error, ["EIdSocketError", "10061", "Socket-Fehler # 10061\r\nVerbindung abgelehnt."])


if __name__ == "__main__":
    unittest.main()

"""What arrives of the program's text: aiosmtpd on 127.0.0.1 takes what
tests/programs/smtp_send sends, and Python's email package (policy default)
reads every header and body back. Names outside Windows-1252, an emoji, an en
dash, a euro sign and a line of 5,000 characters must decode to exactly the
text that was typed, in the plain, HTML and attachment layouts, without a
defect.

Run by CTest with Debian's /usr/bin/python3 (which has python3-aiosmtpd).
"""
import os
import re
import tempfile
import unittest

from smtp_support import Recorder, Server, parse
from test_smtp_delivery import send

SENDER = "Nguyễn Văn An <an@example.org>"
RECIPIENTS = "Ayşe Şahin <ayse@example.org>, Łukasz Dvořák <lukasz@example.org>"
SUBJECT = "Vereinsfest 🎉 – Eintritt 5 €"
LONG_LINE = "".join("Zeile%04d " % i for i in range(500))  # 5,000 characters
BODY = ["Liebe Ayşe Şahin, lieber Łukasz Dvořák,", "",
        "das Fest beginnt um 18 Uhr – der Eintritt kostet 5 €.",
        ".Ein Punkt am Anfang", LONG_LINE, "Viele Grüße", "Nguyễn"]


class OptionsRecorder(Recorder):
    """Also keeps the MAIL parameters; without8bit hides 8BITMIME in EHLO."""

    def __init__(self, without8bit=False):
        super().__init__()
        self.without8bit = without8bit
        self.mail_options = []

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        if self.without8bit:
            responses = [line for line in responses if "8BITMIME" not in line]
        return responses

    async def handle_MAIL(self, server, session, envelope, address, options):
        self.mail_options.append(list(options))
        envelope.mail_from = address
        return "250 OK"


def all_defects(message):
    """The defects of the message, its parts and their headers."""
    found = []
    for part in message.walk():
        found += [(part.get_content_type(), d) for d in part.defects]
        for name, value in part.items():
            found += [(name, d) for d in getattr(value, "defects", ())]
    return found


class WireText(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def write(self, name, data):
        path = os.path.join(self.folder.name, name)
        with open(path, "wb") as file:
            file.write(data)
        return path

    def deliver(self, *extra, recorder=None):
        recorder = recorder or OptionsRecorder()
        server = Server(recorder)
        self.addCleanup(server.stop)
        status, error = send(server.port, "--from", SENDER, "--to", RECIPIENTS, "--subject", SUBJECT, *extra)
        self.assertEqual(status, 0, error)
        self.assertEqual(len(recorder.envelopes), 1)
        content = recorder.envelopes[0][2]
        # Nothing 8-bit and no line over 998 octets reaches the wire.
        self.assertTrue(content.isascii())
        self.assertTrue(all(len(line) <= 998 for line in content.split(b"\r\n")))
        message = parse(content)
        self.check_headers(message)
        return message, content

    def check_headers(self, message):
        self.assertEqual(str(message["Subject"]), SUBJECT)
        self.assertEqual(message["From"].addresses[0].display_name, "Nguyễn Văn An")
        self.assertEqual(message["From"].addresses[0].addr_spec, "an@example.org")
        self.assertEqual([(a.display_name, a.addr_spec) for a in message["To"].addresses],
                         [("Ayşe Şahin", "ayse@example.org"), ("Łukasz Dvořák", "lukasz@example.org")])
        self.assertEqual(message["MIME-Version"], "1.0")
        self.assertRegex(message["Message-ID"], r"^<[0-9a-z.]+@example\.org>$")

    def body_text(self, part):
        return part.get_content().split("\r\n") if "\r\n" in part.get_content() else part.get_content().split("\n")

    def test_plain_message_arrives_as_typed(self):
        body = self.write("brief.txt", "\r\n".join(BODY).encode("utf-8"))
        message, content = self.deliver("--body-file", body)
        self.assertEqual(all_defects(message), [])
        self.assertEqual(message.get_content_type(), "text/plain")
        self.assertEqual(message.get_content_charset(), "utf-8")
        self.assertEqual(message["Content-Transfer-Encoding"], "quoted-printable")
        self.assertEqual(self.body_text(message)[:len(BODY)], BODY)
        self.assertIn(LONG_LINE, message.get_content())
        self.assertNotIn(b"Content-Type: text/plain;\r\n", content)

    def test_windows_1252_text_is_labelled_as_what_it_is(self):
        body = ["Grüße aus Köln – 5 € „Eintritt“"]
        path = self.write("brief.txt", "\r\n".join(body).encode("utf-8"))
        recorder = OptionsRecorder()
        server = Server(recorder)
        self.addCleanup(server.stop)
        status, error = send(server.port, "--from", "Jürgen <j@example.org>", "--to", "a@example.org",
                             "--subject", "Grüße – 5 €", "--body-file", path)
        self.assertEqual(status, 0, error)
        content = recorder.envelopes[0][2]
        message = parse(content)
        self.assertEqual(all_defects(message), [])
        self.assertEqual(str(message["Subject"]), "Grüße – 5 €")
        self.assertIn(b"=?windows-1252?Q?", content)
        self.assertEqual(message.get_content_charset(), "windows-1252")
        self.assertEqual(self.body_text(message)[:1], body)

    def test_html_message_arrives_as_typed(self):
        html = ["<html><body>", "<p>Liebe Ayşe Şahin – 5 €</p>", "<p>" + LONG_LINE + "</p>", "</body></html>"]
        body = self.write("brief.html", "\r\n".join(html).encode("utf-8"))
        message, _ = self.deliver("--body-file", body, "--html")
        self.assertEqual(all_defects(message), [])
        # A plain-text rendering first, then the HTML.
        self.assertEqual(message.get_content_type(), "multipart/alternative")
        plain, markup = message.get_payload()
        self.assertEqual(plain.get_content_type(), "text/plain")
        self.assertEqual(self.body_text(plain)[:3], ["Liebe Ayşe Şahin – 5 €", "", LONG_LINE.rstrip()])
        self.assertEqual(markup.get_content_type(), "text/html")
        self.assertEqual(self.body_text(markup)[:len(html)], html)

    def test_attachment_layout_arrives_as_typed(self):
        body = self.write("brief.txt", "\r\n".join(BODY).encode("utf-8"))
        data = "Teilnehmer: Ayşe, Łukasz, Nguyễn – 5 €\r\n".encode("utf-8")
        attachment = self.write("Übersicht – Łódź.txt", data)
        binary = self.write("Plan 🎉.pdf", bytes(range(256)) * 3)
        message, _ = self.deliver("--body-file", body, "--attach", attachment, "--attach", binary)
        # The message and its parts have no defect. The name parameters carry
        # an encoded word for readers without RFC 2231 beside "filename*";
        # the parser remarks on exactly that in those two headers, nothing else.
        for part in message.walk():
            self.assertEqual(part.defects, [])
        expected = {"encoded word inside quoted string", "missing trailing whitespace after encoded-word",
                    "duplicate parameter name; duplicate ignored"}
        for name, defect in all_defects(message):
            self.assertIn(name, ("Content-Type", "Content-Disposition"))
            self.assertIn(str(defect), expected)
        parts = message.get_payload()
        self.assertEqual([p.get_content_type() for p in parts], ["text/plain", "text/plain", "application/pdf"])
        self.assertEqual(self.body_text(parts[0])[:len(BODY)], BODY)
        self.assertEqual(parts[1].get_filename(), "Übersicht – Łódź.txt")
        self.assertEqual(parts[1].get_payload(decode=True), data)
        self.assertEqual(parts[2].get_filename(), "Plan 🎉.pdf")
        self.assertEqual(parts[2].get_payload(decode=True), bytes(range(256)) * 3)

    def test_long_ascii_line_goes_quoted_printable_and_arrives_unchanged(self):
        body = self.write("brief.txt", ("Kurz\r\n" + LONG_LINE + "\r\nEnde").encode("ascii"))
        recorder = OptionsRecorder()
        server = Server(recorder)
        self.addCleanup(server.stop)
        status, error = send(server.port, "--from", "a@example.org", "--to", "b@example.org",
                             "--subject", "Lang", "--body-file", body)
        self.assertEqual(status, 0, error)
        content = recorder.envelopes[0][2]
        self.assertTrue(all(len(line) <= 998 for line in content.split(b"\r\n")))
        message = parse(content)
        self.assertEqual(all_defects(message), [])
        self.assertEqual(message["Content-Transfer-Encoding"], "quoted-printable")
        self.assertEqual(self.body_text(message)[:3], ["Kurz", LONG_LINE, "Ende"])

    def test_eight_bit_text_goes_quoted_printable_with_and_without_8bitmime(self):
        # The body is quoted-printable either way, so it never depends on a
        # server along the way taking 8-bit data; MAIL carries no BODY=.
        body = self.write("brief.txt", "\r\n".join(BODY).encode("utf-8"))
        for without8bit in (False, True):
            with self.subTest(without8bit=without8bit):
                recorder = OptionsRecorder(without8bit)
                message, _ = self.deliver("--body-file", body, recorder=recorder)
                self.assertEqual(recorder.mail_options, [[]])
                self.assertEqual(message["Content-Transfer-Encoding"], "quoted-printable")
                self.assertEqual(self.body_text(message)[:len(BODY)], BODY)


if __name__ == "__main__":
    unittest.main()

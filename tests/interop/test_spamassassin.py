"""Deliverability: the demo mailing's plain, HTML, attachment and
non-Windows-1252 messages as the program writes them (tests/programs/
smtp_send through aiosmtpd), scored by Debian's SpamAssassin with local tests
only (`spamassassin -t -L`), beside the same mailing written by Python's
email package. None of the rules that flag a malformed or suspicious message
may fire, and each score stays within 0.5 of Python's. The test prints both.

Slow (SpamAssassin starts anew for every message): CTest label "slow".
"""
import email
import email.policy
import email.utils
import os
import re
import shutil
import subprocess
import tempfile
import unittest
from email.message import EmailMessage

from test_newsletter import send_newsletter
from test_smtp_delivery import Recorder, Server, send
from test_unattended import FreePortController, RecordingHandler

EXAMPLES = os.path.join(os.environ.get("SENDRIX_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..")),
                        "examples")
FORBIDDEN = {"MISSING_MID", "CTE_8BIT_MISMATCH", "PP_MIME_FAKE_ASCII_TEXT", "MIME_HEADER_CTYPE_ONLY",
             "MIME_HTML_ONLY", "OBFU_TEXT_ATTACH", "SUBJ_ILLEGAL_CHARS"}
SENDER = ("Festausschuss Sommerfest", "festausschuss@example.org")
SUBJECT = "Einladung zum Sommerfest"
SA_LIMIT = 300  # seconds for one scoring, far above what it needs


def read_example(name):
    with open(os.path.join(EXAMPLES, name), "rb") as file:
        return file.read().decode("utf-8").replace("\r\n", "\n").rstrip("\n").split("\n")


def score(message_bytes):
    """(score, set of rule names) SpamAssassin gives the message."""
    done = subprocess.run(["spamassassin", "-t", "-L"], input=message_bytes, capture_output=True,
                          timeout=SA_LIMIT)
    report = email.message_from_bytes(done.stdout, policy=email.policy.compat32)
    status = re.sub(r"\s+", "", str(report["X-Spam-Status"] or ""))
    found = re.search(r"score=(-?[0-9.]+)", status)
    if not found:
        raise AssertionError("no X-Spam-Status in SpamAssassin's output: " + done.stderr.decode()[:500])
    tests = re.search(r"tests=([A-Z0-9_,]*)", status)
    return float(found.group(1)), {name for name in (tests.group(1) if tests else "").split(",") if name}


@unittest.skipUnless(shutil.which("spamassassin"), "spamassassin is not installed")
class Deliverability(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)
        self.server = Server(Recorder())
        self.addCleanup(self.server.stop)
        self.greeting = ["Sehr geehrter Herr Müller,", ""]
        self.body = self.greeting + read_example("nachricht.txt")
        with open(os.path.join(EXAMPLES, "programm.txt"), "rb") as file:
            self.attachment = file.read()

    def path(self, name, data):
        path = os.path.join(self.folder.name, name)
        with open(path, "wb") as file:
            file.write(data)
        return path

    def ours(self, to, lines, *extra):
        body = self.path("body.txt", "\r\n".join(lines).encode("utf-8"))
        count = len(self.server.handler.envelopes)
        status, error = send(self.server.port, "--from", "%s <%s>" % SENDER, "--to", to,
                             "--subject", SUBJECT, "--body-file", body, *extra)
        self.assertEqual(status, 0, error)
        return self.server.handler.envelopes[count][2]

    def python(self, to, text, html=None, attach=False):
        message = EmailMessage(policy=email.policy.default)
        message["From"] = email.utils.formataddr(SENDER)
        message["To"] = to
        message["Subject"] = SUBJECT
        message["Date"] = email.utils.formatdate(localtime=True)
        message["Message-ID"] = email.utils.make_msgid(domain="example.org")
        message.set_content("\n".join(text) + "\n")
        if html:
            message.add_alternative("\n".join(html) + "\n", subtype="html")
        if attach:
            message.add_attachment(self.attachment, maintype="text", subtype="plain", filename="programm.txt")
        return message.as_bytes()

    def compare(self, name, ours, python):
        our_score, our_tests = score(ours)
        python_score, python_tests = score(python)
        print("\n%-22s Sendrix %5.1f  Python email %5.1f\n  Sendrix: %s\n  Python:  %s"
              % (name, our_score, python_score, ",".join(sorted(our_tests)), ",".join(sorted(python_tests))))
        self.assertEqual(our_tests & FORBIDDEN, set(), name)
        self.assertLessEqual(our_score, python_score + 0.5, name)

    def test_plain_html_attachment_and_non_windows_1252_messages(self):
        to = "Jürgen Müller <juergen.mueller@example.org>"
        self.compare("plain", self.ours(to, self.body), self.python(to, self.body))

        html = (['<html><head><meta http-equiv="Content-Type" content="text/html; charset=windows-1252">'
                 "</head><body>", "<p>"] + [line + "<br>" for line in self.body] + ["</p>", "</body></html>"])
        self.compare("HTML", self.ours(to, html, "--html"), self.python(to, self.body, html=html))

        attachment = self.path("programm.txt", self.attachment)
        self.compare("attachment", self.ours(to, self.body, "--attach", attachment),
                     self.python(to, self.body, attach=True))

        foreign_to = "Łukasz Dvořák <lukasz.dvorak@example.org>"
        foreign = ["Sehr geehrter Herr Dvořák,", "", "liebe Ayşe Şahin, lieber Nguyễn,"] + self.body[2:]
        self.compare("non-Windows-1252", self.ours(foreign_to, foreign), self.python(foreign_to, foreign))

    def test_formatted_newsletter_with_two_images_scores_at_most_half_a_point(self):
        handler = RecordingHandler()
        controller = FreePortController(handler, hostname="127.0.0.1", port=0)
        controller.start()
        self.addCleanup(controller.stop)
        status, error = send_newsletter(self.folder.name, controller.port)
        self.assertEqual(status, 0, error)
        our_score, our_tests = score(handler.transactions[0][2])
        print("\nnewsletter             Sendrix %5.1f\n  Sendrix: %s" % (our_score, ",".join(sorted(our_tests))))
        self.assertEqual(our_tests & FORBIDDEN, set())
        self.assertLessEqual(our_score, 0.5)


if __name__ == "__main__":
    unittest.main()

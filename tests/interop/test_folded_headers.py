"""Folded and escaped header lines as readers see them: aiosmtpd takes what
tests/programs/smtp_send sends, and Python's email package reads Subject, From
and To back under policy.default and compat32 (unfolded as RFC 5322 2.2.3
says, then decode_header). Every blank at a fold and beside encoded words,
and a typed quoted name, must come back; no header line exceeds 78 octets.
"""
import email
import email.header
import email.policy
import email.utils
import re
import unittest

from smtp_support import Recorder, Server
from test_smtp_delivery import send

SUBJECTS = ["A" * 60 + "   " + "B" * 20, "Ärger    " + "y" * 64 + "  Straße  und   Weg",
            "C" * 60 + " " + "D" * 9]  # the last: 79 octets
FROM = '"Müller \\"Süd\\" GmbH" <m@example.org>'
TO = '"Weber \\"Nord\\"" <w@example.org>, "Back\\\\slash" <b@example.org>'
TO_READ = [('Weber "Nord"', "w@example.org"), ("Back\\slash", "b@example.org")]


def compat32_text(raw):
    return str(email.header.make_header(email.header.decode_header(re.sub(r"\r?\n", "", raw))))


class FoldedHeaders(unittest.TestCase):
    def test_blanks_quoted_names_and_line_lengths_survive_both_policies(self):
        recorder = Recorder()
        server = Server(recorder)
        self.addCleanup(server.stop)
        for subject in SUBJECTS:
            with self.subTest(subject=subject):
                status, error = send(server.port, "--from", FROM, "--to", TO, "--subject", subject)
                self.assertEqual(status, 0, error)
                content = recorder.envelopes[-1][2]
                for line in content.split(b"\r\n\r\n", 1)[0].split(b"\r\n"):
                    self.assertLessEqual(len(line), 78, line)
                modern = email.message_from_bytes(content, policy=email.policy.default)
                self.assertEqual(str(modern["Subject"]), subject)
                self.assertEqual(modern["From"].addresses[0].display_name, 'Müller "Süd" GmbH')
                self.assertEqual([(a.display_name, a.addr_spec) for a in modern["To"].addresses], TO_READ)
                old = email.message_from_bytes(content, policy=email.policy.compat32)
                self.assertEqual(compat32_text(old["Subject"]), subject)
                self.assertEqual(compat32_text(old["From"]), 'Müller "Süd" GmbH <m@example.org>')
                self.assertEqual(email.utils.getaddresses([old["To"]]), TO_READ)


if __name__ == "__main__":
    unittest.main()

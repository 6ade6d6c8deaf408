"""Internationalised addresses in the envelope, against aiosmtpd on
127.0.0.1: a domain outside ASCII goes out as its A-label in MAIL and RCPT; a
local part outside ASCII goes out with the SMTPUTF8 parameter to a server
that offers it, and a server that does not gets nothing of that message.

Run by CTest with Debian's /usr/bin/python3 (which has python3-aiosmtpd).
"""
import email
import email.policy
import unittest

from aiosmtpd.smtp import SMTP

from test_smtp_delivery import Recorder, Server, send


class OptionsRecorder(Recorder):
    """Also keeps each MAIL's parameters and every command the client sent."""

    def __init__(self):
        super().__init__()
        self.mail_options = []

    async def handle_MAIL(self, server, session, envelope, address, options):
        self.mail_options.append(list(options))
        envelope.mail_from = address
        return "250 OK"


class Utf8Server(Server):
    """The test server, offering SMTPUTF8 or not."""

    def __init__(self, handler, smtputf8):
        self.smtputf8 = smtputf8
        super().__init__(handler)

    def _protocol(self):
        return SMTP(self.handler, loop=self.loop, enable_SMTPUTF8=self.smtputf8, decode_data=False)


class InternationalEnvelope(unittest.TestCase):
    def deliver(self, smtputf8, sender, recipient):
        recorder = OptionsRecorder()
        server = Utf8Server(recorder, smtputf8)
        self.addCleanup(server.stop)
        status, error = send(server.port, "--from", sender, "--to", recipient, "--subject", "Grüße")
        return recorder, status, error

    def test_an_idn_domain_goes_out_as_its_a_label_in_mail_and_rcpt(self):
        for smtputf8 in (False, True):
            with self.subTest(smtputf8=smtputf8):
                recorder, status, error = self.deliver(smtputf8, "Bäckerei <info@müller-bäckerei.de>",
                                                       "kunde@straße.de")
                self.assertEqual(status, 0, error)
                sender, recipients, content = recorder.envelopes[0]
                self.assertEqual(sender, "info@xn--mller-bckerei-hfb76a.de")
                self.assertEqual(recipients, ["kunde@xn--strae-oqa.de"])
                self.assertEqual(recorder.mail_options, [[]])
                message = email.message_from_bytes(content, policy=email.policy.default)
                self.assertEqual(message["To"].addresses[0].addr_spec, "kunde@xn--strae-oqa.de")

    def test_a_local_part_outside_ascii_needs_smtputf8(self):
        recorder, status, error = self.deliver(True, "büro@example.org", "jörg@bäcker.de")
        self.assertEqual(status, 0, error)
        self.assertEqual(recorder.mail_options, [["SMTPUTF8"]])
        self.assertEqual(recorder.envelopes[0][:2], ("büro@example.org", ["jörg@xn--bcker-gra.de"]))

        recorder, status, error = self.deliver(False, "ich@example.org", "jörg@example.de")
        self.assertEqual(status, 1)
        self.assertEqual(error[0], "EIdSmtpUtf8NotOffered")
        self.assertEqual(error[2], 'Die E-Mail-Adresse "jörg@example.de" hat vor dem @ Zeichen außerhalb von '
                                   'ASCII, und der Server bietet SMTPUTF8 nicht an; es wurde nichts gesendet.')
        self.assertEqual(recorder.mail_options, [])
        self.assertEqual(recorder.envelopes, [])


if __name__ == "__main__":
    unittest.main()

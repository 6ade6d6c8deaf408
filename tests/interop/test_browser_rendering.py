"""The newsletter as a recipient's browser shows it: sent unattended to
aiosmtpd, its HTML with every cid: replaced by its part's data rendered by
headless Chromium (label "chromium"): every image decodes, the heading is
bold."""
import email
import email.policy
import shutil
import tempfile
import unittest

import mail_rendering
from test_newsletter import send_newsletter
from test_unattended import FreePortController, RecordingHandler


@unittest.skipUnless(mail_rendering.chromium(), "chromium fehlt (scripts/install-deps.sh)")
class BrowserRendering(unittest.TestCase):
    def test_images_show_and_the_heading_is_bold(self):
        home = tempfile.mkdtemp(prefix="sendrix-browser-")
        self.addCleanup(shutil.rmtree, home, True)
        handler = RecordingHandler()
        controller = FreePortController(handler, hostname="127.0.0.1", port=0)
        controller.start()
        self.addCleanup(controller.stop)
        status, error = send_newsletter(home, controller.port)
        self.assertEqual(status, 0, error)
        (transaction,) = handler.transactions

        seen = mail_rendering.facts(mail_rendering.html_with_parts(transaction[2]))
        self.assertEqual(seen["images"], [{"alt": "Vereinswappen", "shown": True},
                                          {"alt": "Sonne über dem Festplatz", "shown": True}])
        self.assertGreaterEqual(int(seen["headingWeight"]), 700)


if __name__ == "__main__":
    unittest.main()

"""The newsletter as a recipient's browser shows it: sent unattended to
aiosmtpd, its HTML with every cid: replaced by its part's data rendered by
headless Chromium (label "chromium"): every image decodes, the heading is bold."""
import os
import shutil
import sys
import tempfile
import unittest

from test_newsletter import send_newsletter
from test_unattended import FreePortController, RecordingHandler

sys.path.insert(0, os.path.join(os.environ["SENDRIX_SOURCE_DIR"], "scripts"))
import mail_rendering  # noqa: E402


class BrowserRendering(unittest.TestCase):
    def test_images_show_and_the_heading_is_bold(self):
        home = tempfile.mkdtemp(prefix="sendrix-browser-")
        self.addCleanup(shutil.rmtree, home, True)
        handler = RecordingHandler()
        controller = FreePortController(handler, hostname="127.0.0.1", port=0)
        controller.start()
        self.addCleanup(controller.stop)
        self.assertEqual(send_newsletter(home, controller.port)[0], 0)
        seen = mail_rendering.facts(mail_rendering.html_with_parts(handler.transactions[0][2]))
        self.assertEqual(seen["images"], [{"alt": "Vereinswappen", "shown": True},
                                          {"alt": "Sonne über dem Festplatz", "shown": True}])
        self.assertGreaterEqual(int(seen["headingWeight"]), 700)


if __name__ == "__main__":
    unittest.main()

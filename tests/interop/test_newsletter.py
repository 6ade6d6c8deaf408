"""A formatted newsletter as the composer writes it (tests/data/composer/
newsletter.html: a heading, a link, two local images, a placeholder), sent
unattended by the real program to aiosmtpd and read back by Python's email
package: the HTML goes out with its images in a multipart/related beside
the text rendering, every cid: has its part, the value is escaped."""
import email
import email.policy
import os
import re
import shutil
import subprocess
import tempfile
import unittest

from test_unattended import PROGRAM, RUN_LIMIT_SECONDS, FreePortController, RecordingHandler

DATA = os.path.join(os.environ.get("SENDRIX_TEST_DATA", os.path.join(os.path.dirname(__file__), "..", "data")),
                    "composer")


def send_newsletter(home, port, body=None):
    """Runs the program once in `home` with the newsletter (or `body`) to one
    member; returns (exit status, stderr)."""
    os.makedirs(os.path.join(home, "bilder"), exist_ok=True)
    if body is None:
        with open(os.path.join(DATA, "newsletter.html"), encoding="utf-8") as source:
            body = source.read()
    with open(os.path.join(home, "newsletter.html"), "w", encoding="utf-8") as out:
        out.write(body)
    shutil.copy(os.path.join(DATA, "wappen.png"), home)
    shutil.copy(os.path.join(DATA, "sonne.png"), os.path.join(home, "bilder"))
    with open(os.path.join(home, "Mail.ini"), "w", encoding="cp1252", newline="") as ini:
        ini.write("[Smtp]\r\nServerName=127.0.0.1\r\nServerPort=%d\r\nSMTPAuthenticationType=0\r\n"
                  "[Optionen]\r\nHTML=1\r\n" % port)
    with open(os.path.join(home, "liste.csv"), "w", encoding="utf-8", newline="") as rows:
        rows.write("Name;Vorname;Email;Typ;Firma\r\nMüller;Anna;anna@example.org;w;Müller & Söhne <GmbH>\r\n")
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.update({"SENDRIX_HOME": home, "LANG": "C.UTF-8", "TZ": "UTC"})
    done = subprocess.run([PROGRAM, "liste.csv", "/B:newsletter.html", "/s:Einladung zum Sommerfest",
                           "/from:fest@example.org", "/sofort"],
                          env=env, cwd=home, capture_output=True, timeout=RUN_LIMIT_SECONDS)
    return done.returncode, done.stderr.decode("utf-8")


class Newsletter(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="sendrix-newsletter-")
        self.addCleanup(shutil.rmtree, self.home, True)
        self.handler = RecordingHandler()
        self.controller = FreePortController(self.handler, hostname="127.0.0.1", port=0)
        self.controller.start()
        self.addCleanup(self.controller.stop)

    def test_html_and_its_two_images_arrive_as_alternative_with_a_related_part(self):
        status, error = send_newsletter(self.home, self.controller.port)
        self.assertEqual(status, 0, error)
        (transaction,) = self.handler.transactions
        message = email.message_from_bytes(transaction[2], policy=email.policy.default)
        self.assertEqual(message.get_content_type(), "multipart/alternative")
        text, related = message.get_payload()
        self.assertEqual(text.get_content_type(), "text/plain")
        self.assertEqual(related.get_content_type(), "multipart/related")
        html, *images = related.get_payload()
        self.assertEqual(html.get_content_type(), "text/html")
        self.assertEqual([i.get_content_type() for i in images], ["image/png", "image/png"])
        self.assertEqual([i.get_content_disposition() for i in images], ["inline", "inline"])
        with open(os.path.join(DATA, "wappen.png"), "rb") as f:
            self.assertEqual(images[0].get_payload(decode=True), f.read())

        source = html.get_content()
        ids = {i["Content-ID"].strip("<>") for i in images}
        self.assertEqual(set(re.findall(r'src="cid:([^"]+)"', source)), ids)
        self.assertEqual(len(ids), 2)
        self.assertNotIn("-qt-", source)
        self.assertNotIn("wappen.png\"", source)
        self.assertIn("<b>Müller &amp; Söhne &lt;GmbH&gt;</b>", source)

        rendering = text.get_content()
        self.assertIn("[Bild: Vereinswappen]", rendering)
        self.assertIn("[Bild: Sonne über dem Festplatz]", rendering)
        self.assertIn("Müller & Söhne <GmbH>", rendering)

    def test_a_missing_image_stops_the_run_naming_it_before_anything_is_sent(self):
        with open(os.path.join(DATA, "newsletter.html"), encoding="utf-8") as source:
            body = source.read().replace("bilder/sonne.png", "bilder/fehlt.png")
        status, error = send_newsletter(self.home, self.controller.port, body)
        self.assertEqual(status, 1)
        self.assertIn("bilder/fehlt.png", error)
        self.assertEqual(self.handler.transactions, [])


if __name__ == "__main__":
    unittest.main()

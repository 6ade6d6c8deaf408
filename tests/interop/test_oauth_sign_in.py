"""The built-in OAuth 2 sign-in against a real authorization server
(oauthlib, HTTPS with a test CA) and an SMTP server that checks every
token by introspection: the loopback sign-in through a browser stand-in,
a refused state, the device flow with slow_down, an unattended send that
gets a fresh access token once per run, and a revoked sign-in.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

from oauth_support import USER, AuthorizationServer, IntrospectingRecorder, OAuthSmtpServer
from smtp_support import BUILD_DIR, RUN_LIMIT
from test_tls import Certificates

SIGN_IN = os.path.join(BUILD_DIR, "tests", "programs", "oauth_sign_in")
SENDRIX = os.path.join(BUILD_DIR, "src", "sendrix")
BROWSER = "%s %s" % (sys.executable, os.path.join(os.path.dirname(os.path.abspath(__file__)), "oauth_browser.py"))


class OAuthSignInTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.certs_folder = tempfile.mkdtemp(prefix="sendrix-oauth-ca-")
        cls.certs = Certificates(cls.certs_folder)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.certs_folder, True)

    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="sendrix-oauth-")
        self.addCleanup(shutil.rmtree, self.home, True)
        self.server = AuthorizationServer(self.certs.context("good"), self.certs.ca)
        self.addCleanup(self.server.stop)
        self.mail_ini = os.path.join(self.home, "Mail.ini")
        self.page = os.path.join(self.home, "page.html")
        self.env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        self.env.update(SSL_CERT_FILE=self.certs.ca, SENDRIX_HOME=self.home, BROWSER=BROWSER,
                        OAUTH_BROWSER_PAGE=self.page, LANG="C.UTF-8", TZ="UTC")

    def write_mail_ini(self, port=25, extra=()):
        keys = {"ServerName": "localhost", "ServerPort": port, "ServerUser": USER, "SMTPAuthenticationType": 3,
                "Encryption": 1, **self.server.mail_ini_keys(), **dict(extra)}
        with open(self.mail_ini, "w") as out:
            out.write("[Smtp]\r\n" + "".join("%s=%s\r\n" % item for item in keys.items()))

    def run_program(self, *command, **env):
        run = subprocess.run(command, env=dict(self.env, **env), cwd=self.home, capture_output=True,
                             timeout=RUN_LIMIT)
        return run.returncode, run.stdout.decode(), run.stderr.decode()

    def stored_refresh_token(self):
        with open(self.mail_ini, encoding="cp1252") as ini:
            line = next((l for l in ini.read().splitlines() if l.startswith("OAuthRefreshToken=")), None)
        if line is None:
            return None
        # Scrambled like the password: every character XOR 0x1F, in quotes.
        return "".join(chr(ord(c) ^ 0x1F) for c in line.split("=", 1)[1].strip('"'))

    def sign_in(self, **env):
        self.write_mail_ini()
        return self.run_program(SIGN_IN, "browser", self.mail_ini, **env)

    def test_loopback_sign_in_stores_the_refresh_token_scrambled_and_the_browser_reads_german(self):
        status, _, err = self.sign_in()
        self.assertEqual(status, 0, err)
        self.assertIn(self.stored_refresh_token(), self.server.validator.refresh)
        self.assertEqual(self.server.validator.grants, ["authorization_code"])
        with open(self.page, encoding="utf-8") as page:
            self.assertIn("Anmeldung abgeschlossen – Sie können dieses Fenster schließen.", page.read())
        self.assertEqual(os.stat(self.mail_ini).st_mode & 0o077, 0)

    def test_a_redirect_with_another_state_is_refused_before_the_code_is_used(self):
        status, _, err = self.sign_in(OAUTH_BROWSER_STATE="forged")
        self.assertEqual(status, 1)
        self.assertIn("state stimmt nicht", err)
        self.assertEqual(self.server.validator.grants, [])
        self.assertEqual(len(self.server.validator.codes), 1)  # issued, never exchanged
        self.assertIsNone(self.stored_refresh_token())

    def test_device_flow_waits_the_interval_and_five_seconds_more_after_slow_down(self):
        self.write_mail_ini()
        self.server.device_answers = ["authorization_pending", "slow_down", "authorization_pending"]
        status, out, err = self.run_program(SIGN_IN, "device", self.mail_ini, "/anmelden:datei")
        self.assertEqual(status, 0, err)
        self.assertIn("/device-login öffnen und den Code WDJB-MJHT eingeben", out)
        self.assertIn("waits: 5 5 10 10", err)
        self.assertEqual(self.server.device_polls, 4)
        self.assertIn(self.stored_refresh_token(), self.server.validator.refresh)

    def signed_in_account(self, rows):
        """Signs in, then points Mail.ini at an SMTP server that introspects
        every token, with a list of `rows` recipients."""
        self.recorder = IntrospectingRecorder(self.server, self.certs.ca)
        smtp = OAuthSmtpServer(self.certs.context("good"), self.recorder)
        self.addCleanup(smtp.stop)
        status, _, err = self.sign_in()
        self.assertEqual(status, 0, err)
        scrambled = "".join(chr(ord(c) ^ 0x1F) for c in self.stored_refresh_token())
        self.smtp_port, self.token_key = smtp.port, {"OAuthRefreshToken": '"%s"' % scrambled}
        self.write_mail_ini(smtp.port, self.token_key)
        with open(os.path.join(self.home, "liste.csv"), "w") as out:
            out.write("".join("N%d;V;r%d@example.org;w\r\n" % (i, i) for i in range(1, rows + 1)))

    def send(self):
        status, out, err = self.run_program(SENDRIX, "liste.csv", "/s:Rundbrief", "/from:" + USER, "/sofort")
        log = ""
        logs = os.path.join(self.home, "logs")
        for name in os.listdir(logs) if os.path.isdir(logs) else ():
            with open(os.path.join(logs, name), encoding="cp1252") as text:
                log += text.read()
        for token in self.server.validator.tokens():
            self.assertNotIn(token, out + err + log)
        return status, out, err

    def test_unattended_send_gets_one_fresh_access_token_for_the_whole_run(self):
        self.signed_in_account(3)
        self.server.validator.expire_access_tokens()
        for login, mechanism in ((3, "XOAUTH2"), (4, "OAUTHBEARER")):
            with self.subTest(mechanism):
                self.write_mail_ini(self.smtp_port, {**self.token_key, "SMTPAuthenticationType": login})
                self.recorder.logins.clear()
                status, out, err = self.send()
                self.assertEqual(status, 0, err)
                self.assertEqual(self.recorder.logins, [(mechanism, USER, True)] * 3)
        self.assertEqual(len(self.recorder.envelopes), 6)
        self.assertEqual(self.server.validator.grants, ["authorization_code", "refresh_token", "refresh_token"])
        # The server hands out a new refresh token with each access token: the last one is kept.
        self.assertEqual(self.stored_refresh_token(), list(self.server.validator.refresh)[-1])
        # A token command, when set, wins: no refresh, its token logs in.
        live = next(token for token, expires in self.server.validator.access.items() if expires)
        self.write_mail_ini(self.smtp_port, {**self.token_key, "TokenCommand": "/bin/echo " + live})
        status, out, err = self.run_program(SENDRIX, "liste.csv", "/s:Rundbrief", "/from:" + USER, "/sofort")
        self.assertEqual((status, len(self.recorder.envelopes), len(self.server.validator.grants)), (0, 9, 3), err)

    def test_revoked_sign_in_ends_the_run_with_one_german_error_and_nothing_sent(self):
        self.signed_in_account(2)
        self.server.revoke(self.stored_refresh_token())
        status, out, err = self.send()
        self.assertEqual(status, 1)
        self.assertEqual(self.recorder.envelopes, [])
        self.assertEqual(self.recorder.logins, [])
        errors = [line for line in err.splitlines() if line.startswith("Fehler: ")]
        self.assertEqual(len(errors), 1, err)
        self.assertIn(USER, errors[0])
        self.assertIn("in den Optionen erneut anmelden", errors[0])

    def test_a_token_endpoint_whose_certificate_the_trust_store_does_not_vouch_for_gets_no_token(self):
        self.signed_in_account(1)
        rogue = AuthorizationServer(self.certs.context("unknown"), self.certs.ca)
        self.addCleanup(rogue.stop)
        self.write_mail_ini(self.smtp_port, {**self.token_key, "OAuthTokenUrl": rogue.base + "/token"})
        status, out, err = self.send()
        self.assertEqual(status, 1)
        self.assertIn("Zertifikat wird nicht vertraut", err)
        self.assertEqual((rogue.validator.grants, self.recorder.envelopes), ([], []))


if __name__ == "__main__":
    unittest.main()

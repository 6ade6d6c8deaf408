"""The IMAP client (mail::ImapClient through tests/programs/imap_tool)
against a real Dovecot (dovecot_support) over STARTTLS and TLS: what the
bounce check needs (SEARCH SINCE, FETCH of the exact bytes, MOVE into a
folder with umlauts that is created first) and the server's own words when
it refuses.
"""
import datetime
import os
import shutil
import subprocess
import tempfile
import unittest

import dovecot_support
from smtp_support import BUILD_DIR, RUN_LIMIT
from tls_support import Certificates

TOOL = os.path.join(BUILD_DIR, "tests", "programs", "imap_tool")
USER, PASSWORD = "anna", "geheim"


class ImapClientTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="sendrix-imap-client-")
        os.chmod(cls.folder, 0o755)
        cls.certs = Certificates(tempfile.mkdtemp(dir=cls.folder))
        cls.dovecot = dovecot_support.Dovecot(os.path.join(cls.folder, "dovecot"),
                                              os.path.join(cls.certs.folder, "good.pem"),
                                              os.path.join(cls.certs.folder, "good.key"), {USER: PASSWORD})

    @classmethod
    def tearDownClass(cls):
        cls.dovecot.stop()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def tool(self, *args, password=PASSWORD, tls=False):
        port = self.dovecot.imaps_port if tls else self.dovecot.imap_port
        result = subprocess.run([TOOL, str(port), "tls" if tls else "starttls", USER, password, *args],
                                env=dict(os.environ, SSL_CERT_FILE=self.certs.ca), capture_output=True,
                                timeout=RUN_LIMIT)
        return result.returncode, result.stdout, result.stderr.decode()

    def test_search_fetch_and_move_into_a_new_folder_with_umlauts(self):
        messages = [b"Subject: Bericht %d\r\nMessage-ID: <%d@x>\r\n\r\n.Zeile\r\n" % (i, i) for i in range(3)]
        for i, message in enumerate(messages):
            path = os.path.join(self.folder, "m%d.eml" % i)
            with open(path, "wb") as out:
                out.write(message)
            self.assertEqual(self.tool("append", "INBOX", path, tls=i == 0)[0], 0)
        today = datetime.date.today().isoformat()
        status, out, _ = self.tool("search", "INBOX", today)
        uids = out.split()
        self.assertEqual(len(uids), 3)
        self.dovecot.doveadm("flags", "remove", "-u", USER, "\\Seen", "mailbox", "INBOX", "all")
        self.assertEqual(self.tool("fetch", "INBOX", uids[1].decode())[1], messages[1])
        # Reading a report leaves the user's unread mail unread.
        self.assertNotIn("S", self.dovecot.messages(USER, "INBOX")[1][1])
        self.assertEqual(self.tool("search", "INBOX", "2999-01-01")[1].split(), [])
        self.assertEqual(self.tool("move", "INBOX", b",".join(uids[::2]).decode(), "Sendrix/Rückläufer")[0], 0)
        self.assertIn("Sendrix/Rückläufer", self.dovecot.folders(USER))
        self.assertEqual([data for data, _ in self.dovecot.messages(USER, "Sendrix/R&APw-ckl&AOQ-ufer")],
                         messages[::2])
        self.assertEqual([data for data, _ in self.dovecot.messages(USER, "INBOX")], messages[1:2])
        status, out, _ = self.tool("list")
        self.assertIn("Sendrix/Rückläufer\t", out.decode())
        self.assertIn("Sent\t\\HasNoChildren \\Sent", out.decode())

    def test_refusals_carry_the_kind_and_the_servers_words(self):
        cases = [
            ("wrong password", ("list",), "wrong", "login", "hat die Anmeldung abgelehnt"),
            ("no such folder", ("search", "Gibt es nicht", "2020-01-01"), PASSWORD, "refused",
             "lehnt SELECT ab: NO Mailbox doesn't exist: Gibt es nicht"),
        ]
        for name, args, password, kind, text in cases:
            with self.subTest(name):
                status, _, err = self.tool(*args, password=password)
                self.assertEqual(status, 1)
                self.assertEqual(err.splitlines()[0], kind)
                self.assertIn(text, err)
                self.assertIn("localhost:%d" % self.dovecot.imap_port, err)
                self.assertNotIn("wrong", err.replace("wrong password", ""))


    def test_a_folder_name_that_is_no_utf8_never_reaches_the_command_line(self):
        status, _, err = self.tool("append", b"Sent\xff\r\nS9 DELETE INBOX", os.path.join(self.folder, "leer.eml"))
        self.assertEqual((status, err.splitlines()[0]), (1, "setup"))
        self.assertIn("kein gültiger IMAP-Ordnername", err)


if __name__ == "__main__":
    unittest.main()

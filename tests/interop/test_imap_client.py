"""The IMAP client (mail::ImapClient through tests/programs/imap_tool)
against a real Dovecot (dovecot_support) over STARTTLS and TLS: what the
bounce check needs (SEARCH SINCE, FETCH of the exact bytes, MOVE into a
folder with umlauts that is created first) and the server's own words when
it refuses.
"""
import datetime
import os
import shutil
import socket
import subprocess
import tempfile
import threading
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



class ScriptedServer:
    """A server answering each command verb with a reply of the test's, for
    what Dovecot never sends: folder names as literals, a refusal in place
    of the go-ahead for a literal, a literal too large to hold. Records the
    lines it got."""

    def __init__(self, replies):
        self.replies, self.received = replies, []
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.listener.settimeout(RUN_LIMIT)
        self.port = self.listener.getsockname()[1]
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        with self.listener, self.listener.accept()[0] as peer, peer.makefile("rb") as lines:
            peer.settimeout(RUN_LIMIT)
            peer.sendall(b"* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=PLAIN] bereit\r\n")
            for line in lines:
                self.received.append(line)
                tag, verb = (line.split(b" ") + [b""])[:2]
                reply = self.replies.get(verb.upper().decode(), b"OK fertig")
                peer.sendall(reply.replace(b"TAG", tag) if b"TAG" in reply else tag + b" " + reply + b"\r\n")
                if verb.upper() == b"LOGOUT":
                    return


class ImapRepliesTest(unittest.TestCase):
    def test_literals_in_replies_and_refusals_in_place_of_the_go_ahead(self):
        message = os.path.join(tempfile.mkdtemp(prefix="sendrix-imap-replies-"), "m.eml")
        self.addCleanup(shutil.rmtree, os.path.dirname(message))
        with open(message, "wb") as out:
            out.write(b"Subject: x\r\n\r\nGEHEIMER TEXT\r\n")
        cases = [
            ("folder name as a literal", {"LIST": b'* LIST (\\Sent) "/" {11}\r\nMein "Sent"\r\nTAG OK\r\n'},
             ("list",), 0, 'Mein "Sent"\t\\Sent'),
            ("NO instead of the go-ahead", {"APPEND": b"NO [OVERQUOTA] voll"}, ("append", "Sent", message), 1,
             "lehnt APPEND ab: NO [OVERQUOTA] voll"),
            ("literal too large to hold", {"UID": b"* 1 FETCH (UID 7 BODY[] {999999999999}\r\nTAG"},
             ("fetch", "INBOX", "7"), 1, "antwortet mit einer zu langen Zeile oder Nachricht (FETCH)"),
        ]
        for name, replies, args, status, text in cases:
            with self.subTest(name):
                server = ScriptedServer(replies)
                result = subprocess.run([TOOL, str(server.port), "none", USER, PASSWORD, *args], capture_output=True,
                                        timeout=RUN_LIMIT)
                server.thread.join(RUN_LIMIT)
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertIn(text, (result.stdout + result.stderr).decode())
                # The message never follows a refusal.
                self.assertNotIn(b"GEHEIMER TEXT\r\n", b"".join(server.received))


if __name__ == "__main__":
    unittest.main()

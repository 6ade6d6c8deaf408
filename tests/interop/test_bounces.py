"""Bounces from a real mail system: the program sends a list through a real
Postfix (postfix_support) that takes every recipient of its domain and
hands the mail by LMTP to a real Dovecot (dovecot_support), which refuses
the recipients it does not know. Postfix's bounces land in the sender's
inbox, as does an unsubscribe request. "/ruecklaeufer" must mark exactly
the bounced rows in the result file and the run record, put them and the
unsubscribed sender on the suppression list and move the handled messages
to "Sendrix/Rückläufer"; the next send leaves those rows out and names
them on standard error.
"""
import csv
import email
import email.policy
import os
import shutil
import smtplib
import subprocess
import tempfile
import unittest

import dovecot_support
import postfix_support
from test_unattended import PROGRAM, RUN_LIMIT_SECONDS
from tls_support import Certificates

DOMAIN = "example.test"
SENDER = "absender@" + DOMAIN
PASSWORD = "geheim"
KNOWN = ["r1@" + DOMAIN, "r3@" + DOMAIN]
UNKNOWN = ["r2@" + DOMAIN, "r4@" + DOMAIN]
REPORTS = "Sendrix/R\u00fcckl\u00e4ufer"


def scrambled(text):
    return "".join(chr(ord(c) ^ 0x1F) for c in text)


@unittest.skipUnless(os.getuid() == 0, "Postfix's daemons start only as root (as in CI)")
class BounceTest(unittest.TestCase):
    def setUp(self):
        work = tempfile.mkdtemp(prefix="sendrix-bounces-")
        self.addCleanup(shutil.rmtree, work, True)
        os.chmod(work, 0o755)  # Postfix's and Dovecot's own users work below it
        certs = Certificates(work)
        lmtp_port = dovecot_support.free_port()
        lmtp = ("protocols = imap lmtp\nservice lmtp {\n  inet_listener lmtp {\n    address = 127.0.0.1\n"
                "    port = %d\n  }\n}\n" % lmtp_port)
        users = {address: PASSWORD for address in [SENDER] + KNOWN}
        self.dovecot = dovecot_support.Dovecot(os.path.join(work, "dovecot"), os.path.join(certs.folder, "good.pem"),
                                               os.path.join(certs.folder, "good.key"), users, extra=lmtp)
        self.addCleanup(self.dovecot.stop)
        self.postfix = postfix_support.Postfix(os.path.join(work, "postfix"), DOMAIN, lmtp_port)
        self.addCleanup(self.postfix.stop)

        self.home = tempfile.mkdtemp(prefix="sendrix-bounces-home-")
        self.addCleanup(shutil.rmtree, self.home, True)
        ini = ["[Smtp]", "ServerName=127.0.0.1", "ServerPort=%d" % self.postfix.smtp_port, "SMTPAuthenticationType=0",
               "[Imap]", "ServerName=localhost", "ServerPort=%d" % self.dovecot.imap_port, "Encryption=1",
               "ServerUser=" + SENDER, 'ServerPassword="%s"' % scrambled(PASSWORD), "SentCopy=0"]
        with open(os.path.join(self.home, "Mail.ini"), "w", opener=lambda p, f: os.open(p, f, 0o600)) as out:
            out.write("\r\n".join(ini) + "\r\n")
        with open(os.path.join(self.home, "liste.csv"), "w") as out:
            out.write("".join("N%d;V;r%d@%s;w\r\n" % (i, i, DOMAIN) for i in range(1, 5)))
        self.mailing = os.path.join(self.home, "rundbrief.mailing")
        with open(self.mailing, "w") as out:
            out.write("[Mailing]\r\nBetreff=Einladung\r\nEmpfaengerliste=liste.csv\r\n"
                      "Abmeldeadresse=%s\r\nAbmeldezeile=1\r\n\r\n[Text]\r\nHallo,\r\nbis bald.\r\n" % SENDER)
        self.env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        self.env.update({"SENDRIX_HOME": self.home, "LANG": "C.UTF-8", "TZ": "UTC", "SSL_CERT_FILE": certs.ca})

    def run_program(self, *switches):
        result = subprocess.run([PROGRAM, self.mailing, "/from:" + SENDER, "/sofort", *switches], env=self.env,
                                cwd=self.home, capture_output=True, timeout=RUN_LIMIT_SECONDS)
        self.postfix.drain()
        return result.returncode, result.stdout.decode(), result.stderr.decode()

    def inbox(self, user):
        return [email.message_from_bytes(data, policy=email.policy.default)
                for data, _ in self.dovecot.messages(user, "INBOX")]

    def results(self):
        folder = os.path.join(self.home, "Ergebnisse")
        rows = []
        for name in sorted(os.listdir(folder)):
            with open(os.path.join(folder, name), encoding="utf-8-sig", newline="") as data:
                rows.append(list(csv.reader(data, delimiter=";"))[1:])
        return rows

    def test_bounced_rows_are_marked_suppressed_and_left_out_of_the_next_send(self):
        status, out, err = self.run_program()
        self.assertEqual(status, 0, out + err)
        (delivered,) = self.inbox(KNOWN[0])
        self.assertEqual(delivered["List-Unsubscribe"], "<mailto:%s?subject=Abmelden>" % SENDER)
        self.assertIn("Betreff \u201eAbmelden\u201c", delivered.get_content())
        # Postfix took all four and bounced the two Dovecot does not know.
        reports = self.inbox(SENDER)
        self.assertEqual(len(reports), 2, self.postfix.log())
        self.assertTrue(all(r.get_content_type() == "multipart/report" for r in reports))
        # A member unsubscribes as a mail program follows the mailto link.
        with smtplib.SMTP("127.0.0.1", self.postfix.smtp_port, timeout=30) as client:
            client.sendmail(KNOWN[1], [SENDER], "From: %s\r\nTo: %s\r\nSubject: Abmelden\r\n\r\n-\r\n" % (KNOWN[1], SENDER))
        self.postfix.drain()

        status, out, err = self.run_program("/ruecklaeufer:verschieben")
        self.assertEqual(status, 0, out + err)
        self.assertIn("Rückläufer prüfen: 2 unzustellbar, 0 verzögert, 1 Abmeldung, 0 nicht zugeordnet; "
                      "3 Adressen neu auf der Sperrliste.", err)
        (rows,) = self.results()
        self.assertEqual([(r[1], r[2]) for r in rows],
                         [(KNOWN[0], "versendet"), (UNKNOWN[0], "unzustellbar"), (KNOWN[1], "versendet"),
                          (UNKNOWN[1], "unzustellbar")])
        for row in (rows[1], rows[3]):
            self.assertRegex(row[3], r"^5\.1\.1 .*" + row[1].split("@")[0])
        with open(os.path.join(self.home, "rundbrief.versandlauf"), encoding="utf-8") as record:
            self.assertEqual(sum("\tunzustellbar\t" in line for line in record), 2)
        with open(os.path.join(self.home, "Sperrliste.txt"), encoding="utf-8") as listed:
            entries = {line.split("\t")[0]: line.rstrip("\n").split("\t")[2] for line in listed if "@" in line}
        self.assertEqual(sorted(entries), sorted(UNKNOWN + [KNOWN[1]]))
        self.assertEqual(entries[KNOWN[1]], "abgemeldet")
        self.assertTrue(entries[UNKNOWN[0]].startswith("unzustellbar: 5.1.1"), entries)
        self.assertEqual(self.inbox(SENDER), [])
        moved = self.dovecot.doveadm("search", "-u", SENDER, "mailbox", REPORTS, "all").splitlines()
        self.assertEqual(len(moved), 3)

        # The next send goes to r1 alone; the others are named on standard error.
        status, out, err = self.run_program()
        self.assertEqual(status, 0, out + err)
        for address in UNKNOWN + [KNOWN[1]]:
            self.assertRegex(err, r"Zeile \d: %s steht auf der Sperrliste \([^)]*\); die Zeile wird "
                                  r"übersprungen\." % address)
        self.assertEqual(len(self.inbox(KNOWN[0])), 2)
        self.assertEqual(len(self.inbox(KNOWN[1])), 1)
        self.assertEqual(self.inbox(SENDER), [])


if __name__ == "__main__":
    unittest.main()

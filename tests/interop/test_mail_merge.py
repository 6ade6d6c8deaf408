"""Mail merge from spreadsheet exports, end to end: the real program with
/sofort and no display, lists written by Python's csv module as LibreOffice
and Excel write them, a real aiosmtpd on 127.0.0.1, every received message
parsed by Python's email package. Also the dry run's .eml files and the
pre-flight check that stops a run before anything is sent."""
import csv
import email
import email.policy
import io
import os
import unittest

import test_unattended


def csv_text(rows, **dialect):
    out = io.StringIO(newline="")
    csv.writer(out, **dialect).writerows(rows)
    return out.getvalue()


class MailMergeTest(unittest.TestCase):
    # The helpers of the unattended tests; their class is not bound in this
    # module, or the loader would run its tests a second time.
    Base = test_unattended.UnattendedTest
    setUp = Base.setUp
    start_server = Base.start_server
    write = Base.write
    write_mail_ini = Base.write_mail_ini
    run_program = Base.run_program
    messages = Base.messages
    body_lines = staticmethod(Base.body_lines)

    def attachments(self, message):
        return [(part.get_filename(), part.get_payload(decode=True)) for part in message.iter_attachments()]

    def member_files(self):
        """Invoices of their own per member, below the list's folder."""
        files = {"rechnungen/1001.pdf": b"%PDF Rechnung Anna \x00\xff" * 50,
                 "rechnungen/1002.pdf": b"%PDF Rechnung Bernd \x01\xfe" * 70,
                 "rechnungen/lastschrift.txt": b"Mandat Bernd\r\n.Punkt am Anfang\r\n"}
        for name, data in files.items():
            self.write(os.path.join("liste", name), data)
        return files

    def test_libreoffice_semicolon_export_with_extra_columns_and_own_attachments(self):
        self.start_server()
        self.write_mail_ini({"BenutzeAnrede": 1, "Anrede": 2})
        files = self.member_files()
        rows = [["Mitgliedsnummer", "E-Mail", "Vorname", "Nachname", "Geschlecht", "Beitrag", "Anhang"],
                ["1001", "anna@example.org", "Anna", "Schön", "w", "12,50 €", "rechnungen/1001.pdf"],
                ["1002", "bernd@example.org", "Bernd", "Groß; Sohn", "m", "3,00 €",
                 "rechnungen/1002.pdf;rechnungen\\lastschrift.txt"],
                ["1003", "kim@example.org", "Kim", "Lee \"Kimmy\"", "divers", "0,00 €", ""]]
        liste = self.write("liste/mitglieder.csv",
                           csv_text(rows, delimiter=";", quoting=csv.QUOTE_ALL).encode("cp1252"))
        body = self.write("text.txt", "Ihr Beitrag für {{Mitgliedsnummer}}: {{Beitrag}}\r\n\\{{bleibt}}")
        status = self.run_program(liste, "/B:" + body, "/s:Beitrag {{Mitgliedsnummer}} für {{Vorname}}",
                                  "/from:verein@example.org", "/sofort")
        self.assertEqual(status, 0, self.stderr)
        got = self.messages()
        self.assertEqual([rcpts for _, rcpts, _ in got],
                         [["anna@example.org"], ["bernd@example.org"], ["kim@example.org"]])
        expected = [
            ("Beitrag 1001 für Anna", "Sehr geehrte Frau Schön,", "12,50 €",
             [("1001.pdf", files["rechnungen/1001.pdf"])]),
            ("Beitrag 1002 für Bernd", "Sehr geehrter Herr Groß; Sohn,", "3,00 €",
             [("1002.pdf", files["rechnungen/1002.pdf"]),
              ("lastschrift.txt", files["rechnungen/lastschrift.txt"])]),
            ("Beitrag 1003 für Kim", "Sehr geehrte Damen und Herren,", "0,00 €", []),
        ]
        for (_, _, message), (subject, salutation, fee, attached) in zip(got, expected):
            with self.subTest(subject=subject):
                self.assertEqual(message["Subject"], subject)
                number = subject.split()[1]
                self.assertEqual(self.body_lines(message)[:4],
                                 [salutation, "", "Ihr Beitrag für %s: %s" % (number, fee), "{{bleibt}}"])
                self.assertEqual(self.attachments(message), attached)

    def test_comma_export_with_byte_order_mark_and_the_neutral_salutation(self):
        self.start_server()
        self.write_mail_ini({"BenutzeAnrede": 1, "Anrede": 5})
        rows = [["Email", "Name", "Vorname", "Ort", "Mitglied seit"],
                ["a@example.org", "Müller, geb. Schulz", "Jürgen", "Köln", "1998"],
                ["b@example.org", "Weiß", "Sam", "Bonn \"Zentrum\"", ""]]
        liste = self.write("liste.csv", b"\xef\xbb\xbf" + csv_text(rows).encode("utf-8"))
        body = self.write("text.txt", "Aus {{Ort}}, Mitglied seit {{Mitglied seit}}.")
        status = self.run_program(liste, "/B:" + body, "/s:Gruß nach {{ort}}", "/from:verein@example.org",
                                  "/sofort")
        self.assertEqual(status, 0, self.stderr)
        # An empty value used in the subject would be worth a warning; here
        # only the body uses one, so nothing is said.
        self.assertNotIn("Warnung", self.stderr)
        got = self.messages()
        self.assertEqual([m["Subject"] for _, _, m in got], ["Gruß nach Köln", "Gruß nach Bonn \"Zentrum\""])
        self.assertEqual(self.body_lines(got[0][2])[:3],
                         ["Guten Tag Jürgen Müller, geb. Schulz,", "", "Aus Köln, Mitglied seit 1998."])
        self.assertEqual(self.body_lines(got[1][2])[:3],
                         ["Guten Tag Sam Weiß,", "", "Aus Bonn \"Zentrum\", Mitglied seit ."])

    def test_dry_run_files_are_what_the_server_receives(self):
        self.write_mail_ini(port=1)  # nothing may connect during the dry run
        files = self.member_files()
        rows = [["E-Mail", "Name", "Anhang"],
                ["anna@example.org", "Schön", "rechnungen/1001.pdf"],
                ["bernd@example.org", "Groß", "rechnungen/lastschrift.txt"]]
        liste = self.write("liste/dry.csv", csv_text(rows, delimiter=";"))
        body = self.write("text.txt", "Hallo {{Name}}\r\n.eine Zeile mit Punkt\r\n..zwei")
        folder = os.path.join(self.home, "eml")
        arguments = [liste, "/B:" + body, "/s:Probe {{Name}}", "/from:verein@example.org", "/sofort"]
        status = self.run_program(*arguments, "/eml:" + folder)
        self.assertEqual(status, 0, self.stderr)
        self.assertEqual(sorted(os.listdir(folder)), ["0001.eml", "0002.eml"])
        self.assertFalse(os.path.exists(os.path.join(self.home, "logs")) and
                         any(os.path.getsize(os.path.join(self.home, "logs", n))
                             for n in os.listdir(os.path.join(self.home, "logs"))))

        self.start_server()
        self.write_mail_ini()
        status = self.run_program(*arguments)
        self.assertEqual(status, 0, self.stderr)
        received = [content for _, _, content in self.handler.transactions]
        self.assertEqual(len(received), 2)

        def without_date(data):
            # Both runs write their own moment into "Date" and a new
            # "Message-ID"; everything else must be the same bytes.
            return b"".join(line for line in data.splitlines(keepends=True)
                            if not line.startswith((b"Date: ", b"Message-ID: ")))

        for name, content in zip(["0001.eml", "0002.eml"], received):
            with open(os.path.join(folder, name), "rb") as eml:
                written = eml.read()
            self.assertEqual(without_date(written), without_date(content))
            self.assertIn(b"\r\n.eine Zeile mit Punkt\r\n", written)
        parsed = email.message_from_bytes(received[1], policy=email.policy.default)
        self.assertEqual(self.attachments(parsed), [("lastschrift.txt", files["rechnungen/lastschrift.txt"])])

    def test_preflight_errors_stop_the_run_before_anything_is_sent(self):
        self.start_server()
        self.write_mail_ini()
        rows = [["Email", "Name", "Anhang"],
                ["a@example.org", "A", ""],
                ["b@example.org", "B", "fehlt.pdf"],
                ["c@example.org", "C", ""]]
        liste = self.write("liste.csv", csv_text(rows, delimiter=";"))
        body = self.write("text.txt", "Hallo {{Spitzname}}")
        status = self.run_program(liste, "/B:" + body, "/s:Test", "/from:verein@example.org", "/sofort")
        self.assertEqual(status, 1)
        self.assertEqual(self.handler.transactions, [])
        self.assertIn("Fehler: Text, Zeile 1: Der Platzhalter \"{{Spitzname}}\" nennt keine Spalte der "
                      "Empfängerliste.", self.stderr)
        # Rows numbered as the file's lines: the title line is line 1.
        self.assertIn("Fehler: Zeile 3: der Anhang", self.stderr)
        self.assertIn("Der Versand wird nicht gestartet", self.stderr)

        # Warnings alone do not stop it: the row without an address is skipped.
        rows[2] = ["", "B", ""]
        liste = self.write("liste.csv", csv_text(rows, delimiter=";"))
        body = self.write("text.txt", "Hallo {{Name}}")
        status = self.run_program(liste, "/B:" + body, "/s:Test", "/from:verein@example.org", "/sofort")
        self.assertEqual(status, 0, self.stderr)
        self.assertIn("Warnung: Zeile 3: keine E-Mail-Adresse", self.stderr)
        self.assertEqual([rcpts for _, rcpts, _ in self.handler.transactions],
                         [["a@example.org"], ["c@example.org"]])

    def test_a_comma_export_without_title_is_refused_with_a_reason(self):
        self.start_server()
        self.write_mail_ini()
        liste = self.write("liste.csv", csv_text([["Müller", "Hans", "h@example.org", "m"]]))
        status = self.run_program(liste, "/s:Test", "/from:verein@example.org", "/sofort")
        self.assertEqual(status, 1)
        self.assertEqual(self.handler.transactions, [])
        self.assertIn("ist keine Empfängerliste", self.stderr)


    def test_a_mailing_file_as_first_argument_sends_the_saved_mailing(self):
        self.start_server()
        # The configuration's own subject, reply-to and salutation give way to
        # the mailing's.
        self.write_mail_ini({"BenutzeAnrede": 0, "Anrede": 0},
                            {"Subject": "aus Mail.ini", "replyto": "konfig@example.org"})
        satzung = b"%PDF Satzung \x00\xff" * 40
        self.write("verein/satzung.pdf", satzung)
        self.write("verein/mitglieder.csv",
                   csv_text([["Vorname", "Nachname", "E-Mail", "Geschlecht", "Nummer"],
                             ["Anna", "Schön", "anna@example.org", "w", "1001"],
                             ["Bernd", "Groß", "bernd@example.org", "m", "1002"]], delimiter=";"))
        mailing = self.write("verein/rundbrief.mailing", "\r\n".join([
            "[Mailing]", "Betreff=Rundbrief für {{Vorname}}", "Empfaengerliste=mitglieder.csv",
            "Anhang1=satzung.pdf", "BenutzeAnrede=1", "Anredetext=Guten Tag %Vorname %Name,",
            "CC=vorstand@example.org", "Antwortadresse=antwort@example.org", "Prioritaet=High",
            "Lesebestaetigung=1", "", "[Text]", "Ihre Nummer: {{Nummer}}", "[kein Abschnitt]", ""]).encode("utf-8"))
        status = self.run_program(mailing, "/from:verein@example.org", "/sofort")
        self.assertEqual(status, 0, self.stderr)
        got = self.messages()
        self.assertEqual([rcpts for _, rcpts, _ in got],
                         [["anna@example.org", "vorstand@example.org"],
                          ["bernd@example.org", "vorstand@example.org"]])
        for (_, _, message), (name, surname, number) in zip(got, [("Anna", "Schön", "1001"),
                                                                  ("Bernd", "Groß", "1002")]):
            with self.subTest(name=name):
                self.assertEqual(message["Subject"], "Rundbrief für " + name)
                self.assertEqual(message["Reply-To"], "antwort@example.org")
                self.assertEqual(message["X-Priority"], "2")
                self.assertEqual(message["Disposition-Notification-To"], "verein@example.org")
                self.assertEqual(self.body_lines(message)[:4],
                                 ["Guten Tag %s %s," % (name, surname), "", "Ihre Nummer: " + number,
                                  "[kein Abschnitt]"])
                self.assertEqual(self.attachments(message), [("satzung.pdf", satzung)])

    def test_a_broken_mailing_file_sends_nothing_and_names_the_line(self):
        self.start_server()
        self.write_mail_ini()
        mailing = self.write("kaputt.mailing", "[Mailing]\r\nPrioritaet=dringend\r\n")
        status = self.run_program(mailing, "/to:a@example.org", "/s:x", "/from:verein@example.org", "/sofort")
        self.assertEqual(status, 1)
        self.assertEqual(self.handler.transactions, [])
        self.assertIn("Die Datei %s ist kein gültiges Mailing: Zeile 2 \"Prioritaet=dringend\" nennt keine "
                      "Priorität" % mailing, self.stderr)


if __name__ == "__main__":
    unittest.main()

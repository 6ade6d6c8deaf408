"""Every structure stays parseable whatever the text holds: aiosmtpd on
127.0.0.1 takes what tests/programs/smtp_send sends, and Python's email
package (policy default) reads it back. Body lines that look like the MIME
boundaries never end a part, a NUL byte never goes out raw, header lines stay
within 998 octets (folded at 78 columns where a blank allows), text that looks
like an encoded word reads back as typed, and display names with quotes and
backslashes read back exactly.

Run by CTest with Debian's /usr/bin/python3 (which has python3-aiosmtpd).
"""
import email
import email.policy
import pathlib
import re
import tempfile
import unittest

from test_smtp_delivery import Recorder, Server, send

MIXED = "=_NextPart_2rfkqmtzsadvnqw3nerasdf"
ALTERNATIVE = "=_NextPart_2altrfkqmtzsadvnqw3nerasdf"


class ParseableStructure(unittest.TestCase):
    def setUp(self):
        self.folder = pathlib.Path(self.enterContext(tempfile.TemporaryDirectory()))

    def write(self, name, data):
        (self.folder / name).write_bytes(data)
        return str(self.folder / name)

    def deliver(self, *arguments):
        """The raw message and the parsed one; every line within 998 octets."""
        recorder = Recorder()
        server = Server(recorder)
        self.addCleanup(server.stop)
        status, error = send(server.port, "--to", "b@example.org", *arguments)
        self.assertEqual(status, 0, error)
        content = recorder.envelopes[0][2]
        self.assertNotIn(b"\0", content)
        self.assertTrue(all(len(line) <= 998 for line in content.split(b"\r\n")))
        return content, email.message_from_bytes(content, policy=email.policy.default)

    def header_lines(self, content, name):
        """The physical lines of one header field."""
        head = content.split(b"\r\n\r\n", 1)[0].decode("ascii").split("\r\n")
        for i, line in enumerate(head):
            if line.lower().startswith(name.lower() + ":"):
                end = i + 1
                while end < len(head) and head[end][:1] in (" ", "\t"):
                    end += 1
                return head[i:end]
        return []

    def lines(self, part):
        return re.split(r"\r\n|\n", part.get_content())

    def test_body_lines_that_look_like_boundaries_never_end_a_part(self):
        hostile = ["Vorher", "--" + MIXED, "--" + MIXED + "--", "--" + MIXED + "_1", "--" + ALTERNATIVE,
                   "--" + ALTERNATIVE + "--", "Nachher"]
        body = self.write("brief.txt", "\r\n".join(hostile).encode("ascii"))
        html = self.write("brief.html", "\r\n".join(["<p>" + line + "</p>" for line in hostile]).encode())
        data = bytes(range(256)) * 4
        attachment = self.write("daten.bin", data)
        rows = [
            ("attachment layout", ["--body-file", body, "--attach", attachment], ["text/plain"]),
            ("HTML mailing", ["--body-file", html, "--html"], ["text/plain", "text/html"]),
            ("HTML with attachment", ["--body-file", html, "--html", "--attach", attachment],
             ["text/plain", "text/html"]),
        ]
        for name, arguments, texts in rows:
            with self.subTest(name):
                content, message = self.deliver("--from", "a@example.org", "--subject", "Grenzen", *arguments)
                self.assertEqual([p.defects for p in message.walk()], [[] for _ in message.walk()])
                leaves = [p for p in message.walk() if not p.is_multipart()]
                self.assertEqual([p.get_content_type() for p in leaves],
                                 texts + (["application/octet-stream"] if "--attach" in arguments else []))
                for part in leaves[:len(texts)]:
                    got = self.lines(part)
                    for line in hostile:
                        self.assertTrue(any(line in g for g in got), (line, got))
                if "--attach" in arguments:
                    self.assertEqual(leaves[-1].get_payload(decode=True), data)
                # The boundaries chosen occur nowhere else in the message.
                for boundary in re.findall(rb'boundary="([^"]+)"', content):
                    lines = content.split(b"\r\n")
                    self.assertNotIn(boundary, (MIXED.encode(), ALTERNATIVE.encode()))
                    self.assertTrue(all(line in (b"--" + boundary, b"--" + boundary + b"--")
                                        for line in lines if boundary in line and not b"boundary=" in line))

    def test_a_body_without_such_a_line_keeps_the_fixed_boundary(self):
        body = self.write("brief.txt", b"Guten Tag,\r\n-- \r\nGruss")
        content, message = self.deliver("--from", "a@example.org", "--subject", "x", "--body-file", body,
                                        "--attach", body)
        self.assertIn(('boundary="%s"' % MIXED).encode(), content)
        self.assertEqual(len(message.get_payload()), 2)

    def test_long_body_lines_go_out_in_soft_broken_pieces_and_arrive_whole(self):
        # 1,229 is the line a receiving server bounced; the others sit around
        # the quoted-printable coder's 4,096-byte input pieces.
        for length in (999, 1229, 4095, 4096, 4097, 8000):
            line = "".join(chr(ord("a") + i % 26) for i in range(length))
            body = self.write("brief.txt", ("Kurz\r\n" + line + "\r\nEnde").encode("ascii"))
            for layout in ([], ["--attach", body]):
                with self.subTest(length=length, layout=layout):
                    content, message = self.deliver("--from", "a@example.org", "--subject", "Lang",
                                                    "--body-file", body, *layout)
                    text = message if not layout else message.get_payload()[0]
                    self.assertEqual(text["Content-Transfer-Encoding"], "quoted-printable")
                    self.assertEqual(self.lines(text)[:3], ["Kurz", line, "Ende"])
                    body_part = content.split(b"\r\n\r\n", 1)[1]
                    self.assertLessEqual(max(len(l) for l in body_part.split(b"\r\n")), 76)

    def test_a_nul_byte_goes_out_encoded_in_body_and_subject(self):
        body = self.write("brief.txt", b"vor\0nach\r\nzweite Zeile")
        subject = self.write("betreff.txt", b"Betreff\0mit NUL")
        for layout in ([], ["--attach", body]):
            with self.subTest(layout=layout):
                content, message = self.deliver("--from", "a@example.org", "--subject-file", subject,
                                                "--body-file", body, *layout)
                self.assertEqual(str(message["Subject"]), "Betreff\0mit NUL")
                text = message if not layout else message.get_payload()[0]
                self.assertEqual(text["Content-Transfer-Encoding"], "quoted-printable")
                self.assertEqual(self.lines(text)[:2], ["vor\0nach", "zweite Zeile"])

    def test_text_that_looks_like_an_encoded_word_reads_back_as_typed(self):
        rows = [
            "=?UTF-8?B?SGFsbG8=?=",
            "Rechnung =?UTF-8?Q?a=0D=0ABcc:_x@y?= bezahlt",
            "=?iso-8859-1?q?M=FCller?= und =?",
        ]
        for text in rows:
            with self.subTest(text):
                content, message = self.deliver("--from", "a@example.org", "--from-name", text,
                                                "--subject", text)
                self.assertEqual(str(message["Subject"]), text)
                self.assertEqual(message["From"].addresses[0].display_name, text)
                self.assertEqual(message["From"].addresses[0].addr_spec, "a@example.org")
                self.assertIsNone(message["Bcc"])
                self.assertNotIn(text.encode(), content)

    def test_display_names_with_quotes_and_backslashes_read_back_exactly(self):
        rows = ['Max "Chef" Muster', 'O"Brien', 'Pfad C:\\Daten\\', 'a\\"b', 'Firma <GmbH> (Zentrale)',
                'Sehr "lang" ' + "Wort " * 30 + '\\ Ende', "Müller \"Chef\" \\ Köln"]
        for name in rows:
            with self.subTest(name):
                content, message = self.deliver("--from", "a@example.org", "--from-name", name, "--subject", "x")
                self.assertEqual([(a.display_name, a.addr_spec) for a in message["From"].addresses],
                                 [(name, "a@example.org")])
                self.assertEqual([d for d in message["From"].defects], [])

    def test_header_lines_fold_at_blanks_and_never_exceed_998_octets(self):
        words = " ".join("Wort%02d" % i for i in range(60))
        # A quoted name is never folded inside its quotes (its blanks would
        # be at the reader's mercy), so a long one of short words stays one
        # line within 998 octets; a longer one goes out as encoded words.
        rows = [
            ("words", words, 78, 998),
            ("one word of 1,500 letters", "A" * 1500, 78, 78),
            ("long word between words", "vorne " + "B" * 1200 + " hinten", 78, 78),
            ("quoted name too long for one line", words * 3, 78, 78),
        ]
        for name, text, subject_width, from_width in rows:
            with self.subTest(name):
                content, message = self.deliver("--from", "a@example.org", "--from-name", text,
                                                "--subject", text)
                # Python keeps the blank of a fold right after "Subject:"
                # (the first encoded word does not fit behind the name).
                self.assertEqual(str(message["Subject"]).lstrip(" "), text)
                name = message["From"].addresses[0].display_name
                if len(max(text.split(), key=len)) > 900:
                    # Python also keeps the blank between two encoded words of a
                    # name, which RFC 2047 6.2 drops: compare the letters there.
                    self.assertEqual(name.replace(" ", ""), text.replace(" ", ""))
                else:
                    self.assertEqual(name, text)
                for field, width in (("Subject", subject_width), ("From", from_width)):
                    lines = self.header_lines(content, field)
                    self.assertTrue(all(len(line) <= width for line in lines), (field, lines))
                self.assertGreater(len(self.header_lines(content, "Subject")), 1)


if __name__ == "__main__":
    unittest.main()

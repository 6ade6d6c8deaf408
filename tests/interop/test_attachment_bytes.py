"""The attachment's base64 lines on the wire are byte for byte those of
Python's base64 module (76 characters and CR LF per 57 bytes), at the sizes
where the writer's 57-byte lines and its read blocks of 57 * 8192 bytes begin
and end. aiosmtpd on 127.0.0.1 takes what tests/programs/smtp_send sends.

Run by CTest with Debian's /usr/bin/python3 (which has python3-aiosmtpd).
"""
import base64
import pathlib
import random
import tempfile
import unittest

from test_smtp_delivery import Recorder, Server, send

BLOCK = 57 * 8192


class AttachmentBytes(unittest.TestCase):
    def test_base64_lines_equal_pythons_at_every_block_edge(self):
        folder = pathlib.Path(self.enterContext(tempfile.TemporaryDirectory()))
        recorder = Recorder()
        server = Server(recorder)
        self.addCleanup(server.stop)
        generator = random.Random(13)
        for size in (0, 1, 2, 3, 56, 57, 58, 114, BLOCK - 1, BLOCK, BLOCK + 1, 2 * BLOCK + 57 * 3 + 2):
            with self.subTest(size=size):
                data = generator.randbytes(size)
                path = folder / "daten.bin"
                path.write_bytes(data)
                status, error = send(server.port, "--from", "a@example.org", "--to", "b@example.org",
                                     "--subject", "Anlage", "--attach", str(path))
                self.assertEqual(status, 0, error)
                content = recorder.envelopes[-1][2]
                start = content.index(b'filename="daten.bin"\r\n\r\n') + len(b'filename="daten.bin"\r\n\r\n')
                end = content.index(b"\r\n\r\n--=_NextPart_", start - 2)
                wire = content[start:end + 2] if end + 2 > start else b""
                self.assertEqual(wire, base64.encodebytes(data).replace(b"\n", b"\r\n"))


if __name__ == "__main__":
    unittest.main()

"""aiosmtpd with STARTTLS required and AUTH LOGIN/PLAIN checked against one
account, behind a certificate for "localhost" from a throw-away CA, for the
window tests (tests/support/tls_smtp_server.h starts it).

    tls_smtp_server.py FOLDER USER PASSWORD

Makes the CA and certificates in FOLDER, prints "PORT CA-FILE" on one line,
writes each message it takes to FOLDER/received-N.eml and serves until its
standard input closes. Run with Debian's /usr/bin/python3 (python3-aiosmtpd).
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "interop"))

from test_tls import Aiosmtpd, Certificates  # noqa: E402


def main():
    folder, user, password = sys.argv[1:4]
    certificates = Certificates(folder)
    server = Aiosmtpd(certificates.context("good"), implicit=False, logins={user.encode(): password.encode()})
    envelopes = server.recorder.envelopes

    class Keep(list):
        def append(self, envelope):
            super().append(envelope)
            with open(os.path.join(folder, "received-%d.eml" % len(self)), "wb") as out:
                out.write(envelope[2])

    server.recorder.envelopes = Keep(envelopes)
    print(server.port, certificates.ca, flush=True)
    sys.stdin.read()
    server.stop()


if __name__ == "__main__":
    main()

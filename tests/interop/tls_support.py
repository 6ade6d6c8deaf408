"""Certificates for the TLS tests: a throw-away CA made by Debian's openssl
command, a second CA nobody trusts, and server certificates signed by them
(good, wrong name, unknown issuer, expired). Clients trust the CA through
SSL_CERT_FILE. Shared by the interop tests (test_tls, the IMAP tests).
"""
import os
import ssl
import subprocess


def openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True, capture_output=True, timeout=60)


class Certificates:
    """A trusted CA, a second CA nobody trusts, and server certificates."""

    def __init__(self, folder):
        self.folder = folder
        for ca in ("ca", "rogue"):
            openssl("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                    "-keyout", ca + ".key", "-out", ca + ".pem", "-days", "3650", "-subj", "/CN=Sendrix Test " + ca,
                    cwd=folder)
            os.makedirs(os.path.join(folder, ca + ".db"))
            open(os.path.join(folder, ca + ".db", "index.txt"), "w").close()
            with open(os.path.join(folder, ca + ".cnf"), "w") as cnf:
                cnf.write("[ca]\ndefault_ca = test\n[test]\ndir = {d}\ndatabase = {d}/index.txt\n"
                          "new_certs_dir = {d}\nserial = {d}/serial\ndefault_md = sha256\n"
                          "policy = anything\ncopy_extensions = copy\nunique_subject = no\n"
                          "[anything]\ncommonName = supplied\n".format(d=os.path.join(folder, ca + ".db")))
            with open(os.path.join(folder, ca + ".db", "serial"), "w") as serial:
                serial.write("1000\n")
        self.ca = os.path.join(folder, "ca.pem")
        self.make("good", "localhost", "ca")
        self.make("wrongname", "mail.other.example", "ca")
        self.make("unknown", "localhost", "rogue")
        self.make("expired", "localhost", "ca", "20200101000000Z", "20210101000000Z")

    def make(self, name, dns, ca, start=None, end=None):
        openssl("req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                "-keyout", name + ".key", "-out", name + ".csr", "-subj", "/CN=" + dns,
                "-addext", "subjectAltName=DNS:" + dns, cwd=self.folder)
        dates = ["-startdate", start, "-enddate", end] if start else ["-days", "365"]
        openssl("ca", "-batch", "-notext", "-config", ca + ".cnf", "-cert", ca + ".pem", "-keyfile", ca + ".key",
                "-in", name + ".csr", "-out", name + ".pem", *dates, cwd=self.folder)

    def context(self, name, maximum=None):
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(os.path.join(self.folder, name + ".pem"), os.path.join(self.folder, name + ".key"))
        if maximum is not None:
            # An old server: TLS 1.1 at most, with the ciphers that allows.
            context.set_ciphers("DEFAULT:@SECLEVEL=0")
            context.minimum_version = ssl.TLSVersion.TLSv1
            context.maximum_version = maximum
        return context

    def fingerprint(self, name):
        out = subprocess.run(["openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in", name + ".pem"],
                             cwd=self.folder, check=True, capture_output=True, text=True, timeout=60).stdout
        return out.strip().split("=", 1)[1]

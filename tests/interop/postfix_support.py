"""A real Postfix (Debian's postfix) for the interop tests: started as
`postfix -c <folder> start` with a configuration of its own in a temporary
folder (its own queue and data directory and log file), listening for SMTP
on 127.0.0.1 at a port the system picked. It takes every recipient of its
one domain and hands the mail to an LMTP server (Dovecot's), so a recipient
that server does not know is refused only after the SMTP dialogue, and the
bounce goes back to the sender's mailbox as a real mail system sends it.

    postfix = Postfix(folder, "example.test", lmtp_port)
    postfix.smtp_port
    postfix.drain()     # flushes the queue until it is empty (bounded)
    postfix.stop()

Postfix runs its daemons as root here (the tests run as root, as CI does).
"""
import os
import shutil
import socket
import subprocess
import time

POSTFIX = "/usr/sbin/postfix"
POSTQUEUE = "/usr/sbin/postqueue"
DRAIN_LIMIT = 60  # seconds for the queue to empty

MASTER_CF = """\
{listen} inet n - n - - smtpd
pickup unix n - n 60 1 pickup
cleanup unix n - n - 0 cleanup
qmgr unix n - n 300 1 qmgr
rewrite unix - - n - - trivial-rewrite
bounce unix - - n - 0 bounce
defer unix - - n - 0 bounce
trace unix - - n - 0 bounce
verify unix - - n - 1 verify
flush unix n - n 1000? 0 flush
proxymap unix - - n - - proxymap
smtp unix - - n - - smtp
showq unix n - n - - showq
error unix - - n - - error
retry unix - - n - - error
discard unix - - n - - discard
lmtp unix - - n - - lmtp
anvil unix - - n - 1 anvil
scache unix - - n - 1 scache
postlog unix-dgram n - n - 1 postlogd
"""


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Postfix:
    def __init__(self, folder, domain, lmtp_port):
        self.folder = os.path.abspath(folder)
        self.smtp_port = free_port()
        os.makedirs(self.folder, exist_ok=True)
        os.chmod(self.folder, 0o755)
        with open(os.path.join(self.folder, "main.cf"), "w") as out:
            out.write(f"""
compatibility_level = 3.6
queue_directory = {self.folder}/queue
data_directory = {self.folder}/data
maillog_file = {self.folder}/postfix.log
maillog_file_prefixes = {self.folder}
mail_owner = postfix
setgid_group = postdrop
myhostname = mx.{domain}
mydomain = {domain}
myorigin = {domain}
mydestination =
inet_interfaces = 127.0.0.1
inet_protocols = ipv4
mynetworks = 127.0.0.0/8
smtpd_relay_restrictions = permit_mynetworks, reject
smtpd_recipient_restrictions = permit_mynetworks, reject
# Every address of the domain is taken; whether it exists is the LMTP
# server's to say, after the SMTP client has gone.
smtpd_reject_unlisted_recipient = no
virtual_mailbox_domains = {domain}
virtual_transport = lmtp:inet:127.0.0.1:{lmtp_port}
lmtp_host_lookup = native
smtp_dns_support_level = disabled
smtputf8_enable = no
biff = no
alias_maps =
alias_database =
delay_warning_time = 0
""")
        with open(os.path.join(self.folder, "master.cf"), "w") as out:
            out.write(MASTER_CF.format(listen="127.0.0.1:%d" % self.smtp_port))
        # The queue belongs to root, its data folder to Postfix's own user;
        # "check" makes the queue's subfolders with their owners.
        os.makedirs(os.path.join(self.folder, "queue"), 0o755, exist_ok=True)
        os.makedirs(os.path.join(self.folder, "data"), 0o700, exist_ok=True)
        shutil.chown(os.path.join(self.folder, "data"), "postfix", "postfix")
        self.postfix("check")
        self.postfix("start")
        self.running = True

    def postfix(self, *args):
        done = subprocess.run([POSTFIX, "-c", self.folder, *args], capture_output=True, text=True, timeout=60)
        if done.returncode != 0:
            raise RuntimeError("postfix %s: %s%s" % (" ".join(args), done.stdout, done.stderr) + self.log())

    def log(self):
        try:
            with open(os.path.join(self.folder, "postfix.log"), errors="replace") as log:
                return log.read()
        except OSError:
            return ""

    def queue_empty(self):
        listed = subprocess.run([POSTQUEUE, "-c", self.folder, "-p"], capture_output=True, text=True, timeout=30)
        return "Mail queue is empty" in listed.stdout

    def drain(self):
        """Flushes the queue until it is empty: every mail delivered or bounced,
        and every bounce delivered. Raises after DRAIN_LIMIT seconds."""
        deadline = time.monotonic() + DRAIN_LIMIT
        while not self.queue_empty():
            if time.monotonic() > deadline:
                raise RuntimeError("Postfix queue not empty after %d s:\n%s" % (DRAIN_LIMIT, self.log()))
            subprocess.run([POSTQUEUE, "-c", self.folder, "-f"], capture_output=True, timeout=30)

    def stop(self):
        if self.running:
            self.running = False
            subprocess.run([POSTFIX, "-c", self.folder, "stop"], capture_output=True, timeout=60)
            shutil.rmtree(os.path.join(self.folder, "queue"), True)

"""A real Dovecot (Debian's dovecot-imapd) for the interop tests: started in
the foreground with a configuration of its own in a temporary folder (its
own base_dir, state and log, mailboxes in maildir below the folder, users
from a passwd-file), listening on 127.0.0.1 only at ports the system
picked: IMAP with STARTTLS and IMAP over TLS, with a certificate of the
tests' CA (tls_support.Certificates).

    dovecot = Dovecot(folder, cert_pem, key_pem, users={"anna": "geheim"})
    dovecot.imap_port, dovecot.imaps_port
    dovecot.messages("anna", "Sent")    # [(file name, bytes, flags)]
    dovecot.kick("anna")                # drops the user's connections
    dovecot.stop()

Extra configuration (a quota, a plugin, an LMTP listener for a mail server
that delivers into the inboxes) goes in `extra`, as Dovecot configuration
text. Every wait is bounded.
"""
import os
import grp
import pwd
import select
import signal
import shutil
import socket
import subprocess

DOVECOT = "/usr/sbin/dovecot"
DOVEADM = "/usr/bin/doveadm"
START_LIMIT = 20  # seconds for Dovecot to start
STOP_LIMIT = 20  # seconds for it to end


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Dovecot:
    def __init__(self, folder, cert, key, users, extra="", special_use=True, ssl_required=False):
        self.folder = os.path.abspath(folder)
        self.imap_port = free_port()
        self.imaps_port = free_port()
        self.extra_ports = {}
        os.makedirs(self.folder, exist_ok=True)
        # As root, Dovecot's own users from the package do the work and own
        # the mail; as anyone else, that user does everything.
        if os.getuid() == 0:
            internal, login = "dovecot", "dovenull"
        else:
            internal = login = pwd.getpwuid(os.getuid()).pw_name
        mail_user = pwd.getpwnam(internal)
        self.mail_root = os.path.join(self.folder, "mail")
        os.makedirs(self.mail_root, exist_ok=True)
        for name in ("run", "state"):
            os.makedirs(os.path.join(self.folder, name), exist_ok=True)
        if os.getuid() == 0:
            os.chmod(self.folder, 0o755)
            shutil.chown(self.mail_root, mail_user.pw_uid, mail_user.pw_gid)
        with open(os.path.join(self.folder, "passwd"), "w") as out:
            for user, password in users.items():
                out.write("%s:{PLAIN}%s::::::\n" % (user, password))
        sent_flag = "  mailbox Sent {\n    special_use = \\Sent\n    auto = no\n  }\n" if special_use else ""
        self.config = os.path.join(self.folder, "dovecot.conf")
        with open(self.config, "w") as out:
            out.write(f"""
base_dir = {self.folder}/run
state_dir = {self.folder}/state
instance_name = sendrix-test-{self.imap_port}
log_path = {self.folder}/dovecot.log
shutdown_clients = yes
info_log_path = {self.folder}/dovecot.log
shutdown_clients = yes
protocols = imap
listen = 127.0.0.1
default_internal_user = {internal}
default_internal_group = {mail_group(internal)}
default_login_user = {login}
first_valid_uid = {mail_user.pw_uid}
last_valid_uid = {mail_user.pw_uid}
ssl = {"required" if ssl_required else "yes"}
ssl_cert = <{cert}
ssl_key = <{key}
ssl_min_protocol = TLSv1.2
auth_mechanisms = plain login xoauth2 oauthbearer
disable_plaintext_auth = no
passdb {{
  driver = passwd-file
  args = scheme=PLAIN username_format=%u {self.folder}/passwd
}}
userdb {{
  driver = static
  args = uid={mail_user.pw_uid} gid={mail_user.pw_gid} home={self.mail_root}/%u
}}
mail_location = maildir:~/Maildir
namespace inbox {{
  inbox = yes
  separator = /
{sent_flag}}}
service imap-login {{
  chroot =
  inet_listener imap {{
    address = 127.0.0.1
    port = {self.imap_port}
  }}
  inet_listener imaps {{
    address = 127.0.0.1
    port = {self.imaps_port}
    ssl = yes
  }}
}}
service anvil {{
  chroot =
}}
service stats {{
  unix_listener stats-reader {{
    user = {internal}
    mode = 0666
  }}
  unix_listener stats-writer {{
    user = {internal}
    mode = 0666
  }}
}}
{extra}
""")
        # Without -F, dovecot returns once its listeners are bound and it
        # runs in the background: no waiting for a port to open.
        with open(os.path.join(self.folder, "start.err"), "w+") as errors:
            started = subprocess.run([DOVECOT, "-c", self.config], stdout=subprocess.DEVNULL, stderr=errors,
                                     timeout=START_LIMIT)
            if started.returncode != 0:
                errors.seek(0)
                raise RuntimeError("Dovecot does not start: " + errors.read() + self.log())
        with open(os.path.join(self.folder, "run", "master.pid")) as pid:
            self.pid = int(pid.read().strip())
        self.pidfd = os.pidfd_open(self.pid)

    def log(self):
        try:
            with open(os.path.join(self.folder, "dovecot.log"), errors="replace") as log:
                return log.read()
        except OSError:
            return ""

    def doveadm(self, *args):
        return subprocess.run([DOVEADM, "-c", self.config, *args], capture_output=True, text=True,
                              timeout=30, check=True).stdout

    def kick(self, user):
        """Ends every IMAP connection of `user` (the server says BYE and closes)."""
        self.doveadm("kick", user)

    def maildir(self, user, folder):
        home = os.path.join(self.mail_root, user, "Maildir")
        if folder.upper() == "INBOX":
            return home
        return os.path.join(home, "." + folder.replace("/", "."))

    def folders(self, user):
        return sorted(line.strip() for line in self.doveadm("mailbox", "list", "-u", user).splitlines())

    def messages(self, user, folder):
        """The messages of `folder` as stored, oldest first: (bytes, flags)
        where flags are the maildir flag letters ("S" for \\Seen)."""
        found = []
        for sub in ("cur", "new"):
            path = os.path.join(self.maildir(user, folder), sub)
            if not os.path.isdir(path):
                continue
            for name in os.listdir(path):
                with open(os.path.join(path, name), "rb") as message:
                    data = message.read()
                flags = name.split(":2,", 1)[1] if ":2," in name else ""
                found.append((int(name.split(".", 1)[0]), name, data, flags))
        return [(data, flags) for _, _, data, flags in sorted(found)]

    def stop(self):
        """Ends Dovecot with its connections and waits (bounded) until it is gone."""
        if self.pidfd is None:
            return
        try:
            os.kill(self.pid, signal.SIGTERM)
            ready, _, _ = select.select([self.pidfd], [], [], STOP_LIMIT)
            if not ready:
                os.kill(self.pid, signal.SIGKILL)
                select.select([self.pidfd], [], [], STOP_LIMIT)
        except ProcessLookupError:
            pass
        os.close(self.pidfd)
        self.pidfd = None


def mail_group(user):
    return grp.getgrgid(pwd.getpwnam(user).pw_gid).gr_name

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

The folder and the folders above it must be open to Dovecot's own users
(a tempfile.mkdtemp() folder in /tmp is; the fixture opens it to them).

Extra configuration (a quota, a plugin, an LMTP listener for a mail server
that delivers into the inboxes) goes in `extra`, as Dovecot configuration
text. Every wait is bounded.
"""
import os
import grp
import pwd
import re
import select
import signal
import shutil
import socket
import subprocess

DOVECOT = "/usr/sbin/dovecot"
DOVEADM = "/usr/bin/doveadm"
START_LIMIT = 20  # seconds for Dovecot to start
STOP_LIMIT = 20  # seconds for each of its processes to end


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Dovecot:
    def __init__(self, folder, cert, key, users, extra="", special_use="Sent", ssl_required=False):
        self.folder = os.path.abspath(folder)
        self.imap_port = free_port()
        self.imaps_port = free_port()
        self.instance = "sendrix-test-%d" % self.imap_port
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
        # The folder flagged \Sent (RFC 6154), made at the first login.
        sent_flag = ("  mailbox \"%s\" {\n    special_use = \\Sent\n    auto = create\n  }\n" % special_use
                     if special_use else "")
        self.config = os.path.join(self.folder, "dovecot.conf")
        with open(self.config, "w") as out:
            out.write(f"""
base_dir = {self.folder}/run
state_dir = {self.folder}/state
instance_name = {self.instance}
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
# Stored as received (CR LF), so tests compare the bytes as they came.
mail_save_crlf = yes
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
        self.running = True

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
                # "<seconds>.M<microseconds>P<pid>.<host>...": the order of arrival.
                micro = re.search(r"\.M(\d+)", name)
                found.append((int(name.split(".", 1)[0]), int(micro.group(1)) if micro else 0, name, data, flags))
        return [(data, flags) for _, _, _, data, flags in sorted(found)]

    def processes(self):
        """The ids of this instance's processes: the master (its command
        line names this configuration) and the services it started (their
        titles begin with the instance name)."""
        master = [DOVECOT, "-c", self.config]
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/cmdline" % entry, "rb") as cmdline:
                    words = cmdline.read().decode(errors="replace").split("\0")
            except OSError:
                continue
            if words[:3] == master or self.instance + "/" in words[0]:
                found.append(int(entry))
        return found

    def stop(self):
        """Ends Dovecot at once, the connections of its users too (as a
        server that crashes or loses its network), and waits until every
        process of it is gone (bounded)."""
        if not self.running:
            return
        self.running = False
        handles = []
        for pid in self.processes():
            try:
                handles.append(os.pidfd_open(pid))
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        for handle in handles:
            select.select([handle], [], [], STOP_LIMIT)
            os.close(handle)


def mail_group(user):
    return grp.getgrgid(pwd.getpwnam(user).pw_gid).gr_name

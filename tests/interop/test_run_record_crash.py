"""The run record under crashes: an unattended 200-row list send to aiosmtpd,
killed with SIGKILL at random moments (seeded; SENDRIX_CRASH_SEED picks
another seed) and continued with /fortsetzen until done. Counted at the
server: every row got exactly one message, except the rows the record calls
uncertain, which are at most one per kill and named on standard error."""
import asyncio
import glob
import os
import random
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import unittest

from smtp_support import BUILD_DIR, RUN_LIMIT, Recorder, Server

PROGRAM = os.path.join(BUILD_DIR, "src", "sendrix")
ROWS = 200
KILLS = 20


class HoldingRecorder(Recorder):
    """Once armed, holds back its reply to the next message's final "." until
    released: the program is then between the "." and its reply."""

    def __init__(self):
        super().__init__()
        self.hold = None
        self.reached = threading.Event()

    async def handle_DATA(self, server, session, envelope):
        reply = await super().handle_DATA(server, session, envelope)
        if self.hold is not None:
            hold, self.hold = self.hold, None
            self.reached.set()
            await hold
        return reply


class RunRecordCrashTest(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="sendrix-crash-")
        self.addCleanup(shutil.rmtree, self.home, True)
        self.recorder = HoldingRecorder()
        self.server = Server(self.recorder)
        self.addCleanup(self.server.stop)
        self.write("Mail.ini", "[Smtp]\r\nServerName=127.0.0.1\r\nServerPort=%d\r\nSMTPAuthenticationType=0\r\n"
                   "[Email]\r\nPersonalemail=verein@example.org\r\n" % self.server.port)
        self.write("liste.csv", "Name;Vorname;Email;Typ\r\n" + "".join(
            "Mitglied%d;Vorname;m%03d@example.org;W\r\n" % (i, i) for i in range(1, ROWS + 1)))
        self.write("text.txt", "Einladung zur Versammlung.\r\n")

    def write(self, name, text):
        with open(os.path.join(self.home, name), "w", encoding="cp1252", newline="") as out:
            out.write(text)

    def start(self):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update({"SENDRIX_HOME": self.home, "LANG": "C.UTF-8", "TZ": "UTC"})
        process = subprocess.Popen([PROGRAM, "liste.csv", "/B:text.txt", "/s:Einladung", "/sofort", "/fortsetzen"],
                                   cwd=self.home, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        # Every wait below ends at the latest when this kill comes.
        watchdog = threading.Timer(RUN_LIMIT, process.kill)
        watchdog.start()
        self.addCleanup(watchdog.cancel)
        return process

    def arm_hold(self):
        async def future():
            return self.server.loop.create_future()
        self.recorder.reached.clear()
        self.recorder.hold = asyncio.run_coroutine_threadsafe(future(), self.server.loop).result(RUN_LIMIT)
        return self.recorder.hold

    def record_rows(self):
        """Each row's last event in the record (rows left out keep theirs)."""
        (path,) = glob.glob(os.path.join(self.home, "Versandlaeufe", "*.versandlauf"))
        with open(path, encoding="utf-8") as record:
            lines = record.read().split("\n")
        self.assertEqual(lines[0], "Sendrix-Versandlauf\t1")
        self.assertEqual(lines[-1], "")
        rows = {}
        for line in lines[1:-1]:
            fields = line.split("\t")
            if fields[1] in ("punkt", "versendet", "abgewiesen", "vorlaeufig", "unklar"):
                rows[int(fields[2])] = (fields[1], fields[3])
        return rows

    def test_killed_runs_continued_until_done_mail_every_row_once_but_the_named_uncertain(self):
        seed = int(os.environ.get("SENDRIX_CRASH_SEED", "2512"))
        rng = random.Random(seed)
        kills, stderr, statuses = 0, "", []
        while True:
            process = self.start()
            # The kill comes after a random number of progress lines: the
            # program goes on meanwhile, so it lands anywhere in a message.
            # Or, one time in three, while the server holds its reply to a
            # "." back: the message arrived, the program cannot know it.
            target = rng.randint(1, 16) if kills < KILLS or rng.random() < 0.5 else None
            in_reply = rng.random() < 1 / 3
            lines = 0
            for _ in process.stdout:
                lines += 1
                if lines != target:
                    continue
                if in_reply:
                    hold = self.arm_hold()
                    # Bounded: the program may have no message left to send.
                    deadline = time.monotonic() + RUN_LIMIT
                    while not self.recorder.reached.wait(0.05) and process.poll() is None:
                        self.assertLess(time.monotonic(), deadline, "seed %d: no message held" % seed)
                process.send_signal(signal.SIGKILL)
                kills += 1
                if in_reply:
                    self.recorder.hold = None
                    self.server.loop.call_soon_threadsafe(lambda: hold.done() or hold.set_result(None))
                break
            out, err = process.communicate(timeout=RUN_LIMIT)
            stderr += err.decode("utf-8")
            statuses.append(process.returncode)
            if process.returncode == 0:
                break
            self.assertIn(process.returncode, (-signal.SIGKILL, 1), "seed %d: %s" % (seed, err))
            self.assertLess(len(statuses), 400, "seed %d: no end: %s" % (seed, err.decode("utf-8")[-2000:]))

        rows = self.record_rows()
        uncertain = {address for event, address in rows.values() if event in ("punkt", "unklar")}
        received = {}
        for _, recipients, _ in self.recorder.envelopes:
            for address in recipients:
                received[address] = received.get(address, 0) + 1
        message = "seed %d, %d kills, uncertain %s" % (seed, kills, sorted(uncertain))
        self.assertGreaterEqual(kills, KILLS, message)
        self.assertLessEqual(len(uncertain), kills, message)
        for i in range(1, ROWS + 1):
            address = "m%03d@example.org" % i
            if address in uncertain:
                self.assertLessEqual(received.get(address, 0), 1, message)
                self.assertIn(address, stderr, message)
            else:
                self.assertEqual(received.get(address, 0), 1, "%s: %s" % (address, message))
                self.assertEqual(rows[i], ("versendet", address), message)
        # The result file holds every row once with its latest outcome.
        (result,) = glob.glob(os.path.join(self.home, "Ergebnisse", "*.csv"))
        with open(result, encoding="utf-8-sig", newline="") as csv:
            lines = csv.read().split("\r\n")[1:-1]
        # Rows as the list file numbers them: its title row is line 1.
        self.assertEqual([int(line.split(";")[0]) for line in lines], list(range(2, ROWS + 2)), message)
        for line in lines:
            row, address, outcome = line.split(";")[:3]
            self.assertEqual(outcome, "unklar" if address in uncertain else "versendet", line)


if __name__ == "__main__":
    unittest.main()

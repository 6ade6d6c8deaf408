#!/usr/bin/python3
"""A local SMTP capture server for the demo mailing: every message it
receives is written into a folder as NNN.eml. Listens on 127.0.0.1 at a port
the system picks, prints that port on the first line of standard output and
runs until it is terminated (SIGTERM or SIGINT).

    /usr/bin/python3 capture_server.py FOLDER
"""
import os
import signal
import sys
import threading

from aiosmtpd.controller import Controller


class CaptureHandler:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0
        self.lock = threading.Lock()

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            self.count += 1
            name = os.path.join(self.folder, "%03d.eml" % self.count)
        envelope_lines = "X-Envelope-From: %s\r\nX-Envelope-To: %s\r\n" % (
            envelope.mail_from, ", ".join(envelope.rcpt_tos))
        with open(name, "wb") as out:
            out.write(envelope_lines.encode("ascii", "replace"))
            out.write(envelope.original_content or envelope.content)
        return "250 OK"


class FreePortController(Controller):
    """aiosmtpd checks its server by connecting to the configured port; with
    port 0 the system's choice has to be read back first."""

    def _trigger_server(self):
        self.port = self.server.sockets[0].getsockname()[1]
        super()._trigger_server()


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    controller = FreePortController(CaptureHandler(folder), hostname="127.0.0.1", port=0)
    controller.start()
    print(controller.port, flush=True)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    stop.wait()
    controller.stop()


if __name__ == "__main__":
    main()

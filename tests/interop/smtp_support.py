"""What the interop tests share: where the programs they drive are built,
aiosmtpd in a thread of its own, a handler that keeps every envelope, and
Python's email parser as the reader of what arrived.

Imported by the test_*.py beside it (CTest runs them in this folder).
"""
import asyncio
import email
import email.policy
import logging
import os
import threading
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

BUILD_DIR = os.environ.get("SENDRIX_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
SMTP_SEND = os.path.join(BUILD_DIR, "tests", "programs", "smtp_send")
RUN_LIMIT = 60  # seconds for one run of a program, far above what it needs
logging.getLogger("mail.log").setLevel(logging.CRITICAL)


def parse(content):
    """The message as Python's email package reads it (policy default)."""
    return email.message_from_bytes(content, policy=email.policy.default)


class Recorder:
    """aiosmtpd handler keeping every envelope; refuses the listed recipients."""

    def __init__(self, refused=()):
        self.envelopes = []
        self.refused = set(refused)

    async def handle_RCPT(self, server, session, envelope, address, options):
        if address in self.refused:
            return "550 5.1.1 <%s>: Recipient address rejected" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.envelopes.append((envelope.mail_from, list(envelope.rcpt_tos), envelope.original_content))
        return "250 2.0.0 Ok: queued"


class AiosmtpdThread:
    """aiosmtpd in a thread of its own, listening on 127.0.0.1 at a port the
    system picks. `protocol()` makes the SMTP object of each connection (on
    self.loop); with `ssl` the connection is TLS from the first byte."""

    def __init__(self, protocol, ssl=None):
        self.loop = asyncio.new_event_loop()
        self.thread = threading.Thread(target=self.loop.run_forever, daemon=True)
        self.server = self.loop.run_until_complete(
            self.loop.create_server(protocol, host="127.0.0.1", port=0, ssl=ssl))
        self.port = self.server.sockets[0].getsockname()[1]
        self.thread.start()

    def stop(self):
        async def shut():
            self.server.close()
            await self.server.wait_closed()
        asyncio.run_coroutine_threadsafe(shut(), self.loop).result(10)
        self.loop.call_soon_threadsafe(self.loop.stop)
        self.thread.join(10)
        self.loop.close()


class Server(AiosmtpdThread):
    """Plain SMTP. With `logins` it offers AUTH LOGIN (without TLS, as the
    program speaks plain SMTP here) and checks name and password."""

    def __init__(self, handler, logins=None):
        self.handler = handler
        self.logins = logins
        self.attempts = []
        super().__init__(self._protocol)

    def _protocol(self):
        if self.logins is None:
            return SMTP(self.handler, loop=self.loop)
        # AUTH without TLS is what this program speaks; aiosmtpd warns about it.
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            return SMTP(self.handler, loop=self.loop, auth_require_tls=False, auth_required=True,
                        auth_exclude_mechanism=["PLAIN"], authenticator=self._authenticate)

    def _authenticate(self, server, session, envelope, mechanism, data):
        if not isinstance(data, LoginPassword):
            return AuthResult(success=False)
        self.attempts.append((mechanism, data.login, data.password))
        ok = self.logins.get(data.login) == data.password
        return AuthResult(success=ok, handled=False)

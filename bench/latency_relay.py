"""A TCP relay on 127.0.0.1 that holds every chunk for half a round trip
in each direction: the network between a user and a provider, for benches
on a machine without netem. Order is kept and throughput is not limited.

    relay = LatencyRelay(target_port, rtt_ms=20)
    relay.port        # connect here instead of target_port
    relay.stop()
"""
import asyncio
import threading


class LatencyRelay:
    def __init__(self, target_port, rtt_ms):
        self.delay = rtt_ms / 2000.0
        self.target_port = target_port
        self.loop = asyncio.new_event_loop()
        started = threading.Event()
        self.thread = threading.Thread(target=self._run, args=(started,), daemon=True)
        self.thread.start()
        if not started.wait(timeout=30):
            raise RuntimeError("the latency relay did not start")

    def _run(self, started):
        asyncio.set_event_loop(self.loop)
        self.server = self.loop.run_until_complete(asyncio.start_server(self._connection, "127.0.0.1", 0))
        self.port = self.server.sockets[0].getsockname()[1]
        started.set()
        self.loop.run_forever()

    async def _pump(self, reader, writer):
        queue = asyncio.Queue()

        async def deliver():
            while True:
                due, data = await queue.get()
                await asyncio.sleep(max(0.0, due - self.loop.time()))
                if not data:
                    break
                writer.write(data)
                await writer.drain()
            writer.close()

        delivering = asyncio.ensure_future(deliver())
        try:
            while True:
                data = await reader.read(1 << 16)
                await queue.put((self.loop.time() + self.delay, data))
                if not data:
                    break
        except ConnectionError:
            await queue.put((self.loop.time(), b""))
        await delivering

    async def _connection(self, client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", self.target_port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(self._pump(client_reader, server_writer), self._pump(server_reader, client_writer),
                             return_exceptions=True)

    def stop(self):
        self.loop.call_soon_threadsafe(self.loop.stop)
        self.thread.join(timeout=30)

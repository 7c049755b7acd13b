#!/usr/bin/env python3
"""Load and fault checks of quillshare-server on loopback.

Usage: load_test.py PATH-TO-quillshare-server [--visitors 1000] [--cuts 10000]

1. Many concurrent logged-in visitors, each doing a LIST and a small RETR;
   prints the server's total resident memory with all of them connected.
2. Many transfers cut at random points (the client drops the data or the
   control connection, resets it, or sends ABOR); afterwards the server's
   open descriptors are back to their count before the run.
3. Descriptor exhaustion: with a low descriptor limit, connections the server
   cannot take are closed at once; it neither stops listening nor spins the
   CPU, and serves normally once descriptors free up.
Every loop is bounded in count and time; servers are stopped by their PID.
"""
import argparse
import asyncio
import os
import random
import resource
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time

PASSWORD = "load"
RESET = struct.pack("ii", 1, 0)


def raise_own_limit():
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))


class Server:
    def __init__(self, binary, share, limit=None):
        def lower_limit():
            if limit:
                resource.setrlimit(resource.RLIMIT_NOFILE, (limit, limit))
        self.proc = subprocess.Popen([binary, "--dir", share, "--password", PASSWORD, "--port", "0",
                                      "--address", "127.0.0.1"], stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, text=True, preexec_fn=lower_limit)
        self.port = int(self.proc.stdout.readline().strip().rsplit(":", 1)[1])
        self.drain = subprocess.Popen(["cat"], stdin=self.proc.stdout, stdout=subprocess.DEVNULL)

    def descriptors(self):
        return len(os.listdir("/proc/%d/fd" % self.proc.pid))

    def rss_kib(self):
        with open("/proc/%d/status" % self.proc.pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return 0

    def cpu_seconds(self):
        with open("/proc/%d/stat" % self.proc.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        try:
            code = self.proc.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            code = self.proc.wait()
        self.drain.wait(timeout=10)
        return code


class Session:
    """A minimal asyncio FTP client: single-line replies are all this server sends."""

    def __init__(self, port):
        self.port = port

    async def open(self):
        self.reader, self.writer = await asyncio.open_connection("127.0.0.1", self.port)
        return await self.reply()

    async def reply(self):
        line = await asyncio.wait_for(self.reader.readline(), 30)
        return line.decode("latin-1").rstrip("\r\n")

    async def command(self, text):
        self.writer.write(text.encode() + b"\r\n")
        await self.writer.drain()
        return await self.reply()

    async def login(self):
        assert (await self.open()).startswith("220"), "banner"
        await self.command("USER load")
        answer = await self.command("PASS " + PASSWORD)
        assert answer.startswith("230"), answer

    async def pasv(self):
        answer = await self.command("PASV")
        numbers = answer[answer.index("(") + 1:answer.index(")")].split(",")
        return int(numbers[4]) * 256 + int(numbers[5])

    async def transfer(self, command):
        port = await self.pasv()
        data_reader, data_writer = await asyncio.open_connection("127.0.0.1", port)
        first = await self.command(command)
        assert first.startswith("150"), first
        payload = await asyncio.wait_for(data_reader.read(), 60)
        data_writer.close()
        last = await self.reply()
        assert last == "226 File sent ok", last
        return payload

    def close(self):
        self.writer.close()


async def many_visitors(port, count, server):
    connecting = asyncio.Semaphore(100)  # stay within the listen backlog
    everyone_in = asyncio.Event()
    arrived = 0
    sessions = []

    async def visitor(i):
        nonlocal arrived
        s = Session(port)
        async with connecting:
            await s.login()
        listing = await s.transfer("LIST")
        assert b"small.txt" in listing
        assert await s.transfer("RETR small.txt") == b"x" * 1000
        sessions.append(s)
        arrived += 1
        if arrived == count:
            everyone_in.set()
        await asyncio.wait_for(everyone_in.wait(), 120)

    start = time.monotonic()
    await asyncio.wait_for(asyncio.gather(*(visitor(i) for i in range(count))), 300)
    rss = server.rss_kib()
    for s in sessions:
        await s.command("QUIT")
        s.close()
    return rss, time.monotonic() - start


async def cut_transfers(port, count, workers, seed):
    rnd = random.Random(seed)
    done = 0
    kinds = {"close data": 0, "reset data": 0, "close control": 0, "reset control": 0, "ABOR": 0}

    async def worker():
        nonlocal done
        s = None
        while done < count:
            done += 1
            if s is None:
                s = Session(port)
                await s.login()
            kind = rnd.choice(list(kinds))
            kinds[kind] += 1
            data_port = await s.pasv()
            data_reader, data_writer = await asyncio.open_connection("127.0.0.1", data_port)
            first = await s.command("RETR big.bin")
            assert first.startswith("150"), first
            await data_reader.read(rnd.randint(0, 256 * 1024))
            data_sock = data_writer.get_extra_info("socket")
            if kind in ("reset data", "reset control"):
                data_sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, RESET)
            if kind == "ABOR":
                s.writer.write(b"ABOR\r\n")
                await s.writer.drain()
                data_writer.close()
                replies = [await s.reply(), await s.reply()]
                assert replies[-1] == "225 ABOR command successful.", replies
            elif kind in ("close data", "reset data"):
                data_writer.close()
                last = await s.reply()
                assert last.startswith(("501 ", "226 ", "426 ")), last
            else:
                if kind == "reset control":
                    s.writer.get_extra_info("socket").setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, RESET)
                s.close()
                data_writer.close()
                s = None
        if s is not None:
            await s.command("QUIT")
            s.close()

    start = time.monotonic()
    await asyncio.wait_for(asyncio.gather(*(worker() for _ in range(workers))), 600)
    return kinds, time.monotonic() - start


def wait_for(predicate, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.05)
    return predicate()


def exhaustion(binary, share):
    limit = 40
    server = Server(binary, share, limit=limit)
    held = []
    try:
        # Fill every descriptor the server may have, and more.
        refused = 0
        for _ in range(limit + 20):
            s = socket.create_connection(("127.0.0.1", server.port), timeout=5)
            s.settimeout(5)
            banner = s.recv(100)
            if banner.startswith(b"220"):
                held.append(s)
            else:
                refused += 1
                s.close()
        assert refused > 0, "the limit was never reached"
        # Connections keep arriving that cannot be taken: no spinning.
        cpu = server.cpu_seconds()
        extra = [socket.create_connection(("127.0.0.1", server.port), timeout=5) for _ in range(5)]
        time.sleep(2)
        spun = server.cpu_seconds() - cpu
        for s in extra:
            s.close()
        assert spun < 0.5, "the server used %.2f s of CPU while out of descriptors" % spun
        # Free descriptors: normal service again, once the server has seen
        # the visitors go.
        for s in held:
            s.close()
        held.clear()
        assert wait_for(lambda: server.descriptors() < limit - 5, 30), "descriptors were not given back"
        s = socket.create_connection(("127.0.0.1", server.port), timeout=5)
        s.settimeout(5)
        assert s.recv(100).startswith(b"220"), "no banner after descriptors were freed"
        s.sendall(b"USER a\r\nPASS " + PASSWORD.encode() + b"\r\n")
        answers = b""
        while answers.count(b"\r\n") < 2:
            answers += s.recv(1000)
        assert b"230 " in answers, answers
        s.close()
        return refused, spun
    finally:
        for s in held:
            s.close()
        server.stop()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("server")
    ap.add_argument("--visitors", type=int, default=1000)
    ap.add_argument("--cuts", type=int, default=10000)
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args()
    raise_own_limit()

    tmp = tempfile.mkdtemp(prefix="quill-load-")
    share = os.path.join(tmp, "share")
    os.makedirs(share)
    with open(os.path.join(share, "small.txt"), "wb") as f:
        f.write(b"x" * 1000)
    with open(os.path.join(share, "big.bin"), "wb") as f:
        f.write(os.urandom(4 << 20))
    failures = 0
    try:
        server = Server(args.server, share)
        try:
            baseline = server.descriptors()
            rss, seconds = asyncio.run(many_visitors(server.port, args.visitors, server))
            print("%d visitors logged in, listed and downloaded in %.1f s; server resident memory %d KiB (%.1f KiB each)"
                  % (args.visitors, seconds, rss, rss / args.visitors))
            kinds, seconds = asyncio.run(cut_transfers(server.port, args.cuts, 20, args.seed))
            print("%d transfers cut in %.1f s: %s" % (args.cuts, seconds, kinds))
            if wait_for(lambda: server.descriptors() == baseline, 30):
                print("descriptors back to %d" % baseline)
            else:
                print("FAIL: %d descriptors open, %d before" % (server.descriptors(), baseline))
                failures += 1
        finally:
            code = server.stop()
            if code != 0:
                print("FAIL: server ended with status %d" % code)
                failures += 1
        refused, spun = exhaustion(args.server, share)
        print("out of descriptors: %d connections closed at once, %.2f s CPU in 2 s, service resumed" % (refused, spun))
    except AssertionError as e:
        print("FAIL:", e)
        failures += 1
    finally:
        shutil.rmtree(tmp)
    print("%d passed, %d failed" % (3 - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

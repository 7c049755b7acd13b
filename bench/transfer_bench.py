#!/usr/bin/env python3
"""Transfer speed of quillshare-server on loopback, measured with public clients.

    bench/transfer_bench.py [--server build/cli/quillshare-server] [--size-mib 1024] [--repeat 3]

Prints one table and a JSON line per figure: download and upload of one large
file (curl), 2,000 downloads of 4 KiB on one connection (Python's ftplib,
passive), and a LIST of a folder of 10,000 files (ftplib). Every run is
bounded; the server is stopped by its PID. Figures are medians of --repeat runs.
"""
import argparse
import ftplib
import io
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

PASSWORD = "bench"


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class Server:
    def __init__(self, binary, share, *extra):
        self.proc = subprocess.Popen([binary, "--dir", share, "--password", PASSWORD, "--port", "0",
                                      "--address", "127.0.0.1", "--allow", "all", *extra],
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.port = int(self.proc.stdout.readline().strip().rsplit(":", 1)[1])
        # The log goes nowhere: reading it would slow the server down.
        self.drain = subprocess.Popen(["cat"], stdin=self.proc.stdout, stdout=subprocess.DEVNULL)

    def stop(self):
        self.proc.terminate()
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        self.drain.wait(timeout=10)

    def url(self, path):
        return "ftp://127.0.0.1:%d/%s" % (self.port, path)


def curl(*args, timeout=600):
    out = subprocess.run(["curl", "-sS", "--user", "bench:" + PASSWORD, *args], capture_output=True,
                         text=True, timeout=timeout)
    if out.returncode != 0:
        raise RuntimeError(out.stderr)
    return out.stdout


def measure(label, unit, runs, fn):
    values = [fn() for _ in range(runs)]
    return {"figure": label, "unit": unit, "median": statistics.median(values), "runs": values}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--server", default="build/cli/quillshare-server")
    ap.add_argument("--size-mib", type=int, default=1024)
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--block-size", default=None, help="passed on as --block-size when given")
    args = ap.parse_args()
    extra = ["--block-size", args.block_size] if args.block_size else []

    tmp = tempfile.mkdtemp(prefix="quill-bench-")
    share = os.path.join(tmp, "share")
    os.makedirs(os.path.join(share, "small"))
    os.makedirs(os.path.join(share, "many"))
    big = os.path.join(share, "big.bin")
    with open(big, "wb") as f:
        block = os.urandom(1 << 20)
        for _ in range(args.size_mib):
            f.write(block)
    for i in range(2000):
        with open(os.path.join(share, "small", "f%04d" % i), "wb") as f:
            f.write(os.urandom(4096))
    for i in range(10000):
        open(os.path.join(share, "many", "entry-%05d.txt" % i), "wb").close()
    upload_source = os.path.join(tmp, "upload.bin")
    shutil.copyfile(big, upload_source)
    size = os.path.getsize(big)

    server = Server(args.server, share, *extra)
    results = []
    try:
        def download():
            before = cpu_seconds(server.proc.pid)
            speed = float(curl("-o", "/dev/null", "-w", "%{speed_download}", server.url("big.bin")))
            download.cpu.append((cpu_seconds(server.proc.pid) - before) / (size / (1 << 30)))
            return speed / 1e6
        download.cpu = []
        results.append(measure("download %d MiB" % args.size_mib, "MB/s", args.repeat, download))
        results.append({"figure": "server CPU per GiB downloaded", "unit": "s",
                        "median": statistics.median(download.cpu), "runs": download.cpu})

        def upload():
            speed = float(curl("-T", upload_source, "-w", "%{speed_upload}", server.url("up.bin")))
            return speed / 1e6
        results.append(measure("upload %d MiB" % args.size_mib, "MB/s", args.repeat, upload))

        def small_files():
            f = ftplib.FTP(timeout=60)
            f.connect("127.0.0.1", server.port)
            f.login("bench", PASSWORD)
            f.cwd("small")
            start = time.perf_counter()
            for i in range(2000):
                sink = io.BytesIO()
                f.retrbinary("RETR f%04d" % i, sink.write)
            elapsed = time.perf_counter() - start
            f.quit()
            return 2000 / elapsed
        results.append(measure("2000 downloads of 4 KiB, one connection", "files/s", args.repeat, small_files))

        def listing():
            f = ftplib.FTP(timeout=60)
            f.connect("127.0.0.1", server.port)
            f.login("bench", PASSWORD)
            f.cwd("many")
            lines = []
            start = time.perf_counter()
            f.retrlines("LIST", lines.append)
            elapsed = time.perf_counter() - start
            f.quit()
            assert len(lines) >= 10000, len(lines)
            return elapsed * 1000
        results.append(measure("LIST of 10,000 files", "ms", args.repeat, listing))
    finally:
        server.stop()
        shutil.rmtree(tmp)

    print("%-45s %12s  %s" % ("figure", "median", "unit"))
    for r in results:
        print("%-45s %12.2f  %s" % (r["figure"], r["median"], r["unit"]))
    for r in results:
        print(json.dumps(r))


if __name__ == "__main__":
    sys.exit(main())

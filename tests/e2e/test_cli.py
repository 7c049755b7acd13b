#!/usr/bin/env python3
"""End-to-end checks of quillshare-server with real FTP clients on loopback.

Usage: test_cli.py PATH-TO-quillshare-server
"""
import ftplib
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

SERVER = None
PASSWORD = "Open Sesame"


class RunningServer:
    """A quillshare-server on a system-chosen loopback port, stopped by PID."""

    def __init__(self, share, *extra):
        self.proc = subprocess.Popen(
            [SERVER, "--dir", share, "--password", PASSWORD, "--port", "0", "--address", "127.0.0.1", *extra],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, errors="replace")
        self.lines = []
        link = self.proc.stdout.readline().strip()
        assert link.startswith("ftp://127.0.0.1:"), link
        self.port = int(link.rsplit(":", 1)[1])
        self.lines.append(link)
        self.lines.append(self.proc.stdout.readline().strip())

    def stop(self, sig=signal.SIGTERM):
        if self.proc.poll() is None:
            self.proc.send_signal(sig)
        try:
            out, err = self.proc.communicate(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            out, err = self.proc.communicate()
        self.lines += out.splitlines()
        return self.proc.returncode, err

    def ftp(self):
        f = ftplib.FTP(timeout=10)
        f.connect("127.0.0.1", self.port)
        return f


def raw_exchange(port, payload, read_timeout=2.0):
    """Sends raw bytes and returns whatever the server answered."""
    with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
        s.settimeout(read_timeout)
        s.sendall(payload)
        data = b""
        deadline = time.monotonic() + read_timeout
        while time.monotonic() < deadline:
            try:
                chunk = s.recv(65536)
            except (socket.timeout, ConnectionResetError):
                break
            if not chunk:
                break
            data += chunk
        return data


class ServerTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="quill-e2e-")
        self.share = os.path.join(self.tmp, "share")
        os.makedirs(os.path.join(self.share, "sub", "deeper"))
        os.makedirs(os.path.join(self.tmp, "share2"))
        self.server = RunningServer(self.share)

    def tearDown(self):
        self.server.stop()
        shutil.rmtree(self.tmp)

    def test_ftplib_logs_in_and_navigates_inside_the_share(self):
        f = self.server.ftp()
        self.assertEqual(f.getwelcome(), "220 Quillshare FTP Server ready.")
        self.assertEqual(f.login("anybody", PASSWORD), "230 User anybody logged in.")
        self.assertEqual(f.pwd(), self.share + "/")
        f.cwd("sub/deeper")
        self.assertEqual(f.pwd(), self.share + "/sub/deeper/")
        self.assertTrue(f.sendcmd("CDUP").startswith("250 "))
        self.assertEqual(f.pwd(), self.share + "/sub/")
        for outside in ("/", "/etc", self.tmp, self.tmp + "/share2", self.share + "2", "../.."):
            with self.assertRaises(ftplib.error_perm, msg=outside):
                f.cwd(outside)
        self.assertEqual(f.pwd(), self.share + "/sub/")
        f.cwd(self.share)
        with self.assertRaises(ftplib.error_perm):
            f.sendcmd("CDUP")
        self.assertEqual(f.quit(), "221 Goodbye.")

    def test_a_wrong_password_is_refused_and_not_printed(self):
        f = self.server.ftp()
        with self.assertRaises(ftplib.error_perm) as refused:
            f.login("anybody", "open sesame")
        self.assertEqual(str(refused.exception), "530 Login incorrect.")
        f.close()
        code, _ = self.server.stop()
        self.assertEqual(code, 0)
        log = "\n".join(self.server.lines)
        self.assertNotIn("open sesame", log)
        self.assertNotIn(PASSWORD, log)
        self.assertIn("< 127.0.0.1 PASS ***", log)

    def test_curl_logs_in_and_sees_the_folder(self):
        out = subprocess.run(
            ["curl", "-sS", "--max-time", "10", "-I", "--user", "visitor:" + PASSWORD,
             "ftp://127.0.0.1:%d/" % self.server.port], capture_output=True, text=True)
        self.assertEqual(out.returncode, 0, out.stderr)
        code, _ = self.server.stop()
        log = "\n".join(self.server.lines)
        self.assertIn('> 127.0.0.1 257 "%s/" is current directory.' % self.share, log)

    def test_lftp_logs_in_and_sends_commands(self):
        out = subprocess.run(
            ["lftp", "-u", "visitor," + PASSWORD, "-p", str(self.server.port), "-e",
             "set net:max-retries 1; set net:timeout 5; quote CWD sub; quote PWD; quit", "127.0.0.1"],
            capture_output=True, text=True, timeout=30)
        self.assertEqual(out.returncode, 0, out.stderr)
        self.assertIn('257 "%s/sub/" is current directory.' % self.share, out.stdout + out.stderr)

    def test_bad_input_never_stops_the_server(self):
        port = self.server.port
        answers = raw_exchange(port, b"\x00\xff\xff\xfe\r\nNOOP\x00x\r\n\xff\xf4\xff\xf2NOOP\r\n")
        self.assertIn(b"200 Ok. Parameter was ''.", answers)
        self.assertIn(b"500 Command too long", raw_exchange(port, b"A" * 3000 + b"\r\n"))
        for i in range(30):  # abrupt disconnects, some mid-line
            with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
                s.sendall(bytes([i % 256]) * (i * 100))
                if i % 3 == 0:
                    s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
        f = self.server.ftp()
        self.assertEqual(f.login("x", PASSWORD), "230 User x logged in.")
        f.quit()
        self.server.stop()
        self.assertIn("< 127.0.0.1 NOOP \\x00x", self.server.lines)  # control bytes shown escaped

    def test_sigint_and_sigterm_stop_cleanly(self):
        f = self.server.ftp()
        f.login("x", PASSWORD)
        code, _ = self.server.stop(signal.SIGINT)
        self.assertEqual(code, 0)
        self.assertIn("! 127.0.0.1 disconnected", self.server.lines)
        self.assertEqual(self.server.lines[1], "! Server started")


class ArgumentTest(unittest.TestCase):
    def run_server(self, *args):
        return subprocess.run([SERVER, *args], capture_output=True, text=True, timeout=10)

    def test_bad_or_missing_arguments_print_usage_and_exit_2(self):
        with tempfile.TemporaryDirectory() as d:
            for args in ([], ["--dir", d], ["--password", "x"], ["--dir", d, "--password", "x", "--port", "http"],
                         ["--dir", d, "--password", "x", "--port", "70000"], ["--dir", d, "--password"],
                         ["--dir", d + "/missing", "--password", "x"], ["--bogus"]):
                out = self.run_server(*args)
                self.assertEqual(out.returncode, 2, args)
                self.assertIn("usage: quillshare-server", out.stderr)

    def test_a_port_in_use_is_one_clear_line_and_exit_1(self):
        with tempfile.TemporaryDirectory() as d, socket.socket() as taken:
            taken.bind(("127.0.0.1", 0))
            taken.listen(1)
            port = taken.getsockname()[1]
            out = self.run_server("--dir", d, "--password", "x", "--port", str(port), "--address", "127.0.0.1")
            self.assertEqual(out.returncode, 1)
            self.assertEqual(len(out.stderr.strip().splitlines()), 1, out.stderr)
            self.assertIn("Address already in use", out.stderr)


if __name__ == "__main__":
    SERVER = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)

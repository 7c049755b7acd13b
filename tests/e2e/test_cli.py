#!/usr/bin/env python3
"""End-to-end checks of quillshare-server with real FTP clients on loopback.

Usage: test_cli.py PATH-TO-quillshare-server
"""
import ftplib
import io
import os
import random
import shutil
import signal
import socket
import struct
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
                    s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
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


def make_tree(root):
    """Files of awkward sizes in nested folders; returns their relative paths."""
    rnd = random.Random(5)
    sizes = {"empty.bin": 0, "one.bin": 1, "a 2047.bin": 2047, "b2048.bin": 2048, "c2049.bin": 2049,
             "sub/d4096.bin": 4096, "sub/deeper/big.bin": 3 * 1024 * 1024 + 17, "sub/deeper/text file.txt": 5000}
    for rel, size in sizes.items():
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(bytes(rnd.getrandbits(8) for _ in range(size)))
    return sorted(sizes)


def describe_descriptors(pid):
    fd_dir = "/proc/%d/fd" % pid
    return ", ".join("%s->%s" % (fd, os.readlink(os.path.join(fd_dir, fd))) for fd in sorted(os.listdir(fd_dir)))


def open_descriptors(pid):
    return len(os.listdir("/proc/%d/fd" % pid))


class TreeTest(unittest.TestCase):
    """Real clients download a tree byte for byte, actively and passively."""

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="quill-tree-")
        self.share = os.path.join(self.tmp, "share")
        os.makedirs(self.share)
        self.files = make_tree(self.share)
        self.server = RunningServer(self.share)

    def tearDown(self):
        self.server.stop()
        shutil.rmtree(self.tmp)

    def assertSameTree(self, got):
        for rel in self.files:
            with open(os.path.join(self.share, rel), "rb") as a, open(os.path.join(got, rel), "rb") as b:
                self.assertEqual(a.read(), b.read(), rel)

    def test_ftplib_downloads_in_both_modes(self):
        for passive in (True, False):
            out = os.path.join(self.tmp, "ftplib-%s" % passive)
            f = self.server.ftp()
            f.login("visitor", PASSWORD)
            f.set_pasv(passive)
            for rel in self.files:
                os.makedirs(os.path.dirname(os.path.join(out, rel)), exist_ok=True)
                with open(os.path.join(out, rel), "wb") as target:
                    self.assertEqual(f.retrbinary("RETR " + rel, target.write), "226 File sent ok")
            self.assertIn("sub", f.nlst())
            f.quit()
            self.assertSameTree(out)

    def test_curl_downloads_in_both_modes(self):
        for mode in ([], ["-P", "127.0.0.1"]):
            out = os.path.join(self.tmp, "curl%d" % len(mode))
            for rel in self.files:
                url = "ftp://127.0.0.1:%d/%s" % (self.server.port, rel.replace(" ", "%20"))
                done = subprocess.run(["curl", "-sS", "--max-time", "30", "--create-dirs", "--user",
                                       "visitor:" + PASSWORD, *mode, "-o", os.path.join(out, rel), url],
                                      capture_output=True, text=True)
                self.assertEqual(done.returncode, 0, done.stderr)
            self.assertSameTree(out)

    def test_lftp_mirrors_in_both_modes(self):
        for passive in ("on", "off"):
            out = os.path.join(self.tmp, "lftp-" + passive)
            done = subprocess.run(
                ["lftp", "-u", "visitor," + PASSWORD, "-p", str(self.server.port), "-e",
                 "set net:max-retries 1; set net:timeout 10; set ftp:use-tvfs yes; "
                 "set ftp:passive-mode %s; mirror . %s; quit" % (passive, out), "127.0.0.1"],
                capture_output=True, text=True, timeout=120)
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertSameTree(out)

    def test_changes_are_refused(self):
        f = self.server.ftp()
        f.login("visitor", PASSWORD)
        for command, reply in (("DELE one.bin", "550 Cannot delete."), ("RNFR one.bin", "500 Cannot RNFR."),
                               ("MKD new", "550 '%s/new': can't create directory." % self.share),
                               ("RMD sub", "500 Cannot remove directory."),
                               ("RETR /etc/passwd", "501 Cannot RETR. Permission denied")):
            with self.assertRaises(ftplib.error_perm) as refused:
                f.sendcmd(command)
            self.assertEqual(str(refused.exception), reply)
        with self.assertRaises(ftplib.error_perm) as refused:
            f.storbinary("STOR x.bin", io.BytesIO(b"data"))
        self.assertEqual(str(refused.exception), "501 Permission Denied")
        f.quit()
        self.assertEqual(sorted(os.listdir(self.share)), sorted({p.split("/")[0] for p in self.files}))

    def test_visitors_dropping_mid_transfer_leave_nothing_open(self):
        pid = self.server.proc.pid
        f = self.server.ftp()
        f.login("visitor", PASSWORD)
        f.voidcmd("NOOP")
        baseline = open_descriptors(pid)
        before = describe_descriptors(pid)
        reset = struct.pack("ii", 1, 0)  # SO_LINGER on, 0 s: close with a reset
        for i in range(10):
            g = self.server.ftp()
            g.login("visitor", PASSWORD)
            conn = g.transfercmd("RETR sub/deeper/big.bin")
            conn.recv(1000)
            if i % 2:
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, reset)
                g.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, reset)
            if i % 3:  # data connection first, or the control connection first
                conn.close()
                g.close()
            else:
                g.close()
                conn.close()
        deadline = time.monotonic() + 10
        while open_descriptors(pid) != baseline and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertEqual(open_descriptors(pid), baseline, before + " / " + describe_descriptors(pid))
        with open(os.path.join(self.share, "one.bin"), "rb") as one:
            got = io.BytesIO()
            f.retrbinary("RETR one.bin", got.write)
            self.assertEqual(got.getvalue(), one.read())
        f.quit()


class RightsTest(unittest.TestCase):
    """Uploads follow --allow; the fence holds for every command whatever is allowed."""

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="quill-rights-")
        self.share = os.path.join(self.tmp, "share")
        self.sibling = self.share + "2"  # same prefix, another folder
        for folder in (self.share, self.sibling, os.path.join(self.share, "sub")):
            os.makedirs(folder)
        for path in (os.path.join(self.tmp, "outside.txt"), os.path.join(self.sibling, "s.txt"),
                     os.path.join(self.share, "in.txt")):
            with open(path, "w") as f:
                f.write("untouched")
        self.servers = []

    def tearDown(self):
        for server in self.servers:
            server.stop()
        shutil.rmtree(self.tmp)

    def start(self, *extra):
        server = RunningServer(self.share, *extra)
        self.servers.append(server)
        f = server.ftp()
        f.login("visitor", PASSWORD)
        return server, f

    def test_uploads_follow_the_upload_right(self):
        data = bytes(random.Random(3).getrandbits(8) for _ in range(300000))
        _, refused = self.start()
        with self.assertRaises(ftplib.error_perm) as e:
            refused.storbinary("STOR up.bin", io.BytesIO(data))
        self.assertEqual(str(e.exception), "501 Permission Denied")
        self.assertFalse(os.path.exists(os.path.join(self.share, "up.bin")))

        server, allowed = self.start("--allow", "upload")
        for passive in (True, False):
            allowed.set_pasv(passive)
            self.assertEqual(allowed.storbinary("STOR up.bin", io.BytesIO(data)), "226 File received ok")
            with open(os.path.join(self.share, "up.bin"), "rb") as f:
                self.assertEqual(f.read(), data)
        source = os.path.join(self.tmp, "curl-source.bin")
        with open(source, "wb") as f:
            f.write(data[:1000])
        done = subprocess.run(["curl", "-sS", "--max-time", "30", "--user", "v:" + PASSWORD, "-T", source,
                               "ftp://127.0.0.1:%d/sub/curl.bin" % server.port], capture_output=True, text=True)
        self.assertEqual(done.returncode, 0, done.stderr)
        with open(os.path.join(self.share, "sub", "curl.bin"), "rb") as f:
            self.assertEqual(f.read(), data[:1000])
        # Everything else stays refused with only Upload granted.
        with self.assertRaises(ftplib.error_perm) as e:
            allowed.sendcmd("DELE up.bin")
        self.assertEqual(str(e.exception), "550 Cannot delete.")

    def test_the_fence_holds_for_every_command(self):
        _, f = self.start("--allow", "all")
        outside = ["..", "../outside.txt", self.tmp + "/outside.txt", "/etc/passwd", self.sibling,
                   self.sibling + "/s.txt", "../share2/s.txt", "sub/../../outside.txt"]
        for name in outside:
            for command in ("CWD", "SIZE", "MDTM", "DELE", "RNFR", "RMD", "MKD"):
                with self.assertRaises(ftplib.error_perm, msg="%s %s" % (command, name)) as e:
                    f.sendcmd("%s %s" % (command, name))
                self.assertRegex(str(e.exception), "ermission denied|dot notation", "%s %s" % (command, name))
            for transfer in ("RETR", "LIST", "NLST", "STOR", "APPE"):
                with self.assertRaises((ftplib.error_perm, ftplib.error_temp), msg="%s %s" % (transfer, name)) as e:
                    if transfer in ("STOR", "APPE"):
                        f.storbinary("%s %s" % (transfer, name), io.BytesIO(b"x"))
                    else:
                        f.retrbinary("%s %s" % (transfer, name), lambda _: None)
                self.assertRegex(str(e.exception), "ermission denied|550 APPE failed", "%s %s" % (transfer, name))
        f.sendcmd("RNFR in.txt")
        for name in outside[1:]:
            with self.assertRaises(ftplib.error_perm) as e:
                f.sendcmd("RNTO " + name)
            self.assertIn("Permission denied", str(e.exception))
        self.assertEqual(f.pwd(), self.share + "/")
        for path in (os.path.join(self.tmp, "outside.txt"), os.path.join(self.sibling, "s.txt")):
            with open(path) as text:
                self.assertEqual(text.read(), "untouched", path)
        self.assertEqual(sorted(os.listdir(self.sibling)), ["s.txt"])


class ArgumentTest(unittest.TestCase):
    def run_server(self, *args):
        return subprocess.run([SERVER, *args], capture_output=True, text=True, timeout=10)

    def test_bad_or_missing_arguments_print_usage_and_exit_2(self):
        with tempfile.TemporaryDirectory() as d:
            for args in ([], ["--dir", d], ["--password", "x"], ["--dir", d, "--password", "x", "--port", "http"],
                         ["--dir", d, "--password", "x", "--port", "70000"], ["--dir", d, "--password"],
                         ["--dir", d + "/missing", "--password", "x"], ["--bogus"],
                         ["--dir", d, "--password", "x", "--allow", "upload,fly"],
                         ["--dir", d, "--password", "x", "--max-clients", "-1"],
                         ["--dir", d, "--password-file", d + "/no-such-file"],
                         ["--dir", d, "--password", "x", "--block-size", "12"]):
                out = self.run_server(*args)
                self.assertEqual(out.returncode, 2, args)
                self.assertIn("usage: quillshare-server", out.stderr)
                if args and args != ["--bogus"]:  # the one-line reason names the option
                    self.assertTrue(out.stderr.startswith("quillshare-server: --"), out.stderr)

    def test_help_documents_every_option(self):
        out = self.run_server("--help")
        self.assertEqual(out.returncode, 0)
        for option in ("--dir", "--password", "--password-file", "--port", "--address", "--allow",
                       "--max-clients", "--block-size", "Example"):
            self.assertIn(option, out.stdout)

    def test_a_password_file_gives_the_password(self):
        with tempfile.TemporaryDirectory() as d:
            with open(os.path.join(d, "pw"), "w") as f:
                f.write(PASSWORD + "\n")
            proc = subprocess.Popen([SERVER, "--dir", d, "--password-file", os.path.join(d, "pw"), "--port", "0",
                                     "--address", "127.0.0.1"], stdout=subprocess.PIPE, text=True)
            try:
                port = int(proc.stdout.readline().strip().rsplit(":", 1)[1])
                f = ftplib.FTP(timeout=10)
                f.connect("127.0.0.1", port)
                self.assertEqual(f.login("x", PASSWORD), "230 User x logged in.")
                f.quit()
            finally:
                proc.terminate()
                proc.communicate(timeout=10)

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

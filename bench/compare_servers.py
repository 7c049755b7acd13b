#!/usr/bin/env python3
"""Quillshare side by side with vsftpd, pure-ftpd and pyftpdlib, on loopback.

    sudo bench/compare_servers.py [--servers quillshare,vsftpd,pure-ftpd,pyftpdlib]
                                  [--quillshare build-rel/cli/quillshare-server]
                                  [--size-mib 1024] [--repeat 3] [--quick]
                                  [--native-hashes] [--tmp DIR]
                                  [--figures raw,download,upload,small,list,idle,logins,parallel]

Run as root: it installs the peers from Debian when they are missing, creates a
system user for the run (removed at the end) and starts every server itself on
127.0.0.1. Every server gets the same temporary share and one password account,
and then the same measurements, one server at a time:

  * download of one large file (curl; MB/s over the transfer itself) and the
    server's CPU seconds per GiB sent (of all its processes, the finished ones
    included: from a CPU-accounting control group the server is started in,
    or from /proc where there is none);
  * upload of half that size (MB/s, server CPU per GiB received), after one
    unmeasured upload and with two runs more than the other figures (the
    first upload into fresh memory pages is slow for every server);
  * 2,000 files of 4 KiB downloaded one after another on one connection
    (Python's ftplib, passive mode);
  * LIST of folders of 10,000 and 100,000 files (ms);
  * 500 and 1,000 idle logged-in sessions: time to log them in (50 in flight)
    and the server's memory per session, as PSS summed over its processes
    (/proc/PID/smaps_rollup), (PSS with the sessions - PSS idle) / sessions;
  * logins per second with 50 in flight (connect, USER, PASS, QUIT), and the
    server's CPU milliseconds per login (the Python client is often the
    slower side of this figure);
  * 20 downloads of 64 MiB at once (aggregate MB/s).

The limit is measured too: bench/raw_loop.c (compiled here with cc) reads the
same large file block by block and sends it over a loopback connection, with
blocks of 2 KiB and 64 KiB (and with sendfile(), which some peers use), so each
server's download shows as a fraction of a plain loop.

Noisy figures are run --repeat times and reported as medians; one table is
printed, then one JSON line per figure. Every step has a time limit; every
process started here is stopped by its PID. A server that fails to start is
reported as such, and the others go on.

Peers' setup, chosen so that the figures compare the servers and not their
settings:
  vsftpd     standalone (listen=YES, background=NO) from a generated config,
             local user quillbench with local_root = the share, no transfer log.
  pure-ftpd  standalone with one virtual user in a temporary PureDB whose files
             belong to quillbench, no anonymous login. Debian will not install
             it next to vsftpd (both provide ftp-server), so when it is not
             installed it is unpacked from Debian's package into a cache folder
             (~/.cache/quillshare-bench) and run from there.
  pyftpdlib  Debian's /usr/bin/python3 with python3-pyftpdlib, an FTPServer with
             one DummyAuthorizer user, logging at WARNING.
  quillshare --allow all --max-clients 0; its log lines go to /dev/null through
             a pipe.
Reading the figures: vsftpd and pyftpdlib send files with sendfile(); on
loopback the copy is then charged to the receiving client, so their CPU per GiB
is lower than that of a read-then-send loop (vsftpd's is near zero); the raw
loop's sendfile line shows that floor. The clients (curl, ftplib, asyncio) run
on the same machine and take CPU too. A full run takes about 5 minutes.
Password hashes: by default the two peers that check a password hash get a
SHA-512 crypt() hash (a few ms), so the login figures measure the servers and
not a key-derivation function. --native-hashes keeps each package's own default
instead (yescrypt for the system user, argon2id for pure-pw), which makes every
login cost tens of milliseconds to seconds of CPU.
"""
import argparse
import asyncio
import collections
import ftplib
import glob
import json
import os
import re
import resource
import secrets
import select
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
ALL_SERVERS = ["quillshare", "vsftpd", "pure-ftpd", "pyftpdlib"]
DEBIAN_PYTHON = "/usr/bin/python3"
BENCH_USER = "quillbench"
HOST = "127.0.0.1"
CACHE = os.path.join(os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"), "quillshare-bench")
# Passive port ranges of the peers that need one: below the ephemeral range.
VSFTPD_PASSIVE = (20000, 24999)
PUREFTPD_PASSIVE = (25000, 29999)
APT_ENV = dict(os.environ, DEBIAN_FRONTEND="noninteractive")

PYFTPDLIB_LAUNCHER = r'''
import logging, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
share, user, password, host = sys.argv[1:5]
logging.basicConfig(level=logging.WARNING)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, share, perm="elradfmwMT")
FTPHandler.authorizer = authorizer
server = FTPServer((host, 0), FTPHandler)
server.max_cons = 100000
server.max_cons_per_ip = 0
print("ftp://%s:%d" % (host, server.address[1]), flush=True)
server.serve_forever()
'''

VSFTPD_CONF = """\
listen=YES
listen_ipv6=NO
listen_address={host}
listen_port={port}
background=NO
anonymous_enable=NO
local_enable=YES
write_enable=YES
local_umask=022
local_root={share}
pasv_enable=YES
pasv_address={host}
pasv_min_port={pasv_min}
pasv_max_port={pasv_max}
connect_from_port_20=NO
max_clients=100000
max_per_ip=100000
xferlog_enable=NO
ssl_enable=NO
pam_service_name=vsftpd
secure_chroot_dir={empty}
{extra}"""


T0 = time.monotonic()


def log(msg):
    print("# %7.1fs %s" % (time.monotonic() - T0, msg), file=sys.stderr, flush=True)


def run(cmd, timeout=600, check=True, **kw):
    out = subprocess.run(cmd, capture_output=True, text=True, timeout=timeout, **kw)
    if check and out.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (" ".join(cmd), out.returncode, (out.stderr or out.stdout).strip()[-500:]))
    return out


# ---------------------------------------------------------------- processes

def proc_table():
    table = {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % name) as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        table[int(name)] = fields  # fields[0] is the state, [1] the parent
    return table


def process_tree(root):
    """The PIDs of root and of all its descendants, with their /proc stat fields."""
    table = proc_table()
    children = collections.defaultdict(list)
    for pid, fields in table.items():
        children[int(fields[1])].append(pid)
    found, stack = [], [root]
    while stack:
        pid = stack.pop()
        if pid in table and pid not in found:
            found.append(pid)
            stack.extend(children[pid])
    return {pid: table[pid] for pid in found}


CPUACCT_ROOT = "/sys/fs/cgroup/cpuacct"


def tree_cpu_seconds(root):
    """utime+stime of the live processes, plus those of the children they reaped."""
    total = 0
    for fields in process_tree(root).values():
        total += sum(int(x) for x in fields[11:15])
    return total / os.sysconf("SC_CLK_TCK")


def tree_pss_kib(root):
    total = 0
    for pid in process_tree(root):
        try:
            with open("/proc/%d/smaps_rollup" % pid) as f:
                for line in f:
                    if line.startswith("Pss:"):
                        total += int(line.split()[1])
                        break
        except OSError:
            pass
    return total


def free_port():
    with socket.socket() as s:
        s.bind((HOST, 0))
        return s.getsockname()[1]


def ftp_processes():
    found = {}
    for pid, fields in proc_table().items():
        try:
            with open("/proc/%d/comm" % pid) as f:
                comm = f.read().strip()
        except OSError:
            continue
        if comm.startswith(("vsftpd", "pure-ftpd")):
            found[pid] = comm
    return found


# ---------------------------------------------------------------- peers' packages

def apt_install(packages, notes):
    """apt-get install that never removes a package; stops any daemon the install started."""
    before = ftp_processes()
    cmd = ["apt-get", "install", "-y", "-q", "--no-remove", *packages]
    out = run(cmd, timeout=900, check=False, env=APT_ENV)
    if out.returncode != 0:
        run(["apt-get", "update", "-q"], timeout=600, check=False, env=APT_ENV)
        out = run(cmd, timeout=900, check=False, env=APT_ENV)
    for pid, comm in ftp_processes().items():
        if pid not in before:
            name = "vsftpd" if comm.startswith("vsftpd") else "pure-ftpd"
            run(["invoke-rc.d", name, "stop"], timeout=60, check=False)
            notes.append("the install of %s started %s (PID %d): stopped it with invoke-rc.d %s stop"
                         % (" ".join(packages), comm, pid, name))
    if out.returncode != 0:
        raise RuntimeError("apt-get install %s failed: %s" % (" ".join(packages), out.stdout.strip()[-400:]))


def dpkg_installed(package):
    out = run(["dpkg-query", "-W", "-f=${Status}", package], check=False)
    return out.returncode == 0 and "install ok installed" in out.stdout


def unpack_deb(package, wanted, notes):
    """Debian's package unpacked under the cache folder (not installed); its libraries installed."""
    dest = os.path.join(CACHE, package)
    if all(os.path.exists(os.path.join(dest, w.lstrip("/"))) for w in wanted):
        return dest
    os.makedirs(CACHE, exist_ok=True)
    work = tempfile.mkdtemp(prefix="deb-", dir=CACHE)
    os.chmod(work, 0o755)  # lets apt's unprivileged downloader write there
    try:
        cmd = ["apt-get", "download", "-q", package]
        if run(cmd, cwd=work, timeout=600, check=False).returncode != 0:
            run(["apt-get", "update", "-q"], timeout=600, check=False, env=APT_ENV)
            run(cmd, cwd=work, timeout=600)
        deb = glob.glob(os.path.join(work, "*.deb"))[0]
        depends = run(["dpkg-deb", "-f", deb, "Depends"]).stdout
        libs = sorted({d.split()[0].split(":")[0] for alt in depends.split(",") for d in [alt.split("|")[0].strip()]
                       if d.startswith("lib")})
        missing = [lib for lib in libs if not dpkg_installed(lib)]
        if missing:
            apt_install(missing, notes)
        shutil.rmtree(dest, ignore_errors=True)
        run(["dpkg-deb", "-x", deb, dest])
        notes.append("%s: unpacked %s into %s (not installed: it conflicts with an installed ftp-server)"
                     % (package, os.path.basename(deb), dest))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return dest


def ensure_peers(selected, notes):
    """Paths of each selected peer's programs, or the reason it cannot run."""
    found = {}
    others = ["vsftpd", "pure-ftpd", "pure-ftpd-mysql", "pure-ftpd-ldap", "pure-ftpd-postgresql", "proftpd-core",
              "inetutils-ftpd", "ftpd-ssl", "ftpd"]
    if "vsftpd" in selected:
        try:
            if not os.path.exists("/usr/sbin/vsftpd"):
                if any(dpkg_installed(p) for p in others if p != "vsftpd"):
                    root = unpack_deb("vsftpd", ["/usr/sbin/vsftpd"], notes)
                    found["vsftpd"] = {"vsftpd": os.path.join(root, "usr/sbin/vsftpd")}
                else:
                    apt_install(["vsftpd"], notes)
                    notes.append("vsftpd: installed from Debian (its service was not left running)")
            found.setdefault("vsftpd", {"vsftpd": "/usr/sbin/vsftpd"})
        except Exception as e:  # noqa: BLE001 - reported in the table
            found["vsftpd"] = str(e)
    if "pure-ftpd" in selected:
        try:
            if os.path.exists("/usr/sbin/pure-ftpd") and os.path.exists("/usr/bin/pure-pw"):
                found["pure-ftpd"] = {"pure-ftpd": "/usr/sbin/pure-ftpd", "pure-pw": "/usr/bin/pure-pw"}
            else:
                root = unpack_deb("pure-ftpd", ["/usr/sbin/pure-ftpd", "/usr/bin/pure-pw"], notes)
                found["pure-ftpd"] = {"pure-ftpd": os.path.join(root, "usr/sbin/pure-ftpd"),
                                      "pure-pw": os.path.join(root, "usr/bin/pure-pw")}
            missing = [line for line in run(["ldd", found["pure-ftpd"]["pure-ftpd"]]).stdout.splitlines()
                       if "not found" in line]
            if missing:
                raise RuntimeError("pure-ftpd lacks libraries: " + "; ".join(missing))
        except Exception as e:  # noqa: BLE001
            found["pure-ftpd"] = str(e)
    if "pyftpdlib" in selected:
        try:
            probe = [DEBIAN_PYTHON, "-c", "import pyftpdlib"]
            if not os.path.exists(DEBIAN_PYTHON) or run(probe, check=False).returncode != 0:
                apt_install(["python3-pyftpdlib"], notes)
                notes.append("pyftpdlib: installed python3-pyftpdlib from Debian")
            run(probe)
            found["pyftpdlib"] = {"python": DEBIAN_PYTHON}
        except Exception as e:  # noqa: BLE001
            found["pyftpdlib"] = str(e)
    return found


# ---------------------------------------------------------------- the run's account

class BenchUser:
    """A system user for the peers that run sessions as one; removed at the end if created here."""

    def __init__(self, home, password, sha512_hash, notes):
        self.created = False
        self.name = BENCH_USER
        if run(["id", "-u", self.name], check=False).returncode == 0:
            notes.append("user %s already existed: used it and left it in place" % self.name)
            run(["usermod", "-d", home, self.name])
        else:
            run(["useradd", "-M", "-N", "-d", home, "-s", "/bin/sh", "-c", "quillshare benchmark", self.name])
            self.created = True
        if sha512_hash:
            run(["chpasswd", "-e"], input="%s:%s\n" % (self.name, sha512_hash))
        else:
            run(["chpasswd"], input="%s:%s\n" % (self.name, password))
        self.uid = int(run(["id", "-u", self.name]).stdout)
        self.gid = int(run(["id", "-g", self.name]).stdout)

    def remove(self):
        if self.created:
            run(["userdel", self.name], check=False)
            self.created = False


def sha512_crypt(password):
    salt = secrets.token_hex(8)
    if shutil.which("openssl"):
        return run(["openssl", "passwd", "-6", "-salt", salt, password]).stdout.strip()
    import crypt  # noqa: PLC0415 - older Pythons only
    return crypt.crypt(password, "$6$" + salt)


# ---------------------------------------------------------------- servers

class Server:
    name = "?"

    def __init__(self, ctx):
        self.ctx = ctx
        self.proc = None
        self.port = None
        self.user = BENCH_USER
        self.password = ctx.password
        self.logfile = os.path.join(ctx.tmp, "%s.log" % self.name)
        self.helpers = []  # processes started next to the server (the log drain)
        self.base_processes = 1

    def start(self):
        self.launch()
        self.started()

    def popen(self, *args, **kw):
        """Starts the server's process, in a CPU-accounting group of its own when the system offers one."""
        proc = subprocess.Popen(*args, **kw)
        self.cgroup = None
        if os.path.isdir(CPUACCT_ROOT) and os.geteuid() == 0:
            path = os.path.join(CPUACCT_ROOT, "quillbench-%s-%d" % (self.name, proc.pid))
            try:
                os.mkdir(path)
                with open(os.path.join(path, "cgroup.procs"), "w") as f:
                    f.write(str(proc.pid))
                self.cgroup = path
            except OSError:
                self.release_cgroup(path)
        return proc

    def release_cgroup(self, path):
        try:
            os.rmdir(path)
        except OSError:
            pass

    def cpu_seconds(self):
        """CPU time of the server and every process it started, those that ended included.

        Read from the accounting group when there is one: the /proc tree misses the time of a process
        whose parent never waited for it (a forking server's transfer process, for one)."""
        if self.cgroup:
            try:
                with open(os.path.join(self.cgroup, "cpuacct.usage")) as f:
                    return int(f.read()) / 1e9
            except OSError:
                pass
        return tree_cpu_seconds(self.proc.pid)

    def launch(self):
        raise NotImplementedError

    def started(self):
        """The number of processes the server has with no session (the start-up probes gone)."""
        counts = []
        for _ in range(20):
            counts.append(len(process_tree(self.proc.pid)))
            if len(counts) >= 3 and counts[-1] == counts[-2] == counts[-3]:
                break
            time.sleep(0.1)
        self.base_processes = counts[-1]

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def wait_ready(self, timeout=20):
        deadline = time.monotonic() + timeout
        last = None
        while time.monotonic() < deadline:
            if not self.alive():
                raise RuntimeError("exited with %s; log: %s" % (self.proc.returncode, self.log_tail()))
            try:
                with socket.create_connection((HOST, self.port), timeout=5) as s:
                    s.settimeout(5)
                    if s.recv(4096).startswith(b"220"):
                        return
            except OSError as e:
                last = e
            time.sleep(0.2)
        raise RuntimeError("no 220 greeting on port %s within %ds (%s); log: %s" % (self.port, timeout, last, self.log_tail()))

    def log_tail(self):
        try:
            with open(self.logfile, errors="replace") as f:
                return " | ".join(f.read().strip().splitlines()[-5:]) or "(empty)"
        except OSError:
            return "(none)"

    def stop(self):
        if self.proc is None:
            return
        tree = process_tree(self.proc.pid) if self.alive() else {}
        if self.alive():
            self.proc.terminate()
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait(timeout=10)
        # Sessions the server forked, if any outlived it: the same PIDs with the same start times.
        tree.pop(self.proc.pid, None)

        def still_there(tree):
            table = proc_table()
            return {pid: f for pid, f in tree.items()
                    if pid in table and table[pid][19] == f[19] and table[pid][0] != "Z"}
        for sig in (signal.SIGTERM, signal.SIGKILL):
            tree = still_there(tree)
            if not tree:
                break
            for pid in tree:
                try:
                    os.kill(pid, sig)
                except OSError:
                    pass
            deadline = time.monotonic() + 5
            while tree and time.monotonic() < deadline:
                time.sleep(0.2)
                tree = still_there(tree)
        for helper in self.helpers:
            try:
                helper.wait(timeout=10)
            except subprocess.TimeoutExpired:
                helper.kill()
                helper.wait()
        self.helpers = []
        self.proc = None
        if getattr(self, "cgroup", None):
            self.release_cgroup(self.cgroup)
            self.cgroup = None


def read_first_line(proc, timeout):
    """The first stdout line of proc, read without blocking past timeout."""
    fd = proc.stdout.fileno()
    data = b""
    deadline = time.monotonic() + timeout
    while b"\n" not in data:
        left = deadline - time.monotonic()
        if left <= 0 or proc.poll() is not None and not select.select([fd], [], [], 0)[0]:
            break
        if select.select([fd], [], [], min(left, 0.5))[0]:
            chunk = os.read(fd, 1)  # one byte at a time: the rest stays for the drain
            if not chunk:
                break
            data += chunk
    return data.decode(errors="replace").strip()


def port_of_link(line):
    m = re.match(r"ftp://[^/\s]*:(\d+)", line)
    if not m:
        raise RuntimeError("expected ftp://HOST:PORT as the first line, got %r" % line)
    return int(m.group(1))


class Quillshare(Server):
    name = "quillshare"
    extra_args = ()

    def launch(self):
        binary = self.ctx.quillshare
        if not os.access(binary, os.X_OK):
            raise RuntimeError("%s not found; build it: cmake -S %s -B %s/build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release "
                               "-DQUILL_BUILD_TESTS=OFF && ninja -C %s/build-rel quillshare-server"
                               % (binary, REPO, REPO, REPO))
        with open(self.logfile, "w") as err:
            self.proc = self.popen([binary, "--dir", self.ctx.share, "--password", self.password, "--port", "0",
                                          "--address", HOST, "--allow", "all", "--max-clients", "0",
                                          *self.extra_args],
                                         stdout=subprocess.PIPE, stderr=err, stdin=subprocess.DEVNULL)
        line = read_first_line(self.proc, 20)
        self.port = port_of_link(line)
        # One log line per event follows: a separate reader sends it to /dev/null so the server never blocks.
        self.helpers.append(subprocess.Popen(["cat"], stdin=self.proc.stdout, stdout=subprocess.DEVNULL))
        self.proc.stdout.close()
        self.wait_ready()


class Vsftpd(Server):
    name = "vsftpd"

    def launch(self):
        self.port = free_port()
        empty = os.path.join(self.ctx.tmp, "vsftpd-empty")
        os.makedirs(empty, mode=0o755, exist_ok=True)
        conf = os.path.join(self.ctx.tmp, "vsftpd.conf")
        extra = getattr(self.ctx, "vsftpd_extra", "")
        for attempt in range(2):
            with open(conf, "w") as f:
                f.write(VSFTPD_CONF.format(host=HOST, port=self.port, share=self.ctx.share, pasv_min=VSFTPD_PASSIVE[0],
                                           pasv_max=VSFTPD_PASSIVE[1], empty=empty, extra=extra))
            os.chmod(conf, 0o600)
            with open(self.logfile, "w") as out:
                self.proc = self.popen([self.ctx.peers["vsftpd"]["vsftpd"], conf], stdout=out, stderr=out,
                                             stdin=subprocess.DEVNULL)
            self.wait_ready()
            # The seccomp sandbox can refuse sessions in some containers: try one login, else turn it off.
            try:
                f = ftplib.FTP(timeout=20)
                f.connect(HOST, self.port)
                f.login(self.user, self.password)
                f.nlst()
                f.quit()
                return
            except Exception as e:  # noqa: BLE001
                if attempt:
                    raise RuntimeError("login or listing fails: %s" % e)
                self.ctx.notes.append("vsftpd: a session failed with the default sandbox (%s): seccomp_sandbox=NO" % e)
                self.stop()
                extra = self.ctx.vsftpd_extra = "seccomp_sandbox=NO\n"


class PureFtpd(Server):
    name = "pure-ftpd"

    def launch(self):
        bins = self.ctx.peers["pure-ftpd"]
        passwd = os.path.join(self.ctx.tmp, "pureftpd.passwd")
        pdb = os.path.join(self.ctx.tmp, "pureftpd.pdb")
        home = self.ctx.share.rstrip("/") + "/./"  # "/./" keeps the virtual user inside the share
        if self.ctx.native_hashes:
            run([bins["pure-pw"], "useradd", self.user, "-u", str(self.ctx.user.uid), "-g", str(self.ctx.user.gid),
                 "-d", self.ctx.share, "-f", passwd, "-m", "-F", pdb], input="%s\n%s\n" % (self.password, self.password))
        else:
            with open(passwd, "w") as f:
                f.write("%s:%s:%d:%d::%s::::::::::::\n" % (self.user, self.ctx.sha512, self.ctx.user.uid,
                                                             self.ctx.user.gid, home))
            run([bins["pure-pw"], "mkdb", pdb, "-f", passwd])
        self.port = free_port()
        with open(self.logfile, "w") as out:
            self.proc = self.popen(
                [bins["pure-ftpd"], "-l", "puredb:" + pdb, "-S", "%s,%d" % (HOST, self.port),
                 "-c", "50000", "-C", "50000",      # connections in all and per address
                 "-E", "-H",                        # no anonymous login, no reverse DNS
                 "-p", "%d:%d" % PUREFTPD_PASSIVE,
                 "-L", "1000000:8",                 # LIST may return up to 1,000,000 entries
                 "-g", os.path.join(self.ctx.tmp, "pure-ftpd.pid")],
                stdout=out, stderr=out, stdin=subprocess.DEVNULL)
        self.wait_ready()


class Pyftpdlib(Server):
    name = "pyftpdlib"

    def launch(self):
        launcher = os.path.join(self.ctx.tmp, "pyftpdlib_server.py")
        with open(launcher, "w") as f:
            f.write(PYFTPDLIB_LAUNCHER)
        with open(self.logfile, "w") as err:
            self.proc = self.popen([self.ctx.peers["pyftpdlib"]["python"], launcher, self.ctx.share, self.user,
                                          self.password, HOST], stdout=subprocess.PIPE, stderr=err,
                                         stdin=subprocess.DEVNULL)
        self.port = port_of_link(read_first_line(self.proc, 30))
        self.helpers.append(subprocess.Popen(["cat"], stdin=self.proc.stdout, stdout=subprocess.DEVNULL))
        self.proc.stdout.close()
        self.wait_ready()


SERVER_CLASSES = {"quillshare": Quillshare, "vsftpd": Vsftpd, "pure-ftpd": PureFtpd, "pyftpdlib": Pyftpdlib}


# ---------------------------------------------------------------- clients

def curl(server, *args, timeout):
    cmd = ["curl", "-sS", "--user", "%s:%s" % (server.user, server.password), "--max-time", str(int(timeout)), *args]
    out = subprocess.run(cmd, capture_output=True, text=True, timeout=timeout + 10)
    if out.returncode != 0:
        raise RuntimeError("curl exit %d: %s" % (out.returncode, out.stderr.strip()))
    return out.stdout


def url(server, path):
    return "ftp://%s:%d/%s" % (HOST, server.port, path)


def ftp_login(server, timeout=60):
    f = ftplib.FTP(timeout=timeout)
    f.connect(HOST, server.port)
    f.login(server.user, server.password)
    return f


class FtpError(Exception):
    pass


async def ftp_reply(reader, timeout):
    line = await asyncio.wait_for(reader.readline(), timeout)
    if len(line) < 4 or not line[:3].isdigit():
        raise FtpError("bad or no reply: %r" % line)
    code = line[:3]
    if line[3:4] == b"-":
        deadline = time.monotonic() + timeout
        while True:
            more = await asyncio.wait_for(reader.readline(), max(0.1, deadline - time.monotonic()))
            if not more:
                raise FtpError("connection closed in a reply")
            if more[:3] == code and more[3:4] == b" ":
                break
    return int(code), line


async def ftp_command(reader, writer, command, expect, timeout):
    writer.write(command.encode() + b"\r\n")
    code, line = await ftp_reply(reader, timeout)
    if code not in expect:
        raise FtpError("%s: %r" % (command.split()[0], line))
    return code


async def open_session(server, timeout):
    reader, writer = await asyncio.wait_for(asyncio.open_connection(HOST, server.port), timeout)
    try:
        code, line = await ftp_reply(reader, timeout)
        if code != 220:
            raise FtpError("greeting: %r" % line)
        if await ftp_command(reader, writer, "USER " + server.user, (230, 331), timeout) == 331:
            await ftp_command(reader, writer, "PASS " + server.password, (230,), timeout)
    except BaseException:
        writer.close()
        raise
    return reader, writer


async def close_session(reader, writer, timeout):
    try:
        await ftp_command(reader, writer, "QUIT", (221,), timeout)
    finally:
        writer.close()
        try:
            await asyncio.wait_for(writer.wait_closed(), timeout)
        except (OSError, asyncio.TimeoutError):
            pass


# ---------------------------------------------------------------- measurements

def gib(nbytes):
    return nbytes / (1 << 30)


def settle(server, timeout=10):
    """Waits until the sessions the server forked are gone and reaped, so that their CPU time has been
    added to the parent's (a process read while it is being reaped would be missed)."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        tree = process_tree(server.proc.pid)
        if len(tree) <= server.base_processes and all(f[0] != "Z" for f in tree.values()):
            break
        time.sleep(0.05)


def measure_download(server, ctx):
    settle(server)
    before = server.cpu_seconds()
    out = curl(server, "-o", "/dev/null", "-w", "%{size_download} %{time_pretransfer} %{time_total}",
               url(server, "big.bin"), timeout=ctx.limits["transfer"]).split()
    settle(server)
    after = server.cpu_seconds()
    size, pre, total = int(float(out[0])), float(out[1]), float(out[2])
    if size != ctx.big_size:
        raise RuntimeError("received %d bytes of %d" % (size, ctx.big_size))
    return {"speed": size / (total - pre) / 1e6, "cpu": (after - before) / gib(size)}


def measure_upload(server, ctx):
    target = os.path.join(ctx.share, "up.bin")
    settle(server)
    before = server.cpu_seconds()
    try:
        out = curl(server, "-T", ctx.upload_source, "-w", "%{size_upload} %{time_pretransfer} %{time_total}",
                   url(server, "up.bin"), timeout=ctx.limits["transfer"]).split()
        settle(server)
        after = server.cpu_seconds()
        size, pre, total = int(float(out[0])), float(out[1]), float(out[2])
        stored = os.path.getsize(target) if os.path.exists(target) else -1
        if size != ctx.upload_size or stored != ctx.upload_size:
            raise RuntimeError("sent %d bytes, %d stored, of %d" % (size, stored, ctx.upload_size))
    finally:
        if os.path.exists(target):
            os.remove(target)
    return {"speed": size / (total - pre) / 1e6, "cpu": (after - before) / gib(size)}


def measure_small_files(server, ctx):
    count = ctx.sizes.small_files
    f = ftp_login(server)
    try:
        f.cwd("small")
        got = 0
        start = time.perf_counter()
        deadline = time.monotonic() + ctx.limits["small"]
        for i in range(count):
            if time.monotonic() > deadline:
                raise RuntimeError("only %d of %d files within %ds" % (i, count, ctx.limits["small"]))
            chunks = []
            f.retrbinary("RETR f%05d" % i, chunks.append)
            got += sum(map(len, chunks))
        elapsed = time.perf_counter() - start
        f.quit()
    finally:
        f.close()
    if got != count * 4096:
        raise RuntimeError("received %d bytes of %d" % (got, count * 4096))
    return count / elapsed


def measure_list(server, ctx, folder, count):
    f = ftp_login(server, timeout=ctx.limits["list"])
    try:
        f.cwd(folder)
        f.sendcmd("TYPE A")
        start = time.perf_counter()
        conn = f.transfercmd("LIST")
        lines, size = 0, 0
        with conn:
            while True:
                data = conn.recv(1 << 16)
                if not data:
                    break
                lines += data.count(b"\n")
                size += len(data)
        f.voidresp()
        elapsed = time.perf_counter() - start
        f.quit()
    finally:
        f.close()
    if lines < count:
        raise RuntimeError("LIST gave %d lines for %d files" % (lines, count))
    return elapsed * 1000


async def idle_sessions(server, count, in_flight, timeout, pss_idle):
    sem = asyncio.Semaphore(in_flight)
    sessions, errors = [], []

    async def one():
        async with sem:
            try:
                sessions.append(await open_session(server, timeout))
            except Exception as e:  # noqa: BLE001
                errors.append(repr(e))

    start = time.perf_counter()
    await asyncio.gather(*(one() for _ in range(count)))
    login_ms = (time.perf_counter() - start) * 1000
    try:
        await asyncio.sleep(1.0)  # lets the server finish what follows a login
        pss = tree_pss_kib(server.proc.pid)
        processes = len(process_tree(server.proc.pid))

        async def still_there(r, w):
            try:
                await ftp_command(r, w, "NOOP", (200,), timeout)
            except Exception as e:  # noqa: BLE001
                errors.append("NOOP: " + repr(e))
        await asyncio.gather(*(still_there(r, w) for r, w in sessions))
    finally:
        async def bye(r, w):
            try:
                await close_session(r, w, timeout)
            except Exception:  # noqa: BLE001 - the figure is already taken
                pass
        await asyncio.gather(*(bye(r, w) for r, w in sessions))
    if errors:
        raise RuntimeError("%d of %d sessions failed, first: %s" % (len(errors), count, errors[0]))
    return {"login_ms": login_ms, "pss_kib": pss, "per_session_kib": (pss - pss_idle) / count, "processes": processes}


def measure_idle(server, ctx, count):
    # A fresh server, so that memory the transfers left free inside it does not hide the sessions' own.
    server.stop()
    server.start()
    time.sleep(1.0)
    pss_idle = tree_pss_kib(server.proc.pid)
    result = asyncio.run(asyncio.wait_for(
        idle_sessions(server, count, ctx.sizes.in_flight, 30, pss_idle), ctx.limits["sessions"]))
    result["pss_idle_kib"] = pss_idle
    settle(server, 30)  # the server closes them all before the next step
    return result


async def login_loop(server, total, in_flight, limit):
    done, errors = [0], []
    issued = [0]
    deadline = time.monotonic() + limit

    async def worker():
        while issued[0] < total and time.monotonic() < deadline:
            issued[0] += 1
            try:
                r, w = await open_session(server, 30)
                await close_session(r, w, 30)
                done[0] += 1
            except Exception as e:  # noqa: BLE001
                errors.append(repr(e))

    start = time.perf_counter()
    await asyncio.gather(*(worker() for _ in range(in_flight)))
    elapsed = time.perf_counter() - start
    if errors:
        raise RuntimeError("%d of %d logins failed, first: %s" % (len(errors), issued[0], errors[0]))
    if done[0] < total:
        raise RuntimeError("only %d of %d logins within %ds (%.1f/s)" % (done[0], total, limit, done[0] / elapsed))
    return done[0] / elapsed


def measure_logins(server, ctx):
    # The client (one Python process) is often the slower side; the server's own CPU per login shows its part.
    settle(server)
    before = server.cpu_seconds()
    rate = asyncio.run(login_loop(server, ctx.sizes.logins, ctx.sizes.in_flight, ctx.limits["logins"]))
    settle(server)
    return {"rate": rate, "cpu_ms": (server.cpu_seconds() - before) * 1000 / ctx.sizes.logins}


def measure_parallel(server, ctx):
    n = ctx.sizes.parallel
    cmd = ["curl", "-sS", "--user", "%s:%s" % (server.user, server.password), "--max-time", str(ctx.limits["parallel"]),
           "-o", "/dev/null", "-w", "%{size_download}", url(server, "p.bin")]
    start = time.perf_counter()
    procs = [subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True) for _ in range(n)]
    results = []
    for p in procs:
        try:
            out, err = p.communicate(timeout=ctx.limits["parallel"] + 15)
        except subprocess.TimeoutExpired:
            p.kill()
            out, err = p.communicate()
        results.append((p.returncode, out.strip(), err.strip()))
    elapsed = time.perf_counter() - start
    bad = [r for r in results if r[0] != 0 or r[1] != str(ctx.parallel_size)]
    if bad:
        raise RuntimeError("%d of %d downloads failed, first: exit %s, %s bytes, %s" % (len(bad), n, *bad[0]))
    return n * ctx.parallel_size / elapsed / 1e6


def raw_loop(ctx, block, mode):
    out = run([ctx.raw_loop, ctx.big, str(block), mode, str(ctx.limits["transfer"])],
              timeout=ctx.limits["transfer"] + 15).stdout.split()
    size, seconds, cpu = int(out[0]), float(out[1]), float(out[2])
    return {"speed": size / seconds / 1e6, "cpu": cpu / gib(size)}


# ---------------------------------------------------------------- bookkeeping

class Results:
    def __init__(self):
        self.rows = []                       # (key, label, unit) in order of first appearance
        self.values = collections.defaultdict(dict)   # key -> server -> {"median", "runs"} or {"error"}

    def row(self, key, label, unit):
        if key not in [r[0] for r in self.rows]:
            self.rows.append((key, label, unit))

    def put(self, server, key, label, unit, runs=None, error=None):
        self.row(key, label, unit)
        if error is not None:
            self.values[key][server] = {"error": error}
        else:
            self.values[key][server] = {"median": statistics.median(runs), "runs": runs}

    def median(self, server, key):
        return self.values.get(key, {}).get(server, {}).get("median")


ALL_FIGURES = ("raw", "download", "upload", "small", "list", "idle", "logins", "parallel")


class SkipRaw(Exception):
    pass


def repeated(times, fn):
    return [fn() for _ in range(times)]


def bench_server(server, ctx, res):
    name = server.name
    s = ctx.sizes
    steps = []

    def step(key, label, unit, fn):
        if ctx.figures is None or key.split("_")[0].rstrip("0123456789") in ctx.figures:
            steps.append((key, label, unit, fn))

    def run_steps():
        for key, label, unit, fn in steps:
            if not server.alive():
                res.put(name, key, label, unit, error="server exited (%s): %s" % (server.proc.returncode, server.log_tail()))
                continue
            log("%s: %s" % (name, label))
            try:
                fn(key, label, unit)
            except Exception as e:  # noqa: BLE001 - one failed figure must not stop the others
                msg = str(e) or repr(e)
                res.put(name, key, label, unit, error=msg)
                log("%s: %s failed: %s" % (name, label, msg))

    def transfers(measure, what):
        def fn(key, label, unit):
            runs = repeated(s.repeat, lambda: measure(server, ctx))
            res.put(name, key, label, unit, [r["speed"] for r in runs])
            res.put(name, key + "_cpu", "  server CPU per GiB %s" % what, "s", [r["cpu"] for r in runs])
        return fn

    step("download", "download %s" % ctx.big_label, "MB/s", transfers(measure_download, "sent"))
    if name == "quillshare":
        # The engine's own default block, against the plain loop with the same block.
        def small_blocks(key, label, unit):
            server.stop()
            server.extra_args = ("--block-size", "2048")
            try:
                server.start()
                transfers(measure_download, "sent")(key, label, unit)
            finally:
                server.stop()
                server.extra_args = ()
                server.start()
        step("download_2k", "download %s, 2 KiB blocks" % ctx.big_label, "MB/s", small_blocks)
    def uploads(key, label, unit):
        # The system hands pages of removed files back to the machine's host a little later, and the next
        # upload into memory-backed folders pays for getting them back: the first upload after a pause runs
        # at a fraction of the speed, whoever the server is. One unmeasured upload first, and two runs more
        # than the other figures, keep that out of the median.
        measure_upload(server, ctx)
        runs = repeated(s.repeat + 2, lambda: measure_upload(server, ctx))
        res.put(name, key, label, unit, [r["speed"] for r in runs])
        res.put(name, key + "_cpu", "  server CPU per GiB received", "s", [r["cpu"] for r in runs])

    step("upload", "upload %s" % ctx.upload_label, "MB/s", uploads)
    step("small", "%s x 4 KiB, one connection" % "{:,}".format(s.small_files), "files/s",
         lambda k, l, u: res.put(name, k, l, u, repeated(s.repeat, lambda: measure_small_files(server, ctx))))
    for count in s.list_counts:
        step("list%d" % count, "LIST of %s files" % "{:,}".format(count), "ms",
             lambda k, l, u, c=count: res.put(name, k, l, u, repeated(
                 s.repeat, lambda: measure_list(server, ctx, "list%d" % c, c))))
    for count in s.idle_counts:
        def idle(key, label, unit, count=count):
            runs = repeated(s.repeat, lambda: measure_idle(server, ctx, count))
            res.put(name, "pss_idle", "server PSS, no session", "MiB", [r["pss_idle_kib"] / 1024 for r in runs])
            res.put(name, key, label, unit, [r["login_ms"] for r in runs])
            res.put(name, key + "_mem", "  memory per idle session (PSS)", "KiB", [r["per_session_kib"] for r in runs])
            res.put(name, key + "_procs", "  server processes with them", "count", [r["processes"] for r in runs])
        step("idle%d" % count, "%s idle sessions: time to log in" % "{:,}".format(count), "ms", idle)
    def logins(key, label, unit):
        runs = repeated(s.repeat, lambda: measure_logins(server, ctx))
        res.put(name, key, label, unit, [r["rate"] for r in runs])
        res.put(name, key + "_cpu", "  server CPU per login", "ms", [r["cpu_ms"] for r in runs])

    step("logins", "logins, %d in flight (%s)" % (s.in_flight, "{:,}".format(s.logins)), "logins/s", logins)
    step("parallel", "%d x %s downloads at once" % (s.parallel, ctx.parallel_label), "MB/s",
         lambda k, l, u: res.put(name, k, l, u, repeated(s.repeat, lambda: measure_parallel(server, ctx))))
    run_steps()


def derived(res, servers, ctx):
    """Ratios: the engine against the plain loop, and the scaling checks."""
    raw = res.median("raw", "raw65536")
    raw_cpu = res.median("raw", "raw65536_cpu")
    small, large = ctx.sizes.list_counts
    few, many = ctx.sizes.idle_counts
    for name in servers:
        def ratio(key, label, a, b):
            if a is not None and b:
                res.put(name, key, label, "x", [a / b])
        ratio("vs_raw", "download / raw loop 64 KiB", res.median(name, "download"), raw)
        ratio("vs_raw_cpu", "CPU per GiB / raw loop 64 KiB", res.median(name, "download_cpu"), raw_cpu)
        ratio("vs_raw_2k", "download 2 KiB blocks / raw loop 2 KiB", res.median(name, "download_2k"),
              res.median("raw", "raw2048"))
        ratio("list_scale", "LIST %s / %s files (ideal %g)" % ("{:,}".format(large), "{:,}".format(small), large / small),
              res.median(name, "list%d" % large), res.median(name, "list%d" % small))
        ratio("idle_scale_time", "log-in time %s / %s sessions (ideal %g)" % ("{:,}".format(many), "{:,}".format(few),
                                                                             many / few),
              res.median(name, "idle%d" % many), res.median(name, "idle%d" % few))
        a, b = res.median(name, "idle%d_mem" % many), res.median(name, "idle%d_mem" % few)
        if a is not None and b:
            res.put(name, "idle_scale_mem", "session memory %s / %s sessions (ideal %g)"
                    % ("{:,}".format(many), "{:,}".format(few), many / few), "x", [a * many / (b * few)])


def fmt(v):
    if v is None:
        return "-"
    if abs(v) >= 100:
        return "{:,.0f}".format(v)
    if abs(v) >= 10:
        return "%.1f" % v
    return "%.2f" % v


def print_report(res, servers, failures, ctx):
    columns = servers
    width = max([len(r[1]) for r in res.rows] + [20]) + 2
    head = "%-*s %-9s" % (width, "figure", "unit") + "".join("%14s" % c for c in columns)
    print()
    print("Quillshare and peers on 127.0.0.1 - medians of %d run(s)%s" % (ctx.sizes.repeat, " (--quick)" if ctx.quick else ""))
    print(head)
    print("-" * len(head))
    errors = []
    for key, label, unit in res.rows:
        if key.startswith("raw"):
            continue
        cells = []
        for c in columns:
            if c in failures:
                cells.append("not run")
                continue
            v = res.values[key].get(c)
            if v is None:
                cells.append("-")
            elif "error" in v:
                errors.append("%s, %s: %s" % (c, label.strip(), v["error"]))
                cells.append("FAILED")
            else:
                cells.append(fmt(v["median"]))
        print("%-*s %-9s" % (width, label, unit) + "".join("%14s" % x for x in cells))
    print()
    print("The limit: one process reads %s block by block and sends it over loopback" % ctx.big_label)
    for key, label, unit in res.rows:
        if key.startswith("raw"):
            v = res.values[key].get("raw", {})
            print("%-*s %-9s %14s" % (width, label, unit, fmt(v.get("median")) if "median" in v else v.get("error", "-")))
    if failures or errors:
        print()
    for name, why in failures.items():
        print("%s did not run: %s" % (name, why))
    for e in errors:
        print("failed: " + e)
    for n in ctx.notes:
        print("note: " + n)
    print()
    for key, label, unit in res.rows:
        for server, v in res.values[key].items():
            record = {"server": server, "figure": label.strip(), "unit": unit}
            record.update(v)
            print(json.dumps(record))
    for name, why in failures.items():
        print(json.dumps({"server": name, "figure": "start", "error": why}))


# ---------------------------------------------------------------- set-up

class Sizes:
    def __init__(self, args):
        q = args.quick
        self.download_mib = args.size_mib or (64 if q else 1024)
        self.upload_mib = max(1, self.download_mib // 2)
        self.small_files = 200 if q else 2000
        self.list_counts = (1000, 10000) if q else (10000, 100000)
        self.idle_counts = (50, 100) if q else (500, 1000)
        self.logins = 200 if q else 2000
        self.in_flight = 50
        self.parallel = 20
        self.parallel_mib = 4 if q else 64
        self.repeat = args.repeat or (1 if q else 3)


def write_file(path, size):
    block = os.urandom(1 << 20)
    with open(path, "wb") as f:
        left = size
        while left > 0:
            f.write(block[:min(left, len(block))])
            left -= min(left, len(block))


def make_share(ctx):
    s = ctx.sizes
    share = ctx.share
    os.makedirs(share)
    log("writing the share in %s" % share)
    ctx.big = os.path.join(share, "big.bin")
    ctx.big_size = s.download_mib << 20
    write_file(ctx.big, ctx.big_size)
    ctx.parallel_size = s.parallel_mib << 20
    write_file(os.path.join(share, "p.bin"), ctx.parallel_size)
    ctx.upload_source = os.path.join(ctx.tmp, "upload.bin")  # outside the share
    ctx.upload_size = s.upload_mib << 20
    write_file(ctx.upload_source, ctx.upload_size)
    os.makedirs(os.path.join(share, "small"))
    for i in range(s.small_files):
        with open(os.path.join(share, "small", "f%05d" % i), "wb") as f:
            f.write(os.urandom(4096))
    for count in s.list_counts:
        folder = os.path.join(share, "list%d" % count)
        os.makedirs(folder)
        for i in range(count):  # empty: no data blocks to write now and to discard at the end
            open(os.path.join(folder, "entry-%06d.txt" % i), "wb").close()


def mib_label(mib):
    return "%d GiB" % (mib >> 10) if mib % 1024 == 0 else "%d MiB" % mib


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--servers", default=",".join(ALL_SERVERS), help="comma-separated subset of " + ",".join(ALL_SERVERS))
    ap.add_argument("--quillshare", default=os.path.join(REPO, "build-rel", "cli", "quillshare-server"))
    ap.add_argument("--size-mib", type=int, default=None, help="size of the downloaded file (default 1024; 64 with --quick)")
    ap.add_argument("--repeat", type=int, default=None, help="runs per figure (default 3; 1 with --quick)")
    ap.add_argument("--quick", action="store_true", help="small sizes: a smoke test of the whole run")
    ap.add_argument("--native-hashes", action="store_true",
                    help="keep each peer package's default password hash (slow logins) instead of SHA-512 crypt")
    ap.add_argument("--figures", default=None,
                    help="comma-separated subset of " + ",".join(ALL_FIGURES) + " (default: all)")
    ap.add_argument("--tmp", default=None,
                    help="where to make the share (default: the system's temporary folder; /dev/shm keeps the disk out)")
    args = ap.parse_args()

    figures = None
    if args.figures:
        figures = {f.strip() for f in args.figures.split(",") if f.strip()}
        if not figures or figures - set(ALL_FIGURES):
            ap.error("unknown figure(s): %s" % ", ".join(sorted(figures - set(ALL_FIGURES))))
    servers = [s.strip() for s in args.servers.split(",") if s.strip()]
    unknown = [s for s in servers if s not in ALL_SERVERS]
    if unknown or not servers:
        ap.error("unknown server(s): %s" % ", ".join(unknown))
    if os.geteuid() != 0 and any(s != "quillshare" for s in servers):
        ap.error("run as root: the peers need packages, a system user and root to start")

    _, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))  # the servers started here inherit it

    def on_signal(signum, frame):
        raise KeyboardInterrupt
    signal.signal(signal.SIGTERM, on_signal)

    class Ctx:
        pass
    ctx = Ctx()
    ctx.quick = args.quick
    ctx.figures = figures
    ctx.sizes = Sizes(args)
    ctx.native_hashes = args.native_hashes
    ctx.quillshare = os.path.abspath(args.quillshare)
    ctx.notes = []
    ctx.big_label = mib_label(ctx.sizes.download_mib)
    ctx.upload_label = mib_label(ctx.sizes.upload_mib)
    ctx.parallel_label = mib_label(ctx.sizes.parallel_mib)
    scale = max(1, ctx.sizes.download_mib // 256)
    ctx.limits = {"transfer": 120 * scale, "small": 600, "list": 300, "sessions": 600, "logins": 600, "parallel": 300}
    ctx.password = "pw-" + secrets.token_hex(8)
    ctx.sha512 = None if args.native_hashes else sha512_crypt(ctx.password)

    foreign = ftp_processes()
    if foreign:
        ctx.notes.append("FTP daemons running that this run did not start (left alone): " +
                         ", ".join("%s PID %d" % (c, p) for p, c in sorted(foreign.items())))

    failures = {}
    ctx.peers = ensure_peers(servers, ctx.notes)
    for name, found in ctx.peers.items():
        if isinstance(found, str):
            failures[name] = found

    ctx.tmp = tempfile.mkdtemp(prefix="quill-compare-", dir=args.tmp)
    os.chmod(ctx.tmp, 0o755)  # the peers' sessions run as the run's user
    ctx.share = os.path.join(ctx.tmp, "share")
    ctx.user = None
    res = Results()
    current = None
    try:
        make_share(ctx)
        if any(s in ("vsftpd", "pure-ftpd") and s not in failures for s in servers):
            ctx.user = BenchUser(ctx.share, ctx.password, ctx.sha512, ctx.notes)
            os.chown(ctx.share, ctx.user.uid, ctx.user.gid)  # so that its sessions may upload

        ctx.raw_loop = os.path.join(ctx.tmp, "raw_loop")
        try:
            if figures is not None and "raw" not in figures:
                raise SkipRaw()
            log("compiling and running bench/raw_loop.c")
            run(["cc", "-O2", "-o", ctx.raw_loop, os.path.join(HERE, "raw_loop.c")], timeout=120)
            for block, mode, label in ((2048, "read", "read+send, 2 KiB blocks"),
                                       (65536, "read", "read+send, 64 KiB blocks"),
                                       (65536, "sendfile", "sendfile, 64 KiB at a time")):
                key = "raw%d" % block + ("" if mode == "read" else "_sendfile")
                runs = repeated(ctx.sizes.repeat, lambda: raw_loop(ctx, block, mode))
                res.put("raw", key, "raw loop, " + label, "MB/s", [r["speed"] for r in runs])
                res.put("raw", key + "_cpu", "  its CPU per GiB sent", "s", [r["cpu"] for r in runs])
        except SkipRaw:
            pass
        except Exception as e:  # noqa: BLE001
            res.put("raw", "raw65536", "raw loop, read+send, 64 KiB blocks", "MB/s", error=str(e))

        for name in servers:
            if name in failures:
                continue
            server = SERVER_CLASSES[name](ctx)
            current = server
            log("starting %s" % name)
            try:
                server.start()
            except Exception as e:  # noqa: BLE001
                failures[name] = "failed to start: %s" % e
                log("%s failed to start: %s" % (name, e))
                server.stop()
                current = None
                continue
            log("%s listens on %s:%d (PID %d)" % (name, HOST, server.port, server.proc.pid))
            try:
                bench_server(server, ctx, res)
            finally:
                log("stopping %s" % name)
                server.stop()
                current = None
        derived(res, [s for s in servers if s not in failures], ctx)
    finally:
        if current is not None:
            current.stop()
        if ctx.user is not None:
            ctx.user.remove()
        log("removing %s" % ctx.tmp)
        shutil.rmtree(ctx.tmp, ignore_errors=True)
        log("done")
    print_report(res, servers, failures, ctx)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        log("interrupted; everything started here is stopped")
        sys.exit(130)

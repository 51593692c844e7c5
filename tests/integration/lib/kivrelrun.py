"""Helpers for integration tests that drive the built kivrel binary."""

import hashlib
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

SOURCE = os.environ.get("KIVREL_SOURCE_DIR", os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", "..")))
BIN = os.environ.get("KIVREL_BIN", os.path.join(SOURCE, "build", "bin", "kivrel"))
TOOLS = os.path.join(SOURCE, "tools")

ALPHABET = "0123456789?@ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"


def scramble(text):
    """The password scrambling of Kivrel.ini (the same operation both ways)."""
    x, a, c = 3951, (4 * 62 + 1) % 32768, (2 * 8 + 1) % 32768
    out = []
    for ch in text:
        if ch in ALPHABET:
            x = (a * x + c) % 32768
            ch = ALPHABET[ALPHABET.index(ch) ^ (x & 63)]
        out.append(ch)
    return "".join(out)


def sha256(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def make_mails(out, manifest, *args):
    subprocess.run([os.path.join(TOOLS, "make-sample-mails"), "--out", out, "--manifest", manifest,
                    "--attachments-dir", out + "-att", *args], check=True, stdout=subprocess.DEVNULL)
    with open(manifest, encoding="utf-8") as f:
        return json.load(f)


class ProgramFolder:
    """A fresh KIVREL_HOME with a Kivrel.ini."""

    def __init__(self, root, **config):
        self.path = os.path.join(root, "home")
        os.makedirs(self.path, exist_ok=True)
        self.save = [os.path.join(root, "save%d" % i) for i in range(1, 5)]
        os.makedirs(self.save[0], exist_ok=True)
        self.config = {"SaveFolder1": self.save[0], "DeleteOldMail": "False"}
        self.config.update(config)
        self.write_ini()

    def write_ini(self):
        lines = ["[Config]"]
        for key, value in self.config.items():
            if key == "PassWord":
                value = scramble(value)
            lines.append("%s=%s" % (key, value))
        with open(os.path.join(self.path, "Kivrel.ini"), "wb") as f:
            f.write(("\r\n".join(lines) + "\r\n").encode("cp932"))

    def env(self, env_extra=None):
        """The environment of a run: no display, this program folder."""
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        env["KIVREL_HOME"] = self.path
        env.update(env_extra or {})
        return env

    def run(self, *args, timeout=600, env_extra=None):
        return subprocess.run([BIN, *(args or ["/a"])], env=self.env(env_extra), capture_output=True, timeout=timeout)

    def popen(self, *args, env_extra=None):
        return subprocess.Popen([BIN, *(args or ["/a"])], env=self.env(env_extra), stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def read_list(self):
        p = os.path.join(self.path, "Kivrel.dat")
        if not os.path.exists(p):
            return []
        with open(p, "rb") as f:
            data = f.read().decode("cp932")
        assert data == "" or data.endswith("\r\n"), "Kivrel.dat does not end with a whole line"
        return [line.split("\t") for line in data.split("\r\n") if line]

    def log(self):
        with open(os.path.join(self.path, "KVLOG.TXT"), "rb") as f:
            return f.read().decode("cp932")


class Server:
    """The scriptable POP3 fault server on loopback."""

    def __init__(self, root, mail_dir, *faults, user="kivrel", password="secret", extra=()):
        self.root = root
        self.log_path = os.path.join(root, "server.log")
        self.deleted_path = os.path.join(root, "deleted.txt")
        ready = os.path.join(root, "port")
        if os.path.exists(ready):
            os.remove(ready)
        args = [os.path.join(TOOLS, "pop3-fault-server"), "--mail-dir", mail_dir, "--port", "0",
                "--ready-file", ready, "--user", user, "--password", password, "--log", self.log_path,
                "--deleted-file", self.deleted_path, *extra]
        for f in faults:
            args += ["--fault", f]
        with open(os.path.join(root, "server.err"), "ab") as err:
            self.proc = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=err)
        deadline = time.monotonic() + 120  # a loaded machine starts a dozen at once
        while not (os.path.exists(ready) and read_text(ready)):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("the fault server did not start (%s)" % os.path.join(root, "server.err"))
            time.sleep(0.05)
        self.port = int(read_text(ready))

    def commands(self):
        with open(self.log_path, encoding="utf-8", errors="replace") as f:
            return [line.strip() for line in f]

    def stop(self):
        self.proc.terminate()
        self.proc.wait(10)


def read_text(path):
    with open(path, encoding="utf-8") as f:
        return f.read().strip()


def have_dovecot():
    return shutil.which("dovecot") is not None or os.path.exists("/usr/sbin/dovecot")


class Dovecot:
    def __init__(self, root, maildir_from=None, auth_mechanisms=None):
        self.workdir = os.path.join(root, "dovecot")
        args = [os.path.join(TOOLS, "dovecot-fixture"), "start", self.workdir]
        if maildir_from:
            args += ["--maildir-from", maildir_from]
        if auth_mechanisms:
            args += ["--auth-mechanisms", auth_mechanisms]
        out = subprocess.run(args, check=True, capture_output=True, text=True).stdout
        self.env = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
        self.port = int(self.env["KIVREL_TEST_POP3_PORT"])
        self.maildir = self.env["KIVREL_TEST_MAILDIR"]

    def mail_count(self):
        return sum(len(os.listdir(os.path.join(self.maildir, d))) for d in ("new", "cur")
                   if os.path.isdir(os.path.join(self.maildir, d)))

    def stop(self):
        subprocess.run([os.path.join(TOOLS, "dovecot-fixture"), "stop", self.workdir], capture_output=True)

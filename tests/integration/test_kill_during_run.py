"""kivrel /a killed (SIGKILL) again and again, at random moments and inside its
file writes, then run to the end.

After every kill the program folder and the save folder must hold only whole
files: Kivrel.dat decodes and ends with a whole line, every file under a final
.LZH name is byte for byte its attachment, every record with a file has that
file, and every mail the server deleted was decoded and recorded. A last run
without kills must then finish the work: each wanted file once with the right
bytes, each data mail recorded once, no mail deleted that was not decoded.
"""

import collections
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "lib"))
from kivrelrun import BIN, ProgramFolder, Server, make_mails, scramble, sha256  # noqa: E402

# The kinds chosen by default; D1 and TT below are data mails of kinds not chosen.
DEFAULT_KINDS = {"DU", "DW", "DX", "DZ", "SH", "SJ", "SQ", "KK", "CC"}
SEED = 20261207
KILLS = 16
EARLY_KILLS = 4
# The first RETRs trickle in, so that many kills land in the middle of a
# transfer; later ones (the final run) come at full speed.
SLOW_RETRS = 20
DRIP_BYTES_PER_SECOND = 100000


def kill_moments(rng):
    """Seconds after start: a few during start-up and login (Kivrel.ini is
    rewritten then), most while mails are fetched, decoded and recorded."""
    moments = [rng.uniform(0.05, 0.5) for _ in range(EARLY_KILLS)]
    moments += [rng.uniform(0.5, 2.5) for _ in range(KILLS - EARLY_KILLS)]
    rng.shuffle(moments)
    return moments


# (call, file-path part, before/after, highest n): where the shim kills. "after"
# a write means after half of its bytes; a folder sync (and the syncfs of a
# run's barrier, made on the folder) is matched by the save folder's name.
KILL_POINTS = [
    ("write", "/.kivrel-", "after", 6),
    # A run renames its data files into place unsynced; the barrier (one syncfs
    # on the save folder) brings them to the disk before Kivrel.dat is saved,
    # before the first DELE and at the end. Kivrel.dat is saved a few times per
    # run, its temporary file synced before the rename.
    ("fsync", "/Kivrel.dat.", "before", 2),
    ("rename", "/.kivrel-", "before", 6),
    ("rename", "/.kivrel-", "after", 6),
    ("syncfs", "/save1", "after", 2),
    ("write", "/Kivrel.dat.", "after", 2),
    ("rename", "/Kivrel.dat", "before", 2),
    ("rename", "/Kivrel.dat", "after", 2),
    ("rename", "/Kivrel.ini", "before", 1),
    ("write", "/Kivrel.ini.", "after", 1),
    ("syncfs", "/save1", "before", 2),
]
SHIM_KILLS = 30

KILL_SHIM = r"""
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static long seen;

static int wanted(const char *call, const char *path)
{
    const char *c = getenv("KILL_CALL"), *m = getenv("KILL_MATCH"), *at = getenv("KILL_AT");
    if (!c || !m || !at || strcmp(c, call) != 0 || !path || !strstr(path, m))
        return 0;
    return __atomic_add_fetch(&seen, 1, __ATOMIC_SEQ_CST) == atol(at);
}

static int after(void)
{
    const char *w = getenv("KILL_WHEN");
    return w && strcmp(w, "after") == 0;
}

static const char *fdPath(int fd, char *buf, size_t size)
{
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, buf, size - 1);
    if (n < 0)
        return NULL;
    buf[n] = 0;
    return buf;
}

#define REAL(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

ssize_t write(int fd, const void *data, size_t n)
{
    const char *c = getenv("KILL_CALL");
    char buf[4096];
    if (c && strcmp(c, "write") == 0 && wanted("write", fdPath(fd, buf, sizeof buf))) {
        if (after())
            REAL(write)(fd, data, n / 2);
        kill(getpid(), SIGKILL);
    }
    return REAL(write)(fd, data, n);
}

static int syncOrKill(const char *call, int (*real)(int), int fd)
{
    const char *c = getenv("KILL_CALL");
    char buf[4096];
    if (!c || strcmp(c, call) != 0 || !wanted(call, fdPath(fd, buf, sizeof buf)))
        return real(fd);
    if (after())
        real(fd);
    kill(getpid(), SIGKILL);
    return -1;
}

int fsync(int fd) { return syncOrKill("fsync", REAL(fsync), fd); }
int fdatasync(int fd) { return syncOrKill("fdatasync", REAL(fdatasync), fd); }
int syncfs(int fd) { return syncOrKill("syncfs", REAL(syncfs), fd); }

int rename(const char *from, const char *to)
{
    if (wanted("rename", from) || (strstr(from, "/.kivrel-") == NULL && wanted("rename", to))) {
        if (after())
            REAL(rename)(from, to);
        kill(getpid(), SIGKILL);
    }
    return REAL(rename)(from, to);
}
"""


def build_kill_shim(folder):
    """Compiles the shim; None without a C compiler."""
    cc = shutil.which("cc") or shutil.which("gcc") or shutil.which("clang")
    if not cc:
        return None
    source = os.path.join(folder, "killshim.c")
    shim = os.path.join(folder, "killshim.so")
    with open(source, "w") as f:
        f.write(KILL_SHIM)
    r = subprocess.run([cc, "-shared", "-fPIC", "-O1", "-o", shim, source, "-ldl"], capture_output=True)
    return shim if r.returncode == 0 else None


class KillDuringRun(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = self.tmp.name
        self.mails = os.path.join(self.root, "mails")
        # 190 data mails (two kinds of them not chosen) spread over 400 days so
        # that every attachment has its own name, plus notices, information and
        # personal mails, shuffled.
        self.manifest = make_mails(self.mails, os.path.join(self.root, "manifest.json"), "--format", "files",
                                   "--seed", "4711", "--order", "mixed", "--data", "190", "--notices", "4",
                                   "--info", "3", "--personal", "3", "--kinds", "DU,SH,KK,CC,DW,D1,TT",
                                   "--days-back", "400", "--attach-sizes", "1500,4000,9000,24000")
        self.by_file = {os.path.basename(m["path"]): m for m in self.manifest["mails"]}
        self.data = [m for m in self.manifest["mails"] if m["category"] == "data"]
        self.wanted = {m["attachment"]["name"]: m for m in self.data if m["prefix"] in DEFAULT_KINDS}
        wanted_count = sum(1 for m in self.data if m["prefix"] in DEFAULT_KINDS)
        self.assertEqual(len(self.wanted), wanted_count, "attachment names must be unique for this test")
        self.assertGreater(len(self.data), len(self.wanted))
        # Deleted mails disappear for later sessions, as on a real server.
        self.server = Server(self.root, self.mails, "RETR:*:drip=%d:times=%d" % (DRIP_BYTES_PER_SECOND, SLOW_RETRS))
        self.home = ProgramFolder(self.root, ServerName="127.0.0.1", Port=str(self.server.port), UserName="kivrel",
                                  PassWord="secret", DeleteDownloadMail="True")
        self.ini_written = dict(self.home.config)
        self.ini_written["PassWord"] = scramble(self.ini_written["PassWord"])

    def tearDown(self):
        self.server.stop()
        self.tmp.cleanup()

    # ---- what the folders hold

    def deleted(self):
        """(uid, mail) for each mail the server has deleted at a QUIT."""
        path = self.server.deleted_path
        if not os.path.exists(path):
            return []
        with open(path, encoding="utf-8") as f:
            rows = [line.split() for line in f if line.strip()]
        return [(uid, self.by_file[name]) for _, uid, name in rows]

    def records(self, when):
        """Kivrel.dat as (uid -> fields); fails unless it is whole and well formed."""
        path = os.path.join(self.home.path, "Kivrel.dat")
        if not os.path.exists(path):
            return {}
        with open(path, "rb") as f:
            raw = f.read()
        try:
            text = raw.decode("cp932")
        except UnicodeDecodeError as e:
            self.fail("%s: Kivrel.dat is not CP932 text: %s" % (when, e))
        self.assertTrue(text == "" or text.endswith("\r\n"), "%s: Kivrel.dat ends in a broken line" % when)
        lines = text.split("\r\n")[:-1] if text else []
        result = {}
        for line in lines:
            fields = line.split("\t")
            self.assertTrue(4 <= len(fields) <= 5, "%s: bad line in Kivrel.dat: %r" % (when, line))
            uid = fields[3].lower()
            self.assertNotIn(uid, result, "%s: Uid recorded twice: %s" % (when, uid))
            result[uid] = fields
        return result

    def check_ini(self, when):
        with open(os.path.join(self.home.path, "Kivrel.ini"), "rb") as f:
            text = f.read().decode("cp932")
        self.assertTrue(text.endswith("\r\n"), "%s: Kivrel.ini ends in a broken line" % when)
        values = dict(line.split("=", 1) for line in text.split("\r\n") if "=" in line)
        for key, value in self.ini_written.items():
            self.assertEqual(values.get(key), value, "%s: Kivrel.ini lost %s" % (when, key))

    def saved_files(self, when):
        """Files under a final .LZH name in the save folder; each must be a whole attachment."""
        names = []
        for name in os.listdir(self.home.save[0]):
            if not name.upper().endswith(".LZH"):
                continue  # a temporary file left by a kill: allowed, never under a final name
            self.assertIn(name, self.wanted, "%s: unexpected file %s" % (when, name))
            self.assertEqual(sha256(os.path.join(self.home.save[0], name)), self.wanted[name]["attachment"]["sha256"],
                             "%s: %s is not its attachment" % (when, name))
            names.append(name)
        return names

    def check_consistent(self, when):
        """What must hold at any moment, killed or not; returns (records, saved names)."""
        self.check_ini(when)
        records = self.records(when)
        saved = set(self.saved_files(when))
        for uid, fields in records.items():
            if fields[2] != "-":
                self.assertIn(fields[2], saved, "%s: %s is recorded but its file is missing" % (when, fields[2]))
        for uid, mail in self.deleted():
            self.assertEqual(mail["category"], "data", "%s: deleted a mail that is no data mail: %s" % (when, uid))
            name = mail["attachment"]["name"]
            self.assertIn(name, saved, "%s: deleted %s without its file %s" % (when, uid, name))
            self.assertIn(uid.lower(), records, "%s: deleted %s without its record" % (when, uid))
            self.assertEqual(records[uid.lower()][2], name)
        return records, saved

    def new_mail_arrives(self):
        """Two data mails arrive after the kills. Whether the killed runs left any
        mail for a later one to delete depends on how far each got; these the
        final run examines, decodes and deletes in any case."""
        extra = make_mails(os.path.join(self.root, "extra"), os.path.join(self.root, "extra.json"), "--format",
                           "files", "--seed", "4712", "--data", "2", "--notices", "0", "--info", "0", "--personal",
                           "0", "--kinds", "DU", "--date-base", "2031-06-01 10:00:00", "--days-back", "0")
        self.server.stop()
        for _, mail in self.deleted():  # gone from the server for good
            if os.path.exists(mail["path"]):
                os.remove(mail["path"])
        for k, m in enumerate(extra["mails"]):
            target = os.path.join(self.mails, "late%d-%s" % (k, os.path.basename(m["path"])))
            shutil.copyfile(m["path"], target)
            m["path"] = target
            self.manifest["mails"].append(m)
            self.by_file[os.path.basename(target)] = m
            self.wanted[m["attachment"]["name"]] = m
        self.server = Server(self.root, self.mails)
        self.home.config["Port"] = str(self.server.port)
        self.home.write_ini()
        self.ini_written["Port"] = str(self.server.port)

    def run_to_the_end(self):
        """A run without kills, then the checks of a finished job."""
        self.new_mail_arrives()
        r = self.home.run(timeout=150)
        self.assertEqual(r.returncode, 0, r.stdout.decode("utf-8", errors="replace"))
        records, saved = self.check_consistent("after the final run")

        # Every wanted file with its bytes (saved_files() refuses any other name).
        self.assertEqual(sorted(saved), sorted(self.wanted))
        # Every data mail and every notice recorded once (records() refuses a
        # second record of a Uid); wanted mails with their file, others with "-".
        for m in self.manifest["mails"]:
            uid = os.path.basename(m["path"]).lower()
            if m["category"] == "data":
                self.assertIn(uid, records, "data mail %s not recorded" % uid)
                name = m["attachment"]["name"] if m["prefix"] in DEFAULT_KINDS else "-"
                self.assertEqual(records[uid][2], name)
            elif m["category"] == "notice":
                self.assertEqual(records.get(uid, [None] * 3)[2], "-", "notice %s not recorded" % uid)
            else:
                self.assertNotIn(uid, records)
        # Deletions happened, each mail once, and only of decoded mails (check_consistent).
        deleted = [uid for uid, _ in self.deleted()]
        self.assertTrue(deleted, "no run got as far as deleting")
        self.assertEqual(len(deleted), len(set(deleted)))

        # Nothing is left to fetch: another run retrieves nothing.
        r = self.home.run(timeout=60)
        self.assertEqual(r.returncode, 0)
        commands = self.server.commands()
        last_login = len(commands) - commands[::-1].index("PASS ****")
        self.assertFalse([c for c in commands[last_login:] if c.startswith("RETR")])
        self.check_consistent("after a run with nothing new")
        return len(deleted)

    # ---- the tests

    def test_kills_at_random_moments(self):
        rng = random.Random(SEED)
        outcomes = collections.Counter()
        for k, moment in enumerate(kill_moments(rng), start=1):
            when = "after kill %d at %.2f s" % (k, moment)
            proc = self.home.popen()
            try:
                proc.wait(moment)
                outcomes["finished before the kill"] += 1
                self.assertEqual(proc.returncode, 0, "%s: the run ended with %d" % (when, proc.returncode))
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait(10)
                outcomes["killed"] += 1
            self.check_consistent(when)
        self.assertGreater(outcomes["killed"], KILLS // 2, outcomes)
        deleted = self.run_to_the_end()
        print("random kills:", dict(outcomes), "deleted:", deleted, file=sys.stderr)

    def test_kills_inside_file_writes(self):
        # Kills at random moments mostly land while a reply is awaited: the
        # writes take microseconds. A preloaded shim kills the process at the
        # n-th write, sync or rename of a chosen file instead.
        shim = build_kill_shim(self.root)
        if not shim:
            self.skipTest("no C compiler for the kill shim")
        rng = random.Random(SEED + 1)
        outcomes = collections.Counter()
        for k in range(SHIM_KILLS):
            call, match, when_, most = KILL_POINTS[k % len(KILL_POINTS)]
            n = rng.randint(1, most)
            when = "after a kill %s the %s #%d of %s" % (when_, call, n, match)
            env = {"LD_PRELOAD": shim, "KILL_CALL": call, "KILL_MATCH": match, "KILL_WHEN": when_, "KILL_AT": str(n),
                   # a sanitizer build would refuse a library loaded before its runtime
                   "ASAN_OPTIONS": ":".join(filter(None, [os.environ.get("ASAN_OPTIONS"),
                                                          "verify_asan_link_order=0"]))}
            proc = self.home.popen(env_extra=env)
            code = proc.wait(60)
            self.assertIn(code, (0, -signal.SIGKILL), when)
            outcomes["killed" if code else "finished"] += 1
            self.check_consistent(when)
        self.assertGreater(outcomes["killed"], SHIM_KILLS // 2, outcomes)
        deleted = self.run_to_the_end()
        print("kills inside writes:", dict(outcomes), "deleted:", deleted, file=sys.stderr)


class NothingDecoded(unittest.TestCase):
    """A data mail whose attachment is not in base64 writes no file: it must not be deleted."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = self.tmp.name
        self.mails = os.path.join(self.root, "mails")
        self.manifest = make_mails(self.mails, os.path.join(self.root, "manifest.json"), "--format", "files",
                                   "--order", "grouped", "--data", "3", "--notices", "0", "--info", "0",
                                   "--personal", "0", "--kinds", "DU,SH,KK")
        self.server = None

    def tearDown(self):
        if self.server:
            self.server.stop()
        self.tmp.cleanup()

    def test_only_mails_whose_file_was_written_are_deleted(self):
        second = self.manifest["mails"][1]
        with open(second["path"], "rb") as f:
            mail = f.read()
        for encoding in (b"BASE64", b"x-uuencode"):
            with self.subTest(encoding=encoding):
                header = b"Content-Transfer-Encoding: "
                with open(second["path"], "wb") as f:
                    f.write(mail.replace(header + b"base64", header + encoding))
                root = os.path.join(self.root, encoding.decode())
                os.makedirs(root)
                if self.server:
                    self.server.stop()
                self.server = Server(root, self.mails)
                home = ProgramFolder(root, ServerName="127.0.0.1", Port=str(self.server.port),
                                     UserName="kivrel", PassWord="secret", DeleteDownloadMail="True")
                r = home.run()
                self.assertEqual(r.returncode, 0)
                name = second["attachment"]["name"]
                self.assertFalse(os.path.exists(os.path.join(home.save[0], name)))
                with open(self.server.deleted_path, encoding="utf-8") as f:
                    deleted = [line.split()[2] for line in f if line.strip()]
                self.assertEqual(sorted(deleted), ["0001.eml", "0003.eml"])
                # Recorded as handled all the same, as it always was: it is not fetched again.
                self.assertEqual(sorted(e[2] for e in home.read_list()),
                                 sorted(m["attachment"]["name"] for m in self.manifest["mails"]))

if __name__ == "__main__":
    if not os.path.exists(BIN):
        print("kivrel binary not built:", BIN)
        sys.exit(77)
    unittest.main(verbosity=2)

"""One mailbox, two ways: commands in flight (Dovecot offers PIPELINING) and
one at a time (Pipelining=False). What the user sees and what the program keeps
must be the same: the activity log, the status lines, the data files, Kivrel.dat,
the backup log and the deletions - times aside."""

import glob
import os
import poplib
import re
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "lib"))
from kivrelrun import Dovecot, ProgramFolder, have_dovecot, make_mails, sha256  # noqa: E402

TIME = re.compile(r"\d{2}(?:\d{2})?/\d{1,2}/\d{1,2}( \d{1,2}:\d{2}(:\d{2})?)?")
# Dovecot's unique ids: the mail's uid, then the mailbox's uidvalidity, which
# differs between the two servers.
UIDVALIDITY = re.compile(r"\b([0-9a-f]{8})[0-9a-f]{8}\b")


def untimed(text):
    return UIDVALIDITY.sub(r"\1", TIME.sub("<time>", text))


def remaining_uids(port):
    p = poplib.POP3("127.0.0.1", port, timeout=30)
    p.user("kivrel")
    p.pass_("secret")
    uids = sorted(untimed(line.split()[1].decode()) for line in p.uidl()[1])
    p.quit()
    return uids


class BothWays(unittest.TestCase):
    def setUp(self):
        if not have_dovecot():
            self.skipTest("dovecot is not installed")
        self.tmp = tempfile.TemporaryDirectory()
        root = self.tmp.name
        mails = os.path.join(root, "mails")
        # Several kinds (some not chosen), notices, information and personal
        # mails, and old mails for the deletion rules.
        self.manifest = make_mails(mails, os.path.join(root, "manifest.json"), "--format", "maildir", "--data", "24",
                                   "--notices", "2", "--info", "3", "--personal", "6",
                                   "--kinds", "D1,TT,DU,SH,KK,CC,DW,SJ", "--date-base", "now",
                                   "--age-minutes", "20000,15000,12000,5,6,7")
        self.sides = {}
        for name, pipelining in (("pipelined", "True"), ("one-at-a-time", "False")):
            side = os.path.join(root, name)
            os.makedirs(side)
            dovecot = Dovecot(side, mails)
            home = ProgramFolder(side, ServerName="127.0.0.1", Port=str(dovecot.port), UserName="kivrel",
                                 PassWord="secret", BackupLog="True", DeleteDownloadMail="True",
                                 DeleteOldMail="True", KeepDays="7", Pipelining=pipelining)
            self.sides[name] = (dovecot, home)

    def tearDown(self):
        for dovecot, _ in getattr(self, "sides", {}).values():
            dovecot.stop()
        if hasattr(self, "tmp"):
            self.tmp.cleanup()

    def outcome(self, name):
        dovecot, home = self.sides[name]
        r = home.run()
        self.assertEqual(r.returncode, 0, r.stdout.decode(errors="replace") + r.stderr.decode(errors="replace"))
        # Every status line must match, progress lines included.
        status = [line for line in r.stdout.decode("utf-8").splitlines() if line]
        files = {os.path.basename(p): sha256(p) for p in glob.glob(os.path.join(home.save[0], "*"))}
        entries = [[untimed(f) for f in e[1:]] for e in home.read_list()]  # the handled time aside
        backup = b""
        for p in sorted(glob.glob(os.path.join(home.path, "KVLOG", "*.bkl"))):
            with open(p, "rb") as f:
                backup += f.read()
        return {"log": untimed(home.log()).splitlines(), "status": [untimed(s) for s in status], "files": files,
                "list": entries, "backup": backup, "server": remaining_uids(dovecot.port)}

    def test_same_result_both_ways(self):
        for run in ("first", "second"):
            a = self.outcome("pipelined")
            b = self.outcome("one-at-a-time")
            for key in a:
                self.assertEqual(a[key], b[key], "%s run: %s differs" % (run, key))
            if run == "first":
                wanted = [m for m in self.manifest["mails"]
                          if m["category"] == "data" and m["attachment"]["name"][:2] not in ("D1", "TT")]
                self.assertEqual(len(a["files"]), len(wanted))
                for m in wanted:
                    self.assertEqual(a["files"][m["attachment"]["name"]], m["attachment"]["sha256"])
                self.assertLess(len(a["server"]), len(self.manifest["mails"]))  # deletions happened


if __name__ == "__main__":
    unittest.main()

"""kivrel /a in a desktop session: on a private session bus, under Xvfb.

A run nobody started by hand that stored new data files sends one desktop
notification with the count and the names; a run with nothing new, or one
without a display, sends none. Under systemd (standard output is the journal
stream) the status lines go to standard output even with a display.
Skipped (77) without dbus-run-session, dbus-monitor, dbus-send or xvfb-run.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "lib"))
from kivrelrun import ProgramFolder, Server, make_mails  # noqa: E402

INSIDE = "KIVREL_TEST_SESSION_BUS"


class DesktopSession(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = self.tmp.name
        self.mails = os.path.join(self.root, "mails")
        self.manifest = make_mails(self.mails, os.path.join(self.root, "manifest.json"), "--format", "files",
                                   "--order", "grouped", "--data", "3", "--notices", "0", "--info", "0",
                                   "--personal", "0", "--kinds", "DU,SH,KK", "--date-base", "now")
        self.names = [m["attachment"]["name"] for m in self.manifest["mails"]]
        self.server = Server(self.root, self.mails)
        self.monitor_log = os.path.join(self.root, "monitor.log")
        self.sentinels = 0
        self.monitor = subprocess.Popen(["dbus-monitor", "--session", "interface='org.freedesktop.Notifications'"],
                                        stdout=open(self.monitor_log, "wb"), stderr=subprocess.DEVNULL)
        self.assertEqual(self.notifications(), [])  # the monitor is ready once it shows a sentinel

    def tearDown(self):
        self.monitor.terminate()
        self.monitor.wait(10)
        self.server.stop()
        self.tmp.cleanup()

    def folder(self, name):
        home = ProgramFolder(os.path.join(self.root, name), ServerName="127.0.0.1", Port=str(self.server.port),
                             UserName="kivrel", PassWord="secret")
        return home

    def run_kivrel(self, home, display, stdout_path, journal=False):
        env = home.env()
        cmd = [os.environ.get("KIVREL_BIN"), "/a"]
        if display:
            env["QT_QPA_PLATFORM"] = "xcb"
            cmd = ["xvfb-run", "-a"] + cmd
        with open(stdout_path, "wb") as out:
            if journal:
                st = os.fstat(out.fileno())
                env["JOURNAL_STREAM"] = "%d:%d" % (st.st_dev, st.st_ino)
            r = subprocess.run(cmd, env=env, stdout=out, stderr=subprocess.DEVNULL, timeout=300)
        with open(stdout_path, encoding="utf-8", errors="replace") as f:
            return r.returncode, f.read()

    def notifications(self):
        # Sentinel calls on the same interface, one a second, until the monitor
        # has written one: it is listening, and it has written every call that
        # came before that sentinel.
        deadline = time.monotonic() + 120
        while True:
            self.sentinels += 1
            tag = '"kivrel-sentinel-%d"' % self.sentinels
            subprocess.run(["dbus-send", "--session", "--type=method_call", "--dest=org.freedesktop.Notifications",
                            "/org/freedesktop/Notifications", "org.freedesktop.Notifications.Sentinel",
                            "string:" + tag.strip('"')], check=True, timeout=60)
            for _ in range(20):
                with open(self.monitor_log, encoding="utf-8", errors="replace") as f:
                    text = f.read()
                if tag in text:
                    return [call for call in text.split("method call")[1:] if "member=Notify" in call]
                time.sleep(0.05)
            self.assertLess(time.monotonic(), deadline, "the bus monitor never showed a sentinel")

    def test_new_files_are_announced_once_and_only_with_a_display(self):
        headless = self.folder("headless")
        rc, _ = self.run_kivrel(headless, False, os.path.join(self.root, "headless.out"))
        self.assertEqual(rc, 0)
        self.assertEqual(sorted(os.listdir(headless.save[0])), sorted(self.names))
        self.assertEqual(self.notifications(), [], "a headless run sends no notification")

        home = self.folder("desktop")
        rc, out = self.run_kivrel(home, True, os.path.join(self.root, "desktop.out"))
        self.assertEqual(rc, 0)
        self.assertEqual(out, "", "with a display and no journal the status lines stay in the window")
        calls = self.notifications()
        self.assertEqual(len(calls), 1, calls)
        self.assertIn('string "Kivrel"', calls[0])
        self.assertIn('string "新着ﾃﾞｰﾀ 3件"', calls[0])
        for name in self.names:
            self.assertIn(name, calls[0])

        rc, out = self.run_kivrel(home, True, os.path.join(self.root, "again.out"), journal=True)
        self.assertEqual(rc, 0)
        self.assertEqual(len(self.notifications()), 1, "nothing new, nothing to announce")
        self.assertIn("新着ﾃﾞｰﾀはありません", out, "under systemd the status lines reach the journal")


if __name__ == "__main__":
    tools = ("dbus-run-session", "dbus-monitor", "dbus-send", "xvfb-run")
    if any(shutil.which(t) is None for t in tools) or not os.environ.get("KIVREL_BIN"):
        print("skipped: needs %s and KIVREL_BIN" % ", ".join(tools))
        sys.exit(77)
    if not os.environ.get(INSIDE):
        env = dict(os.environ, **{INSIDE: "1"})
        sys.exit(subprocess.call(["dbus-run-session", "--", sys.executable, __file__], env=env))
    unittest.main()

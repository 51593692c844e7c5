"""A second kivrel /a on a program folder where another one is downloading is
refused by the lock (exit 3) and leaves the running one's activity log as it
is; a lock that cannot be made at all is its own failure (exit 1)."""

import os
import shutil
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "lib"))
from kivrelrun import BIN, ProgramFolder, Server, make_mails  # noqa: E402


class SecondStart(unittest.TestCase):
    def setUp(self):
        if not os.access(BIN, os.X_OK):
            raise unittest.SkipTest("no kivrel binary")
        self.root = tempfile.mkdtemp(prefix="kivrel-second-")
        make_mails(os.path.join(self.root, "mails"), os.path.join(self.root, "manifest.json"), "--data", "1")
        # The first run logs in, then waits on a STAT that is never answered.
        self.server = Server(self.root, os.path.join(self.root, "mails"), "STAT:*:silence")
        self.home = ProgramFolder(self.root, ServerName="127.0.0.1", Port=str(self.server.port),
                                  UserName="kivrel", PassWord="secret")

    def tearDown(self):
        self.server.stop()
        shutil.rmtree(self.root, ignore_errors=True)

    def asked_stat(self):
        return os.path.exists(self.server.log_path) and "STAT" in self.server.commands()

    def test_refused_start_leaves_the_log_whole(self):
        first = self.home.popen()
        try:
            deadline = time.monotonic() + 30
            while not self.asked_stat() and time.monotonic() < deadline:
                time.sleep(0.05)
            self.assertTrue(self.asked_stat())
            before = self.home.log()
            second = self.home.run(timeout=60)
            self.assertEqual(second.returncode, 3)
            self.assertIn("別のKivrelがﾀﾞｳﾝﾛｰﾄﾞ中のため、実行しませんでした", second.stdout.decode())
            self.assertEqual(self.home.log(), before)
        finally:
            first.kill()
            first.wait(10)

    def test_lock_that_cannot_be_made(self):
        # A folder where the lock file belongs: it cannot be made, whoever runs this.
        os.mkdir(os.path.join(self.home.path, "Kivrel.lock"))
        result = self.home.run(timeout=60)
        self.assertEqual(result.returncode, 1)
        out = result.stdout.decode()
        self.assertIn("Kivrel.lock'が作成できないため、実行しませんでした", out)
        self.assertNotIn("別のKivrel", out)


if __name__ == "__main__":
    unittest.main()

"""kivrel /a without a display runs on the console host, with a display (here
offscreen) in the window: for the same mailbox both must print the same status
texts and message boxes, log the same activity, write the same files and
Kivrel.dat, delete the same mails and end with the same exit code."""

import os
import re
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "lib"))
from kivrelrun import BIN, ProgramFolder, Server, make_mails, sha256  # noqa: E402

# Times differ between two runs; everything else must not.
TIME = re.compile(r"\d{2}(?:\d{2})?/\d{1,2}/\d{1,2}( \d{1,2}:\d{2}(:\d{2})?)?")


def normalised(text, root):
    return TIME.sub("<time>", text.replace(root, "<root>")).splitlines()


class ConsoleAndWindow(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.mails = os.path.join(self.tmp.name, "mails")
        make_mails(self.mails, os.path.join(self.tmp.name, "manifest.json"), "--format", "files", "--seed", "11",
                   "--order", "mixed", "--data", "6", "--notices", "1", "--info", "1", "--personal", "1",
                   "--kinds", "DU,SH,TT", "--days-back", "30")

    def tearDown(self):
        self.tmp.cleanup()

    def outcome(self, name, env_extra):
        """Two runs (the second finds nothing new) and what they left."""
        root = os.path.join(self.tmp.name, name)
        os.makedirs(root)
        server = Server(root, self.mails)
        try:
            home = ProgramFolder(root, ServerName="127.0.0.1", Port=str(server.port), UserName="kivrel",
                                 PassWord="secret", DeleteDownloadMail="True", BackupLog="True")
            # The backup-log folder cannot be made: a message box, answered with OK.
            open(os.path.join(home.path, "KVLOG"), "w").close()
            runs = []
            for _ in range(2):
                r = home.run(env_extra=env_extra, timeout=120)
                runs.append((r.returncode, normalised(r.stdout.decode("utf-8", errors="replace"), root),
                             normalised(home.log(), root)))
            files = {n: sha256(os.path.join(home.save[0], n)) for n in sorted(os.listdir(home.save[0]))}
            records = [[TIME.sub("<time>", f.replace(root, "<root>")) for f in line] for line in home.read_list()]
            with open(server.deleted_path, encoding="utf-8") as f:
                deleted = sorted(line.split()[2] for line in f if line.strip())
        finally:
            server.stop()
        return {"runs": runs, "files": files, "records": records, "deleted": deleted}

    def test_same_run_on_the_console_and_in_the_window(self):
        window = self.outcome("window", {"QT_QPA_PLATFORM": "offscreen"})
        console = self.outcome("console", None)
        self.assertEqual(window["runs"][0][0], 0)
        self.assertTrue(window["files"] and window["deleted"] and window["records"])
        self.assertTrue(any("Kivrel: " in line for line in window["runs"][0][1]), "the message box is not printed")
        for key in ("files", "records", "deleted"):
            self.assertEqual(console[key], window[key], key)
        for n, (w, c) in enumerate(zip(window["runs"], console["runs"]), start=1):
            self.assertEqual(c[0], w[0], "exit code of run %d" % n)
            self.assertEqual(c[1], w[1], "standard output of run %d" % n)
            self.assertEqual(c[2], w[2], "activity log of run %d" % n)


if __name__ == "__main__":
    if not os.path.exists(BIN):
        print("kivrel binary not built:", BIN)
        sys.exit(77)
    unittest.main(verbosity=2)

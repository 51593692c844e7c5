"""kivrel /a logs in the way the mailbox asks.

Against Dovecot configured for one method at a time (USER/PASS refused), the
default AuthMethod=Auto logs in and fetches; Dovecot's own log names the
method. Against the fault server, the OAuth 2.0 bearer methods take their
token from a PasswordCommand script: the right token fetches, a wrong one
ends with 1 after the reply RFC 7628 asks for, and a failing command sends
nothing at all. The token never reaches KVLOG.TXT.
"""

import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "lib"))
from kivrelrun import BIN, Dovecot, ProgramFolder, Server, have_dovecot, make_mails, sha256  # noqa: E402

TOKEN = "ya29.kivrel-test-token-0123456789"
# (Dovecot's auth_mechanisms, the method its log must name)
DOVECOT_METHODS = [("scram-sha-256", "SCRAM-SHA-256"), ("scram-sha-1", "SCRAM-SHA-1"),
                   ("cram-md5", "CRAM-MD5"), ("apop", "APOP")]
# (AuthMethod, token the command prints, command's exit status, exit code, client's reply to the error challenge)
BEARER_ROWS = [("XOAUTH2", TOKEN, 0, 0, None), ("XOAUTH2", "expired", 0, 1, ""),
               ("OAUTHBEARER", TOKEN, 0, 0, None), ("OAUTHBEARER", "expired", 0, 1, "AQ=="),
               ("OAUTHBEARER", TOKEN, 3, 1, None)]


def make_sample(root):
    return make_mails(os.path.join(root, "mails"), os.path.join(root, "manifest.json"), "--format", "files",
                      "--data", "2", "--notices", "0", "--info", "0", "--personal", "1", "--kinds", "DU,SH")


def fetched(home, manifest):
    """The data files that are not in the save folder as their attachments."""
    wrong = []
    for m in manifest["mails"]:
        if m["category"] == "data":
            path = os.path.join(home.save[0], m["attachment"]["name"])
            if not os.path.exists(path) or sha256(path) != m["attachment"]["sha256"]:
                wrong.append(m["attachment"]["name"])
    return wrong


class LoginMethods(unittest.TestCase):
    def test_auto_logs_in_where_dovecot_offers_one_method(self):
        if not have_dovecot():
            self.skipTest("dovecot is not installed")
        for mechanisms, method in DOVECOT_METHODS:
            with self.subTest(method), tempfile.TemporaryDirectory() as root:
                manifest = make_sample(root)
                dovecot = Dovecot(root, os.path.join(root, "mails"), auth_mechanisms=mechanisms)
                try:
                    home = ProgramFolder(root, ServerName="127.0.0.1", Port=str(dovecot.port), UserName="kivrel",
                                         PassWord="secret")
                    r = home.run(timeout=120)
                    wrong = ProgramFolder(os.path.join(root, "wrong"), ServerName="127.0.0.1",
                                          Port=str(dovecot.port), UserName="kivrel", PassWord="not-it")
                    refused = wrong.run(timeout=120)
                    with open(dovecot.env["KIVREL_TEST_DOVECOT_LOG"], encoding="utf-8", errors="replace") as f:
                        server_log = f.read()
                finally:
                    dovecot.stop()
                self.assertEqual(r.returncode, 0, home.log())
                self.assertEqual(fetched(home, manifest), [])
                self.assertIn("method=%s" % method, server_log)
                # A refused password is refused by the same method, with the server's words in the log.
                self.assertEqual(refused.returncode, 1)
                self.assertIn("-ERR [AUTH]", wrong.log())

    def test_bearer_token_from_a_password_command(self):
        for method, token, status, code, reply in BEARER_ROWS:
            name = "%s %s status %d" % (method, token, status)
            with self.subTest(name), tempfile.TemporaryDirectory() as root:
                manifest = make_sample(root)
                script = os.path.join(root, "token helper")
                with open(script, "w") as f:
                    f.write("#!/bin/sh\necho '%s'\necho second line\nexit %d\n" % (token, status))
                os.chmod(script, 0o700)
                server = Server(root, os.path.join(root, "mails"), extra=("--oauth-token", TOKEN))
                try:
                    home = ProgramFolder(root, ServerName="127.0.0.1", Port=str(server.port), UserName="kivrel",
                                         PasswordStore="Command", PasswordCommand='"%s" --for kivrel' % script,
                                         AuthMethod=method)
                    r = home.run(timeout=120)
                finally:
                    server.stop()
                commands = server.commands() if os.path.exists(server.log_path) else []
                self.assertEqual(r.returncode, code, home.log())
                self.assertNotIn(TOKEN, home.log())
                if status != 0:
                    self.assertEqual([c for c in commands if c.split(" ")[0] in ("AUTH", "USER", "PASS")], [])
                elif code == 0:
                    self.assertEqual(fetched(home, manifest), [])
                else:
                    self.assertEqual(commands[commands.index("AUTH %s ****" % method) + 1], reply)
                    self.assertIn("invalid_token", home.log())


if __name__ == "__main__":
    if not os.path.exists(BIN):
        print("kivrel binary not built:", BIN)
        sys.exit(77)
    unittest.main(verbosity=2)

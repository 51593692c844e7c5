#!/usr/bin/env python3
"""The test tools work end to end: generated mails pass through Dovecot (plain,
implicit TLS, STARTTLS), the fault server and the latency proxy byte for byte,
their attachments decode to the manifest's sha256 and are whole LZH archives, the fault server's faults and
records behave as documented, and the proxy delays each way and passes a close on. Exit 77 when Dovecot or openssl is missing."""

import email
import email.policy
import hashlib
import json
import os
import poplib
import shutil
import socket
import ssl
import subprocess
import sys
import tempfile
import time

SOURCE = os.environ.get("KIVREL_SOURCE_DIR") or os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
TOOLS = os.path.join(SOURCE, "tools")
DATA_SUBJECT = b"[TURFNET Internet Services]  Power Data"

failures = []
passes = 0


def check(cond, what):
    global passes
    if cond:
        passes += 1
    else:
        failures.append(what)
        print("FAIL: " + what, flush=True)


def tool(name, *args, **kw):
    return subprocess.run([sys.executable, os.path.join(TOOLS, name), *args], check=True,
                          stdout=subprocess.PIPE, text=True, timeout=120, **kw).stdout


def parse_like_program(raw):
    """The program's parse of a retrieved mail, reduced to what the tools must satisfy:
    header ends at the first empty line, the text part's body starts after the next
    empty line and ends at "--boundary"; the attachment name is the later of name=
    and Content-Description."""
    state, boundary, subject, body, name = 0, None, None, [], None
    for line in raw.split(b"\r\n"):
        low = line.lower()
        if state == 0:
            if low.startswith(b"subject: "):
                subject = line[9:]
            elif b"content-type: multipart/mixed; boundary=" in low:
                boundary = line[40:].strip(b'"')
            elif line == b"":
                state = 1
        elif state == 1:
            state = 2 if line == b"" else 1
        elif state == 2:
            if boundary is not None and line == b"--" + boundary:
                state = 3
            else:
                body.append(line)
        elif state == 3:
            if b"content-type: application/octet-stream; name=" in low:
                name = line[45:].strip(b'"')
            if low.startswith(b"content-description: "):
                name = line[21:]
            if line == b"":
                break
    return subject, b"\r\n".join(body), name


def attachment_of(raw):
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    for part in msg.walk():
        if part.get_content_type() == "application/octet-stream":
            return part.get_payload(decode=True)
    return None


def check_mailbox(conn, manifest, label):
    mails = manifest["mails"]
    count, _ = conn.stat()
    check(count == len(mails), "%s: STAT counts %d mails" % (label, len(mails)))
    uids = [line.split()[1] for line in conn.uidl()[1]]
    check(len(set(uids)) == len(mails), "%s: UIDL gives distinct ids" % label)
    sizes = [int(line.split()[1]) for line in conn.list()[1]]
    check(sizes == [m["mail_size"] for m in mails], "%s: LIST sizes equal the files' sizes" % label)
    for m in mails:
        raw = b"\r\n".join(conn.retr(m["number"])[1]) + b"\r\n"
        check(hashlib.sha256(raw).hexdigest() == m["mail_sha256"], "%s: RETR %d is byte-identical" % (label, m["number"]))
        if "attachment" in m:
            data = attachment_of(raw)
            check(data is not None and hashlib.sha256(data).hexdigest() == m["attachment"]["sha256"],
                  "%s: attachment of %d decodes to the manifest's sha256" % (label, m["number"]))
    top = conn.top(1, 3)[1]
    check(b"" in top and len(top) == top.index(b"") + 4, "%s: TOP 1 3 gives the header and 3 lines" % label)


def lha_test(path):
    """True when `lhasa t` (Debian's lhasa) finds every member whole. Debian's
    `lha` may be another archiver that reports success on a CRC error."""
    if not shutil.which("lhasa"):
        check(False, "lhasa is installed (scripts/install-deps.sh)")
        return False
    return subprocess.run(["lhasa", "t", path], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def check_generator(work):
    out = os.path.join(work, "mails")
    tool("make-sample-mails", "--out", out, "--seed", "7", "--data", "4", "--notices", "1", "--info", "1",
         "--personal", "2", "--attach-sizes", "1,57,4096,70000", "--nasty", "dotdot,descname,one-blank,jis-subject")
    again = os.path.join(work, "again")
    tool("make-sample-mails", "--out", again, "--seed", "7", "--data", "4", "--notices", "1", "--info", "1",
         "--personal", "2", "--attach-sizes", "1,57,4096,70000", "--nasty", "dotdot,descname,one-blank,jis-subject",
         "--format", "files")
    with open(os.path.join(out, "manifest.json"), encoding="utf-8") as f:
        manifest = json.load(f)
    with open(os.path.join(again, "manifest.json"), encoding="utf-8") as f:
        manifest2 = json.load(f)
    check([m["mail_sha256"] for m in manifest["mails"]] == [m["mail_sha256"] for m in manifest2["mails"]],
          "generator: same seed, same mails in both formats")
    for m in manifest["mails"]:
        with open(m["path"], "rb") as f:
            raw = f.read()
        check(b"\n" not in raw.replace(b"\r\n", b""), "generator: mail %d has CR LF line ends only" % m["number"])
        subject, body, name = parse_like_program(raw)
        if "attachment" in m:
            with open(m["attachment"]["path"], "rb") as f:
                check(hashlib.sha256(f.read()).hexdigest() == m["attachment"]["sha256"],
                      "generator: side file of %d matches its sha256" % m["number"])
            check(lha_test(m["attachment"]["path"]),
                  "generator: attachment of %d is a whole LZH archive to lhasa" % m["number"])
            check(name == m["attachment"]["name"].encode("latin-1"),
                  "generator: mail %d's attachment name reads as %r" % (m["number"], m["attachment"]["name"]))
            check(m["description"] in body.decode("iso2022_jp"),
                  "generator: mail %d's body holds its description line" % m["number"])
        if m["expect"] == "data":
            check(subject.lower() == DATA_SUBJECT.lower() and body != b"",
                  "generator: mail %d is a data mail to the parser" % m["number"])
        if m["expect"] == "notice":
            check("再度、ご購入のほど" in body.decode("iso2022_jp"),
                  "generator: notice %d carries the renewal phrase in its body" % m["number"])
    # The archive test can fail: one changed byte of a member is found.
    largest = max((m for m in manifest["mails"] if "attachment" in m), key=lambda m: m["attachment"]["size"])
    with open(largest["attachment"]["path"], "rb") as f:
        damaged = bytearray(f.read())
    damaged[len(damaged) // 2] ^= 0x01
    damaged_path = os.path.join(work, "damaged.LZH")
    with open(damaged_path, "wb") as f:
        f.write(damaged)
    check(not lha_test(damaged_path), "generator: lhasa finds a changed byte in an archive")
    return out, manifest


def check_dovecot(work, mails, manifest):
    fixture = os.path.join(TOOLS, "dovecot-fixture")
    dirs = [os.path.join(work, "dove1"), os.path.join(work, "dove2")]
    try:
        envs = []
        for d in dirs:  # two instances side by side
            out = tool("dovecot-fixture", "start", d, "--maildir-from", mails)
            envs.append(dict(line.split("=", 1) for line in out.splitlines() if "=" in line))
        env = envs[0]
        check(env["KIVREL_TEST_POP3_PORT"] != envs[1]["KIVREL_TEST_POP3_PORT"], "dovecot: parallel instances use own ports")
        port, tls_port = int(env["KIVREL_TEST_POP3_PORT"]), int(env["KIVREL_TEST_POP3S_PORT"])
        ctx = ssl.create_default_context(cafile=env["KIVREL_TEST_CA"])
        for mode in ("plain", "tls", "stls"):
            if mode == "tls":
                conn = poplib.POP3_SSL("127.0.0.1", tls_port, context=ctx, timeout=20)
            else:
                conn = poplib.POP3("127.0.0.1", port, timeout=20)
                if mode == "stls":
                    conn.stls(context=ctx)
            conn.user(env["KIVREL_TEST_POP3_USER"])
            conn.pass_(env["KIVREL_TEST_POP3_PASSWORD"])
            check_mailbox(conn, manifest, "dovecot " + mode)
            conn.quit()
        uids = poplib.POP3("127.0.0.1", port, timeout=20)
        uids.user(env["KIVREL_TEST_POP3_USER"])
        uids.pass_(env["KIVREL_TEST_POP3_PASSWORD"])
        before = uids.uidl()[1]
        uids.dele(1)
        uids.quit()
        conn = poplib.POP3("127.0.0.1", port, timeout=20)
        conn.user(env["KIVREL_TEST_POP3_USER"])
        conn.pass_(env["KIVREL_TEST_POP3_PASSWORD"])
        after = [line.split()[1] for line in conn.uidl()[1]]
        conn.quit()
        check(after == [line.split()[1] for line in before[1:]], "dovecot: DELE at QUIT removes the mail, other UIDs stay")
        bad = poplib.POP3("127.0.0.1", port, timeout=20)
        bad.user(env["KIVREL_TEST_POP3_USER"])
        try:
            bad.pass_("wrong")
            check(False, "dovecot: a wrong password is refused")
        except poplib.error_proto:
            check(True, "")
        bad.close()
    finally:
        stops = [subprocess.Popen([sys.executable, fixture, "stop", d]) for d in dirs]
        for proc in stops:
            proc.wait(timeout=60)
    for d in dirs:
        pid_file = os.path.join(d, "run", "master.pid")
        if os.path.exists(pid_file):
            with open(pid_file) as f:
                pid = int(f.read())
            alive = os.path.exists("/proc/%d/cmdline" % pid) and b"dovecot" in open("/proc/%d/cmdline" % pid, "rb").read()
            check(not alive, "dovecot: stop ends the instance")


def start_fault_server(work, manifest_path, *extra):
    log, deleted = os.path.join(work, "commands.log"), os.path.join(work, "deleted.txt")
    for p in (log, deleted):
        if os.path.exists(p):
            os.unlink(p)
    proc = subprocess.Popen([sys.executable, os.path.join(TOOLS, "pop3-fault-server"), "--manifest", manifest_path,
                             "--port", "0", "--log", log, "--deleted-file", deleted, "--max-runtime", "300", *extra],
                            stdout=subprocess.PIPE, text=True)
    port = int(proc.stdout.readline())
    return proc, port, log, deleted


def login(port, timeout=20):
    conn = poplib.POP3("127.0.0.1", port, timeout=timeout)
    conn.user("kivrel")
    conn.pass_("secret")
    return conn


def check_fault_server(work, mails, manifest):
    manifest_path = os.path.join(mails, "manifest.json")
    proc, port, log, deleted = start_fault_server(work, manifest_path)
    try:
        conn = login(port)
        check_mailbox(conn, manifest, "fault server")
        conn.dele(2)
        conn.dele(3)
        conn.rset()
        conn.dele(3)
        conn.quit()
        conn = login(port)
        check(conn.stat()[0] == len(manifest["mails"]) - 1, "fault server: deletion applied at QUIT")
        conn.quit()
        with open(deleted) as f:
            lines = f.read().splitlines()
        check(len(lines) == 1 and lines[0].startswith("3 "), "fault server: deleted-file lists message 3 only")
        with open(log) as f:
            logged = f.read()
        check("PASS ****" in logged and "secret" not in logged and "RETR 1\n" in logged,
              "fault server: commands logged, password masked")
    finally:
        proc.terminate()
        proc.wait(timeout=30)

    proc, port, log, deleted = start_fault_server(
        work, manifest_path, "--fault", "RETR:2:err=injected", "--fault", "RETR:1:no-final-dot:times=1",
        "--fault", "TOP:1:drop-mid=50")
    try:
        conn = login(port, timeout=3)
        try:
            conn.retr(2)
            check(False, "fault server: err fault answers -ERR")
        except poplib.error_proto as e:
            check(b"injected" in e.args[0], "fault server: err fault answers -ERR")
        try:
            conn.retr(1)
            check(False, "fault server: no-final-dot leaves the reply open")
        except (socket.timeout, TimeoutError):
            check(True, "")
        conn.close()
        conn = login(port, timeout=10)
        raw = b"\r\n".join(conn.retr(1)[1]) + b"\r\n"
        check(hashlib.sha256(raw).hexdigest() == manifest["mails"][0]["mail_sha256"],
              "fault server: times=1 fault applies once")
        try:
            conn.top(1, 5)
            check(False, "fault server: drop-mid closes the connection")
        except (socket.timeout, TimeoutError):
            check(False, "fault server: drop-mid closes the connection (it timed out instead)")
        except (poplib.error_proto, EOFError, ConnectionError, OSError):
            check(True, "")
        conn.close()
    finally:
        proc.terminate()
        proc.wait(timeout=30)


CLOSED = "closed"  # as a step: wait for the server to close; in the replies: it closed here


def exchange(port, steps, quiet=0.6):
    """Greeting, then per step (a command, or None: wait for more) the bytes that
    came until `quiet` seconds passed without any. Once the server closes the
    line, CLOSED follows the bytes and the later steps are not taken; a CLOSED
    step waits up to a minute for that."""
    sock = socket.create_connection(("127.0.0.1", port), timeout=quiet)
    out = []
    for step in [None] + steps:
        if step not in (None, CLOSED):
            sock.sendall(step.encode("latin-1") + b"\r\n")
        got = b""
        sock.settimeout({None: 5, CLOSED: 60}.get(step, quiet))
        while True:
            try:
                data = sock.recv(1 << 20)
            except (socket.timeout, TimeoutError):
                break
            if not data:
                sock.close()
                return out + [got, CLOSED]
            got += data
            if step != CLOSED:
                sock.settimeout(quiet)
        out.append(got)
    sock.close()
    return out


LOGIN = ["USER kivrel", "PASS secret"]

# (server options, steps, what the replies must be, what); {d} is a data mail's number.
FAULT_ROWS = [
    (["--fault", "STAT:*:status=+OK 99999999999999999999 0"], LOGIN + ["STAT"],
     lambda r: r[-1] == b"+OK 99999999999999999999 0\r\n", "status= replaces the first line"),
    (["--uidl-format", "index", "--fault", "UIDL:2:value=a\\tb", "--fault", "UIDL:3:same-as=1", "--fault",
      "UIDL:1:renumber=0"], LOGIN + ["UIDL", "UIDL 2"],
     lambda r: r[-2].split(b"\r\n")[1:4] == [b"0 kv00000001", b"2 a\tb", b"3 kv00000001"] and
     r[-1] == b"+OK 2 a\tb\r\n",
     "line actions change UIDL lines and UIDL n"),
    (["--fault", "LIST:2:missing", "--fault", "LIST:*:extra-line=9 77"], LOGIN + ["LIST", "LIST 2"],
     lambda r: b"\r\n2 " not in r[-2] and r[-2].endswith(b"\r\n9 77\r\n.\r\n") and r[-1].startswith(b"-ERR"),
     "missing and extra-line in LIST"),
    (["--fault", "NOOP:*:unasked"], LOGIN + ["NOOP"], lambda r: r[-1] == b"+OK\r\n+OK\r\n", "unasked bytes follow"),
    (["--fault", "RETR:{d}:pause-in-close=1.5"], LOGIN + ["RETR {d}", None, "NOOP"],
     lambda r: r[-3].endswith(b"--") and r[-2] == b"\r\n.\r\n" and r[-1] == b"+OK\r\n",
     "pause-in-close pauses before the boundary's line end and goes on serving"),
    (["--fault", "TOP:1:stall-mid=1.5"], LOGIN + ["TOP 1 0", None],
     lambda r: r[-2] and not r[-2].endswith(b"\r\n.\r\n") and (r[-2] + r[-1]).endswith(b"\r\n.\r\n"),
     "stall-mid sends half, then the rest"),
    (["--fault", "TOP:1:stall-mid=until-NOOP"], LOGIN + ["TOP 1 0", None, "NOOP"],
     lambda r: r[-3] and not r[-3].endswith(b"\r\n.\r\n") and r[-2] == b"" and
     (r[-3] + r[-1]).endswith(b"\r\n.\r\n+OK\r\n"),
     "stall-mid=until-NOOP holds the rest until the client sends NOOP"),
    (["--fault", "STLS:*:unasked=junk\\r\\n"], ["STLS", "USER kivrel", CLOSED],
     lambda r: r[1] == b"+OK Begin TLS negotiation\r\njunk\r\n" and r[-1] == CLOSED and not any(r[2:-1]),
     "STLS answered with the extra bytes in one piece, then closed"),
    (["--fault", "GREETING:*:endless-line=3000000"], [],
     lambda r: len(r[0]) == 3000004 and b"\n" not in r[0], "endless-line never ends the line"),
    (["--no-capa"], ["CAPA"], lambda r: r[1].startswith(b"-ERR"), "--no-capa refuses CAPA"),
    (["--pipelining"], ["CAPA"], lambda r: b"\r\nPIPELINING\r\n" in r[1], "--pipelining offers PIPELINING"),
]


def check_fault_rows(work, manifest_path, manifest):
    d = next(m["number"] for m in manifest["mails"] if m["category"] == "data")
    for options, steps, sound, what in FAULT_ROWS:
        proc, port, _, _ = start_fault_server(work, manifest_path, *(o.format(d=d) for o in options))
        try:
            replies = exchange(port, [s if s in (None, CLOSED) else s.format(d=d) for s in steps])
            try:
                sound_replies = sound(replies)
            except (TypeError, IndexError):  # CLOSED or too few replies where bytes were due
                sound_replies = False
            check(sound_replies, "fault server: %s (%r)" % (what, [r[:200] for r in replies]))
        finally:
            proc.terminate()
            proc.wait(timeout=30)


def check_latency_proxy(work, mails, manifest):
    server, server_port, _, _ = start_fault_server(work, os.path.join(mails, "manifest.json"))
    log = os.path.join(work, "proxy.log")
    proxy = subprocess.Popen([sys.executable, os.path.join(TOOLS, "latency-proxy"), "--target", str(server_port),
                              "--delay", "40", "--log", log, "--max-runtime", "300"], stdout=subprocess.PIPE, text=True)
    try:
        port = int(proxy.stdout.readline())
        conn = login(port)
        check_mailbox(conn, manifest, "latency proxy")
        started = time.monotonic()
        conn.noop()
        # A lower bound only: a loaded machine may add to it, never take from it.
        check(time.monotonic() - started >= 0.08, "latency proxy: a round trip takes both directions' delay")
        conn.quit()
        conn.close()
        deadline = time.monotonic() + 60  # the line is written once both sides have closed
        while not os.path.exists(log) and time.monotonic() < deadline:
            time.sleep(0.05)
        with open(log) as f:
            lines = f.read().splitlines()
        check(len(lines) == 1 and "reset" not in lines[0], "latency proxy: the server's close reaches the client")
    finally:
        for proc in (proxy, server):
            proc.terminate()
            proc.wait(timeout=30)


def main():
    if not (shutil.which("dovecot") or os.path.exists("/usr/sbin/dovecot")) or not shutil.which("openssl"):
        print("dovecot or openssl not installed: skipped")
        return 77
    with tempfile.TemporaryDirectory(prefix="kivrel-tools-") as work:
        mails, manifest = check_generator(work)
        check_dovecot(work, mails, manifest)
        check_fault_server(work, mails, manifest)
        check_fault_rows(work, os.path.join(mails, "manifest.json"), manifest)
        check_latency_proxy(work, mails, manifest)
    print("%d passed, %d failed" % (passes, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

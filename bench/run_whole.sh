#!/bin/bash
# Whole run against Dovecot on loopback: `kivrel /a` (automatic mode, no display)
# side by side with mpop on the same mailbox, then a second run of each with
# nothing new; the same four runs again through tools/latency-proxy with a delay
# each way (a long line's round trip), and mpop through the proxy without delay
# (what the proxy itself costs); the baseline of kivrel against an empty
# mailbox; and the CPU use of kivrel /a while it waits on a stalled server.
#
#   bench/run_whole.sh [build-folder] [--rounds N] [--delay MS] [--no-delay] [--no-stall]
#
# build-folder defaults to build-bench (a Release build with bin/kivrel).
# --delay MS: one-way delay of the delayed link (default 15, a 30 ms round
# trip); --no-delay leaves out everything through the proxy.
# Needs dovecot-pop3d, mpop and GNU time (/usr/bin/time).
# Every figure comes from `/usr/bin/time -f`: wall time, user + sys CPU time,
# peak RSS. With --rounds N the mailbox comparison is repeated N times (fresh
# program folder, fresh mpop state each time) and each run's best round (least
# wall time) is shown, as the machine may be shared.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build-bench
rounds=1
stall=1
delay=15
delayed=1
while [ $# -gt 0 ]; do
    case $1 in
    --rounds) rounds=$2; shift 2 ;;
    --delay) delay=$2; shift 2 ;;
    --no-delay) delayed=0; shift ;;
    --no-stall) stall=0; shift ;;
    -h | --help) sed -n '2,18p' "$0"; exit 0 ;;
    *) build=$(cd "$1" && pwd); shift ;;
    esac
done
. "$here/bench/lib.sh"
need_tools

proxy_pids=()
work=$(mktemp -d "${TMPDIR:-/tmp}/kivrel-whole.XXXXXX")
chmod 755 "$work" # Dovecot's login processes (as root: dovenull) must reach the mailbox below it
cleanup() {
    "$here/tools/dovecot-fixture" stop "$work/dovecot" > /dev/null 2>&1 || true
    "$here/tools/dovecot-fixture" stop "$work/dovecot-empty" > /dev/null 2>&1 || true
    [ -n "${fault_pid:-}" ] && kill "$fault_pid" 2> /dev/null || true
    for pid in "${proxy_pids[@]}"; do kill "$pid" 2> /dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

DATA=200 INFO=200 PERSONAL=600 ATTACH=375000 TEXT=1500,3500
echo "== load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== mailbox: $DATA data mails (attachment $ATTACH bytes), $((INFO + PERSONAL)) other mails ($TEXT bytes)"
"$here/tools/make-sample-mails" --out "$work/mails" --format maildir --data $DATA --notices 0 --info $INFO \
    --personal $PERSONAL --attach-bytes $ATTACH --text-bytes $TEXT --kinds DU,DW,DX,DZ,SH,SJ,SQ,KK,CC \
    --date-base now --days-back 5 --attachments-dir "$work/attachments" > /dev/null
python3 - "$work/mails/manifest.json" << 'EOF'
import json, sys
m = json.load(open(sys.argv[1]))["mails"]
data = [x["mail_size"] for x in m if x["category"] == "data"]
other = [x["mail_size"] for x in m if x["category"] != "data"]
print("   %d mails, %d bytes; data mails %d..%d bytes, other mails %d..%d bytes" % (
    len(m), sum(data) + sum(other), min(data), max(data), min(other), max(other)))
EOF
largest=$(python3 -c 'import json,sys; print(max(x["mail_size"] for x in json.load(open(sys.argv[1]))["mails"]))' \
    "$work/mails/manifest.json")

mkdir -p "$work/empty/new" "$work/empty/cur" "$work/empty/tmp"
"$here/tools/dovecot-fixture" start "$work/dovecot" --maildir-from "$work/mails" > "$work/dovecot.env"
"$here/tools/dovecot-fixture" start "$work/dovecot-empty" --maildir-from "$work/empty" > "$work/dovecot-empty.env"
port=$(sed -n 's/^KIVREL_TEST_POP3_PORT=//p' "$work/dovecot.env")
empty_port=$(sed -n 's/^KIVREL_TEST_POP3_PORT=//p' "$work/dovecot-empty.env")

# A latency proxy in front of Dovecot: $1 name, $2 one-way delay in ms. Sets
# proxy_port; the proxy logs each finished connection to $work/$1.log.
start_proxy() {
    "$here/tools/latency-proxy" --target "$port" --delay "$2" --ready-file "$work/$1.port" \
        --log "$work/$1.log" > /dev/null &
    proxy_pids+=($!)
    for _ in $(seq 1 100); do [ -s "$work/$1.port" ] && break; sleep 0.05; done
    [ -s "$work/$1.port" ] || { echo "the latency proxy did not start" >&2; exit 1; }
    proxy_port=$(cat "$work/$1.port")
}
if [ "$delayed" = 1 ]; then
    start_proxy proxy0 0
    proxy0_port=$proxy_port
    start_proxy delayed "$delay"
    delayed_port=$proxy_port
fi


# The mails are read once before anything is timed, so Dovecot's index and the
# page cache are in the same state for both tools.
prime_mailbox "$port"

echo "== baseline: kivrel /a against an empty mailbox"
program_folder "$work/base" "$empty_port"
run_kivrel "$work/base" "$work/base.time"

verify_round() { # $1 folder with m/ (mpop) and, unless mpop ran alone, k/ (kivrel)
    python3 - "$work/mails/manifest.json" "$1" << 'EOF'
import hashlib, json, os, sys
m = json.load(open(sys.argv[1]))["mails"]
folder = sys.argv[2]
bad = 0
for x in m:
    if x["category"] != "data" or not os.path.isdir(os.path.join(folder, "k")):
        continue
    path = os.path.join(folder, "k", "save1", x["attachment"]["name"])
    if not os.path.exists(path) or hashlib.sha256(open(path, "rb").read()).hexdigest() != x["attachment"]["sha256"]:
        bad += 1
count = open(os.path.join(folder, "m", "mbox"), "rb").read().count(b"\nFrom ") + 1
if bad or count != len(m):
    sys.exit("verification failed: %d data files missing or wrong, mpop's mbox holds %d of %d mails" % (bad, count, len(m)))
EOF
}

# First and second runs of kivrel and mpop over one link: $1 folder, $2 port.
compare() {
    program_folder "$1/k" "$2"
    mpop_config "$1/m" "$2"
    run_kivrel "$1/k" "$1/kivrel1.time"
    run_mpop "$1/m" "$1/mpop1.time"
    run_kivrel "$1/k" "$1/kivrel2.time"
    run_mpop "$1/m" "$1/mpop2.time"
    verify_round "$1"
    grep -a "新着ﾃﾞｰﾀ" "$1/kivrel1.time.stdout" | tail -1 | sed 's/^/   kivrel: /'
}

for r in $(seq 1 "$rounds"); do
    d=$work/round$r
    echo "== round $r, loopback: first runs, then second runs with nothing new"
    compare "$d/direct" "$port"
    [ "$delayed" = 1 ] || continue
    echo "== round $r, mpop through the proxy without delay"
    mpop_config "$d/proxy0/m" "$proxy0_port"
    run_mpop "$d/proxy0/m" "$d/proxy0/mpop1.time"
    run_mpop "$d/proxy0/m" "$d/proxy0/mpop2.time"
    verify_round "$d/proxy0"
    echo "== round $r, $delay ms each way: first runs, then second runs with nothing new"
    compare "$d/delayed" "$delayed_port"
done

if [ "$stall" = 1 ]; then
    echo "== stalled server: RETR 1 stalls 40 s before the closing boundary"
    "$here/tools/make-sample-mails" --out "$work/stall-mails" --format files --data 2 --notices 0 --info 0 \
        --personal 0 --kinds DU,SH --date-base now > /dev/null
    "$here/tools/pop3-fault-server" --mail-dir "$work/stall-mails" --port 0 --ready-file "$work/stall.port" \
        --fault RETR:1:stall-before-close=40 > /dev/null 2>&1 &
    fault_pid=$!
    for _ in $(seq 1 100); do [ -s "$work/stall.port" ] && break; sleep 0.05; done
    program_folder "$work/stall" "$(cat "$work/stall.port")"
    # The mail that timed out is not stored, so the run ends with exit status 1.
    expect_status=1 run_kivrel "$work/stall" "$work/stall.time"
    kill "$fault_pid" 2> /dev/null || true
    wait "$fault_pid" 2> /dev/null || true
    fault_pid=
    iconv -f CP932 -t UTF-8 "$work/stall/home/KVLOG.TXT" | grep -q "ﾀｲﾑｱｳﾄが発生" ||
        echo "   warning: no time-out in the activity log"
fi

echo "== load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
python3 - "$work" "$rounds" "$largest" "$stall" "$delayed" "$delay" << 'EOF'
import os, sys
work, rounds, largest, stall = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4] == "1"
delayed, delay = sys.argv[5] == "1", float(sys.argv[6])

def read(path):
    wall, user, sys_, rss = open(path).read().split()[:4]
    return {"wall": float(wall), "cpu": float(user) + float(sys_), "user": float(user), "sys": float(sys_), "rss": int(rss)}

def best(name, link="direct"):
    rows = [read(os.path.join(work, "round%d" % r, link, name + ".time")) for r in range(1, rounds + 1)]
    return min(rows, key=lambda x: x["wall"])

base = read(os.path.join(work, "base.time"))
k1, m1, k2, m2 = best("kivrel1"), best("mpop1"), best("kivrel2"), best("mpop2")
print()
print("%-34s %9s %9s %9s %9s %10s" % ("run", "wall s", "user s", "sys s", "cpu s", "peak kB"))
for label, x in (("kivrel /a, empty mailbox", base), ("kivrel /a, first run", k1),
                 ("mpop, first run", m1), ("kivrel /a, second run", k2), ("mpop, second run", m2)):
    print("%-34s %9.2f %9.2f %9.2f %9.2f %10d" % (label[:34], x["wall"], x["user"], x["sys"], x["cpu"], x["rss"]))
if rounds > 1:
    print("(best of %d rounds by wall time)" % rounds)

def ratio(a, b):
    return a / b if b > 0 else float("inf")

limit = base["rss"] + 2 * largest / 1024
checks = [
    ("first run CPU, kivrel / mpop", ratio(k1["cpu"], m1["cpu"]), 1.0),
    ("second run CPU, kivrel / mpop", ratio(k2["cpu"], m2["cpu"]), None),
    ("peak RSS, kivrel / mpop (first run)", ratio(k1["rss"], m1["rss"]), None),
]
print()
for label, value, goal in checks:
    verdict = "" if goal is None else ("goal <= %.1f: %s" % (goal, "met" if value <= goal else "MISSED"))
    shown = "%6.2f" % value if value != float("inf") else "     -"  # mpop's time below the clock's 10 ms
    print("%-38s %s   %s" % (label, shown, verdict))
print("%-38s %6d kB (baseline %d kB + 2 x largest mail %d bytes = %d kB): %s" % (
    "kivrel peak RSS, first run", k1["rss"], base["rss"], largest, limit, "met" if k1["rss"] < limit else "MISSED"))

# Wall time side by side per link. "extra round trips" is what the run took
# over its loopback time, in round trips of the delayed link.
rtt = 2 * delay / 1000
rows = [("loopback", "first run", k1, m1, 0.8, None), ("loopback", "second run", k2, m2, 2.0, None)]
if delayed:
    rows += [("%g ms each way" % delay, "first run", best("kivrel1", "delayed"), best("mpop1", "delayed"), 1.0, (k1, m1)),
             ("%g ms each way" % delay, "second run", best("kivrel2", "delayed"), best("mpop2", "delayed"), 1.5,
              (k2, m2))]
print()
print("%-16s %-10s %8s %8s %7s %-15s %8s %8s  %s" % (
    "link", "run", "kivrel s", "mpop s", "ratio", "goal (wall)", "kivrel", "mpop", "over loopback"))
print("%-16s %-10s %8s %8s %7s %-15s %8s %8s  %s" % ("", "", "wall", "wall", "", "", "cpu s", "cpu s", "round trips"))
for link, run, k, m, goal, loop in rows:
    value = ratio(k["wall"], m["wall"])
    shown = "%7.2f" % value if value != float("inf") else "      -"
    trips = "" if loop is None or rtt <= 0 else "kivrel %.0f, mpop %.0f" % (
        (k["wall"] - loop[0]["wall"]) / rtt, (m["wall"] - loop[1]["wall"]) / rtt)
    print("%-16s %-10s %8.2f %8.2f %s <= %.1f: %-6s %8.2f %8.2f  %s" % (
        link, run, k["wall"], m["wall"], shown, goal, "met" if value <= goal else "MISSED", k["cpu"], m["cpu"], trips))
if delayed:
    p1, p2 = best("mpop1", "proxy0"), best("mpop2", "proxy0")
    print("proxy without delay, mpop: first run %.2f s (direct %.2f s, %+.2f s), second run %.2f s (direct %.2f s, %+.2f s)" % (
        p1["wall"], m1["wall"], p1["wall"] - m1["wall"], p2["wall"], m2["wall"], p2["wall"] - m2["wall"]))
if stall:
    s = read(os.path.join(work, "stall.time"))
    share = 100 * s["cpu"] / s["wall"] if s["wall"] > 0 else 0
    print("%-38s %6.2f s CPU over %.1f s wall = %.2f %% of a core: %s" % (
        "stalled server wait", s["cpu"], s["wall"], share, "met" if share < 1.0 else "MISSED"))
EOF

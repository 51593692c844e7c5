#!/bin/bash
# What a long read-mail history costs a whole run, and the unattended start
# beside mpop:
#   - history scale: Kivrel.dat with 0, 10,000 and 50,000 records of mails no
#     longer on the server; for each, `kivrel /a` (no display) fetching a
#     mailbox of 200 data mails (first run), a second run with nothing new, and
#     opening the window (normal mode, offscreen, closed as soon as it is up);
#   - empty mailbox: `kivrel /a` without a display beside mpop.
#
#   bench/run_history.sh [build-folder] [--rounds N] [--sizes 0,10000,50000]
#
# build-folder defaults to build-bench (a Release build with bin/kivrel).
# Needs dovecot-pop3d, mpop and GNU time. Every figure comes from
# `/usr/bin/time -f`; with --rounds N each is the best (least wall time) of N.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build-bench
rounds=3
sizes=0,10000,50000
while [ $# -gt 0 ]; do
    case $1 in
    --rounds) rounds=$2; shift 2 ;;
    --sizes) sizes=$2; shift 2 ;;
    -h | --help) sed -n '2,15p' "$0"; exit 0 ;;
    *) build=$(cd "$1" && pwd); shift ;;
    esac
done
. "$here/bench/lib.sh"
need_tools

work=$(mktemp -d "${TMPDIR:-/tmp}/kivrel-history.XXXXXX")
chmod 755 "$work" # Dovecot's login processes must reach the mailbox below it
cleanup() {
    "$here/tools/dovecot-fixture" stop "$work/dovecot" > /dev/null 2>&1 || true
    "$here/tools/dovecot-fixture" stop "$work/dovecot-empty" > /dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

echo "== mailbox: 200 data mails (attachment 375,000 bytes); history sizes $sizes; best of $rounds rounds"
"$here/tools/make-sample-mails" --out "$work/mails" --format maildir --data 200 --notices 0 --info 0 \
    --personal 0 --attach-bytes 375000 --kinds DU,DW,DX,DZ,SH,SJ,SQ,KK,CC --date-base now --days-back 5 > /dev/null
mkdir -p "$work/empty/new" "$work/empty/cur" "$work/empty/tmp"
"$here/tools/dovecot-fixture" start "$work/dovecot" --maildir-from "$work/mails" > "$work/dovecot.env"
"$here/tools/dovecot-fixture" start "$work/dovecot-empty" --maildir-from "$work/empty" > "$work/dovecot-empty.env"
port=$(sed -n 's/^KIVREL_TEST_POP3_PORT=//p' "$work/dovecot.env")
empty_port=$(sed -n 's/^KIVREL_TEST_POP3_PORT=//p' "$work/dovecot-empty.env")
prime_mailbox "$port"

# Kivrel.dat of $2 records in program folder $1: one mail a day per kind,
# years back, each with a description, none of them on the server.
write_history() {
    python3 - "$1/home/Kivrel.dat" "$2" << 'EOF'
import datetime, sys
path, n = sys.argv[1], int(sys.argv[2])
kinds = ["DU", "DW", "DX", "DZ", "SH", "SJ", "SQ", "KK", "CC"]
start = datetime.datetime(2001, 1, 1, 8, 0, 0)
def general(t):
    return "%04d/%02d/%02d %d:%02d:%02d" % (t.year, t.month, t.day, t.hour, t.minute, t.second)
with open(path, "wb") as f:
    for i in range(n):
        t = start + datetime.timedelta(hours=i)
        name = "%s%s.LZH" % (kinds[i % 9], t.strftime("%y%m%d"))
        desc = "%04d年%02d月%02d日 競走馬＋出馬表 日別全場一括 前売分" % (t.year, t.month, t.day)
        line = "\t".join([general(t), general(t - datetime.timedelta(minutes=5)), name,
                          "GmailId%08d.%d" % (i, i * 7919), desc])
        f.write((line + "\r\n").encode("cp932"))
EOF
}

run_window() { # $1 program folder, $2 result file: opened, shown, closed at once
    timed "$2" env QT_QPA_PLATFORM=offscreen KIVREL_TEST_AUTOCLOSE_MS=1 KIVREL_HOME="$1/home" "$kivrel"
}

for r in $(seq 1 "$rounds"); do
    for n in ${sizes//,/ }; do
        d=$work/r$r-h$n
        program_folder "$d" "$port"
        write_history "$d" "$n"
        run_window "$d" "$d/window.time"
        run_kivrel "$d" "$d/first.time"
        run_kivrel "$d" "$d/second.time"
        records=$(wc -l < "$d/home/Kivrel.dat")
        [ "$records" -eq $((n + 200)) ] || { echo "round $r, $n records: Kivrel.dat holds $records lines" >&2; exit 1; }
    done
    program_folder "$work/r$r-empty" "$empty_port"
    mpop_config "$work/r$r-mpop" "$empty_port"
    run_kivrel "$work/r$r-empty" "$work/r$r-empty/kivrel.time"
    run_mpop "$work/r$r-mpop" "$work/r$r-mpop/mpop.time"
done

python3 - "$work" "$rounds" "$sizes" << 'EOF'
import os, sys
work, rounds, sizes = sys.argv[1], int(sys.argv[2]), [int(x) for x in sys.argv[3].split(",")]

def read(path):
    wall, user, sys_, rss = open(path).read().split()[:4]
    return {"wall": float(wall), "cpu": float(user) + float(sys_), "rss": int(rss)}

def best(pattern):
    rows = [read(os.path.join(work, pattern % r)) for r in range(1, rounds + 1)]
    return min(rows, key=lambda x: x["wall"])

def ratio(a, b):
    return a / b if b > 0 else float("inf")

print()
print("%-10s %-22s %9s %9s %10s" % ("records", "run", "wall s", "cpu s", "peak kB"))
table = {}
for n in sizes:
    for what, label in (("window", "window opening"), ("first", "kivrel /a, first run"),
                        ("second", "kivrel /a, nothing new")):
        x = best("r%%d-h%d/%s.time" % (n, what))
        table[n, what] = x
        print("%-10d %-22s %9.2f %9.2f %10d" % (n, label, x["wall"], x["cpu"], x["rss"]))
print()
base = sizes[0]
for n in sizes[1:]:
    for what, goal in (("window", 1.5), ("first", 1.3), ("second", 1.5)):
        v = ratio(table[n, what]["wall"], table[base, what]["wall"])
        c = ratio(table[n, what]["cpu"], table[base, what]["cpu"])
        print("%-44s %6.2f   goal <= %.1f: %-6s (cpu %.2f)" % ("%s wall, %d records / %d" % (what, n, base), v, goal,
                                                            "met" if v <= goal else "MISSED", c))
    rss = max(table[n, w]["rss"] for w in ("first", "second"))
    print("%-44s %6d kB goal <= 49152 kB: %s" % ("kivrel /a peak RSS, %d records" % n, rss,
                                                "met" if rss <= 49152 else "MISSED"))
k, m = best("r%d-empty/kivrel.time"), best("r%d-mpop/mpop.time")
print()
print("%-34s %9s %9s %10s" % ("empty mailbox", "wall s", "cpu s", "peak kB"))
print("%-34s %9.2f %9.2f %10d" % ("kivrel /a (no display)", k["wall"], k["cpu"], k["rss"]))
print("%-34s %9.2f %9.2f %10d" % ("mpop", m["wall"], m["cpu"], m["rss"]))
v = ratio(k["wall"], m["wall"])
print("%-44s %s   goal <= 1.5: %s" % ("wall, kivrel / mpop", "%6.2f" % v if v != float("inf") else "     -",
                                       "met" if v <= 1.5 else "MISSED"))
v = ratio(k["rss"], m["rss"])
print("%-44s %6.2f   goal <= 2.0: %s" % ("peak RSS, kivrel / mpop", v, "met" if v <= 2.0 else "MISSED"))
EOF

#!/usr/bin/env bash
# Renders each man page given (file, may be gzipped) as man(1) does at 80
# columns: any groff warning, or a line wider than 80 columns, fails.
set -euo pipefail
fail=0
for page in "$@"; do
    out=$(mktemp)
    err=$(mktemp)
    # The Japanese page needs a UTF-8 locale to be set as Japanese text.
    LC_ALL=C.UTF-8 MANWIDTH=80 MAN_KEEP_FORMATTING=0 man --warnings=w -l "$page" >"$out" 2>"$err" || true
    if [ -s "$err" ]; then
        echo "FAIL $page: groff says:" >&2
        cat "$err" >&2
        fail=1
    fi
    # Columns as a terminal counts them: wide (CJK) characters take two.
    wide=$(col -b <"$out" | python3 -c '
import sys, unicodedata
w = lambda s: sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in s)
bad = [l for l in sys.stdin.read().splitlines() if w(l) > 80]
print("\n".join(bad[:5]))')
    if [ -n "$wide" ]; then
        echo "FAIL $page: lines wider than 80 columns:" >&2
        echo "$wide" >&2
        fail=1
    fi
    [ -s "$out" ] || { echo "FAIL $page: renders nothing" >&2; fail=1; }
    rm -f "$out" "$err"
    [ $fail -eq 0 ] && echo "ok   $page"
done
exit $fail

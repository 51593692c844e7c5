#!/usr/bin/env bash
# Builds Kivrel and runs its main job on a built-in sample: a POP3 server on
# loopback serves a generated mailbox of the service's mails (data mails of
# several kinds, a notice, a personal mail), `kivrel /a` fetches it in a fresh
# program folder, and the decoded files are listed.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD_DIR=${BUILD_DIR:-$ROOT/build}

scripts/install-deps.sh
# Same options as scripts/test.sh, so the two share one build folder.
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} -DKIVREL_WERROR=ON >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)" --target kivrel

DEMO=$(mktemp -d /tmp/kivrel-demo.XXXXXX)
mkdir -p "$DEMO/mailbox" "$DEMO/home" "$DEMO/data"
tools/make-sample-mails --out "$DEMO/mailbox" --format files --data 6 --notices 1 --personal 1 \
  --date-base now --manifest "$DEMO/manifest.json" >/dev/null

tools/pop3-fault-server --mail-dir "$DEMO/mailbox" --port 0 --user demo --password demo \
  --ready-file "$DEMO/port" >"$DEMO/server.log" 2>&1 &
SERVER=$!
trap 'kill $SERVER 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$DEMO/port" ] && break; sleep 0.1; done
PORT=$(cat "$DEMO/port")

# Kivrel.ini keeps the password scrambled with the program's fixed key.
SCRAMBLED=$(python3 - demo <<'PY'
import sys
alphabet = "0123456789?@ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
x, a, c = 3951, (4 * 62 + 1) % 32768, (2 * 8 + 1) % 32768
out = []
for ch in sys.argv[1]:
    if ch in alphabet:
        x = (a * x + c) % 32768
        ch = alphabet[alphabet.index(ch) ^ (x & 63)]
    out.append(ch)
print("".join(out))
PY
)
cat >"$DEMO/home/Kivrel.ini" <<INI
[Config]
ServerName=127.0.0.1
Port=$PORT
UserName=demo
PassWord=$SCRAMBLED
SaveFolder1=$DEMO/data
INI

echo "Running: kivrel /a  (program folder $DEMO/home)"
set +e
env -u DISPLAY -u WAYLAND_DISPLAY KIVREL_HOME="$DEMO/home" "$BUILD_DIR/bin/kivrel" /a
rc=$?
set -e
echo
echo "kivrel exited with $rc"
echo "Decoded data files in $DEMO/data:"
ls -l "$DEMO/data"
echo "Read-mail list:     $DEMO/home/Kivrel.dat"
echo "Activity log:       $DEMO/home/KVLOG.TXT"
exit $rc

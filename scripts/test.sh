#!/usr/bin/env bash
# Builds Kivrel and runs every test (unit, UI offscreen, integration against
# Dovecot on loopback and the fault fixture).
#   scripts/test.sh            build into ./build and run all tests
#   BUILD_DIR=... scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD_DIR=${BUILD_DIR:-$ROOT/build}

scripts/install-deps.sh
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} -DKIVREL_WERROR=ON ${CMAKE_EXTRA:-} >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"

# One Dovecot for the tests that talk to a real server; each integration
# script may also start its own.
DOVE_DIR=$(mktemp -d /tmp/kivrel-dovecot.XXXXXX)
chmod 755 "$DOVE_DIR"
DOVE_PID=
CTEST_PID=
# The Dovecot master this script started must not outlive it, whatever ends
# the script: the fixture's stop first, then the master itself by its pid
# (only while that pid is still a dovecot), and only then is its folder removed.
# The paths are absolute: the tests run from the build folder.
dovecot_alive() { [ -n "$DOVE_PID" ] && grep -qa dovecot "/proc/$DOVE_PID/cmdline" 2>/dev/null; }
cleanup() {
  [ -n "$CTEST_PID" ] && kill "$CTEST_PID" 2>/dev/null
  "$ROOT/tools/dovecot-fixture" stop "$DOVE_DIR/srv" >/dev/null 2>&1 || true
  for _ in $(seq 50); do dovecot_alive || break; sleep 0.1; done
  dovecot_alive && kill -KILL "$DOVE_PID" 2>/dev/null
  rm -rf "$DOVE_DIR" "$DOVE_DIR.err"
}
trap cleanup EXIT
# A signal would otherwise end bash without the EXIT trap.
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
if [ -x tools/dovecot-fixture ] && command -v dovecot >/dev/null 2>&1; then
  tools/make-sample-mails --out "$DOVE_DIR/mails" --data 3 --personal 1 >/dev/null
  if env_lines=$(tools/dovecot-fixture start "$DOVE_DIR/srv" --maildir-from "$DOVE_DIR/mails" 2>"$DOVE_DIR.err"); then
    while IFS= read -r line; do
      case "$line" in KIVREL_TEST_*=*) export "${line?}";; esac
    done <<<"$env_lines"
    DOVE_PID=$(cat "$DOVE_DIR/srv/run/master.pid" 2>/dev/null || true)
  else
    echo "warning: Dovecot fixture did not start:"; cat "$DOVE_DIR.err" || true
  fi
fi

cd "$BUILD_DIR"
# In the background, so a signal reaches the traps at once rather than after ctest.
ctest --output-on-failure -j"$(nproc)" ${CTEST_ARGS:-} &
CTEST_PID=$!
status=0
wait "$CTEST_PID" || status=$?
CTEST_PID=
exit "$status"

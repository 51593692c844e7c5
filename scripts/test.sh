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
cleanup() { tools/dovecot-fixture stop "$DOVE_DIR/srv" >/dev/null 2>&1 || true; rm -rf "$DOVE_DIR" "$DOVE_DIR.err"; }
trap cleanup EXIT
if [ -x tools/dovecot-fixture ] && command -v dovecot >/dev/null 2>&1; then
  tools/make-sample-mails --out "$DOVE_DIR/mails" --data 3 --personal 1 >/dev/null
  if env_lines=$(tools/dovecot-fixture start "$DOVE_DIR/srv" --maildir-from "$DOVE_DIR/mails" 2>"$DOVE_DIR.err"); then
    while IFS= read -r line; do
      case "$line" in KIVREL_TEST_*=*) export "${line?}";; esac
    done <<<"$env_lines"
  else
    echo "warning: Dovecot fixture did not start:"; cat "$DOVE_DIR.err" || true
  fi
fi

cd "$BUILD_DIR"
ctest --output-on-failure -j"$(nproc)" ${CTEST_ARGS:-}

#!/bin/bash
# The POP3 component against a real Dovecot on loopback: plain, TLS and
# STARTTLS sessions, a wrong password, and an unknown certificate (which must
# end the connection). Skipped (77) when Dovecot or the test program is missing.
set -u
src=${KIVREL_SOURCE_DIR:?}
build=${KIVREL_BUILD_DIR:?}
probe="$build/tests/pop3_test_apop_dovecot"
[ -x "$probe" ] || { echo "no $probe"; exit 77; }
command -v dovecot >/dev/null 2>&1 || [ -x /usr/sbin/dovecot ] || { echo "dovecot not installed"; exit 77; }

work=$(mktemp -d)
# Dovecot's login and auth processes run as other users and must reach the instance's files.
chmod 755 "$work"
trap '"$src/tools/dovecot-fixture" stop "$work/srv" >/dev/null 2>&1; rm -rf "$work"' EXIT

"$src/tools/make-sample-mails" --out "$work/mails" --data 3 --personal 1 >/dev/null || exit 1
"$src/tools/dovecot-fixture" start "$work/srv" --maildir-from "$work/mails" >"$work/env.out" || {
    cat "$work/env.out"
    exit 77
}
set -a
. "$work/srv/env"
set +a
unset KIVREL_CA_FILE
"$probe"

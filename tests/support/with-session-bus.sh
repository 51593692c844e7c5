#!/bin/bash
# Runs a test program on a private session bus of its own:
#   with-session-bus.sh keyring PROGRAM...  GNOME Keyring unlocked for the test
#   with-session-bus.sh locked PROGRAM...   GNOME Keyring with its keyring locked
# The keyring files live in a scratch HOME; KIVREL_TEST_BUS tells the program
# which it got. Exit 77 (skipped) when dbus-run-session or the keyring is missing.
set -u
mode=$1
shift
if [ "${1:-}" != --inside ]; then
    command -v dbus-run-session >/dev/null && command -v gnome-keyring-daemon >/dev/null || exit 77
    exec dbus-run-session -- bash "$0" "$mode" --inside "$@"
fi
shift
scratch=$(mktemp -d)
daemon=
cleanup() { [ -n "$daemon" ] && kill "$daemon" 2>/dev/null; wait 2>/dev/null; rm -rf "$scratch"; }
trap cleanup EXIT
export HOME=$scratch XDG_DATA_HOME=$scratch/data XDG_RUNTIME_DIR=$scratch/run
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_DATA_HOME" && chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY XDG_CURRENT_DESKTOP

start_daemon() { # [file with the unlock password]
    if [ -n "${1:-}" ]; then
        gnome-keyring-daemon --foreground --components=secrets --unlock <"$1" >/dev/null 2>&1 &
    else
        gnome-keyring-daemon --foreground --components=secrets </dev/null >/dev/null 2>&1 &
    fi
    daemon=$!
    # Up once it owns its name and then its default keyring answers (the login
    # keyring is made after the name is taken). Asking before the name is owned
    # would have the bus start another daemon, outside the scratch HOME.
    local owned=
    for _ in $(seq 100); do
        if [ -z "$owned" ]; then
            dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
                org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
                grep -q 'boolean true' && owned=1
        elif dbus-send --session --print-reply --dest=org.freedesktop.secrets \
            /org/freedesktop/secrets/aliases/default org.freedesktop.DBus.Properties.Get \
            string:org.freedesktop.Secret.Collection string:Locked >/dev/null 2>&1; then
            return 0
        fi
        sleep 0.1
    done
    echo "gnome-keyring-daemon did not come up" >&2
    exit 1
}

# The first start creates the login keyring, unlocked with the given password.
printf 'kivrel-test' >"$scratch/password"
start_daemon "$scratch/password"
if [ "$mode" = locked ]; then
    # Started again without the password, it has the keyring but locked.
    kill "$daemon"; wait "$daemon" 2>/dev/null
    start_daemon
fi
KIVREL_TEST_BUS=$mode "$@"

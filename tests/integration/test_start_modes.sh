#!/bin/bash
# The three start modes of the built program, each in a fresh program folder:
# the start block of KVLOG.TXT, the exit codes, and that "/a" ends by itself.
# The interactive modes are ended by KIVREL_TEST_AUTOCLOSE_MS (closes every
# window after that many ms; a window that refuses to close ends the program
# with 4, its own code, so it is never taken for a busy refusal).
set -u
BIN=${KIVREL_BIN:-}
if [ -z "$BIN" ] || [ ! -x "$BIN" ]; then
    echo "KIVREL_BIN not set or not executable" >&2
    exit 77
fi
fail=0
check() { # description, condition...
    local what=$1
    shift
    if "$@"; then echo "ok   $what"; else echo "FAIL $what" >&2; fail=1; fi
}
start_block_ok() { # the log holds exactly the start block: "", "[yy/MM/dd hh:mm起動]", ""
    local log=$1/KVLOG.TXT
    [ -f "$log" ] || return 1
    iconv -f CP932 -t UTF-8 "$log" | tr -d '\r' | awk 'NR==1 && $0!="" {bad=1} NR==2 && $0 !~ /^\[[0-9][0-9]\/[0-9][0-9]\/[0-9][0-9] [0-9][0-9]:[0-9][0-9]起動\]$/ {bad=1} END {exit bad || NR<3}'
}
run() { # home, env..., -- args...
    local home=$1
    shift
    local envs=()
    while [ "$1" != "--" ]; do envs+=("$1"); shift; done
    shift
    env "${envs[@]}" KIVREL_HOME="$home" timeout 60 "$BIN" "$@" >"$home/stdout" 2>"$home/stderr"
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Automatic mode, offscreen: ends by itself; with a mail server nobody answers
# on, the run cannot connect, which a cron job must see as a failure (exit 1),
# and says so on standard error too.
home=$tmp/auto; mkdir -p "$home"
printf '[Config]\r\nServerName=127.0.0.1\r\nPort=9\r\n' >"$home/Kivrel.ini"
run "$home" QT_QPA_PLATFORM=offscreen -- /a; rc=$?
check "/a exits by itself with 1 when it cannot connect (got $rc)" [ $rc -eq 1 ]
check "/a says it could not connect" grep -q 'ﾒｰﾙｻｰﾊﾞｰに接続できませんでした' "$home/stdout"
check "/a names the failure on standard error" grep -q '受信できませんでした' "$home/stderr"
check "/a writes the start block" start_block_ok "$home"
check "/a saves the window position" grep -q '^Left=' "$home/Kivrel.ini"

# Automatic mode without any display, and without a mail server: ends at once
# with its own code, naming the settings mode on standard error and in the log.
home=$tmp/nodisplay; mkdir -p "$home"
run "$home" -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -- -A; rc=$?
check "-A without a mail server ends with 78 (got $rc)" [ $rc -eq 78 ]
check "-A without a display writes the start block" start_block_ok "$home"
check "-A without a mail server names kivrel /s" grep -q 'kivrel /s' "$home/stderr"
check "-A without a mail server logs it" bash -c "iconv -f CP932 -t UTF-8 '$home/KVLOG.TXT' | grep -q 'kivrel /s'"
check "-A without a mail server tries no connection" bash -c "! grep -q 'ｻｰﾊﾞｰに接続' '$home/stdout'"

# Normal and settings-only modes need a display.
home=$tmp/nodisplay2; mkdir -p "$home"
run "$home" -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -- ; rc=$?
check "normal mode without a display exits 2 (got $rc)" [ $rc -eq 2 ]
check "normal mode without a display says why" grep -q 'ディスプレイがありません' "$home/stderr"

# Normal mode: the main window until it is closed; closing saves the position.
home=$tmp/normal; mkdir -p "$home"
run "$home" QT_QPA_PLATFORM=offscreen KIVREL_TEST_AUTOCLOSE_MS=700 -- some args; rc=$?
check "normal mode ends 0 when its window closes (got $rc; 4: it refused)" [ $rc -eq 0 ]
check "normal mode writes the start block" start_block_ok "$home"
check "normal mode saves the window position" grep -q '^Height=' "$home/Kivrel.ini"

# Settings only: "-s" inside a path counts; the main window never opens (no position saved).
for args in "/S" "/home/my-stuff/x" "/s /a"; do
    home=$tmp/settings; rm -rf "$home"; mkdir -p "$home"
    run "$home" QT_QPA_PLATFORM=offscreen KIVREL_TEST_AUTOCLOSE_MS=700 -- $args; rc=$?
    check "settings only ($args) ends 0 (got $rc; 4: it refused to close)" [ $rc -eq 0 ]
    check "settings only ($args) writes the start block" start_block_ok "$home"
    check "settings only ($args) opens no main window" bash -c "! grep -q '^Left=' '$home/Kivrel.ini' 2>/dev/null"
done

# A very long command line with odd characters is just text.
home=$tmp/long; mkdir -p "$home"
long=$(head -c 100000 /dev/zero | tr '\0' 'x')
run "$home" QT_QPA_PLATFORM=offscreen -- "$long" 'nonsense' '%s%n' '/a'; rc=$?
check "a long, odd command line with /a runs the automatic mode (got $rc)" [ $rc -eq 78 ]

# --help, -h and --version answer at once, with or without a display, and touch
# no program folder. Any other argument, "--helpme" too, is start-mode text.
version=$(sed -n 's/^project(Kivrel VERSION \([0-9.]*\).*/\1/p' "${KIVREL_SOURCE_DIR:-.}/CMakeLists.txt")
for envs in "QT_QPA_PLATFORM=offscreen" "-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM"; do
    for arg in --help -h --version; do
        home=$tmp/info; rm -rf "$home"; mkdir -p "$home"
        # shellcheck disable=SC2086
        run "$home" $envs -- /a "$arg"; rc=$?
        check "$arg ($envs) exits 0 (got $rc)" [ $rc -eq 0 ]
        check "$arg ($envs) starts nothing" bash -c "[ ! -e '$home/KVLOG.TXT' ] && [ ! -e '$home/Kivrel.ini' ]"
        if [ "$arg" = --version ]; then
            check "$arg prints the project's version" grep -qx "kivrel $version" "$home/stdout"
        else
            for word in /s /a KIVREL_HOME KIVREL_CA_FILE 終了コード; do
                check "$arg mentions $word" grep -qF -- "$word" "$home/stdout"
            done
            for code in 0 1 2 3 4 64 78; do
                check "$arg explains exit code $code" grep -q "^  $code  *[^ ]" "$home/stdout"
            done
        fi
    done
done
# An unknown option ends the program with the usage on standard error, before
# anything starts and with or without a display.
for args in --helpme --bogus -x /x "-platform offscreen" "/a --bogus-arg"; do
    home=$tmp/unknown; rm -rf "$home"; mkdir -p "$home"
    # shellcheck disable=SC2086
    run "$home" -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -- $args; rc=$?
    check "$args is an unknown option: exits 64 (got $rc)" [ $rc -eq 64 ]
    check "$args: error and usage on standard error" bash -c "grep -q '不明なオプション' '$home/stderr' && grep -q '使い方' '$home/stderr'"
    check "$args starts nothing" bash -c "[ ! -e '$home/KVLOG.TXT' ] && [ ! -s '$home/stdout' ]"
done

# Without KIVREL_HOME the files follow the XDG base directories.
xdg=$tmp/xdg; mkdir -p "$xdg"
env -u KIVREL_HOME -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u XDG_STATE_HOME -u XDG_RUNTIME_DIR HOME="$xdg" \
    QT_QPA_PLATFORM=offscreen timeout 60 "$BIN" /a >/dev/null 2>&1; rc=$?
check "a first start in an empty home ends with 78 (got $rc)" [ $rc -eq 78 ]
check "the activity log is in ~/.local/state/kivrel" start_block_ok "$xdg/.local/state/kivrel"

exit $fail

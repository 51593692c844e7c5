# Shared by the whole-run benchmarks: sourced with $here (the source tree)
# and $build (the build folder) set.

# Sets $kivrel; ends the script when it or another tool is missing.
need_tools() {
    kivrel=$build/bin/kivrel
    [ -x "$kivrel" ] || { echo "build kivrel first: cmake -S $here -B $build -G Ninja -DCMAKE_BUILD_TYPE=Release && ninja -C $build kivrel" >&2; exit 1; }
    command -v mpop > /dev/null || { echo "mpop is missing: apt-get install mpop" >&2; exit 1; }
    [ -x /usr/bin/time ] || { echo "GNU time is missing: apt-get install time" >&2; exit 1; }
}

# A program folder with Kivrel.ini for a server port: $1 folder, $2 port.
program_folder() {
    python3 - "$1" "$2" "$here/tests/integration/lib" << 'EOF'
import sys
sys.path.insert(0, sys.argv[3])
from kivrelrun import ProgramFolder
ProgramFolder(sys.argv[1], ServerName="127.0.0.1", Port=sys.argv[2], UserName="kivrel", PassWord="secret")
EOF
}

# An mpop configuration: $1 folder, $2 port.
mpop_config() {
    mkdir -p "$1"
    cat > "$1/mpoprc" << EOF
defaults
tls off
auth user
keep on
only_new on
account bench
host 127.0.0.1
port $2
user kivrel
password secret
delivery mbox $1/mbox
uidls_file $1/uidls
EOF
    chmod 600 "$1/mpoprc"
}

# Runs a command under GNU time; $1 names the result file, the rest is the command.
# The file gets "wall user sys maxrss_kB"; a failed command ends the script,
# unless expect_status names the exit status it is to end with.
timed() {
    local out=$1 status=0
    shift
    /usr/bin/time -q -f "%e %U %S %M" -o "$out" "$@" > "$out.stdout" 2> "$out.stderr" || status=$?
    [ "$status" = "${expect_status:-0}" ] ||
        { echo "failed (exit status $status): $*" >&2; cat "$out.stdout" "$out.stderr" >&2; exit 1; }
}

run_kivrel() { # $1 program folder, $2 result file
    timed "$2" env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM KIVREL_HOME="$1/home" "$kivrel" /a
}

run_mpop() { # $1 mpop folder, $2 result file
    timed "$2" mpop -C "$1/mpoprc" -q bench
}

# Reads every mail of the mailbox at port $1 once, so that Dovecot's index and
# the page cache are in the same state for every tool timed after it.
prime_mailbox() {
    python3 - "$1" << 'EOF'
import poplib, sys
p = poplib.POP3("127.0.0.1", int(sys.argv[1]))
p.user("kivrel"); p.pass_("secret")
p.uidl(); p.list()
for n in range(1, p.stat()[0] + 1):
    p.retr(n)
p.quit()
EOF
}

#!/usr/bin/env bash
# Checks that the package depends on everything the program loads at run time
# (Qt plug-ins and the libraries they open by name), which dpkg-shlibdeps cannot
# see: the program is started under Xvfb with QT_DEBUG_PLUGINS=1, shows its
# window and the first-start settings dialog, and every library Qt reports as
# loaded is mapped to its package with dpkg -S. That package must be in the
# package's Depends, or be a dependency of one that is.
#   scripts/check-plugins.sh BINARY PACKAGE.deb
set -euo pipefail
bin=$1
deb=$2
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT

names() { # package names of a Depends field on standard input
    tr ',|' '\n\n' | sed 's/(.*//; s/:.*//; s/^ *//; s/ *$//' | grep -v '^$' || true
}
direct=$(dpkg-deb -f "$deb" Depends | names)
allowed=$direct
for p in $direct; do
    allowed+=$'\n'$(dpkg-query -W -f='${Depends}\n${Pre-Depends}\n' "$p" 2>/dev/null | names)
done

env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM KIVREL_HOME="$home" QT_DEBUG_PLUGINS=1 KIVREL_TEST_AUTOCLOSE_MS=3000 \
    xvfb-run -a "$bin" >/dev/null 2>"$home/log" || true
mapfile -t loaded < <(sed -n 's/^qt\.core\.library: "\(.*\)" loaded library$/\1/p' "$home/log" | sort -u)
if [ ${#loaded[@]} -eq 0 ]; then
    echo "FAIL the program reported no loaded library (QT_DEBUG_PLUGINS)" >&2
    exit 1
fi
fail=0
for lib in "${loaded[@]}"; do
    path=$lib
    if [[ $lib != /* ]]; then # opened by name: "ssl" is libssl.so.N
        path=$(ldconfig -p | awk -v n="lib$lib.so" '$1 ~ "^"n {print $NF; exit}')
    fi
    pkg=$( [ -n "$path" ] && dpkg -S "$(readlink -f "$path")" 2>/dev/null | head -n 1 | cut -d: -f1 || true)
    if [ -z "$pkg" ]; then
        echo "FAIL $lib: no package holds it" >&2
        fail=1
    elif grep -qx "$pkg" <<<"$allowed"; then
        echo "ok   $lib ($pkg)"
    else
        echo "FAIL $lib comes from $pkg, which the package does not depend on" >&2
        fail=1
    fi
done
exit $fail

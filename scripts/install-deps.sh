#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, package, run and test Kivrel:
# the Build-Depends of debian/control (through mk-build-deps), then what the
# tests and the package checks use. Idempotent.
set -euo pipefail
cd "$(dirname "$0")/.."

# Tests, fuzzing and the package checks.
PACKAGES=(
  build-essential devscripts equivs fakeroot lintian desktop-file-utils appstream groff-base man-db
  clang-14 libclang-rt-14-dev ccache
  libqt6svg6 libsecret-1-0
  dovecot-core dovecot-pop3d openssl lhasa jlha-utils
  python3 xvfb xauth fonts-noto-cjk
  dbus-daemon dbus-bin gnome-keyring
)

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
apt() { $SUDO env DEBIAN_FRONTEND=noninteractive apt-get "$@"; }

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
updated=0
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt update -qq && updated=1
  apt install -y -qq --no-install-recommends "${missing[@]}"
fi

# The Build-Depends, as debian/control lists them.
if ! dpkg-checkbuilddeps debian/control 2>/dev/null; then
  [ $updated -eq 1 ] || apt update -qq
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  (cd "$tmp" && mk-build-deps "$OLDPWD/debian/control" >/dev/null)
  apt install -y -qq --no-install-recommends "$tmp"/kivrel-build-deps_*.deb
fi

#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, run and test Kivrel.
# Idempotent: apt-get install -y does nothing for packages already present.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 libgl-dev
  qtkeychain-qt6-dev libsecret-1-0
  liblhasa-dev lhasa jlha-utils
  libgsasl-dev
  clang-14 libclang-rt-14-dev
  dovecot-core dovecot-pop3d openssl
  python3 xvfb xauth fonts-noto-cjk
  dbus-daemon dbus-bin gnome-keyring
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"

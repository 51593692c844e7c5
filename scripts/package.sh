#!/usr/bin/env bash
# Builds the Debian package dist/kivrel_<version>_<arch>.deb from this checkout.
#   scripts/package.sh                      build in ./build-package, then package
#   BUILD_DIR=build scripts/package.sh      package an existing build instead
#   scripts/package.sh --check              also run lintian, desktop-file-validate
#                                           and appstreamcli on what was built
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD_DIR=${BUILD_DIR:-$ROOT/build-package}
check=0
[ "${1:-}" = --check ] && check=1

apt_install() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

scripts/install-deps.sh
# dpkg-shlibdeps computes Depends; it needs file(1) to find the binaries.
apt_install dpkg-dev file

if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
    cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DKIVREL_BENCH=OFF \
        -DKIVREL_WERROR=ON >/dev/null
fi
cmake --build "$BUILD_DIR" -j"$(nproc)"
(cd "$BUILD_DIR" && cpack -G DEB >/dev/null)
version=$(sed -n 's/^project(Kivrel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=kivrel_${version}_$(dpkg --print-architecture).deb
mkdir -p dist
mv "$BUILD_DIR/$deb" dist/
echo "dist/$deb"
[ $check -eq 1 ] || exit 0

# The checks look at the files as the package holds them.
apt_install lintian desktop-file-utils appstream
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "dist/$deb" "$tree"
dpkg-deb -I "dist/$deb"
desktop-file-validate "$tree/usr/share/applications/kivrel.desktop"
appstreamcli validate --no-net "$tree"/usr/share/metainfo/*.metainfo.xml
# Errors fail the check; warnings are shown.
lintian --fail-on error --tag-display-limit 0 "dist/$deb"
echo "package checks passed"

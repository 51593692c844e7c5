#!/usr/bin/env bash
# Builds the Debian package with debhelper (debian/) and leaves it in dist/.
#   scripts/package.sh            copy the checkout to build-package/src (ignored
#                                 by git), run dpkg-buildpackage -us -uc -b there
#   scripts/package.sh --check    ... then check what was built: lintian
#                                 (pedantic, info tags shown), hardening-check,
#                                 the run-time plug-ins in Depends, the man pages
#                                 (no groff warning, 80 columns),
#                                 desktop-file-validate and appstreamcli
# PACKAGE_DIR names another folder for the build.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
PACKAGE_DIR=${PACKAGE_DIR:-$ROOT/build-package}
check=0
[ "${1:-}" = --check ] && check=1

scripts/install-deps.sh

# The build never touches the checkout: it runs on a copy of the tracked and
# new (not ignored) files.
rm -rf "$PACKAGE_DIR/src"
mkdir -p "$PACKAGE_DIR/src"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z --cached --others --exclude-standard | while IFS= read -r -d '' f; do
        [ -e "$f" ] && printf '%s\0' "$f"
    done | tar --null -T - -cf - | tar -xf - -C "$PACKAGE_DIR/src"
else
    tar --exclude='./build*' --exclude=./dist --exclude=./artifacts -cf - . | tar -xf - -C "$PACKAGE_DIR/src"
fi
rm -f "$PACKAGE_DIR"/kivrel*_*.deb "$PACKAGE_DIR"/kivrel_*.changes "$PACKAGE_DIR"/kivrel_*.buildinfo
# ccache speeds up builds again from the same folder (CMake reads the launcher
# from the environment); precompiled headers need its sloppiness to hit.
if command -v ccache >/dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
    export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
fi
(cd "$PACKAGE_DIR/src" && DEB_BUILD_OPTIONS="parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}" \
    dpkg-buildpackage -us -uc -b >"$PACKAGE_DIR/build.log" 2>&1) || {
    tail -n 40 "$PACKAGE_DIR/build.log" >&2
    echo "dpkg-buildpackage failed; the whole log: $PACKAGE_DIR/build.log" >&2
    exit 1
}
version=$(dpkg-parsechangelog -l debian/changelog -S Version)
arch=$(dpkg --print-architecture)
deb=kivrel_${version}_${arch}.deb
mkdir -p dist
rm -f dist/kivrel_*.deb dist/kivrel-dbgsym_*.deb
mv "$PACKAGE_DIR/$deb" dist/
mv "$PACKAGE_DIR"/kivrel-dbgsym_"${version}"_"${arch}".*deb dist/ 2>/dev/null || true
echo "dist/$deb"
[ $check -eq 1 ] || exit 0

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "dist/$deb" "$tree"
dpkg-deb -I "dist/$deb"
desktop-file-validate "$tree/usr/share/applications/kivrel.desktop"
appstreamcli validate --no-net "$tree"/usr/share/metainfo/*.metainfo.xml
# Errors and warnings fail; every info tag that is left is overridden with its reason.
lintian -I --pedantic --fail-on error,warning,info,pedantic --tag-display-limit 0 "dist/$deb"
hardening-check --nocfprotection "$tree/usr/bin/kivrel"
scripts/check-manpages.sh "$tree/usr/share/man/man1/kivrel.1.gz" "$tree/usr/share/man/ja/man1/kivrel.1.gz"
scripts/check-plugins.sh "$tree/usr/bin/kivrel" "dist/$deb"
echo "package checks passed"

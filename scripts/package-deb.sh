#!/usr/bin/env bash
# Builds the Debian package in its own build directory: vireo_<version>_<arch>.deb in
# the current directory (or $1). Needs the build requirements (scripts/deps.sh) and
# dpkg-dev for the dependency lookup (scripts/deps.sh package).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
out="$(realpath "${1:-.}")"
build="${VIREO_PACKAGE_BUILD_DIR:-$here/build-package}"

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX=/usr -DVIREO_BUILD_TESTS=OFF -DVIREO_BUILD_BENCH=OFF \
  -DVIREO_CHROMIUM_HOSTS_DIR=/etc/chromium/native-messaging-hosts \
  ${CMAKE_CXX_COMPILER_LAUNCHER:+-DCMAKE_CXX_COMPILER_LAUNCHER=$CMAKE_CXX_COMPILER_LAUNCHER}
cmake --build "$build" --target vireo vireo-native-host vireo_icons
(cd "$build" && cpack -G DEB -B "$out")
rm -rf "$out/_CPack_Packages"
deb="$(ls -t "$out"/vireo_*.deb | head -1)"

# What the package installs must pass the desktop's own checks.
check="$(mktemp -d)"
trap 'rm -rf "$check"' EXIT
dpkg-deb -x "$deb" "$check"
desktop-file-validate "$check/usr/share/applications/org.tarnwell.Vireo.desktop"
appstreamcli validate --no-net "$check"/usr/share/metainfo/*.metainfo.xml
echo "$deb"

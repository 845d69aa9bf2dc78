#!/usr/bin/env bash
# Installs the Debian packages Vireo needs to build, test and run.
# Usage: scripts/deps.sh [build|test|fuzz|package]
set -euo pipefail

# A font of its own, so the window's texts (and the tests that read their pixels) do not
# depend on what else happens to be installed.
build_pkgs=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev
    zlib1g-dev libssl-dev libgtest-dev libgmock-dev libbenchmark-dev netbase fonts-dejavu-core libx11-dev)
# Real peers and tools the tests drive: web servers, proxy, FTP server, media tools,
# certificates, a virtual display; perl writes the FTP test login database; a private
# session bus for the desktop tests, node for the browser extension's script.
test_pkgs=(nginx lighttpd apache2 tinyproxy vsftpd ffmpeg openssl xvfb xauth curl wget aria2
    clang-format attr perl dbus nodejs)
# Of those, the ones that come with a system service. The tests start their own instances
# on free ports; the packages' own must neither start on install nor at boot.
test_services=(nginx lighttpd apache2 tinyproxy vsftpd)
# The fuzz build (scripts/fuzz.sh): clang and its libFuzzer and sanitizer runtimes.
fuzz_pkgs=(clang-14 libclang-rt-14-dev)
# The Debian package (scripts/package-deb.sh): the library dependency lookup and the
# checks of the desktop entry and the AppStream metainfo.
package_pkgs=(dpkg-dev desktop-file-utils appstream)

want=("${build_pkgs[@]}")
if [[ "${1:-build}" == test ]]; then
    want+=("${test_pkgs[@]}")
elif [[ "${1:-build}" == fuzz ]]; then
    want+=("${fuzz_pkgs[@]}")
elif [[ "${1:-build}" == package ]]; then
    want+=("${package_pkgs[@]}")
fi

missing=()
for p in "${want[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

cmd=(apt-get install -y --no-install-recommends "${missing[@]}")
if [[ $(id -u) -eq 0 ]]; then
    sudo=()
elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    sudo=(sudo)
else
    echo "vireo: missing packages: ${missing[*]}" >&2
    echo "run as root: apt-get update && ${cmd[*]}" >&2
    exit 1
fi
echo "vireo: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
# Without a policy of the machine's own, one that refuses every start keeps the new
# services down while they install (two of them would also fight over port 80).
policy=/usr/sbin/policy-rc.d
if [[ ! -e $policy ]]; then
    printf '#!/bin/sh\nexit 101\n' | "${sudo[@]}" tee "$policy" >/dev/null
    "${sudo[@]}" chmod 755 "$policy"
    trap '"${sudo[@]}" rm -f "$policy"' EXIT
fi
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" "${cmd[@]}" >/dev/null
# Installing enables them; a machine that runs them under systemd also stops them, in
# case its own policy let them start.
if command -v systemctl >/dev/null; then
    for s in "${test_services[@]}"; do
        [[ " ${missing[*]} " == *" $s "* ]] || continue
        "${sudo[@]}" systemctl disable --quiet "$s" 2>/dev/null || true
        if [[ -d /run/systemd/system ]]; then
            "${sudo[@]}" systemctl stop "$s" 2>/dev/null || true
        fi
    done
fi

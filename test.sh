#!/usr/bin/env bash
# Installs what is missing (including the real servers the tests start), builds and runs
# every test through ctest. Exits non-zero on any failure.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$root/scripts/deps.sh" test
"$root/scripts/build.sh"
cd "${VIREO_BUILD_DIR:-$root/build}"
exec ctest --output-on-failure -j "$(nproc)" "$@"

#!/usr/bin/env bash
# Installs what is missing, builds when needed and runs Vireo with the given arguments.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$root/scripts/deps.sh" build
"$root/scripts/build.sh" --target vireo >/dev/null
exec "${VIREO_BUILD_DIR:-$root/build}/app/vireo" "$@"

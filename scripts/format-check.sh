#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what clang-format (with the repository's
# .clang-format) makes of it, and names the places.
# Usage: scripts/format-check.sh [SOURCE_DIR]
set -euo pipefail
root=$(cd "${1:-$(dirname "${BASH_SOURCE[0]}")/..}" && pwd)
cd "$root"
command -v clang-format >/dev/null || { echo "clang-format is not installed" >&2; exit 2; }
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    # A tracked file deleted in the working tree is not there to check.
    mapfile -t files < <(git ls-files -- '*.cpp' '*.h' | while IFS= read -r f; do
        [[ -e $f ]] && printf '%s\n' "$f"; done)
else
    mapfile -t files < <(find . -path ./build -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print)
fi
[[ ${#files[@]} -gt 0 ]] || { echo "no C++ files found in $root" >&2; exit 2; }
clang-format --dry-run -Werror "${files[@]}"
echo "format: ${#files[@]} files as clang-format writes them"

#!/usr/bin/env bash
# Fuzzes the parsers: builds the libFuzzer targets of fuzz/ with clang in their own build
# directory, runs each (or the one named) for the given minutes with its corpus, merges the
# inputs that add coverage into fuzz/corpus/<target>/ and minimizes every crash, time-out and
# memory blow-up into fuzz/reproducers/<target>/.
# Usage: scripts/fuzz.sh [minutes per target, default 10] [target]
# Environment: VIREO_FUZZ_BUILD_DIR (default build-fuzz/), FUZZ_JOBS (parallel fuzzing
# processes per target, default 1).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
minutes="${1:-10}"
only="${2:-}"
build="${VIREO_FUZZ_BUILD_DIR:-$root/build-fuzz}"

"$root/scripts/deps.sh" fuzz

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++-14 -DVIREO_FUZZ=ON -DVIREO_BUILD_TESTS=OFF \
    -DVIREO_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null

targets=()
for f in "$root"/fuzz/targets/*.cpp; do
    t="$(basename "$f" .cpp)"
    [[ -z "$only" || "$only" == "$t" ]] && targets+=("$t")
done
[[ ${#targets[@]} -gt 0 ]] || { echo "fuzz.sh: no target named $only" >&2; exit 2; }
cmake --build "$build" --target "${targets[@]/#/fuzz_}"

# The first line of a run that names what went wrong.
signature() {
    local sig
    sig="$("$1" "$2" 2>&1 | grep -m1 -oE 'fuzz check failed: [^(]*|[^ ]+: runtime error|what\(\): +[^:]*|SUMMARY: [A-Za-z]+Sanitizer: [^ ]+ [^ ]+|ERROR: libFuzzer: [a-z-]+' || true)"
    echo "${sig:-passes when run alone}"
}

found=0
for t in "${targets[@]}"; do
    bin="$build/fuzz/fuzz_$t"
    work="$build/fuzz-work/$t"
    rm -rf "$work" && mkdir -p "$work/new" "$work/artifacts"
    echo "== $t: ${minutes} min" >&2
    # Fork mode goes on after a crash, so one run can find several faults. The known
    # reproducers are not given as seeds: they would only crash again.
    (cd "$work" && "$bin" -fork="${FUZZ_JOBS:-1}" -ignore_crashes=1 -ignore_timeouts=1 \
        -ignore_ooms=1 -timeout=20 -rss_limit_mb=2048 -max_total_time=$((minutes * 60)) \
        -artifact_prefix="$work/artifacts/" -print_final_stats=1 \
        "$work/new" "$root/fuzz/corpus/$t" >"$work/log" 2>&1) || true
    grep -E '^#[0-9]+: cov:|^#[0-9]+.*DONE|stat::' "$work/log" | tail -3 >&2 || true

    # Keep, small, the inputs that reach code the tree's corpus does not (edges only:
    # hit counts would keep hundreds of near-copies).
    if [[ -n "$(ls -A "$work/new")" ]]; then
        "$bin" -merge=1 -use_counters=0 -max_len="${FUZZ_KEEP_LEN:-1024}" -timeout=20 "$root/fuzz/corpus/$t" \
            "$work/new" >"$work/merge.log" 2>&1 || true
    fi
    # One reproducer per fault: the artifacts are grouped by the first line that names
    # what went wrong, and the smallest of each group is minimized; faults the kept
    # reproducers show already are not kept again.
    declare -A first=()
    for r in $(find "$root/fuzz/reproducers/$t" -type f 2>/dev/null); do
        first["$(signature "$bin" "$r")"]="$r"
    done
    for a in $(ls -Sr "$work"/artifacts/* 2>/dev/null); do
        sig="$(signature "$bin" "$a")"
        [[ -z "${first[$sig]:-}" ]] || continue
        first[$sig]="$a"
        found=1
        mkdir -p "$root/fuzz/reproducers/$t"
        out="$root/fuzz/reproducers/$t/$(basename "$a")"
        case "$(basename "$a")" in
        crash-*)
            "$bin" -minimize_crash=1 -max_total_time=30 -exact_artifact_path="$out" "$a" \
                >"$work/minimize.log" 2>&1 || true
            [[ -e "$out" ]] || cp "$a" "$out" ;;
        *) cp "$a" "$out" ;;
        esac
        echo "$t: $sig: kept as fuzz/reproducers/$t/$(basename "$a")" >&2
    done
    unset first
done
if [[ $found -ne 0 ]]; then
    echo "fuzz.sh: list each new reproducer in fuzz/known-failing.txt with its fault until" \
        "it is fixed; the logs are in $build/fuzz-work/<target>/log" >&2
fi

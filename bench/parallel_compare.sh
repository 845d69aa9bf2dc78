#!/usr/bin/env bash
# 32 downloads at once from nginx on loopback: Vireo with -j 32 against aria2c -j 32, both
# given the same list file, one connection per download. Runs are interleaved; prints the
# median wall and CPU (user+sys) time of each and Vireo's ratios. Every copy is compared
# with its source.
#   bench/parallel_compare.sh [runs]     (env FILES=32, FILE_MIB=32, OUT_DIR)
# The copies go to OUT_DIR, by default a folder in /dev/shm (memory, so that the disk does
# not set the pace), or in the temporary folder where there is no /dev/shm.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-5}"
files="${FILES:-32}"
file_mib="${FILE_MIB:-32}"
vireo="${VIREO_BIN:-$root/build/app/vireo}"
[[ -x "$vireo" ]] || { echo "build Vireo first (./test.sh or scripts/build.sh)" >&2; exit 2; }
command -v aria2c >/dev/null || { echo "parallel_compare: aria2c is missing" >&2; exit 2; }

work="$(mktemp -d /tmp/vireo-bench.XXXXXX)"
shm=""
[[ -d /dev/shm && -w /dev/shm ]] && shm="$(mktemp -d /dev/shm/vireo-bench.XXXXXX)"
out="${OUT_DIR:-${shm:-$work/out}}/parallel"
nginx_pid=""
cleanup() {
    [[ -n "$nginx_pid" ]] && kill "$nginx_pid" 2>/dev/null || true
    rm -rf "$work" "$out"
    [[ -z "$shm" ]] || rm -rf "$shm"
}
trap cleanup EXIT

mkdir -p "$work/root" "$out" "$work/logs" "$work/tmp"
port=$((20000 + RANDOM % 20000))
: >"$work/list"
for ((i = 1; i <= files; i++)); do
    head -c "$((file_mib * 1024 * 1024))" /dev/urandom >"$work/root/f$i.bin"
    echo "http://127.0.0.1:$port/f$i.bin" >>"$work/list"
done
(cd "$work/root" && sha256sum f*.bin) >"$work/sums"
cat >"$work/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
error_log $work/logs/error.log;
pid $work/nginx.pid;
events { worker_connections 256; }
http {
    access_log off;
    client_body_temp_path $work/tmp; proxy_temp_path $work/tmp;
    fastcgi_temp_path $work/tmp; uwsgi_temp_path $work/tmp; scgi_temp_path $work/tmp;
    sendfile on;
    server { listen 127.0.0.1:$port; root $work/root; }
}
CONF
nginx -c "$work/nginx.conf" -p "$work" &
nginx_pid=$!
for _ in $(seq 50); do
    (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null && break
    sleep 0.1
done

export VIREO_CONFIG="$work/vireo.conf" VIREO_HOME="$work/home"
run_tool() {
    case "$1" in
    vireo) "$vireo" --headless -q -j "$files" -d "$out" -i "$work/list" ;;
    aria2c) aria2c -q -j "$files" --allow-overwrite=true --file-allocation=none -d "$out" \
        -i "$work/list" ;;
    esac
}

declare -A walls cpus
TIMEFORMAT='%R %U %S'
tools=(vireo aria2c)
for ((r = 1; r <= runs; r++)); do
    for tool in "${tools[@]}"; do
        rm -f "$out/"*
        sync
        t="$( { time run_tool "$tool" >/dev/null 2>&1; } 2>&1 | tail -1)"
        if ! (cd "$out" && sha256sum --quiet -c "$work/sums"); then
            echo "parallel_compare: $tool's files differ from the sources" >&2
            exit 1
        fi
        read -r wall user sys <<<"$t"
        walls[$tool]+="$wall "
        cpus[$tool]+="$(awk -v u="$user" -v s="$sys" 'BEGIN {print u + s}') "
    done
done

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
printf '%-8s %10s %10s %12s %12s\n' tool wall_s cpu_s vireo/wall vireo/cpu
vw="$(echo "${walls[vireo]}" | median)"
vc="$(echo "${cpus[vireo]}" | median)"
for tool in "${tools[@]}"; do
    w="$(echo "${walls[$tool]}" | median)"
    c="$(echo "${cpus[$tool]}" | median)"
    awk -v t="$tool" -v w="$w" -v c="$c" -v vw="$vw" -v vc="$vc" \
        'BEGIN {printf "%-8s %10.3f %10.3f %12.2f %12.2f\n", t, w, c, vw / w, vc / c}'
done
echo "($runs runs each, interleaved, $files downloads of ${file_mib} MiB at once into $out; medians)"

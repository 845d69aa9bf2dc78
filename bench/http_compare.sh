#!/usr/bin/env bash
# Downloads one large file from nginx on loopback with Vireo, curl, wget and aria2c, runs
# interleaved, and prints the median wall and CPU (user+sys) time of each tool and
# Vireo's ratio to each. Usage: bench/http_compare.sh [size-in-MiB] [runs]
# The copies go to OUT_DIR, by default a folder in /dev/shm (memory, so that the disk
# does not set the pace), or in the temporary folder where there is no /dev/shm.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
size_mib="${1:-1024}"
runs="${2:-5}"
vireo="${VIREO_BIN:-$root/build/app/vireo}"
[[ -x "$vireo" ]] || { echo "build Vireo first (./test.sh or scripts/build.sh)" >&2; exit 2; }

work="$(mktemp -d /tmp/vireo-bench.XXXXXX)"
shm=""
[[ -d /dev/shm && -w /dev/shm ]] && shm="$(mktemp -d /dev/shm/vireo-bench.XXXXXX)"
out="${OUT_DIR:-${shm:-$work/out}}"
nginx_pid=""
cleanup() {
    [[ -n "$nginx_pid" ]] && kill "$nginx_pid" 2>/dev/null || true
    rm -rf "$work"
    [[ -z "$shm" ]] || rm -rf "$shm"
    [[ -z "${OUT_DIR:-}" ]] || rm -f "$OUT_DIR/big.bin"
}
trap cleanup EXIT

mkdir -p "$work/root" "$out" "$work/logs" "$work/tmp"
head -c "$((size_mib * 1024 * 1024))" /dev/urandom > "$work/root/big.bin"
want="$(sha256sum < "$work/root/big.bin" | cut -d' ' -f1)"
port=$((20000 + RANDOM % 20000))
cat > "$work/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
error_log $work/logs/error.log;
pid $work/nginx.pid;
events { worker_connections 64; }
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
url="http://127.0.0.1:$port/big.bin"

export VIREO_CONFIG="$work/vireo.conf" VIREO_HOME="$work/home"
run_tool() {
    case "$1" in
    vireo) "$vireo" --headless -q -d "$out" "$url" ;;
    curl) curl -s -o "$out/big.bin" "$url" ;;
    wget) wget -q -O "$out/big.bin" "$url" ;;
    aria2c) aria2c -q --allow-overwrite=true --file-allocation=none -d "$out" -o big.bin "$url" ;;
    esac
}

tools=(${BENCH_TOOLS:-vireo curl wget aria2c})
declare -A walls cpus
TIMEFORMAT='%R %U %S'
for ((r = 1; r <= runs; r++)); do
    for tool in "${tools[@]}"; do
        command -v "$tool" >/dev/null || [[ "$tool" == vireo ]] || continue
        rm -f "$out/big.bin"*
        sync
        t="$( { time run_tool "$tool" >/dev/null 2>&1; } 2>&1 | tail -1)"
        got="$(sha256sum < "$out/big.bin" | cut -d' ' -f1)"
        if [[ "$got" != "$want" ]]; then
            echo "$tool: downloaded file differs from the source" >&2
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
    [[ -n "${walls[$tool]:-}" ]] || continue
    w="$(echo "${walls[$tool]}" | median)"
    c="$(echo "${cpus[$tool]}" | median)"
    awk -v t="$tool" -v w="$w" -v c="$c" -v vw="$vw" -v vc="$vc" \
        'BEGIN {printf "%-8s %10.3f %10.3f %12.2f %12.2f\n", t, w, c, vw / w, vc / c}'
done
echo "($runs runs each, interleaved, ${size_mib} MiB over loopback into $out; medians)"

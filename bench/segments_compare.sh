#!/usr/bin/env bash
# Downloads in segments against one connection, from nginx on loopback.
#  1. Every connection capped at 5 MB/s (limit_rate 5m), a file of LIMITED_MIB (200) MiB:
#     Vireo with 8 segments, with 1, and aria2c -x 8 -s 8.
#  2. No cap, a file of FREE_MIB (1024) MiB: Vireo with 8 segments and with 1.
# Runs are interleaved; prints the median wall and CPU (user+sys) time of each and the
# ratios. Usage: bench/segments_compare.sh [runs]   (env LIMITED_MIB, FREE_MIB, OUT_DIR)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-3}"
limited_mib="${LIMITED_MIB:-200}"
free_mib="${FREE_MIB:-1024}"
vireo="${VIREO_BIN:-$root/build/app/vireo}"
[[ -x "$vireo" ]] || { echo "build Vireo first (./test.sh or scripts/build.sh)" >&2; exit 2; }

work="$(mktemp -d /tmp/vireo-bench.XXXXXX)"
out="${OUT_DIR:-$work/out}"
nginx_pid=""
cleanup() {
    [[ -n "$nginx_pid" ]] && kill "$nginx_pid" 2>/dev/null || true
    rm -rf "$work"
    [[ -z "${OUT_DIR:-}" ]] || rm -f "$out/limited.bin" "$out/free.bin"
}
trap cleanup EXIT

mkdir -p "$work/root/limit" "$out" "$work/logs" "$work/tmp"
# A size of 0 leaves that part out.
head -c "$((limited_mib * 1024 * 1024))" /dev/urandom > "$work/root/limit/limited.bin"
head -c "$((free_mib * 1024 * 1024))" /dev/urandom > "$work/root/free.bin"
declare -A want
want[limited]="$(sha256sum < "$work/root/limit/limited.bin" | cut -d' ' -f1)"
want[free]="$(sha256sum < "$work/root/free.bin" | cut -d' ' -f1)"
port=$((20000 + RANDOM % 20000))
cat > "$work/nginx.conf" <<CONF
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
    server {
        listen 127.0.0.1:$port;
        root $work/root;
        location /limit/ { limit_rate 5m; }
    }
}
CONF
nginx -c "$work/nginx.conf" -p "$work" &
nginx_pid=$!
for _ in $(seq 50); do
    (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null && break
    sleep 0.1
done
base="http://127.0.0.1:$port"

export VIREO_CONFIG="$work/vireo.conf" VIREO_HOME="$work/home"
# run_tool TOOL FILE: one download of FILE (limited or free) into $out.
run_tool() {
    local url="$base/$([[ $2 == limited ]] && echo limit/)$2.bin"
    case "$1" in
    vireo8) "$vireo" --headless -q -s 8 -d "$out" "$url" ;;
    vireo1) "$vireo" --headless -q -s 1 -d "$out" "$url" ;;
    aria2c) aria2c -q -x 8 -s 8 --allow-overwrite=true --file-allocation=none -d "$out" -o "$2.bin" "$url" ;;
    esac
}

declare -A walls cpus
TIMEFORMAT='%R %U %S'
measure() { # measure TOOL FILE
    rm -f "$out/$2.bin"*
    sync
    local t got wall user sys
    t="$( { time run_tool "$1" "$2" >/dev/null 2>&1; } 2>&1 | tail -1)"
    got="$(sha256sum < "$out/$2.bin" | cut -d' ' -f1)"
    if [[ "$got" != "${want[$2]}" ]]; then
        echo "$1 ($2): downloaded file differs from the source" >&2
        exit 1
    fi
    read -r wall user sys <<<"$t"
    walls[$1-$2]+="$wall "
    cpus[$1-$2]+="$(awk -v u="$user" -v s="$sys" 'BEGIN {print u + s}') "
    rm -f "$out/$2.bin"
}

limited_tools=(vireo8 vireo1)
command -v aria2c >/dev/null && limited_tools+=(aria2c)
((limited_mib > 0)) || limited_tools=()
free_tools=(vireo8 vireo1)
((free_mib > 0)) || free_tools=()
for ((r = 1; r <= runs; r++)); do
    for tool in "${limited_tools[@]}"; do measure "$tool" limited; done
    for tool in "${free_tools[@]}"; do measure "$tool" free; done
done

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
wall() { echo "${walls[$1]}" | median; }
printf '%-16s %10s %10s\n' run wall_s cpu_s
for key in vireo8-limited vireo1-limited aria2c-limited vireo8-free vireo1-free; do
    [[ -n "${walls[$key]:-}" ]] || continue
    printf '%-16s %10.3f %10.3f\n' "$key" "$(wall "$key")" "$(echo "${cpus[$key]}" | median)"
done
ratio() { awk -v a="$(wall "$1")" -v b="$(wall "$2")" 'BEGIN {printf "%.3f", a / b}'; }
if ((limited_mib > 0)); then
    echo "limit 5m, ${limited_mib} MiB: 8 segments / 1 segment wall $(ratio vireo8-limited vireo1-limited)"
    [[ -z "${walls[aria2c-limited]:-}" ]] ||
        echo "limit 5m, ${limited_mib} MiB: 8 segments / aria2c -x 8 -s 8 wall $(ratio vireo8-limited aria2c-limited)"
fi
((free_mib == 0)) ||
    echo "no limit, ${free_mib} MiB: 8 segments / 1 segment wall $(ratio vireo8-free vireo1-free)"
echo "($runs runs each, interleaved, over loopback; medians)"

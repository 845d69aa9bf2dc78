#!/usr/bin/env bash
# Downloads one large file from vsftpd on loopback with Vireo, curl and wget, in turn,
# round after round, and prints the medians of wall time and CPU time (user + sys) and
# Vireo's ratios to the others. Every download is compared with the source.
#
#   bench/ftp_compare.sh               # 1 GiB, five rounds
#   SIZE_MIB=64 ROUNDS=1 bench/ftp_compare.sh
#
# All three use active mode (the server connects back): Vireo's default, curl -P -,
# wget --no-passive-ftp. Vireo runs as the headless front end when the build has one
# (vireo --headless -q -d DIR URL), otherwise as bench/fetch_item (the same engine with
# a single download item). vsftpd is started here, on 127.0.0.1 with a configuration of
# its own in a temporary folder, and stopped at the end.
#
# VIREO_BUILD_DIR names the build folder (default build/ next to this folder). The copies
# go to OUT_DIR, by default a folder in /dev/shm (memory, so that the disk does not set
# the pace), or in the temporary folder where there is no /dev/shm.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VIREO_BUILD_DIR:-$root/build}"
rounds="${ROUNDS:-5}"
size_mib="${SIZE_MIB:-1024}"

for tool in vsftpd curl wget python3 /usr/bin/time cmp; do
    command -v "$tool" >/dev/null || { echo "ftp_compare: $tool is missing" >&2; exit 2; }
done

vireo_cmd=()
if [[ -x "$build/app/vireo" ]] && "$build/app/vireo" --help 2>/dev/null | grep -q -- '--headless'; then
    vireo_cmd=("$build/app/vireo" --headless -q -d)
elif [[ -x "$build/bench/fetch_item" ]]; then
    vireo_cmd=("$build/bench/fetch_item")
else
    echo "ftp_compare: build Vireo first (neither a headless vireo nor fetch_item in $build)" >&2
    exit 2
fi

work="$(mktemp -d /tmp/vireo-ftp-compare.XXXXXX)"
shm=""
[[ -d /dev/shm && -w /dev/shm ]] && shm="$(mktemp -d /dev/shm/vireo-ftp-compare.XXXXXX)"
out_dir="${OUT_DIR:-${shm:-$work/out}}"
ftpd_pid=""
cleanup() {
    if [[ -n "$ftpd_pid" ]]; then
        kill "$ftpd_pid" 2>/dev/null || true
        wait "$ftpd_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
    [[ -z "$shm" ]] || rm -rf "$shm"
    [[ -z "${OUT_DIR:-}" ]] || rm -f "$OUT_DIR/big.bin"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Run by root, vsftpd serves anonymous sessions as the "ftp" user: it must reach the
# root folder but not write there.
chmod 755 "$work"
mkdir -p "$work/root" "$work/empty" "$out_dir"
echo "ftp_compare: writing a ${size_mib} MiB file of random bytes" >&2
head -c "$((size_mib * 1024 * 1024))" /dev/urandom >"$work/root/big.bin"
chmod 644 "$work/root/big.bin"

port="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
{
    echo "listen=YES"
    echo "listen_ipv6=NO"
    echo "listen_address=127.0.0.1"
    echo "listen_port=$port"
    echo "background=NO"
    echo "anonymous_enable=YES"
    echo "anon_root=$work/root"
    echo "write_enable=NO"
    echo "port_enable=YES"
    echo "pasv_enable=YES"
    echo "pasv_address=127.0.0.1"
    echo "connect_from_port_20=NO"
    echo "seccomp_sandbox=NO"
    echo "isolate=NO"
    echo "isolate_network=NO"
    echo "xferlog_enable=NO"
    echo "idle_session_timeout=300"
    echo "data_connection_timeout=300"
    if [[ "$(id -u)" == 0 ]]; then
        echo "secure_chroot_dir=$work/empty"
        echo "local_enable=NO"
    else
        echo "run_as_launching_user=YES"
        echo "local_enable=NO"
    fi
} >"$work/vsftpd.conf"
vsftpd "$work/vsftpd.conf" >"$work/vsftpd.out" 2>&1 &
ftpd_pid=$!
for _ in $(seq 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then break; fi
    kill -0 "$ftpd_pid" 2>/dev/null || { cat "$work/vsftpd.out" >&2; exit 1; }
    sleep 0.05
done
url="ftp://127.0.0.1:$port/big.bin"

# Runs one download; appends "tool wall user sys" to the results.
measure() {
    local tool="$1"
    local out="$out_dir/big.bin"
    rm -f "$out"
    local cmd
    case "$tool" in
    vireo) cmd=("${vireo_cmd[@]}" "$out_dir" "$url") ;;
    curl) cmd=(curl -sS -P - -o "$out" "$url") ;;
    wget) cmd=(wget -q --no-passive-ftp -O "$out" "$url") ;;
    esac
    if ! /usr/bin/time -f '%e %U %S' -o "$work/time" \
        env VIREO_CONFIG="$work/vireo.conf" VIREO_HOME="$work/home" "${cmd[@]}"; then
        echo "ftp_compare: $tool failed" >&2
        exit 1
    fi
    if ! cmp -s "$work/root/big.bin" "$out"; then
        echo "ftp_compare: $tool's file differs from the source" >&2
        exit 1
    fi
    local wall user sys
    read -r wall user sys < <(tail -n 1 "$work/time")
    echo "$tool $wall $user $sys" >>"$work/results"
    awk -v t="$tool" -v w="$wall" -v u="$user" -v s="$sys" \
        'BEGIN { printf "%-6s wall %7.2f s  cpu %7.2f s (user %.2f, sys %.2f)\n", t, w, u + s, u, s }' >&2
}

: >"$work/results"
for round in $(seq "$rounds"); do
    echo "ftp_compare: round $round of $rounds" >&2
    for tool in vireo curl wget; do
        measure "$tool"
    done
done

# Medians per tool, then Vireo's ratios.
python3 - "$work/results" "$size_mib" "$rounds" "${vireo_cmd[0]##*/}" <<'EOF'
import statistics, sys
path, size_mib, rounds, vireo_as = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
runs = {}
for line in open(path):
    tool, wall, user, sys_ = line.split()
    runs.setdefault(tool, []).append((float(wall), float(user) + float(sys_)))
print(f"{size_mib} MiB from vsftpd on loopback, active mode, medians of {rounds} "
      f"(Vireo as {vireo_as})")
print(f"{'tool':6} {'wall s':>8} {'cpu s':>8} {'MiB/s':>8}")
med = {}
for tool in ("vireo", "curl", "wget"):
    wall = statistics.median(r[0] for r in runs[tool])
    cpu = statistics.median(r[1] for r in runs[tool])
    med[tool] = (wall, cpu)
    speed = size_mib / wall if wall > 0 else float("inf")
    print(f"{tool:6} {wall:8.2f} {cpu:8.2f} {speed:8.0f}")
for other in ("curl", "wget"):
    w = med["vireo"][0] / med[other][0] if med[other][0] > 0 else float("nan")
    c = med["vireo"][1] / med[other][1] if med[other][1] > 0 else float("nan")
    print(f"vireo/{other}: wall {w:.2f}, cpu {c:.2f}")
EOF

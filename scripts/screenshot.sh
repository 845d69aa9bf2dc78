#!/bin/bash
# Makes the README's picture from real downloads: nginx on loopback serves two large files
# slowly (they keep running), a small one (it finishes) and no file at one address (it
# fails); Vireo fetches them under a private Xvfb display, the second row is stopped with
# Ctrl+P, and the window is saved as a PNG.
#
#   scripts/screenshot.sh [OUT.png] [SCALE]     default docs/screenshot.png, scale 1
#
# Needs Xvfb, nginx, xdotool and ImageMagick's import. The build is $VIREO_BUILD_DIR
# (default build/). VIREO_SHOT_DISPLAY picks the display number (default 93).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$here/docs/screenshot.png}
scale=${2:-1}
build=${VIREO_BUILD_DIR:-$here/build}
vireo=$build/app/vireo
display=:${VIREO_SHOT_DISPLAY:-93}
[ -x "$vireo" ] || { echo "no $vireo: build first" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
    # The program first, the X server last.
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

# The files: sparse large ones cost no disk.
chmod 755 "$work"
mkdir -p "$work/www" "$work/nginx" "$work/downloads" "$work/home"
truncate -s 96M "$work/www/firmware-bundle-2024.tar.xz"
truncate -s 700M "$work/www/conference-talk.mkv"
head -c 2500000 /dev/urandom >"$work/www/release-notes.pdf"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat >"$work/nginx/nginx.conf" <<CONF
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
    access_log off;
    client_body_temp_path $work/nginx;
    proxy_temp_path $work/nginx;
    fastcgi_temp_path $work/nginx;
    uwsgi_temp_path $work/nginx;
    scgi_temp_path $work/nginx;
    server {
        listen 127.0.0.1:$port;
        root $work/www;
        location ~ \.xz$ { limit_rate 3m; }
        location ~ \.mkv$ { limit_rate 900k; }
        location ~ \.pdf$ { limit_rate 2m; }
    }
}
CONF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" &
pids+=($!)

# The display: large enough for the window at the scale asked for.
width=$((1100 * scale + 40))
height=$((380 * scale + 40))
Xvfb "$display" -screen 0 "${width}x${height}x24" -nolisten tcp &
pids+=($!)
for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done

cat >"$work/Vireo.conf" <<CONF
[setup]
mwndrect=10 10 1110 370
CONF
base=http://127.0.0.1:$port
DISPLAY=$display QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale \
    VIREO_CONFIG="$work/Vireo.conf" VIREO_HOME="$work/home" DBUS_SESSION_BUS_ADDRESS=disabled: \
    "$vireo" -d "$work/downloads" \
    "$base/firmware-bundle-2024.tar.xz" "$base/conference-talk.mkv" \
    "$base/release-notes.pdf" "$base/missing/driver-2.1.zip" &
pids+=($!)

window=""
for _ in $(seq 100); do
    window=$(DISPLAY=$display xdotool search --onlyvisible --name "Vireo" 2>/dev/null | head -1) || true
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "the window did not appear" >&2; exit 1; }

# The second row stopped: the list takes the focus, Down moves to the row, Ctrl+P stops it.
sleep 2
DISPLAY=$display xdotool windowfocus --sync "$window"
sleep 0.3
DISPLAY=$display xdotool key --window "$window" Down
sleep 0.3
DISPLAY=$display xdotool key --window "$window" ctrl+p
sleep 0.3
# A click below the rows takes the selection away, so that every row shows as it is.
DISPLAY=$display xdotool mousemove --window "$window" $((500 * scale)) $((300 * scale)) click 1
# A few seconds of running, so that speed and time left have settled.
sleep 3
mkdir -p "$(dirname "$out")"
DISPLAY=$display import -window "$window" "$out"
echo "$out"

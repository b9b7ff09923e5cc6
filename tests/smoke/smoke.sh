#!/usr/bin/env bash
# The real binaries as a user runs them: the world started as scripts/run starts it, the app
# on a virtual 800 x 480 screen with a window manager (without one showMaximized() does
# nothing), "facebook" and "Continue" clicked, and a screenshot of the map with people.
#
#   smoke.sh BUILD_DIR OUTPUT_DIR
# With PINROVA_WORLD_PREFIX=/usr the installed programs run instead (the package check).
set -euo pipefail

build=$(cd "$1" && pwd)
out=$2
mkdir -p "$out"
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/pinrova-smoke.XXXXXX")
export PINROVA_BUILD_DIR=$build
export PINROVA_DEMO_DATA=$work/data
export PINROVA_DEMO_CROWD=12
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache # the app's settings and cache
unset QT_QPA_PLATFORM

# shellcheck source=../../scripts/lib/world.sh
. "$root/scripts/lib/world.sh"
extra=()
fail() {
    echo "smoke: $*" >&2
    [ -n "${DISPLAY:-}" ] && import -display "$DISPLAY" -window root "$out/failure.png" 2>/dev/null || true
    for log in "$work"/world/*.log "$work"/app.log; do
        [ -f "$log" ] && { echo "--- $log" >&2; tail -n 20 "$log" >&2; }
    done
    exit 1
}
cleanup() {
    local pid
    for ((i = ${#extra[@]} - 1; i >= 0; i--)); do kill -TERM "${extra[i]}" 2>/dev/null || true; done
    for pid in "${extra[@]}"; do wait "$pid" 2>/dev/null || true; done
    world_stop
    rm -rf "$work"
}
trap cleanup EXIT

# A free display and a free port for the position service.
for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=:$n; break; }
done
[ -n "${display:-}" ] || fail "no free X display number"
for port in $(seq 18080 18180); do
    world_port_taken "$port" || { export PINROVA_DEMO_PORT=$port; break; }
done

Xvfb "$display" -screen 0 800x480x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
extra+=($!)
world_wait_for 15 "the virtual screen" test -e "/tmp/.X11-unix/X${display#:}" || fail "Xvfb did not start"
export DISPLAY=$display
matchbox-window-manager -use_titlebar no >"$work/wm.log" 2>&1 &
extra+=($!)

world_start "$work/world" || fail "the world did not start"
(
    set -a
    . "$work/world/app.env"
    set +a
    exec "$(world_program app/pinrova)"
) >"$work/app.log" 2>&1 &
app=$!
extra+=($app)

world_wait_for 30 "the main window" xdotool search --onlyvisible --name '^Pinrova$' >/dev/null ||
    fail "the main window did not appear"
sleep 1 # the chooser comes with the session, right after the window

# "facebook" is the first row of the chooser.
xdotool mousemove 100 201 click 1
world_wait_for 20 "the sign-in window" xdotool search --onlyvisible --name '^Authorization$' >/dev/null ||
    fail "clicking facebook opened no sign-in window"
sleep 1
# The dialog's first button is "Continue".
xdotool mousemove 56 144 click 1

service="http://127.0.0.1:$PINROVA_DEMO_PORT/PosService/PosService.svc"
query="GetUsers?lat=59.944069&lon=30.306141&zoomlevel=13"
me=100000000000001 # the Facebook stand-in's demo user
reporting() {
    curl -fsS "$service/$query" 2>/dev/null | tr -d '\n' | grep -q "<Id>$me</Id>"
}
world_wait_for 40 "the user to be registered and reporting" reporting ||
    fail "the signed-in user never reached the position service"
sleep 6 # the list's next refresh and its pictures
import -window root "$out/pinrova-demo.png"

# Not blank, and with markers on it: the online frames' green.
colours=$(identify -format '%k' "$out/pinrova-demo.png")
[ "$colours" -gt 100 ] || fail "the screenshot has only $colours colours"
green=$(convert "$out/pinrova-demo.png" -fuzz 4% -fill black +opaque 'rgb(46,184,92)' -fill white \
    -opaque 'rgb(46,184,92)' -colorspace gray -format '%[fx:round(mean*w*h)]' info:)
[ "$green" -gt 500 ] || fail "no markers on the map ($green frame pixels)"
echo "smoke: $colours colours, $green frame pixels, screenshot in $out/pinrova-demo.png"

# Everything stops with the app.
kill -TERM "$app"
wait "$app" 2>/dev/null || true
pids=("${world_pids[@]}")
world_stop
for pid in "${pids[@]}" "$app"; do
    if kill -0 "$pid" 2>/dev/null; then fail "process $pid is still running"; fi
done

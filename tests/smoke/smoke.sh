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
export PINROVA_DEMO_ACCESS_LOG=1 # what the app asks the service, checked below
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

# The user's path, read from what the app asks the service: GetUsers with the map's size (the
# crowd and this script never send one).
asked() { grep -o 'GetUsers?[^ ]*&width=[^ ]*' "$work/world/posd.log" | sed 's/^GetUsers?//'; }
key() { sed -n "s/.*[?&]\?$1=\([^&]*\).*/\1/p" <<<"$2"; }
near() { awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN { d = a - b; exit !(d <= t && d >= -t) }'; }
first=$(asked | head -n 1)
[ -n "$first" ] || fail "the app never asked for the people around it"
width=$(key width "$first") height=$(key height "$first")
# The map's centre at zoom 13 (not 0, 0, 0), with the window's size.
near "$(key lat "$first")" 59.9441 0.001 && near "$(key lon "$first")" 30.3061 0.001 &&
    [ "$(key zoomlevel "$first")" = 13 ] && [ "$width" -gt 600 ] && [ "$width" -le 800 ] &&
    [ "$height" -gt 300 ] && [ "$height" -le 480 ] || fail "the first list was asked as $first"
# With "Group nearby people" on, as it starts, the view's crowd is asked for too.
[ "$(key crowds "$first")" = 1 ] || fail "the first list did not ask for the crowd: $first"
# In follow mode the list follows the walk.
following() { [ "$(asked | grep -c 'zoomlevel=13')" -ge 3 ] && [ "$(asked | cut -d'&' -f1,2 | sort -u | wc -l)" -ge 2 ]; }
world_wait_for 30 "the list to follow the walk" following || fail "the list stayed where the walk began: $(asked | tr '\n' ' ')"

# The map is laid out 11 px inside the 800 x 480 window, at its bottom.
cx=$((11 + width / 2)) cy=$((480 - 11 - height / 2))
last_asked() { asked | tail -n 1; }
count=$(asked | wc -l)
# A tap on an empty corner of the map gives it the focus and asks about where it shows.
xdotool mousemove $((11 + width - 30)) $((480 - 11 - height + 60)) click 1
world_wait_for 10 "the tap's question" test "$(asked | wc -l)" -gt "$count" || fail "a tap asked nothing"
before=$(last_asked)
# Ten presses of Left show 200 px more of the west and leave follow mode; a wheel notch at the
# centre then zooms in about it.
xdotool key --delay 60 Left Left Left Left Left Left Left Left Left Left
sleep 0.5
count=$(asked | wc -l)
xdotool mousemove "$cx" "$cy" click 4
world_wait_for 10 "the wheel's question" test "$(asked | wc -l)" -gt "$count" || fail "the wheel asked nothing"
zoomed=$(last_asked)
[ "$(key zoomlevel "$zoomed")" = 14 ] || fail "a wheel notch gave $zoomed"
# 200 px at zoom 13 is 200 / 256 / 2^13 * 360 degrees.
near "$(awk -v a="$(key lon "$zoomed")" -v b="$(key lon "$before")" 'BEGIN { print b - a }')" 0.0343 0.004 ||
    fail "the arrows did not pan: $before, then $zoomed"
# A notch 200 px right of the centre keeps the place under the cursor: the centre moves east
# by half of those 200 px at zoom 14, 200 / 256 / 2^15 * 360 degrees.
count=$(asked | wc -l)
xdotool mousemove $((cx + 200)) "$cy" click 4
world_wait_for 10 "the second notch's question" test "$(asked | wc -l)" -gt "$count" || fail "the wheel asked nothing"
again=$(last_asked)
[ "$(key zoomlevel "$again")" = 15 ] || fail "a second notch gave $again"
near "$(awk -v a="$(key lon "$again")" -v b="$(key lon "$zoomed")" 'BEGIN { print a - b }')" 0.00858 0.0012 &&
    near "$(key lat "$again")" "$(key lat "$zoomed")" 0.0006 ||
    fail "the wheel did not zoom about the cursor: $zoomed, then $again"
echo "smoke: asked first $first; keys and wheel: $before, $zoomed, $again"

# Everything stops with the app.
kill -TERM "$app"
wait "$app" 2>/dev/null || true
pids=("${world_pids[@]}")
world_stop
for pid in "${pids[@]}" "$app"; do
    if kill -0 "$pid" 2>/dev/null; then fail "process $pid is still running"; fi
done

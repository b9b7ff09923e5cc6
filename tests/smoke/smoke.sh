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
# Chromium's sandbox, which keeps the sign-in pages' renderer apart, cannot start as root: CI and
# containers run this as root, users never run the app so.
if [ "$(id -u)" -eq 0 ]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi
# Xvfb has no GPU: the sign-in view is drawn by Qt Quick's software renderer, and Chromium is
# told not to look for one.
export QT_QUICK_BACKEND=software QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu

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

# Another person watches: a VKontakte session signed with the world's secret, as the stand-in
# signs them, registered for a key. The credential and the key go through files only.
umask 077
watcher_session() {
    local mid=990001 secret sid=smoke$RANDOM vk_secret sig
    secret=$(head -c 8 /dev/urandom | od -An -tx1 | tr -d ' \n')
    vk_secret=$(cat "$work/world/secrets/vk-app-secret")
    sig=$(printf 'expire=0mid=%ssecret=%ssid=%s%s' "$mid" "$secret" "$sid" "$vk_secret" | md5sum | cut -d' ' -f1)
    printf '{"expire":0,"mid":%s,"secret":"%s","sid":"%s","sig":"%s"}' "$mid" "$secret" "$sid" "$sig"
}
printf 'Authorization: VKontakte %s\n' "$(watcher_session | base64 -w 0 | tr '+/' '-_' | tr -d '=')" \
    >"$work/watcher.credential"
curl -fsS -H @"$work/watcher.credential" -o "$work/watcher.key" \
    "$service/Register?uid=%7B5e1f0c2a-7d3b-4c8e-9a61-2b4d6f8e0c17%7D&network=vkontakte&id=990001&name=Watcher&smallPic=&mediumPic=&sex=0" ||
    fail "the watcher could not register"
printf 'Authorization: Bearer %s\n' "$(cat "$work/watcher.key")" >"$work/watcher.header"
watch_list() { curl -fsS -H @"$work/watcher.header" "$service/$query" 2>/dev/null | tr -d '\n'; }
reporting() { watch_list | grep -q "<Id>$me</Id>"; }
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

# The privacy entries of the menu, beside "Follow me" on the window's top row, checked in the
# service's access log and by what the watcher is shown.
uid=$(grep -o "Register?uid=[^&]*&network=facebook&id=$me" "$work/world/posd.log" | head -n 1 |
    sed 's/^Register?uid=//; s/&.*//')
[ -n "$uid" ] || fail "the app's Register is not in the access log"
reports() { grep -o "SetPos?uid=$uid&[^ ]*" "$work/world/posd.log" || true; }
reports_since() { reports | tail -n +"$(($1 + 1))"; }
on_grid() { # a latitude on the 0.01 degree grid
    awk -v v="$1" 'BEGIN { x = v * 100; d = x - sprintf("%.0f", x); exit !(d < 1e-6 && d > -1e-6) }'
}
lat_of() { sed -n 's/.*[?&]lat=\([^&]*\).*/\1/p' <<<"$1"; }
# "Approximate position": every later report, and what the watcher sees, is on the grid.
count=$(reports | wc -l)
xdotool mousemove 296 10 click 1
two_more() { [ "$(reports_since "$count" | wc -l)" -ge 2 ]; }
world_wait_for 15 "two reports after Approximate position" two_more ||
    fail "no reports after Approximate position"
rounded=$(reports_since "$count" | tail -n 1)
on_grid "$(lat_of "$rounded")" || fail "Approximate position still reported $rounded"
listed_lat=$(watch_list | grep -o "<User>.*</User>" | sed 's|</User>|</User>\n|g' | grep "<Id>$me</Id>" |
    sed -n 's|.*<Lat>\([^<]*\)</Lat>.*|\1|p' | head -n 1)
[ -n "$listed_lat" ] && on_grid "$listed_lat" || fail "the watcher sees $me at latitude $listed_lat"
# "Show me to others" off: Hide, no more reports, and the watcher no longer sees the user.
xdotool mousemove 150 10 click 1
world_wait_for 10 "the Hide" grep -q "POST [^ ]*/Hide?uid=$uid 204" "$work/world/posd.log" ||
    fail "Show me to others sent no Hide"
hidden_at=$(reports | wc -l)
sleep 7 # two fixes and a list's refresh
[ "$(reports | wc -l)" -le $((hidden_at + 1)) ] || fail "reports went on while hidden"
! reporting || fail "the watcher still sees the hidden user"
# On again: a new Register, and the user is back.
registers() { grep -c "Register?uid=$uid&" "$work/world/posd.log"; }
before=$(registers)
xdotool mousemove 150 10 click 1
world_wait_for 15 "the user to be back" reporting || fail "Show me to others on did not bring the user back"
[ "$(registers)" -gt "$before" ] || fail "showing again did not register again"
grep -q '^ShowMeToOthers=true' "$XDG_CONFIG_HOME/Tavrion/Pinrova.conf" &&
    grep -q '^ApproximatePosition=true' "$XDG_CONFIG_HOME/Tavrion/Pinrova.conf" ||
    fail "the choices were not remembered"
echo "smoke: approximate report $rounded, listed at $listed_lat; hidden and shown again"

# Everything stops with the app.
kill -TERM "$app"
wait "$app" 2>/dev/null || true
pids=("${world_pids[@]}")
world_stop
for pid in "${pids[@]}" "$app"; do
    if kill -0 "$pid" 2>/dev/null; then fail "process $pid is still running"; fi
done

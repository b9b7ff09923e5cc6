#!/usr/bin/env bash
# The sign-in window as a user meets it: the app on a virtual 800 x 480 screen with a window
# manager, against the sandbox, "facebook" clicked with xdotool. Prints, per round, the time from
# the click to the dialog drawn on the screen (the first screenshot with the dialog's heading in
# it), then the memory of the app and of the processes it started (the web renderer), with the
# window open: the sum of their proportional set sizes (shared pages split between the sharers)
# and of their resident sizes.
#
#   bench/signin/signin.sh [APP] [ROUNDS]
# APP is the app's program (default: the build's app/pinrova); the world comes from
# PINROVA_BUILD_DIR (default build/). Screenshots are taken one after another, each in about
# SHOT_MS (printed), which bounds the time's resolution.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export PINROVA_BUILD_DIR=${PINROVA_BUILD_DIR:-$root/build}
app=${1:-$PINROVA_BUILD_DIR/app/pinrova}
rounds=${2:-5}
work=$(mktemp -d "${TMPDIR:-/tmp}/pinrova-signin.XXXXXX")
export PINROVA_DEMO_DATA=$work/data PINROVA_DEMO_CROWD=0
unset QT_QPA_PLATFORM
# As in the smoke test: no Chromium sandbox as root, software drawing on Xvfb.
if [ "$(id -u)" -eq 0 ]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi
export QT_QUICK_BACKEND=software QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu

# shellcheck source=../../scripts/lib/world.sh
. "$root/scripts/lib/world.sh"
extra=()
cleanup() {
    for ((i = ${#extra[@]} - 1; i >= 0; i--)); do kill -TERM "${extra[i]}" 2>/dev/null || true; done
    for pid in "${extra[@]}"; do wait "$pid" 2>/dev/null || true; done
    world_stop
    rm -rf "$work"
}
trap cleanup EXIT

for n in $(seq 141 190); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=:$n; break; }
done
for port in $(seq 18200 18300); do
    world_port_taken "$port" || { export PINROVA_DEMO_PORT=$port; break; }
done
Xvfb "$display" -screen 0 800x480x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
extra+=($!)
world_wait_for 15 "the virtual screen" test -e "/tmp/.X11-unix/X${display#:}"
export DISPLAY=$display
matchbox-window-manager -use_titlebar no >"$work/wm.log" 2>&1 &
extra+=($!)
world_start "$work/world" >/dev/null 2>&1

now_ms() { echo $(($(date +%s%N) / 1000000)); }
# The dialog's heading, "Pinrova" in large bold black, fills this band of the screen; the
# chooser under the window has nothing dark there.
dark_pixels() {
    import -window root -crop 200x40+15+30 +repage png:- |
        convert png:- -colorspace gray -threshold 30% -format '%[fx:round((1-mean)*w*h)]' info:
}
tree_memory() { # pid: "pss_kb rss_kb" summed over the process and its descendants
    local pids=("$1") i=0 pss=0 rss=0 child
    while ((i < ${#pids[@]})); do
        for child in $(cat /proc/"${pids[i]}"/task/*/children 2>/dev/null); do pids+=("$child"); done
        i=$((i + 1))
    done
    for child in "${pids[@]}"; do
        read -r p r < <(awk '/^Pss:/ {p=$2} /^Rss:/ {r=$2} END {print p+0, r+0}' \
            /proc/"$child"/smaps_rollup 2>/dev/null || echo "0 0")
        pss=$((pss + p)) rss=$((rss + r))
    done
    echo "$pss $rss ${#pids[@]}"
}

start=$(now_ms)
dark_pixels >/dev/null
echo "signin: one screenshot takes about $(($(now_ms) - start)) ms"
for round in $(seq 1 "$rounds"); do
    export XDG_CONFIG_HOME=$work/config$round XDG_CACHE_HOME=$work/cache$round
    export XDG_DATA_HOME=$work/share$round
    (
        set -a
        . "$work/world/app.env"
        set +a
        exec "$app"
    ) >"$work/app$round.log" 2>&1 &
    pid=$!
    world_wait_for 30 "the main window" xdotool search --onlyvisible --name '^Pinrova$' >/dev/null
    sleep 2 # the chooser comes with the session, right after the window
    [ "$(dark_pixels)" -lt 50 ] || { echo "signin: the chooser is not as expected" >&2; exit 1; }
    clicked=$(now_ms)
    xdotool mousemove 100 201 click 1
    until [ "$(dark_pixels)" -ge 500 ]; do
        if (($(now_ms) - clicked > 30000)); then
            echo "signin: no dialog after 30 s" >&2
            import -window root "${TMPDIR:-/tmp}/pinrova-signin-failure.png" || true
            exit 1
        fi
    done
    drawn=$(now_ms)
    sleep 3 # settled
    read -r pss rss count < <(tree_memory "$pid")
    echo "round $round: click to drawn $((drawn - clicked)) ms; memory PSS $((pss / 1024)) MiB, RSS $((rss / 1024)) MiB in $count processes"
    kill -TERM "$pid"
    wait "$pid" 2>/dev/null || true
done

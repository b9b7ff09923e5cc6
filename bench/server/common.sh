# shellcheck shell=bash
# What the bench/server scripts each do before they measure; sourced after their
# `set -euo pipefail`.
#
#   root, here, build, posd
#       the checkout, this folder, the build (PINROVA_BUILD_DIR, default build/) and the
#       pinrova-posd in it
#   bench_install_wrk           apt-get install wrk when it is missing (with sudo unless root)
#   bench_need_wrk STATUS MSG   when wrk is missing, MSG on stderr and exit STATUS
#   bench_workdir PREFIX [CMD...]
#       work=/tmp/PREFIX.XXXXXX; on exit the processes in bench_pids are stopped, CMD is run
#       and the folder removed
#   bench_build TARGET...       cmake --build the targets, quietly
#   bench_start_posd LOG WAIT ARG...
#       pinrova-posd --listen 127.0.0.1:0 ARG..., its stderr in LOG; sets posd_pid and
#       posd_port, or exits 1 when it has not said where it listens within WAIT seconds;
#       with --open-registration unless ARG... names a secret file
#   bench_stop PID              stop one of bench_pids now and wait for it
#   free_port                   a free loopback port
#   rss_kib PID                 resident memory of PID in KiB
#   metric NAME                 NAME's value in the /metrics of the pinrova-posd on posd_port

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck disable=SC2034 # read by the scripts that source this file
here="$root/bench/server"
build=${PINROVA_BUILD_DIR:-$root/build}
posd="$build/server/pinrova-posd"
bench_pids=()
bench_on_exit=()

bench_install_wrk() {
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    if ! command -v wrk >/dev/null; then
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends wrk
    fi
}

bench_need_wrk() {
    command -v wrk >/dev/null || { echo "$2" >&2; exit "$1"; }
}

bench_workdir() {
    work=$(mktemp -d "/tmp/$1.XXXXXX")
    bench_on_exit=("${@:2}")
    trap bench_cleanup EXIT
}

# Every step may fail without changing the script's exit status: errexit applies in the trap.
bench_cleanup() {
    local pid
    for pid in "${bench_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    if ((${#bench_on_exit[@]})); then "${bench_on_exit[@]}" || true; fi
    # Only these: a wrk that a failed step left running ends on its own.
    if ((${#bench_pids[@]})); then wait "${bench_pids[@]}" 2>/dev/null || true; fi
    rm -rf "$work"
}

bench_build() {
    cmake --build "$build" --target "$@" >/dev/null
}

bench_start_posd() {
    local log=$1 wait_s=$2
    shift 2
    # Made here, so that the first look for the port cannot come before the log exists.
    : >"$log"
    # The designed protocol unless the benchmark gives the service a secret to check with.
    # (compare.sh may run a build from before the option existed).
    local open=(--open-registration)
    [[ " $* " == *" --vk-app-secret-file "* || " $* " == *" --facebook-app-secret-file "* ]] && open=()
    "$posd" --help | grep -q -- --open-registration || open=()
    "$posd" --listen 127.0.0.1:0 "${open[@]}" "$@" 2>"$log" &
    posd_pid=$!
    bench_pids+=("$posd_pid")
    posd_port=
    for _ in $(seq $((wait_s * 10))); do
        posd_port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$log")
        [ -n "$posd_port" ] && return 0
        sleep 0.1
    done
    echo "pinrova-posd did not start:" >&2; cat "$log" >&2; exit 1
}

bench_stop() {
    local i
    kill "$1"
    wait "$1" || true
    # Out of the list, so that the cleanup cannot hit another process given the same id.
    for i in "${!bench_pids[@]}"; do
        if [ "${bench_pids[i]}" = "$1" ]; then unset 'bench_pids[i]'; fi
    done
}

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
rss_kib() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }
metric() { curl -s "http://127.0.0.1:$posd_port/metrics" | awk -v n="$1" '$1 == n {print $2}'; }

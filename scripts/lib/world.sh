# The world Pinrova talks to, on loopback: a private system bus with the mode-control stand-in,
# the position service, and the sandbox (tiles, Facebook, VKontakte, a crowd). Sourced by
# scripts/run and by the smoke test, so both start exactly the same thing.
#
#   world_start DIR     start everything; DIR holds sockets, logs and app.env
#   world_app_env DIR   the environment lines the app needs (also written to DIR/app.env)
#   world_stop          stop everything world_start started (also on exit)
#
# Settings, from the environment: PINROVA_BUILD_DIR (default build/), PINROVA_DEMO_PORT (the
# position service's port, default 8080), PINROVA_DEMO_CROWD (default 40), PINROVA_DEMO_SETTLED
# (people who register once and stay, a city around the centre; default 0), PINROVA_DEMO_DATA
# (the service's database folder, default $XDG_DATA_HOME/pinrova-demo), PINROVA_WORLD_PREFIX
# (an install prefix such as /usr: its installed programs instead of the build's),
# PINROVA_DEMO_CLUSTER=1 (the service as 2 instances behind HAProxy over a 6-node Redis
# Cluster, see cluster.sh).

world_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
world_build=${PINROVA_BUILD_DIR:-$world_root/build}
world_prefix=${PINROVA_WORLD_PREFIX:-}
world_pids=()
world_posd_identity=() # the position service's credential options, once world_start made them
world_program() { # the program's path in the build, e.g. server/pinrova-posd
    if [ -n "$world_prefix" ]; then
        echo "$world_prefix/bin/${1##*/}"
    else
        echo "$world_build/$1"
    fi
}

world_log() { printf 'world: %s\n' "$*" >&2; }

world_port_taken() {
    # A listening socket answers a connect; nothing else on loopback does.
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

world_wait_for() { # seconds description test-command...
    local deadline=$((SECONDS + $1)) what=$2
    shift 2
    until "$@"; do
        if ((SECONDS >= deadline)); then
            world_log "gave up waiting for $what"
            return 1
        fi
        sleep 0.2
    done
}

world_start() {
    local dir=$1
    local port=${PINROVA_DEMO_PORT:-8080}
    local data=${PINROVA_DEMO_DATA:-${XDG_DATA_HOME:-$HOME/.local/share}/pinrova-demo}
    mkdir -p "$dir" "$data"

    for program in server/pinrova-posd sandbox/pinrova-sandbox platform/mce/pinrova-mce; do
        if [ ! -x "$(world_program "$program")" ]; then
            world_log "$(world_program "$program") is missing: run scripts/setup first"
            return 1
        fi
    done
    if world_port_taken "$port"; then
        world_log "port $port on 127.0.0.1 is taken by another program;"
        world_log "stop it, or choose another port with PINROVA_DEMO_PORT=<port> $0"
        return 1
    fi

    # A bus of our own stands in for the handset's system bus.
    dbus-daemon --session --nofork --address="unix:path=$dir/system_bus_socket" \
        --print-address=1 >"$dir/bus.address" 2>"$dir/dbus.log" &
    world_pids+=($!)
    world_wait_for 10 "the private bus" test -s "$dir/bus.address" || return 1
    export DBUS_SYSTEM_BUS_ADDRESS
    DBUS_SYSTEM_BUS_ADDRESS=$(head -n 1 "$dir/bus.address")

    "$(world_program platform/mce/pinrova-mce)" 2>"$dir/mce.log" &
    world_pids+=($!)

    # The applications' secrets, made afresh for every world and shared by the stand-ins (which
    # sign with them) and the position service (which checks with them). Only in files.
    local secrets="$dir/secrets"
    mkdir -p "$secrets"
    chmod 700 "$secrets"
    world_new_secret >"$secrets/facebook-app-secret" || return 1
    world_new_secret >"$secrets/vk-app-secret" || return 1

    # The sandbox first: the service asks its Graph API. Its crowd keeps trying until the service
    # answers.
    rm -f "$dir/addresses.env"
    "$(world_program sandbox/pinrova-sandbox)" --position-service "http://127.0.0.1:$port" \
        --crowd "${PINROVA_DEMO_CROWD:-40}" --settled "${PINROVA_DEMO_SETTLED:-0}" \
        --addresses-file "$dir/addresses.env" \
        --facebook-app-secret-file "$secrets/facebook-app-secret" \
        --vk-app-secret-file "$secrets/vk-app-secret" 2>"$dir/sandbox.log" &
    world_pids+=($!)
    world_wait_for 30 "the sandbox" test -s "$dir/addresses.env" || return 1

    # Credentials are checked as in production, against the stand-ins. The crowd and the
    # settled people register all at once at start, from the same address as the app: the
    # Register limit per address is raised for them here only (the service's defaults stay),
    # read when the world starts, so callers may set the sizes after sourcing this file.
    local newcomers=$((${PINROVA_DEMO_CROWD:-40} + ${PINROVA_DEMO_SETTLED:-0}))
    world_posd_identity=(
        --facebook-graph "$(world_address "$dir" PINROVA_FACEBOOK_GRAPH)"
        --facebook-app-id "$(world_address "$dir" PINROVA_FACEBOOK_CLIENT_ID)"
        --facebook-app-secret-file "$secrets/facebook-app-secret"
        --vk-app-secret-file "$secrets/vk-app-secret"
        --picture-hosts facebook=http://127.0.0.1
        --picture-hosts vkontakte=http://127.0.0.1
        --register-per-minute $((newcomers + 60)) --register-burst $((newcomers + 10))
    )

    if [ "${PINROVA_DEMO_CLUSTER:-0}" = 1 ]; then
        # shellcheck source=cluster.sh
        . "$world_root/scripts/lib/cluster.sh"
        cluster_start "$dir" "$port" || return 1
    else
        local posd_options=()
        # PINROVA_DEMO_ACCESS_LOG=1: one line per request in posd.log, for checks of what the
        # app asks.
        [ -n "${PINROVA_DEMO_ACCESS_LOG:-}" ] && posd_options+=(--access-log)
        "$(world_program server/pinrova-posd)" --listen "127.0.0.1:$port" \
            --db "$data/positions.db" "${world_posd_identity[@]}" "${posd_options[@]}" \
            2>"$dir/posd.log" &
        world_pids+=($!)
        world_wait_for 10 "the position service on port $port" world_port_taken "$port" || return 1
    fi

    world_app_env "$dir" >"$dir/app.env"
    world_log "position service http://127.0.0.1:$port, logs in $dir"
}

world_new_secret() { # 32 random bytes, base64url
    head -c 32 /dev/urandom | base64 -w 0 | tr '+/' '-_' | tr -d '='
}

world_address() { # dir NAME: the value of NAME in the sandbox's addresses
    sed -n "s/^$2=//p" "$1/addresses.env" | head -n 1
}

world_app_env() {
    local dir=$1
    cat "$dir/addresses.env"
    echo "DBUS_SYSTEM_BUS_ADDRESS=$DBUS_SYSTEM_BUS_ADDRESS"
    if [ -n "$world_prefix" ]; then
        # The installed plugin is in Qt's own plugin folder.
        echo "PINROVA_POSITION_REPLAY=$world_prefix/share/pinrova/tracks/centrewalk.nmea"
    else
        echo "QT_PLUGIN_PATH=$world_build/plugins"
        echo "PINROVA_POSITION_REPLAY=$world_root/platform/position/tracks/centrewalk.nmea"
    fi
}

world_stop() {
    local pid
    for ((i = ${#world_pids[@]} - 1; i >= 0; i--)); do
        pid=${world_pids[i]}
        kill -TERM "$pid" 2>/dev/null || true
    done
    for pid in "${world_pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    world_pids=()
}

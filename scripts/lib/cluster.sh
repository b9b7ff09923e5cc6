# The position service as it runs beyond one machine, on loopback: a Redis Cluster of three
# masters with a replica each, two pinrova-posd instances sharing it, and HAProxy on the
# service's port in front of them. Sourced by scripts/lib/world.sh when
# PINROVA_DEMO_CLUSTER=1 (scripts/run --cluster); uses its world_* helpers and world_pids.
#
#   cluster_start DIR PORT      start it all; HAProxy listens on 127.0.0.1:PORT
#   cluster_redis_start DIR     only the six Redis nodes, joined; sets cluster_nodes (an array
#                               of HOST:PORT) and cluster_seeds (the same, comma-separated)

# A free loopback port whose cluster bus port (+10000) is free as well.
cluster_free_port() {
    python3 -c '
import socket
while True:
    s = socket.socket(); s.bind(("127.0.0.1", 0)); p = s.getsockname()[1]
    if p > 55000: continue
    b = socket.socket()
    try:
        b.bind(("127.0.0.1", p + 10000)); print(p); break
    except OSError: pass'
}

cluster_redis_start() {
    local redis_dir=$1 node_port
    cluster_nodes=()
    mkdir -p "$redis_dir"
    # Nothing on disk: a master's writes live on its replica (Register waits for it), and a
    # failed master's slots are served again once its replica has taken over.
    for _ in 1 2 3 4 5 6; do
        node_port=$(cluster_free_port)
        redis-server --port "$node_port" --bind 127.0.0.1 --cluster-enabled yes \
            --cluster-config-file "$redis_dir/nodes-$node_port.conf" --dir "$redis_dir" \
            --save "" --appendonly no --cluster-node-timeout 1000 \
            --cluster-require-full-coverage no --logfile "$redis_dir/$node_port.log" &
        world_pids+=($!)
        cluster_nodes+=("127.0.0.1:$node_port")
        world_wait_for 10 "redis-server on port $node_port" cluster_ping "$node_port" || return 1
    done
    redis-cli --cluster create "${cluster_nodes[@]}" --cluster-replicas 1 --cluster-yes \
        >"$redis_dir/create.log" 2>&1 || {
        world_log "redis-cli --cluster create failed, see $redis_dir/create.log"
        return 1
    }
    world_wait_for 30 "the Redis Cluster" cluster_ok "${cluster_nodes[0]#*:}" || return 1
    cluster_seeds=$(IFS=,; echo "${cluster_nodes[*]}")
}

cluster_start() {
    local dir=$1 port=$2
    for program in redis-server redis-cli haproxy; do
        if ! command -v "$program" >/dev/null; then
            world_log "$program is missing: run scripts/setup first"
            return 1
        fi
    done
    cluster_redis_start "$dir/redis" || return 1
    local seeds=$cluster_seeds

    local servers="" instance instance_port
    for instance in 1 2; do
        instance_port=$(cluster_free_port)
        "$world_build/server/pinrova-posd" --listen "127.0.0.1:$instance_port" --redis "$seeds" \
            "${world_posd_identity[@]}" \
            2>"$dir/posd-$instance.log" &
        world_pids+=($!)
        world_wait_for 10 "position service instance $instance" \
            world_port_taken "$instance_port" || return 1
        servers+="    server posd$instance 127.0.0.1:$instance_port check"$'\n'
    done

    sed "s|@PORT@|$port|; s|@SERVERS@|${servers//$'\n'/\\n}|" \
        "$world_root/scripts/lib/haproxy.cfg.in" >"$dir/haproxy.cfg"
    haproxy -f "$dir/haproxy.cfg" -db >"$dir/haproxy.log" 2>&1 &
    world_pids+=($!)
    world_wait_for 10 "HAProxy on port $port" world_port_taken "$port" || return 1
    world_log "Redis Cluster $seeds, 2 service instances behind HAProxy"
}

cluster_ping() {
    redis-cli -p "$1" ping >/dev/null 2>&1
}

cluster_ok() {
    redis-cli -p "$1" cluster info 2>/dev/null | grep -q cluster_state:ok
}

-- GetUsers at zoom ZOOM (14) around random points well inside the seeded area.
local zoom = os.getenv("ZOOM") or "14"
function setup(thread)
    thread:set("seed", math.random(1, 1000000))
end

function init(args)
    math.randomseed(seed)
end

function request()
    local lat = 59.69 + math.random() * 0.5
    local lon = 29.23 + math.random() * 2.16
    return wrk.format("GET", string.format(
        "/PosService/PosService.svc/GetUsers?lat=%.4f&lon=%.4f&zoomlevel=%s", lat, lon, zoom))
end

function done(summary, latency, requests)
    io.write(string.format("getusers: %.0f requests/s, p50 %.2f ms, p99 %.2f ms, errors %d\n",
        summary.requests / (summary.duration / 1e6), latency:percentile(50) / 1000,
        latency:percentile(99) / 1000, summary.errors.status + summary.errors.connect
        + summary.errors.read + summary.errors.write + summary.errors.timeout))
end

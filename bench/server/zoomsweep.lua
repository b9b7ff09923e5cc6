-- GetUsers at one zoom level around random points of a box:
-- wrk ... -- ZOOM LAT LON HALF_LAT HALF_LON [CROWDS] (CROWDS 1 adds "&crowds=1")
function setup(thread)
    thread:set("seed", math.random(1, 1000000))
end

function init(args)
    math.randomseed(seed)
    zoom = tonumber(args[1])
    lat, lon = tonumber(args[2]), tonumber(args[3])
    halfLat, halfLon = tonumber(args[4]), tonumber(args[5])
    crowds = args[6] == "1" and "&crowds=1" or ""
end

function request()
    local la = lat + (math.random() * 2 - 1) * halfLat
    local lo = lon + (math.random() * 2 - 1) * halfLon
    return wrk.format("GET", string.format(
        "/PosService/PosService.svc/GetUsers?lat=%.5f&lon=%.5f&zoomlevel=%d%s", la, lo, zoom,
        crowds))
end

function done(summary, latency, requests)
    io.write(string.format("| %.0f | %.2f ms | %.2f ms | %d |\n",
        summary.requests / (summary.duration / 1e6), latency:percentile(50) / 1000,
        latency:percentile(99) / 1000, summary.errors.status + summary.errors.connect
        + summary.errors.read + summary.errors.write + summary.errors.timeout))
end

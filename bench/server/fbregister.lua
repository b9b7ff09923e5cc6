-- Register of Facebook people with "Authorization: Facebook tok-N". FRESH=1: a new person and
-- token with every request (the service asks the Graph API each time); else one person and
-- token over and over (the verified-token cache answers).
local fresh = os.getenv("FRESH") == "1"
local counter = 0

function setup(thread)
    thread:set("base", math.random(1, 0x7fff) * 0x10000)
end

function request()
    local n = base
    if fresh then
        counter = counter + 1
        n = base + counter
    end
    return wrk.format("GET", string.format(
        "/PosService/PosService.svc/Register?uid=%%7B%08x-3333-4000-8000-000000000000%%7D" ..
        "&network=facebook&id=%d&name=Face%%20%d&smallPic=&mediumPic=&sex=0", n, n, n),
        {Authorization = "Facebook tok-" .. n})
end

function done(summary, latency, requests)
    io.write(string.format("register: %.0f requests/s, p50 %.2f ms, p99 %.2f ms, " ..
        "non-2xx %d, errors %d\n", summary.requests / (summary.duration / 1e6),
        latency:percentile(50) / 1000, latency:percentile(99) / 1000, summary.errors.status,
        summary.errors.connect + summary.errors.read + summary.errors.write +
        summary.errors.timeout))
end

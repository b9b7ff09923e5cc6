-- Register of a new anonymous person with every request: fresh uid and network id, from a
-- counter per thread (THREAD is set by setup). Optional PACE_MS: delay before each request.
local pace = tonumber(os.getenv("PACE_MS") or "0")
local counter = 0

function setup(thread)
    thread:set("base", math.random(1, 0x7fff) * 0x10000)
end

function init(args)
    counter = 0
end

function delay()
    return pace
end

function request()
    counter = counter + 1
    local n = base + counter
    return wrk.format("GET", string.format(
        "/PosService/PosService.svc/Register?uid=%%7B%08x-1111-4000-8000-000000000000%%7D" ..
        "&network=facebook&id=churn%d&name=Churn%%20%d&smallPic=&mediumPic=&sex=0", n, n, n))
end

function done(summary, latency, requests)
    io.write(string.format("register: %.0f requests/s, p50 %.2f ms, p99 %.2f ms, max %.1f ms, " ..
        "non-2xx %d, errors %d\n", summary.requests / (summary.duration / 1e6),
        latency:percentile(50) / 1000, latency:percentile(99) / 1000, latency.max / 1000,
        summary.errors.status, summary.errors.connect + summary.errors.read +
        summary.errors.write + summary.errors.timeout))
end

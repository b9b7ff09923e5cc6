-- Register of new installations and people, numbered from a random start per thread, so
-- every request is a first registration that WAIT must see on a replica.
function setup(thread)
    thread:set("counter", math.random(1, 1000) * 10000000)
end

function request()
    counter = counter + 1
    return wrk.format("GET", string.format(
        "/PosService/PosService.svc/Register?uid=%%7B%08x-0000-4000-8000-%012x%%7D&network=facebook&id=r%d&name=R%d&smallPic=&mediumPic=&sex=1",
        counter % 0x100000000, counter, counter, counter))
end

function done(summary, latency, requests)
    io.write(string.format("register: %.0f requests/s, p50 %.2f ms, p99 %.2f ms, errors %d\n",
        summary.requests / (summary.duration / 1e6), latency:percentile(50) / 1000,
        latency:percentile(99) / 1000, summary.errors.status + summary.errors.connect
        + summary.errors.read + summary.errors.write + summary.errors.timeout))
end

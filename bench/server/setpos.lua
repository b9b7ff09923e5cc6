-- SetPos from PEOPLE registered installations (ids as posd_seed writes them) at random
-- points of the seeded area. Each request is built anew, for nginx and posd alike.
local people = tonumber(os.getenv("PEOPLE") or "100000")
-- Optional: milliseconds each connection waits before each request, to pace the load.
local pace = tonumber(os.getenv("PACE_MS") or "0")

function delay()
    return pace
end

function setup(thread)
    thread:set("seed", math.random(1, 1000000))
end

function init(args)
    math.randomseed(seed)
end

function request()
    local n = math.random(1, people)
    local lat = 59.64 + math.random() * 0.6
    local lon = 29.13 + math.random() * 2.36
    return wrk.format("GET", string.format(
        "/PosService/PosService.svc/SetPos?uid=%%7B%08x-0000-4000-8000-000000000000%%7D&lat=%.4f&lon=%.4f",
        n, lat, lon))
end

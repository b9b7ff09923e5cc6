-- Mixed load on pinrova-posd seeded by posd_seed with PEOPLE people (uids 1 … PEOPLE): every
-- 20 requests are 10 SetPos, 6 GetUsers at zoom 14 and one each of four bad requests, in a
-- fixed order. Each answer is sorted by its status and first line into the kind of request
-- it belongs to; anything else (another status or reason) is counted as unexpected.
local people = tonumber(os.getenv("PEOPLE") or "100000")
local threads = {}

local Prefix = "/PosService/PosService.svc/"
local Kinds = {"setpos", "getusers", "bad uid", "lat out of range", "unknown request",
    "repeated key"}
-- The answer each kind must get: status and the start of the body.
local Expected = {
    ["setpos"] = {200, "stored\n"},
    ["getusers"] = {200, "<?xml"},
    ["bad uid"] = {400, "uid is not a braced UUID\n"},
    ["lat out of range"] = {400, "lat is out of range\n"},
    ["unknown request"] = {404, "no such resource\n"},
    ["repeated key"] = {400, "a query parameter is given twice\n"},
}
local Cycle = {}
for i = 1, 10 do table.insert(Cycle, "setpos") end
for i = 1, 6 do table.insert(Cycle, "getusers") end
for _, kind in ipairs({"bad uid", "lat out of range", "unknown request", "repeated key"}) do
    table.insert(Cycle, kind)
end

function setup(thread)
    table.insert(threads, thread)
    thread:set("seed", math.random(1, 1000000))
    thread:set("offset", #threads * 7)
end

function init(args)
    math.randomseed(seed)
    step = offset
    sent = {}
    answered = {}
    unexpected = {}
    statuses = {}
    for _, kind in ipairs(Kinds) do
        sent[kind] = 0
        answered[kind] = 0
    end
end

local function uid(n)
    return string.format("%%7B%08x-0000-4000-8000-000000000000%%7D", n)
end

local function build(kind)
    if kind == "setpos" then
        return string.format("SetPos?uid=%s&lat=%.4f&lon=%.4f", uid(math.random(1, people)),
            59.64 + math.random() * 0.6, 29.13 + math.random() * 2.36)
    elseif kind == "getusers" then
        return string.format("GetUsers?lat=%.4f&lon=%.4f&zoomlevel=14",
            59.69 + math.random() * 0.5, 29.23 + math.random() * 2.16)
    elseif kind == "bad uid" then
        return string.format("SetPos?uid=%08x-0000&lat=59.9&lon=30.3", math.random(1, people))
    elseif kind == "lat out of range" then
        return string.format("SetPos?uid=%s&lat=%.4f&lon=30.3", uid(math.random(1, people)),
            90.0001 + math.random() * 100)
    elseif kind == "unknown request" then
        return "GetEveryone?lat=59.9&lon=30.3"
    else
        return string.format("GetUsers?lat=59.9&lon=30.3&zoomlevel=14&lat=%.4f",
            59.69 + math.random() * 0.5)
    end
end

function request()
    step = step + 1
    local kind = Cycle[step % #Cycle + 1]
    sent[kind] = sent[kind] + 1
    return wrk.format("GET", Prefix .. build(kind))
end

function response(status, headers, body)
    statuses[status] = (statuses[status] or 0) + 1
    for kind, answer in pairs(Expected) do
        if status == answer[1] and body:sub(1, #answer[2]) == answer[2] then
            answered[kind] = answered[kind] + 1
            return
        end
    end
    local key = status .. " " .. body:sub(1, 60):gsub("\n", " ")
    unexpected[key] = (unexpected[key] or 0) + 1
end

function done(summary, latency, requests)
    local totalSent, totalAnswered, strange = 0, 0, 0
    local rows = {}
    for _, kind in ipairs(Kinds) do
        local s, a = 0, 0
        for _, thread in ipairs(threads) do
            s = s + thread:get("sent")[kind]
            a = a + thread:get("answered")[kind]
        end
        totalSent = totalSent + s
        totalAnswered = totalAnswered + a
        table.insert(rows, string.format("  %-17s %9d sent %9d answered %d %s", kind, s, a,
            Expected[kind][1], (Expected[kind][2]:gsub("\n", ""))))
    end
    local others = {}
    for _, thread in ipairs(threads) do
        for key, n in pairs(thread:get("unexpected")) do
            others[key] = (others[key] or 0) + n
            strange = strange + n
        end
    end
    local byStatus = {}
    for _, thread in ipairs(threads) do
        for status, n in pairs(thread:get("statuses")) do
            byStatus[status] = (byStatus[status] or 0) + n
        end
    end
    local codes = {}
    for status in pairs(byStatus) do table.insert(codes, status) end
    table.sort(codes)
    local statusLine = {}
    for _, status in ipairs(codes) do
        table.insert(statusLine, string.format("%d: %d", status, byStatus[status]))
    end
    local seconds = summary.duration / 1e6
    local e = summary.errors
    io.write(string.format("mixed: %.0f requests/s, p50 %.2f ms, p99 %.2f ms, max %.1f ms\n",
        summary.requests / seconds, latency:percentile(50) / 1000,
        latency:percentile(99) / 1000, latency.max / 1000))
    io.write("mixed: answers by kind (kind, sent, answered as expected, expected answer):\n")
    for _, row in ipairs(rows) do io.write(row .. "\n") end
    for key, n in pairs(others) do
        io.write(string.format("  unexpected: %d x %s\n", n, key))
    end
    io.write(string.format("mixed: %d requests, %d answered as expected, %d unexpected, "
        .. "%d unanswered at the end\n", summary.requests, totalAnswered, strange,
        totalSent - totalAnswered - strange))
    io.write("mixed: statuses " .. table.concat(statusLine, ", ") .. "\n")
    io.write(string.format("mixed: socket errors connect %d, read %d, write %d, timeout %d\n",
        e.connect, e.read, e.write, e.timeout))
end
